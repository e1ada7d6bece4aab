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
pids=()
prefix2=
rig_prefix=$WINEPREFIX rig_display=$DISPLAY
cleanup() {
  if [ -n "$prefix2" ]; then
    WINEPREFIX=$prefix2 wineserver -k >/dev/null 2>&1 || true
    # Give the rig its persistent server back, with Wine's services started from a program
    # whose output goes nowhere (they keep the stderr of the program that starts them).
    WINEPREFIX=$rig_prefix wineserver -p >/dev/null 2>&1 </dev/null || true
    WINEPREFIX=$rig_prefix DISPLAY=$rig_display wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  fi
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
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
n=$(( ${DISPLAY#:} + 40 ))
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
host=:$n
Xvfb "$host" -screen 0 2560x1440x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do DISPLAY=$host xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
m=$((n + 1))
while [ -e "/tmp/.X$m-lock" ] || [ -e "/tmp/.X11-unix/X$m" ]; do m=$((m + 1)); done
dual=:$m
DISPLAY=$host Xephyr "$dual" +xinerama -screen 1280x720 -screen 1024x768 -nolisten tcp \
  >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do DISPLAY=$dual xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A Wine desktop belongs to one display, so the two-monitor cases run on their own copy of
# the prefix (hard links: nothing writes into the system files) with their own wineserver.
# Its registry changes (XRandR off, Windows version) vanish with it.
prefix2=$work/prefix
mkdir -p "$prefix2"
# A fresh prefix's registry reaches its files only when the server ends.
wineserver -k >/dev/null 2>&1 || true
wineserver -w
cp -al "$WINEPREFIX/drive_c" "$prefix2/"
cp -a "$WINEPREFIX/dosdevices" "$WINEPREFIX"/*.reg "$WINEPREFIX/.update-timestamp" "$prefix2/"
export WINEPREFIX=$prefix2 DISPLAY=$dual
# Xephyr's RandR knows one big screen; Xinerama knows the two monitors. The desktop reads
# this when it starts, so the server is restarted after the change.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null
wineserver -k >/dev/null 2>&1 || true
wineserver -w
run_screen "$dual" 'Screen.TwoMonitors*'
# Older Windows: the desktop-spanning picture is shown by one video window per monitor.
wine reg add 'HKCU\Software\Wine' /v Version /d winxp64 /f >/dev/null
RH_OLDER_SYSTEM=1 run_screen "$dual" 'Screen.TwoMonitorsShare*'
exit $status
