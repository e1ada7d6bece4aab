#!/usr/bin/env bash
# What a viewer sees between items on each monitor when every monitor plays its own video:
# Reelhaven.msi installed on two Xephyr monitors of different sizes, "Each Monitor Own
# Video" and the classic video renderer on, a playlist of three solid-colour clips, and a
# pixel probe on each monitor's centre. The main monitor starts on the first entry, the
# second on the one after; each advances on its own clips' ends through the colours and back
# to where it began, and every change may show at most 40 ms of anything else. Both codecs.
#   run_seam_monitors.sh Reelhaven.msi RUN_TOOL WORKDIR
set -u
msi=$1 tool=$2 work=$3
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../run/e2e_lib.sh"
. "$here/seam_kit.sh"
scr='C:\windows\system32\Reelhaven.scr'
# The clips stay between runs (the 720p ones take a while to make); they are reached through
# Wine's Z: drive, so the rig's copy of the prefix needs none of its own.
media="$work/media"
mkdir -p "$media" && rm -f "$work"/*.log
colour_clips "$media" red lime blue
wmedia=$(winepath -w "$media")
stop_all() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
  stop_probes
  drop_two_monitor_rig
}
trap stop_all EXIT

two_monitor_rig "$work/prefix" || { echo "FAIL: no two-monitor display"; exit 1; }
install_saver "$(winepath -w "$msi")" || { echo "FAIL: install"; exit 1; }
mapfile -t centres < <(monitor_centres)
[ ${#centres[@]} = 2 ] || { echo "FAIL: Xinerama lists ${#centres[@]} monitors, not 2"; exit 1; }

advanced() { # LOG...: every log shows three changes of colour
  local log
  for log; do [ "$(switches "$log" | wc -l)" -ge 3 ] || return 1; done
}

play_codec() { # extension
  local ext=$1 logs=() i seen
  make_list "$wmedia\\$ext.plst" "$wmedia\\red.$ext" "$wmedia\\lime.$ext" "$wmedia\\blue.$ext"
  settings Playlist=REG_SZ:"$wmedia\\$ext.plst" 'Each Monitor Own Video=REG_DWORD:1'
  for i in 0 1; do
    logs+=("$work/$ext-$i.log")
    start_probe "$work/pixel_probe" "${logs[$i]}" ${centres[$i]} || { fail "$ext: no pixel probe"; return; }
  done
  start_run wine "$scr" /s
  # Three 2 s clips after the start, which has taken up to 15 s when two players start at once.
  poll 40 advanced "${logs[@]}" || fail "$ext: not three advances on each monitor"
  end_by "key a" "$ext"
  stop_probes
  # Main: red, green, blue, red. Second: green, blue, red, green.
  local expected=("RG GB BR " "GB BR RG ")
  for i in 0 1; do
    seen=$(switches "${logs[$i]}")
    echo "$ext monitor $((i + 1)) at ${centres[$i]}, switches (from to ms): $(echo "$seen" | tr '\n' ',')"
    [ "$(echo "$seen" | head -3 | awk '{printf "%s%s ", $1, $2}')" = "${expected[$i]}" ] ||
      fail "$ext monitor $((i + 1)): changes were not ${expected[$i]}"
    echo "$seen" | awk '$3 > 40 { bad = 1 } END { exit bad }' || fail "$ext monitor $((i + 1)): more than 40 ms between colours"
  done
}

note "Microsoft Video 1 AVI, 320x240, no sound"
play_codec avi
note "H.264 MP4, 1280x720, with AAC sound (the main monitor's)"
play_codec mp4
finish
