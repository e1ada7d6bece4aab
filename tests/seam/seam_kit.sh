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

# start_probe PROBE LOG: builds the probe with the host's compiler (unless PROBE is newer than
# its source) and starts it on the centre of the display, appending to LOG; probe_pid is its id.
start_probe() {
  [ "$1" -nt "$seam_dir/pixel_probe.c" ] || gcc -O2 -Wall -o "$1" "$seam_dir/pixel_probe.c" -lX11 || return 1
  local width height
  read -r width height < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
  "$1" $((width / 2)) $((height / 2)) "$2" &
  probe_pid=$!
}
