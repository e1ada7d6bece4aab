# Shared by the seam scripts (sourced): solid-colour clips and the pixel probe.
seam_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$seam_dir/../support/test_kit.sh"

# colour_clips DIR COLOUR...: two seconds of each colour as Microsoft Video 1 AVI (320 x 240)
# and as H.264 MP4 with AAC sound (1280 x 720).
colour_clips() {
  local dir=$1 colour
  shift
  for colour; do
    avi_clip "$dir/$colour.avi" "color=c=$colour:size=320x240:rate=25" 2
    [ -s "$dir/$colour.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:size=1280x720:rate=25" \
      -f lavfi -i "sine=f=440" -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$dir/$colour.mp4"
  done
}

# start_probe PROBE LOG [X Y]: builds the probe with the host's compiler (unless PROBE is newer
# than its source) and starts it on X Y, or the display's centre, appending to LOG; probe_pid is
# its id, probe_pids every probe's started so far.
probe_pids=()
start_probe() {
  [ "$1" -nt "$seam_dir/pixel_probe.c" ] || gcc -O2 -Wall -o "$1" "$seam_dir/pixel_probe.c" -lX11 || return 1
  local x=${3:-} y=${4:-} width height
  if [ -z "$x" ]; then
    read -r width height < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
    x=$((width / 2)) y=$((height / 2))
  fi
  "$1" "$x" "$y" "$2" &
  probe_pid=$!
  probe_pids+=("$probe_pid")
}
stop_probes() {
  local pid
  for pid in "${probe_pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  probe_pids=() probe_pid=
}

# monitor_centres: "X Y" of every monitor's centre on this display as Xinerama lists them
# (the main one first), one a line.
monitor_centres() {
  xdpyinfo -ext XINERAMA 2>/dev/null |
    awk '/head #[0-9]+:/ { split($3, s, "x"); split($5, o, ","); print o[1] + int(s[1] / 2), o[2] + int(s[2] / 2) }'
}

# switches LOG: every change from one colour (red, green, blue, yellow) to another in a
# probe's log, "from to gap_ms", where gap_ms is how long anything that was neither showed.
# A run of anything else between two samples of the same colour is a change too (a flash).
switches() {
  awk '$2 ~ /^[RGBY]$/ { if (last != "") printf "%s %s %.1f\n", last, $2, since ? $1 - since : 0
                         last = $2; since = 0; next }
       last != "" && !since { since = $1 }' "$1"
}

# seam_figures LOG SECONDS: "switches black_median black_worst held_median held_worst" (ms)
# from a probe's log of clips SECONDS long. Held: the next colour's onset less the outgoing
# clip's onset and its length (solid colour shows no frame numbers), an estimate of how long
# its last frame stays.
seam_figures() {
  awk -v length_ms=$(($2 * 1000)) '
    function med(a, n,  i, j, t) { for (i = 2; i <= n; i++) for (j = i; j > 1 && a[j-1] > a[j]; j--) { t = a[j]; a[j] = a[j-1]; a[j-1] = t }
                                   return n ? a[int((n + 1) / 2)] : 0 }
    function worst(a, n,  i, w) { for (i = 1; i <= n; i++) if (a[i] > w) w = a[i]; return w + 0 }
    $2 ~ /^[RGBY]$/ { if (last != "") { n++; black[n] = since ? $1 - since : 0; held[n] = $1 - onset - length_ms; if (held[n] < 0) held[n] = 0 }
                      if ($2 != last) onset = $1; last = $2; since = 0; next }
    $2 == "." { exit }
    last != "" && !since { since = $1 }
    END { printf "%d %.1f %.1f %.1f %.1f\n", n, med(black, n), worst(black, n), med(held, n), worst(held, n) }' "$1"
}
