# Shell helpers the test and benchmark scripts share; source it.
declare -F wine_env_restart_server >/dev/null || . "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"

# avi_clip FILE LAVFI_SOURCE SECONDS: a clip in Microsoft Video 1, which Wine decodes without
# GStreamer plug-ins; made once, kept while it exists.
avi_clip() {
  [ -s "$1" ] || ffmpeg -loglevel error -y -f lavfi -i "$2" -t "$3" -c:v msvideo1 -pix_fmt rgb555le "$1"
}

# Without a window manager on the test display, Wine waits two seconds for one to withdraw
# every managed window it destroys; unmanaged windows are destroyed at once. The setting is
# prefix-wide: unmanaged_windows puts back what was there when the script exits.
unmanaged_windows() {
  wm_key='HKCU\Software\Wine\X11 Driver'
  wm_old=$(wine reg query "$wm_key" /v Managed 2>/dev/null | tr -d '\r' | awk '$1 == "Managed" {print $3}' || true)
  trap restore_managed_windows EXIT
  wine reg add "$wm_key" /v Managed /d N /f >/dev/null 2>&1
}
restore_managed_windows() {
  if [ -n "$wm_old" ]; then wine reg add "$wm_key" /v Managed /d "$wm_old" /f >/dev/null 2>&1
  else wine reg delete "$wm_key" /v Managed /f >/dev/null 2>&1; fi
}

# Failure counting: check WHAT COMMAND... runs a command that must succeed, fail WHAT counts
# a failure found otherwise, finish reports and gives the script's status.
failures=0
check() { if "${@:2}"; then echo "ok   $1"; else fail "$1"; fi; }
fail() { echo "FAIL $*"; failures=$((failures + 1)); }
note() { echo "--- $*"; }
finish() { echo "$failures failure(s)"; [ "$failures" = 0 ]; }
same() { [ "$1" = "$2" ] || { echo "     got:      $1" >&2; echo "     expected: $2" >&2; return 1; }; }
contains() { [[ "$1" == *"$2"* ]] || { echo "     no \"$2\" in: $1" >&2; return 1; }; }

quiet() { "$@" >/dev/null 2>&1; }
not() { ! "$@"; }
# wine's own output (and its CRs) without the sound and graphics noise on stderr.
wout() { wine "$@" 2>/dev/null | tr -d '\r'; }

# reg_values KEY NAME=TYPE:DATA...: registry values as reg add writes them. Each is read
# back: a value silently missing would make a later check fail for the wrong reason, so
# a write is tried three times and then reported.
reg_values() {
  local key=$1 pair value name try
  shift
  for pair in "$@"; do
    name=${pair%%=*} value=${pair#*=}
    for try in 1 2 3; do
      wine reg add "$key" /v "$name" /t "${value%%:*}" /d "${value#*:}" /f >/dev/null 2>&1 &&
        wine reg query "$key" /v "$name" >/dev/null 2>&1 && continue 2
      sleep 0.5
    done
    echo "reg_values: $key\\$name could not be written" >&2
    return 1
  done
}

# poll SECONDS COMMAND...: true as soon as the command succeeds (tried every 0.1 s), false
# when SECONDS have passed first.
poll() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do [ $SECONDS -ge $deadline ] && return 1; sleep 0.1; done
}
gone() { ! kill -0 "$1" 2>/dev/null; }
# reap PID SECONDS: waits for a background job; its exit code goes to $rc. False, with the
# job killed and rc=124, when it had not ended.
reap() {
  rc=124
  if poll "$2" gone "$1"; then wait "$1"; rc=$?; return 0; fi
  kill "$1" 2>/dev/null
  wait "$1" 2>/dev/null
  return 1
}

# network_drive DIR: DIR becomes drive N:, of the network type (Wine's mount manager reads
# drive types when it starts); drop_network_drive puts the prefix back.
network_drive() {
  ln -sfn "$1" "$WINEPREFIX/dosdevices/n:"
  wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
  wine_env_restart_server
}
drop_network_drive() {
  [ -L "$WINEPREFIX/dosdevices/n:" ] || return 0
  wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
  rm -f "$WINEPREFIX/dosdevices/n:"
  wine_env_restart_server
}

