#!/usr/bin/env bash
# Key press to the end of the installed saver while a large network video is being copied
# into the cache, against the same run with the cache off. N: is a drive Wine reports as a
# network drive; its huge.avi is 20 GB, all of it a hole on the Linux side, so the copy
# runs at the speed of the local disk. The run plays a local clip (huge.avi is no video
# and fails) while the copy goes on; the key is pressed once the partial copy holds
# PART_MB (4096) megabytes: past the kernel's threshold for writing dirty data back (10% of
# this machine's 24 GB), as a copy that has run for minutes would be. From outside: the process's end (waited for), the screen
# given back (no window of the saver's left) and the partial copy gone (polled every 20 ms;
# a run still there after its 120 s timeout counts as a hang). Median and worst
# of RUNS (10) each.
#   BUILD_DIR=... [MSI=other.msi] bench/cache/exit_while_copying.sh   (needs targets reelhaven_msi, run_tool)
set -u
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(cd "${BUILD_DIR:-$root/build}" && pwd)
runs=${RUNS:-10} part_mb=${PART_MB:-4096}
env_dir="$build/bench/cache/exit-env" && mkdir -p "$env_dir"
. "$root/tests/support/test_kit.sh"
share="$env_dir/share"
finish_bench() {
  drop_network_drive
  rm -rf "$share"
  wine_env_stop
}
trap finish_bench EXIT
wine_env_start "$env_dir" 640x480
# Without a window manager Wine waits 2 s for one to withdraw each managed window it
# destroys; the prefix is the benchmark's own, so its windows stay unmanaged.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
msi=$(winepath -w "${MSI:-$build/Reelhaven.msi}")
install_saver "$msi" || { echo "Reelhaven.msi did not install"; exit 1; }
scr='C:\windows\system32\Reelhaven.scr'
cache_dir="$WINEPREFIX/drive_c/Program Files/Halcyra/Reelhaven/Cache"
media="$WINEPREFIX/drive_c/rh-exit" && mkdir -p "$media" "$share"
avi_clip "$media/red.avi" "color=c=red:s=320x240:r=10" 60
truncate -s 20G "$share/huge.avi"
network_drive "$share"
wine "$build/tests/run/run_tool.exe" make 'C:\rh-exit\huge.plst' 'N:\huge.avi' 'C:\rh-exit\red.avi' >/dev/null 2>&1
key='HKCU\Software\Halcyra\Reelhaven'

now() { date +%s%3N; }
median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
red() { import -window root -crop 1x1+320+240 txt:- 2>/dev/null | tail -1 | grep -qE '\((6[0-9]{4}|[3-5][0-9]{4}),[0-9]{1,4},[0-9]{1,4}\)'; }
saver_windows() { xdotool search --onlyvisible --name '^(Reelhaven|Halcyra Framewheel)$' >/dev/null 2>&1; }
part_mb() { local f; f=$(ls "$cache_dir"/*.part 2>/dev/null | head -1); [ -n "$f" ] && echo $(($(stat -c %s "$f" 2>/dev/null || echo 0) >> 20)) || echo 0; }
parts() { ls "$cache_dir"/*.part 2>/dev/null | wc -l; }

# first_time FILE T0 TEST...: writes the milliseconds from T0 until TEST first holds (or
# the process ended, then "-") to FILE. One poller per event: the partial copy's removal
# holds the cache folder, and a look at it waits for as long.
first_time() {
  local file=$1 t0=$2
  shift 2
  until "$@"; do kill -0 "$job" 2>/dev/null || { echo - >"$file"; return; }; sleep 0.02; done
  echo $(($(now) - t0)) >"$file"
}
no_windows() { ! saver_windows; }
no_parts() { ! compgen -G "$cache_dir/*.part" >/dev/null; }

one_run() { # cache-on(0|1): prints "screen_ms exit_ms part_gone_ms part_mb", or "hang"
  local cache=$1 t0 t mb=0 pollers
  rm -f "$cache_dir"/huge* "$env_dir"/t.*
  xdotool mousemove 10 10
  timeout 120 wine "$scr" /s >/dev/null 2>&1 &
  job=$!
  for _ in $(seq 600); do red && break; sleep 0.05; done
  if [ "$cache" = 1 ]; then
    for _ in $(seq 1200); do mb=$(part_mb); [ "$mb" -ge "$part_mb" ] && break; sleep 0.02; done
  fi
  t0=$(now)
  xdotool key a
  first_time "$env_dir/t.screen" "$t0" no_windows &
  pollers=$!
  first_time "$env_dir/t.part" "$t0" no_parts &
  pollers="$pollers $!"
  wait "$job"
  local rc=$?
  t=$(($(now) - t0))
  wait $pollers
  [ "$rc" = 124 ] && { echo hang; return; }
  echo "$(cat "$env_dir/t.screen") $t $(cat "$env_dir/t.part") $mb" | sed "s/-/$t/g"
  rm -f "$cache_dir"/huge*
  sleep 0.5
}

series() { # label cache-on
  local label=$1 out=() line
  wine reg delete "$key" /f >/dev/null 2>&1
  wine reg add "$key" /v 'Use Classic Video Renderer' /t REG_DWORD /d 1 /f >/dev/null 2>&1
  wine reg add "$key" /v Playlist /d 'C:\rh-exit\huge.plst' /f >/dev/null 2>&1
  wine reg add "$key" /v 'No Cache' /t REG_DWORD /d $((1 - $2)) /f >/dev/null 2>&1
  for _ in $(seq "$runs"); do out+=("$(one_run "$2")"); done
  local ok; ok=$(printf '%s\n' "${out[@]}" | grep -v hang)
  col() { echo "$ok" | awk -v c="$1" '{print $c}'; }
  printf '%-24s screen back: median %5s worst %5s ms | exit: median %5s worst %5s ms | hangs %d/%d\n' "$label" \
    "$(col 1 | median)" "$(col 1 | sort -n | tail -1)" "$(col 2 | median)" "$(col 2 | sort -n | tail -1)" \
    "$(printf '%s\n' "${out[@]}" | grep -c hang)" "$runs"
  [ "$2" = 1 ] && printf '%-24s partial copy gone: median %5s worst %5s ms | its size at the key: median %s MB\n' "" \
    "$(col 3 | median)" "$(col 3 | sort -n | tail -1)" "$(col 4 | median)"
  echo "    runs (screen/exit/partial gone ms/partial MB): $(printf '%s\n' "${out[@]}" | tr ' ' / | tr '\n' ' ')"
}

echo "key to screen back and to exit, $runs runs each, a 20 GB network video in the playlist (key at $part_mb MB copied)"
series "cache off" 0
series "cache on, copying" 1
