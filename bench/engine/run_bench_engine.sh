#!/usr/bin/env bash
# Makes the clips and runs the engine benchmark under Wine in the current Wine environment:
#   . scripts/wine-env.sh; wine_env_start BUILD; bash bench/engine/run_bench_engine.sh BUILD
set -euo pipefail
build=$1
media=$build/bench/engine/media
mkdir -p "$media"
[ -s "$media/small.avi" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=10" \
  -t 0.5 -c:v msvideo1 -pix_fmt rgb555le "$media/small.avi"
[ -s "$media/long.avi" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=2" \
  -t 30 -c:v msvideo1 -pix_fmt rgb555le "$media/long.avi"
[ -s "$media/still25.avi" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=0x3060a0:size=160x120:rate=25" \
  -t 30 -c:v msvideo1 -pix_fmt rgb555le "$media/still25.avi"
for colour in red lime blue yellow; do
  [ -s "$media/$colour.avi" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:size=320x240:rate=25" \
    -t 2 -c:v msvideo1 -pix_fmt rgb555le "$media/$colour.avi"
  [ -s "$media/$colour.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:size=1280x720:rate=25" \
    -f lavfi -i "sine=f=440" -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$media/$colour.mp4"
done
# The pixel probe watches the screen's centre from the X server's side.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
probe=$media/pixel_probe
[ "$probe" -nt "$root/tests/seam/pixel_probe.c" ] || gcc -O2 -Wall -o "$probe" "$root/tests/seam/pixel_probe.c" -lX11
read -r width height < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
export PROBE_LOG=$media/probe.log
: >"$PROBE_LOG"
"$probe" $((width / 2)) $((height / 2)) "$PROBE_LOG" &
probe_pid=$!
key='HKCU\Software\Wine\X11 Driver'
old=$(wine reg query "$key" /v Managed 2>/dev/null | tr -d '\r' | awk '$1 == "Managed" {print $3}' || true)
restore() {
  kill "$probe_pid" 2>/dev/null || true
  if [ -n "$old" ]; then wine reg add "$key" /v Managed /d "$old" /f >/dev/null 2>&1
  else wine reg delete "$key" /v Managed /f >/dev/null 2>&1; fi
}
trap restore EXIT
wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1
wine "$build/bench/engine/bench_engine.exe" "$build/player/Framewheel.dll" "$media" 2>&1 |
  grep -v -E 'GStreamer-CRITICAL|fixme|ALSA|^err:|GVS'