# slow_share_drive LETTER FOLDER MOUNT [slow_share options]: FOLDER seen through slow_share
# (tests/support/slow_share.c, a FUSE mount at MOUNT) becomes network drive LETTER: once the
# wineserver restarts. False, with nothing mounted, where FUSE is missing (tests that need
# the drive skip then). drop_slow_share_drive LETTER MOUNT undoes it.
slow_share_pid=
slow_share_drive() {
  local letter=$1 folder mount exe
  folder=$(realpath -m "$2") mount=$(realpath -m "$3")
  shift 3
  exe="$(dirname "$mount")/slow_share"
  fusermount3 -uz "$mount" 2>/dev/null
  mkdir -p "$folder" "$mount"
  gcc -O2 -o "$exe" "$(dirname "${BASH_SOURCE[0]}")/slow_share.c" \
    $(pkg-config --cflags --libs fuse3 2>/dev/null) 2>/dev/null || return 1
  "$exe" "$@" "$folder" "$mount" &
  slow_share_pid=$!
  poll 5 mountpoint -q "$mount" || return 1
  ln -sfn "$mount" "$WINEPREFIX/dosdevices/$letter:"
  wine reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d network /f >/dev/null 2>&1
}
drop_slow_share_drive() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v "$1:" /f >/dev/null 2>&1
  rm -f "$WINEPREFIX/dosdevices/$1:"
  # Lazily: a look-up or read the test left waiting may still hold the mount.
  [ -n "$slow_share_pid" ] && { fusermount3 -uz "$2"; kill "$slow_share_pid" 2>/dev/null; wait "$slow_share_pid"; }
  slow_share_pid=
}

# install_saver MSI_WINDOWS_PATH: the package installed afresh (removed first: over an
# installed package of the same version, /i leaves the files as they are). Tried twice:
# right after the removal, Wine's msiexec failed to install once. False when it did not.
install_saver() {
  wine msiexec /x "$1" /qn >/dev/null 2>&1
  for _ in 1 2; do
    wine msiexec /i "$1" /qn >/dev/null 2>&1
    [ -f "$WINEPREFIX/drive_c/windows/system32/Reelhaven.scr" ] && return 0
  done
  return 1
}

# two_monitor_rig COPY [WxH...]: from here on Wine draws on two monitors of different sizes,
# 1280x720 at 0,0 (the main one) and 1024x768 at 1280,0, or on the monitors of the sizes
# given, side by side from 0,0 in that order: Xephyr with that many Xinerama screens inside
# an Xvfb of its own. A Wine desktop belongs to one display, so WINEPREFIX becomes a copy
# of the prefix at COPY (hard links: nothing writes into the system files) with a server of
# its own; its registry changes vanish with it. drop_two_monitor_rig gives back the prefix, its
# persistent server and the display. False when a display did not come up. Both work
# under set -e.
twin_pids=() twin_copy= twin_prefix= twin_display=
twin_free_display() { # FIRST: the first display number from FIRST on that nobody uses
  local n=$1
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  echo "$n"
}
two_monitor_rig() {
  local host dual size width=0 height=0 screens=()
  twin_prefix=$WINEPREFIX twin_display=$DISPLAY twin_copy=$1
  shift
  [ $# -gt 0 ] || set -- 1280x720 1024x768
  for size in "$@"; do
    screens+=(-screen "$size")
    width=$((width + ${size%x*})) height=$(( ${size#*x} > height ? ${size#*x} : height ))
  done
  host=:$(twin_free_display $(( ${DISPLAY#:} + 40 )))
  Xvfb "$host" -screen 0 "$(( width > 2560 ? width : 2560 ))x$(( height > 1440 ? height : 1440 ))x24" \
    -nolisten tcp >/dev/null 2>&1 &
  twin_pids+=($!)
  poll 5 env DISPLAY="$host" xdpyinfo >/dev/null 2>&1 || return 1
  dual=:$(twin_free_display $(( ${host#:} + 1 )))
  DISPLAY=$host Xephyr "$dual" +xinerama "${screens[@]}" -nolisten tcp >/dev/null 2>&1 &
  twin_pids+=($!)
  poll 5 env DISPLAY="$dual" xdpyinfo >/dev/null 2>&1 || return 1
  # A fresh prefix's registry reaches its files only when the server ends.
  wineserver -k >/dev/null 2>&1 || true; wineserver -w || true
  mkdir -p "$twin_copy"
  cp -al "$WINEPREFIX/drive_c" "$twin_copy/"
  cp -a "$WINEPREFIX/dosdevices" "$WINEPREFIX"/*.reg "$WINEPREFIX/.update-timestamp" "$twin_copy/"
  export WINEPREFIX=$twin_copy DISPLAY=$dual
  # Xephyr's RandR knows one big screen; Xinerama knows the two monitors. The desktop reads
  # this when it starts, so the server starts again after the change.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1 || return 1
  wineserver -k >/dev/null 2>&1 || true; wineserver -w || true
}
drop_two_monitor_rig() {
  if [ -n "$twin_copy" ]; then
    WINEPREFIX=$twin_copy wineserver -k >/dev/null 2>&1 || true
    rm -rf "$twin_copy"
    export WINEPREFIX=$twin_prefix DISPLAY=$twin_display
    # The persistent server back, Wine's services started from a program whose output goes
    # nowhere (they keep the stderr of the program that starts them).
    wineserver -p >/dev/null 2>&1 </dev/null || true
    wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  fi
  local pid
  for pid in "${twin_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  twin_pids=() twin_copy=
  return 0
}
