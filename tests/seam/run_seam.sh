#!/usr/bin/env bash
# Makes solid-colour clips, builds the pixel probe with the host's compiler, watches the
# centre of the test display with it and runs the test program under Wine:
#   run_seam.sh TEST_EXE FRAMEWHEEL_DLL MEDIA_DIR [args for the program]
# The program reads the probe's log (PROBE_LOG) while it plays.
set -euo pipefail
exe=$1 dll=$2 media=$3
shift 3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
mkdir -p "$media"
for colour in red lime blue yellow; do
  [ -s "$media/$colour.avi" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:size=320x240:rate=25" \
    -t 2 -c:v msvideo1 -pix_fmt rgb555le "$media/$colour.avi"
  [ -s "$media/$colour.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:size=1280x720:rate=25" \
    -f lavfi -i "sine=f=440" -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$media/$colour.mp4"
done
[ -s "$media/yellow.jpg" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=yellow:size=320x240" \
  -frames:v 1 "$media/yellow.jpg"
[ -s "$media/text.avi" ] || for _ in $(seq 200); do echo "This is not a video."; done >"$media/text.avi"
probe="$media/pixel_probe"
[ "$probe" -nt "$here/pixel_probe.c" ] || gcc -O2 -Wall -o "$probe" "$here/pixel_probe.c" -lX11
read -r width height < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
log="$media/probe.log"
: >"$log"
"$probe" $((width / 2)) $((height / 2)) "$log" &
probe_pid=$!
# Unmanaged windows are destroyed at once (see tests/engine/run_engine.sh).
key='HKCU\Software\Wine\X11 Driver'
old=$(wine reg query "$key" /v Managed 2>/dev/null | tr -d '\r' | awk '$1 == "Managed" {print $3}' || true)
finish() {
  kill "$probe_pid" 2>/dev/null || true
  wait "$probe_pid" 2>/dev/null || true
  if [ -n "$old" ]; then wine reg add "$key" /v Managed /d "$old" /f >/dev/null 2>&1
  else wine reg delete "$key" /v Managed /f >/dev/null 2>&1; fi
}
trap finish EXIT
wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1
PROBE_LOG=$log wine "$exe" "$dll" "$media" "$@"
# Again as an older Windows (5.2), where the desktop-spanning style renders once per monitor.
version_key='HKCU\Software\Wine'
wine reg add "$version_key" /v Version /d winxp64 /f >/dev/null 2>&1
status=0
PROBE_LOG=$log wine "$exe" "$dll" "$media" --gtest_filter='Seam/Switching.*desktop*' "$@" || status=$?
wine reg delete "$version_key" /v Version /f >/dev/null 2>&1
exit $status
