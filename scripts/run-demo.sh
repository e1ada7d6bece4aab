#!/usr/bin/env bash
# Shows Reelhaven running: installs what it needs (as root on Debian), builds the program,
# the library and the MSI, installs the MSI into a Wine prefix of its own, makes a small
# playlist of generated clips and starts the screen saver with /s. On a working $DISPLAY it
# runs there until you move the mouse or press a key; otherwise it runs on a virtual
# display for a few seconds. Either way it leaves screenshots and prints where they are.
#   scripts/run-demo.sh            (BUILD_DIR=... to build elsewhere, DEMO_SECONDS=... for
#                                   the virtual display's run time, default 14)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}
seconds=${DEMO_SECONDS:-14}

step() { printf '\n== %s\n' "$*"; }

step "Packages"
"$root/scripts/install-deps.sh"

step "Build (Reelhaven.scr, Framewheel.dll, Reelhaven.msi)"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j"$(nproc)" --target reelhaven_msi
msi="$build/Reelhaven.msi"

# Display: the user's own when it answers, else a private virtual one.
pids=()
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${PULSE_RUNTIME_PATH:-}" ] && pulseaudio --kill >/dev/null 2>&1 || true
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  virtual=
  echo "using your display $DISPLAY"
else
  virtual=yes
  n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  Xvfb "$DISPLAY" -screen 0 1280x720x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  echo "no usable display: running on the virtual display $DISPLAY (1280x720)"
  # A sound server with a silent sink, so the mixer and the audio renderer exist.
  export PULSE_RUNTIME_PATH="$build/demo-pulse" PULSE_STATE_PATH="$build/demo-pulse"
  mkdir -p "$PULSE_RUNTIME_PATH"
  pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix \
    >/dev/null 2>&1 || echo "(no sound server: the demo plays without sound)"
fi

step "Wine prefix and installation"
export WINEPREFIX="$build/demo-prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || true
wineserver -p 2>/dev/null || true # already running after a first wineboot
# A fresh install each time, so the prefix holds the program just built.
wine msiexec /x "$msi" /qn >/dev/null 2>&1 || true
wine msiexec /i "$msi" /qn
echo "installed into $WINEPREFIX (C:\\windows\\system32\\Reelhaven.scr," \
  "C:\\Program Files\\Halcyra\\Reelhaven\\)"

step "Demo playlist"
media="$WINEPREFIX/drive_c/Reelhaven Demo"
mkdir -p "$media"
ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 -f lavfi -i sine=f=440:sample_rate=44100 \
  -t 5 -c:v mpeg4 -q:v 4 -c:a mp3 -shortest "$media/testcard.avi" 2>/dev/null ||
  ffmpeg -v error -y -f lavfi -i testsrc2=size=640x360:rate=25 -t 5 -c:v mpeg4 -q:v 4 "$media/testcard.avi"
ffmpeg -v error -y -f lavfi -i smptebars=size=320x240:rate=15 -t 4 -c:v msvideo1 -pix_fmt rgb555le \
  "$media/bars.avi"
ffmpeg -v error -y -f lavfi -i "life=size=320x240:rate=15:mold=10:ratio=0.1:life_color=#f2c14e:death_color=#0b3d22" \
  -t 5 -c:v mpeg4 -q:v 4 "$media/life.avi"
# Full screen, a bouncing picture at its own size across the desktop, and a half-size one,
# made with the playlist tool the MSI installed beside the library.
tool='C:\Program Files\Halcyra\Reelhaven\rhplaylist.exe'
wine "$tool" create 'C:\Reelhaven Demo\demo.plst' --force --size Maximized \
  'C:\Reelhaven Demo\testcard.avi'
wine "$tool" add 'C:\Reelhaven Demo\demo.plst' --size Original --bounce yes --style Desktop \
  'C:\Reelhaven Demo\bars.avi'
wine "$tool" add 'C:\Reelhaven Demo\demo.plst' --size '1/2 Screen' --bounce no --style Monitor \
  'C:\Reelhaven Demo\life.avi'
wine "$tool" list 'C:\Reelhaven Demo\demo.plst'

key='HKCU\Software\Halcyra\Reelhaven'
wine reg add "$key" /v Playlist /t REG_SZ /d 'C:\Reelhaven Demo\demo.plst' /f >/dev/null
# The classic renderer draws through GDI, so the picture shows on any X server.
wine reg add "$key" /v 'Use Classic Video Renderer' /t REG_DWORD /d 1 /f >/dev/null

step "Running Reelhaven.scr /s"
shots="$build/demo-shots"
mkdir -p "$shots"
rm -f "$shots"/*.png
wine 'C:\windows\system32\Reelhaven.scr' /s >/dev/null 2>&1 &
saver=$!
# One screenshot in each clip (5, 4 and 5 seconds long).
previous=0
for t in 3 7 12; do
  sleep $((t - previous))
  previous=$t
  kill -0 "$saver" 2>/dev/null || break
  import -window root "$shots/after-${t}s.png"
done
if [ -n "$virtual" ]; then
  sleep $((seconds > 12 ? seconds - 12 : 0))
  # Any key ends a screen saver.
  for _ in $(seq 50); do
    kill -0 "$saver" 2>/dev/null || break
    xdotool key space >/dev/null 2>&1 || true
    sleep 0.2
  done
else
  echo "the screen saver runs on your display: move the mouse or press a key to end it"
fi
wait "$saver" && echo "Reelhaven ended normally" || echo "Reelhaven ended with exit code $?"

step "Done"
echo "screenshots:  $shots/"
ls -1 "$shots"
echo "Wine prefix:  $WINEPREFIX (the product stays installed there)"
echo "configure it: WINEPREFIX='$WINEPREFIX' wine 'C:\\windows\\system32\\Reelhaven.scr' /c"
