#!/usr/bin/env bash
# Makes the clips the engine test plays (small, a few seconds at most), then runs the test
# program under Wine: run_engine.sh EXE FRAMEWHEEL_DLL MEDIA_DIR [arguments]. The engine
# benchmark runs through it too.
set -euo pipefail
exe=$1 dll=$2 media=$3
shift 3
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
mkdir -p "$media"
avi_clip "$media/short.avi" "testsrc=size=160x120:rate=10" 1
avi_clip "$media/long.avi" "testsrc=size=160x120:rate=10" 20
[ -s "$media/tone.wav" ] || ffmpeg -loglevel error -y -f lavfi -i "sine=f=440" -t 1 "$media/tone.wav"
[ -s "$media/still.jpg" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x120" \
  -frames:v 1 "$media/still.jpg"
# Text under a video's name: nothing in it can be rendered.
[ -s "$media/text.avi" ] || for _ in $(seq 200); do echo "This is not a video."; done >"$media/text.avi"
unmanaged_windows
wine "$exe" "$dll" "$media" "$@"
