# Sourced by the test and demo scripts: a private Wine prefix, an X display and a sound
# server for one run, and a way to stop them again.
#   wine_env_start BUILD_DIR [WIDTHxHEIGHT]   exports WINEPREFIX, DISPLAY, PULSE_RUNTIME_PATH
#   wine_env_restart_server
#   wine_env_stop

wine_env_pids=()

wine_env_start() {
  local build=$1 geometry=${2:-1920x1080}
  export WINEPREFIX="$build/wineprefix" WINEDEBUG=-all WINEARCH=win64
  # No Mono or Gecko prompts: the product needs neither.
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export PULSE_RUNTIME_PATH="$build/pulse" PULSE_STATE_PATH="$build/pulse"
  mkdir -p "$PULSE_RUNTIME_PATH"

  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  export DISPLAY=":$n"
  Xvfb "$DISPLAY" -screen 0 "${geometry}x24" -nolisten tcp >/dev/null 2>&1 &
  wine_env_pids+=($!)
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

  # A server left over from an interrupted run of this build would block a new one.
  pulseaudio --kill >/dev/null 2>&1 || true
  rm -f "$PULSE_RUNTIME_PATH/pid"
  pulseaudio --daemonize=yes --exit-idle-time=-1 -n \
    --load="module-null-sink sink_name=nullsink" --load=module-native-protocol-unix \
    >/dev/null 2>&1 || echo "warning: pulseaudio did not start; sound tests will fail" >&2

  # A persistent server first: later processes start in a second instead of several, and
  # wineboot then uses it rather than starting one of its own.
  mkdir -p "$WINEPREFIX"
  wineserver -p
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1
  fi
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d Y /f >/dev/null 2>&1 || true
  # A crash prints its backtrace and ends the process: Wine's crash dialog would wait for a
  # click that never comes, and the test would hang until ctest's timeout.
  wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
}

# Restarts the prefix's wineserver, persistently (Wine reads drive types when it starts).
# Wine's services keep the stderr of the program that starts them, so they are started from
# one whose output goes nowhere; otherwise they would hold a caller's pipe (ctest's) open.
wine_env_restart_server() {
  wineserver -k >/dev/null 2>&1; timeout 20 wineserver -w
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}

wine_env_stop() {
  wineserver -k >/dev/null 2>&1 || true
  pulseaudio --kill >/dev/null 2>&1 || true
  local pid
  for pid in "${wine_env_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wine_env_pids=()
}
