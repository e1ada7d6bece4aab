#!/usr/bin/env bash
# Key press to the end of the installed saver while a share does not answer a look-up, with
# the cache on and off. S: is a network drive served by slow_share (tests/support, FUSE):
# a look-up of its names beginning with "slow" takes LOOKUP_MS (30000). The playlist is a
# local 2-second red clip, then two clips on S:; the key is pressed 1.5 s after the red
# clip ended, when the run changes to the first clip on S: (the cache is asked for it, and
# for the one after, on the player's playback thread, which also answers input). From
# outside: the screen given back (no window of the saver's left; polled every 20 ms) and
# the process's end (waited for). A run not over within 60 s counts as a hang. Median and
# worst of RUNS (3).
#   BUILD_DIR=... [MSI=other.msi] bench/cache/input_while_lookup_hangs.sh   (needs targets reelhaven_msi, run_tool)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
runs=${RUNS:-3} lookup_ms=${LOOKUP_MS:-30000}
env_dir="$build/bench/cache/lookup-env" && mkdir -p "$env_dir"
. "$root/tests/support/test_kit.sh"
back="$env_dir/share" mnt="$env_dir/slow" slow_pid=
finish_bench() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v s: /f >/dev/null 2>&1
  rm -f "$WINEPREFIX/dosdevices/s:"
  # Lazily: a look-up still waiting holds the mount.
  [ -n "$slow_pid" ] && { fusermount3 -uz "$mnt"; kill "$slow_pid" 2>/dev/null; wait "$slow_pid" 2>/dev/null; }
  wine_env_stop
  rm -rf "$back" "$env_dir/slow-on"
}
trap finish_bench EXIT
wine_env_start "$env_dir" 640x480
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1  # see exit_while_copying.sh
msi=$(winepath -w "${MSI:-$build/Reelhaven.msi}")
install_saver "$msi" || { echo "the MSI did not install"; exit 1; }
scr='C:\windows\system32\Reelhaven.scr'
cache_dir="$WINEPREFIX/drive_c/Program Files/Halcyra/Reelhaven/Cache"
media="$WINEPREFIX/drive_c/rh-lookup" && mkdir -p "$media" "$back" "$mnt"
avi_clip "$media/red.avi" "color=c=red:s=320x240:r=10" 2
avi_clip "$back/slowgreen.avi" "color=c=green:s=320x240:r=10" 10
avi_clip "$back/slowblue.avi" "color=c=blue:s=320x240:r=10" 10
gcc -O2 -o "$env_dir/slow_share" "$root/tests/support/slow_share.c" $(pkg-config --cflags --libs fuse3) || exit 1
"$env_dir/slow_share" --lookup-ms "$lookup_ms" --switch "$env_dir/slow-on" "$back" "$mnt" &
slow_pid=$!
for _ in $(seq 50); do mountpoint -q "$mnt" && break; sleep 0.1; done
mountpoint -q "$mnt" || { echo "slow_share did not mount (FUSE?)"; exit 1; }
ln -sfn "$mnt" "$WINEPREFIX/dosdevices/s:"
wine reg add 'HKLM\Software\Wine\Drives' /v s: /d network /f >/dev/null 2>&1
wine_env_restart_server
wine "$build/tests/run/run_tool.exe" make 'C:\rh-lookup\three.plst' 'C:\rh-lookup\red.avi' 'S:\slowgreen.avi' \
  'S:\slowblue.avi' >/dev/null 2>&1
key='HKCU\Software\Halcyra\Reelhaven'

now() { date +%s%3N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
red() { import -window root -crop 1x1+320+240 txt:- 2>/dev/null | tail -1 | grep -qE '\((6[0-9]{4}|[3-5][0-9]{4}),[0-9]{1,4},[0-9]{1,4}\)'; }
saver_windows() { xdotool search --onlyvisible --name '^(Reelhaven|Halcyra Framewheel)$' >/dev/null 2>&1; }

one_run() { # prints "screen_ms exit_ms", or "hang"
  local job t0 t shown rc
  rm -f "$cache_dir"/slow*
  : >"$env_dir/slow-on"  # the share stops answering
  sleep 1.2              # what the system knew of its names has expired
  xdotool mousemove 10 10
  timeout 60 wine "$scr" /s >/dev/null 2>&1 &
  job=$!
  for _ in $(seq 300); do red && break; sleep 0.05; done
  for _ in $(seq 100); do red || break; sleep 0.05; done
  sleep 1.5
  t0=$(now)
  xdotool key a
  (until ! saver_windows; do kill -0 "$job" 2>/dev/null || break; sleep 0.02; done; echo $(($(now) - t0)) >"$env_dir/t.screen") &
  local poller=$!
  wait "$job"
  rc=$?
  t=$(($(now) - t0))
  wait "$poller"
  rm -f "$env_dir/slow-on"
  sleep 1
  [ "$rc" = 124 ] && { echo hang; return; }
  shown=$(cat "$env_dir/t.screen")
  echo "$shown $t"
}

series() { # label no-cache
  local label=$1 out=()
  wine reg delete "$key" /f >/dev/null 2>&1
  wine reg add "$key" /v 'Use Classic Video Renderer' /t REG_DWORD /d 1 /f >/dev/null 2>&1
  wine reg add "$key" /v Playlist /d 'C:\rh-lookup\three.plst' /f >/dev/null 2>&1
  wine reg add "$key" /v 'No Cache' /t REG_DWORD /d "$2" /f >/dev/null 2>&1
  for _ in $(seq "$runs"); do out+=("$(one_run)"); done
  local ok; ok=$(printf '%s\n' "${out[@]}" | grep -v hang)
  printf '%-12s screen back: median %6s worst %6s ms | exit: median %6s worst %6s ms | hangs %d/%d\n' "$label" \
    "$(echo "$ok" | awk '{print $1}' | median)" "$(echo "$ok" | awk '{print $1}' | sort -n | tail -1)" \
    "$(echo "$ok" | awk '{print $2}' | median)" "$(echo "$ok" | awk '{print $2}' | sort -n | tail -1)" \
    "$(printf '%s\n' "${out[@]}" | grep -c hang)" "$runs"
  echo "    runs (screen/exit ms): $(printf '%s\n' "${out[@]}" | tr ' ' / | tr '\n' ' ')"
}

echo "key to screen back and to exit while S: takes $lookup_ms ms to answer a look-up, $runs runs each"
series "cache off" 1
series "cache on" 0
