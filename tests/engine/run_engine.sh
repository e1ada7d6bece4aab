#!/usr/bin/env bash
# Makes the clips the engine test plays (small, a few seconds at most), then runs the test
# program under Wine: run_engine.sh TEST_EXE FRAMEWHEEL_DLL MEDIA_DIR [gtest args]
set -euo pipefail
exe=$1 dll=$2 media=$3
shift 3
mkdir -p "$media"
make_clip() { # name seconds
  [ -s "$media/$1" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x120:rate=10" \
    -t "$2" -c:v msvideo1 -pix_fmt rgb555le "$media/$1"
}
make_clip short.avi 1
make_clip long.avi 20
[ -s "$media/tone.wav" ] || ffmpeg -loglevel error -y -f lavfi -i "sine=f=440" -t 1 "$media/tone.wav"
[ -s "$media/still.jpg" ] || ffmpeg -loglevel error -y -f lavfi -i "testsrc=size=160x120" \
  -frames:v 1 "$media/still.jpg"
# Text under a video's name: nothing in it can be rendered.
[ -s "$media/text.avi" ] || for _ in $(seq 200); do echo "This is not a video."; done >"$media/text.avi"
# Without a window manager on the test display, Wine waits two seconds for one to withdraw
# every managed window it destroys; unmanaged windows are destroyed at once. The setting is
# prefix-wide: put back what was there.
key='HKCU\Software\Wine\X11 Driver'
old=$(wine reg query "$key" /v Managed 2>/dev/null | tr -d '\r' | awk '$1 == "Managed" {print $3}' || true)
restore() {
  if [ -n "$old" ]; then wine reg add "$key" /v Managed /d "$old" /f >/dev/null 2>&1
  else wine reg delete "$key" /v Managed /f >/dev/null 2>&1; fi
}
trap restore EXIT
wine reg add "$key" /v Managed /d N /f >/dev/null 2>&1
wine "$exe" "$dll" "$media" "$@"
