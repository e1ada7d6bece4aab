#!/usr/bin/env bash
# Runs the render test program: geometry, loading real clips made here with ffmpeg, and the
# on-screen cases, first on the rig's display (one 1920 x 1080 monitor), then on two monitors
# of different sizes (Xephyr with Xinerama inside a private Xvfb), there once as a newer and
# once as an older Windows version. The program asks for screenshots through files in a
# folder; this script answers with the colours at the points it lists.
# Usage: render_tests.sh test_render.exe   (inside the rig: WINEPREFIX, DISPLAY set)
set -euo pipefail
exe=$1
work=$(mktemp -d /tmp/render-tests.XXXXXX)
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
cleanup() {
  drop_two_monitor_rig
  rm -rf "$work"
}
trap cleanup EXIT

# ---- clips ----------------------------------------------------------------------------------
clip() { ffmpeg -loglevel error -y "$@"; }
media=$work/media
mkdir -p "$media"
video=(-t 2 -c:v msvideo1 -pix_fmt rgb555le)
clip -f lavfi -i color=c=red:size=320x240:rate=10 "${video[@]}" "$media/red.avi"
clip -f lavfi -i color=c=red:size=160x240:rate=10 -f lavfi -i color=c=blue:size=160x240:rate=10 \
  -filter_complex hstack "${video[@]}" "$media/redblue.avi"
clip -f lavfi -i color=c=red:size=320x240:rate=10 -f lavfi -i sine=f=440 "${video[@]}" \
  -c:a pcm_s16le "$media/tone.avi"
clip -f lavfi -i sine=f=440 -t 1 "$media/tone.wav"
clip -f lavfi -i color=c=red:size=320x240 -frames:v 1 "$media/red.JPG"
clip -f lavfi -i color=c=red:size=320x240 -frames:v 1 "$media/red.png"
head -c 20000 /dev/urandom >"$media/garbage.avi"
export RH_MEDIA_DIR=$media

# ---- geometry and loading ---------------------------------------------------------------------
status=0
wine "$exe" --gtest_filter='-Screen.*' || status=1

# ---- screenshot service -----------------------------------------------------------------------
shots=$work/shots
mkdir -p "$shots"
# Answers the program's requests (a file "req" of "x y" lines) with "r g b" lines in "ans",
# until the program ends.
serve_shots() {
  local program=$1 display=$2 waited=0
  while kill -0 "$program" 2>/dev/null; do
    if [ -f "$shots/req" ]; then
      mv "$shots/req" "$shots/req.work"
      import -display "$display" -window root "$shots/shot.png"
      local format='' x y
      while read -r x y; do
        format+="%[fx:int(255*p{$x,$y}.r+0.5)] %[fx:int(255*p{$x,$y}.g+0.5)] %[fx:int(255*p{$x,$y}.b+0.5)]\n"
      done <"$shots/req.work"
      convert "$shots/shot.png" -format "$format" info: >"$shots/ans.tmp"
      mv "$shots/ans.tmp" "$shots/ans"
    fi
    sleep 0.05
    waited=$((waited + 1))
    if [ $waited -gt 2400 ]; then  # two minutes at most
      kill "$program" 2>/dev/null || true
      return 1
    fi
  done
}

# Runs on-screen cases (a gtest filter) with the screenshot service on the given display.
run_screen() {
  local display=$1 filter=$2
  RH_SHOT_DIR=$shots DISPLAY=$display wine "$exe" --gtest_filter="$filter" &
  local program=$!
  serve_shots "$program" "$display" || status=1
  wait "$program" || status=1
}

# ---- one monitor: the rig's display -------------------------------------------------------------
run_screen "$DISPLAY" 'Screen.OneMonitor*:Screen.Windowed*'

# ---- two monitors --------------------------------------------------------------------------------
two_monitor_rig "$work/prefix"
run_screen "$DISPLAY" 'Screen.TwoMonitors*'
# Older Windows: the desktop-spanning picture is shown by one video window per monitor.
wine reg add 'HKCU\Software\Wine' /v Version /d winxp64 /f >/dev/null
RH_OLDER_SYSTEM=1 run_screen "$DISPLAY" 'Screen.TwoMonitorsShare*'
exit $status
