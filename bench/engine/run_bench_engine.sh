#!/usr/bin/env bash
# Makes the clips and runs the engine benchmark under Wine in the current Wine environment:
#   . scripts/wine-env.sh; wine_env_start BUILD; bash bench/engine/run_bench_engine.sh BUILD
set -euo pipefail
build=$1
media=$build/bench/engine/media
mkdir -p "$media"
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
. "$root/tests/support/test_kit.sh"
# Made before the engine test's script runs, which keeps a clip that exists (long.avi here
# is slower and longer than the test's).
avi_clip "$media/small.avi" "testsrc=size=160x120:rate=10" 0.5
avi_clip "$media/long.avi" "testsrc=size=160x120:rate=2" 30
avi_clip "$media/still25.avi" "color=c=0x3060a0:size=160x120:rate=25" 30
for colour in red lime blue yellow; do
  avi_clip "$media/$colour.avi" "color=c=$colour:size=320x240:rate=25" 2
  [ -s "$media/$colour.mp4" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:size=1280x720:rate=25" \
    -f lavfi -i "sine=f=440" -t 2 -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest "$media/$colour.mp4"
done
# The pixel probe watches the screen's centre from the X server's side.
probe=$media/pixel_probe
[ "$probe" -nt "$root/tests/seam/pixel_probe.c" ] || gcc -O2 -Wall -o "$probe" "$root/tests/seam/pixel_probe.c" -lX11
read -r width height < <(xdpyinfo | awk '/dimensions:/ { split($2, d, "x"); print d[1], d[2] }')
export PROBE_LOG=$media/probe.log
: >"$PROBE_LOG"
"$probe" $((width / 2)) $((height / 2)) "$PROBE_LOG" &
probe_pid=$!
trap 'kill "$probe_pid" 2>/dev/null || true' EXIT
bash "$root/tests/engine/run_engine.sh" "$build/bench/engine/bench_engine.exe" "$build/player/Framewheel.dll" \
  "$media" 2>&1 | grep -v -E 'GStreamer-CRITICAL|fixme|ALSA|^err:|GVS'
