# A soak run of the installed screen saver, shared by the soak benchmark and its short test
# (sourced; needs the Wine environment of scripts/wine-env.sh, tests/support/test_kit.sh
# and tests/seam/seam_kit.sh).
#
# The playlist: eight short clips with sound, Microsoft Video 1 with PCM and H.264 with AAC
# taking turns, in the colours red, lime, blue, yellow, red..., and two entries that fail
# (text files named .avi) after each yellow one. Each pass of the playlist is 10 item
# changes, 8 of them shown. Changes are counted from outside: pixel_probe watches the
# screen's centre, and every onset of a colour other than the last one is one shown item.
# The failed entries show nothing of their own; they are counted as 2 in every 8 shown.
soak_colours=(red lime blue yellow)
soak_clip_ms=400 soak_clip_seconds=0.4

# soak_setup MSI RUN_TOOL MEDIA_DIR WMEDIA: clips in MEDIA_DIR (WMEDIA as Windows sees it),
# the playlist, the MSI installed, the settings pointing at it (classic renderer, so the
# picture shows under Xvfb; preparation ahead is on by default).
soak_setup() {
  local msi=$1 tool=$2 dir=$3 wdir=$4 i colour entries=()
  mkdir -p "$dir"
  for i in 0 1 2 3 4 5 6 7; do
    colour=${soak_colours[$((i % 4))]}
    if [ $((i % 2)) = 0 ]; then
      [ -s "$dir/c$i.avi" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:s=320x240:r=25" \
        -f lavfi -i "sine=f=$((300 + i * 40))" -t $soak_clip_seconds -c:v msvideo1 -pix_fmt rgb555le \
        -c:a pcm_s16le -ac 1 "$dir/c$i.avi"
      entries+=("$wdir\\c$i.avi")
    else
      [ -s "$dir/c$i.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:s=320x240:r=25" \
        -f lavfi -i "sine=f=$((300 + i * 40))" -t $soak_clip_seconds -c:v libx264 -pix_fmt yuv420p \
        -c:a aac -shortest "$dir/c$i.mp4"
      entries+=("$wdir\\c$i.mp4")
    fi
    if [ $((i % 4)) = 3 ]; then
      echo "not a video" >"$dir/bad$i.avi"
      entries+=("$wdir\\bad$i.avi")
    fi
  done
  wine msiexec /i "$(winepath -w "$msi")" /qn >/dev/null 2>&1
  [ -f "$WINEPREFIX/drive_c/windows/system32/Reelhaven.scr" ] || { echo "FAIL: the MSI did not install"; return 1; }
  wine "$tool" make "$wdir\\soak.plst" "${entries[@]}" >/dev/null 2>&1 || { echo "FAIL: no playlist"; return 1; }
  local key='HKCU\Software\Halcyra\Reelhaven'
  wine reg delete "$key" /f >/dev/null 2>&1
  wine reg add "$key" /v Playlist /d "$wdir\\soak.plst" /f >/dev/null 2>&1
  wine reg add "$key" /v 'Use Classic Video Renderer' /t REG_DWORD /d 1 /f >/dev/null 2>&1
}

# soak_start PROBE LOG: the pixel probe on LOG and the saver; soak_run_pid, probe_pid.
soak_start() {
  : >"$2"
  start_probe "$1" "$2" || return 1
  xdotool mousemove 5 5
  wine 'C:\windows\system32\Reelhaven.scr' /s >/dev/null 2>&1 &
  soak_run_pid=$!
}

# soak_stop: a key ends the run (10 s at most), then the probe.
soak_stop() {
  xdotool key a
  reap "$soak_run_pid" 10 || echo "note: the saver did not end on a key within 10 s" >&2
  kill "$probe_pid" 2>/dev/null
  wait "$probe_pid" 2>/dev/null
}

# soak_shown LOG: shown items so far (onsets of a colour other than the last one).
soak_shown() {
  awk '$2 ~ /^[RGBY]$/ && $2 != last { n++; last = $2 } END { print n + 0 }' "$1"
}
# Item changes for N shown items: the failed entries pass between yellow and red.
soak_changes() { echo $(($1 * 10 / 8)); }

# soak_sample: "threads working_kib handles gdi user rss_kib anon_kib" of the running saver;
# threads, handles and GUI objects from soak_probe.exe (Toolhelp32 and the process's counters,
# from another process), resident and anonymous memory from Linux's view of the process.
soak_sample() {
  local probe_exe=$1 line pid best=0 rss anon
  line=$(wout "$probe_exe" Reelhaven.scr) || line=
  for pid in $(pgrep -f Reelhaven.scr); do
    grep -qzx "DISPLAY=$DISPLAY" "/proc/$pid/environ" 2>/dev/null || continue
    read -r rss anon < <(awk '/^VmRSS/ {r = $2} /^RssAnon/ {a = $2} END {print r + 0, a + 0}' "/proc/$pid/status")
    [ "$rss" -gt "$best" ] && { best=$rss; best_anon=$anon; }
  done
  set -- $line
  [ $# = 7 ] || { echo "- - - - - $best ${best_anon:-0}"; return; }
  echo "$2 $3 $5 $6 $7 $best ${best_anon:-0}"
}

# soak_least_sample PROBE: soak_sample three times, 0.2 s apart, each figure the least of
# the three: a loader thread, or one freeing a stuck graph, that happens to be alive then
# does not count.
soak_least_sample() {
  local i
  for i in 1 2 3; do soak_sample "$1"; sleep 0.2; done |
    awk '{ for (f = 1; f <= NF; f++) if ($f ~ /^[0-9]+$/ && (!(f in m) || $f + 0 < m[f] + 0)) m[f] = $f
           n = NF }
         END { for (f = 1; f <= n; f++) printf "%s%s", (f in m ? m[f] : "-"), (f < n ? " " : "\n") }'
}

# soak_change_times LOG FROM TO: the time each change took past the outgoing clip's end,
# in ms, for shown items FROM..TO, between clips that follow each other directly (no failed
# entry between them): the next colour's onset less the outgoing one's and its length.
soak_change_times() {
  awk -v from="$2" -v to="$3" -v len="$soak_clip_ms" '
    $2 ~ /^[RGBY]$/ && $2 != last {
      n++
      if (n > from && n <= to && last != "" && !(last == "Y" && $2 == "R")) print $1 - onset - len
      last = $2; onset = $1 }' "$1"
}
