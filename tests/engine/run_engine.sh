#!/usr/bin/env bash
# Makes the clips the engine test plays (small, a few seconds at most), then runs the test
# program under Wine: run_engine.sh EXE FRAMEWHEEL_DLL MEDIA_DIR [arguments]. The engine
# benchmark runs through it too.
set -euo pipefail
exe=$1 dll=$2 media=$(realpath -m "$3")
shift 3
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
mkdir -p "$media"
avi_clip "$media/short.avi" "testsrc=size=160x120:rate=10" 1
avi_clip "$media/long.avi" "testsrc=size=160x120:rate=10" 20
avi_clip "$media/oneframe.avi" "testsrc=size=160x120:rate=1" 1   # one frame, 1 s long
[ -s "$media/tone.wav" ] || ffmpeg -loglevel error -y -f lavfi -i "sine=f=440" -t 1 "$media/tone.wav"
[ -s "$media/still.jpg" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x120" \
  -frames:v 1 "$media/still.jpg"
# Text under a video's name: nothing in it can be rendered.
[ -s "$media/text.avi" ] || for _ in $(seq 200); do echo "This is not a video."; done >"$media/text.avi"
# S: a share whose reads stop answering (each takes 60 s) while slow-on lies beside the
# media: a stream that stops coming mid-file. Without FUSE the test that needs it skips.
slowclip="$media/slow-backing/slowclip.avi"
mkdir -p "$(dirname "$slowclip")"
avi_clip "$slowclip" "testsrc=size=640x480:rate=25" 40
# Short and hard to compress: its reads cannot have run far ahead when they stop answering.
avi_clip "$media/slow-backing/slowshort.avi" "nullsrc=size=320x240:rate=25,geq=random(1)*255:128:128" 5
# Opened only while the share is quiet, one by each test of an end during the next item's open
# and by the test of loads broken off.
for i in 1 2 3 4; do cp -n "$media/slow-backing/slowshort.avi" "$media/slow-backing/slownext$i.avi"; done
rm -f "$media/slow-on"
unmanaged_windows
trap 'restore_managed_windows; drop_slow_share_drive s "$media/slow-mount" || true; wine_env_restart_server' EXIT
slow_share_drive s "$media/slow-backing" "$media/slow-mount" --read-ms 60000 --switch "$media/slow-on" || true
wine_env_restart_server
wine "$exe" "$dll" "$media" "$@"
