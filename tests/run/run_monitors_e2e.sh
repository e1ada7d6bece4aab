#!/usr/bin/env bash
# The run on two monitors of different sizes (Xephyr with Xinerama inside a private Xvfb):
# the "Monitors" setting keeps the picture to the monitors it names, the others stay black,
# and input on a black one ends the run like any other input.
#   run_monitors_e2e.sh RUN_TOOL ADMIN_PROBE FRAMEWHEEL_DLL WORKDIR   (inside the Wine rig)
set -u
tool=$1 probe=$2 dll=$3 work=$4 wmedia='C:\rh-monitors'
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
rig_script

avi_clip "$media/red.avi" "color=c=red:s=320x240:r=10" 30
wine regsvr32 /s "$(winepath -w "$dll")" || { echo "FAIL: regsvr32"; exit 1; }
make_list "$wmedia\\red.plst" "$wmedia\\red.avi"

# Monitor 1 at 0,0 (1280x720, the main one), monitor 2 at 1280,0 (1024x768).
two_monitor_rig "$work/prefix" || { echo "FAIL: no two-monitor display"; exit 1; }
media="$WINEPREFIX/drive_c/${wmedia#C:\\}"

colour_at() { # X Y: red, black or other
  import -window root -crop "1x1+$1+$2" txt:- 2>/dev/null | tail -1 |
    sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk '{ c = ($1 < 3000 && $2 < 3000 && $3 < 3000) ? "black" : "other"
           if ($1 > 20000 && $2 < 8000 && $3 < 8000) c = "red"; print c }'
}
# The monitors' centres, and the two colours they show.
shows_both() { [ "$(colour_at 640 360)" = "$1" ] && [ "$(colour_at 1792 384)" = "$2" ]; }

# case MONITORS FIRST SECOND: the run with that setting shows FIRST on monitor 1 and SECOND on
# monitor 2 (within 20 s, and still 2 s later), then a click where the run put the mouse,
# on monitor 1, ends it.
case_of() {
  settings Playlist=REG_SZ:"$wmedia\\red.plst" Monitors=REG_SZ:"$1"
  start_run wine "$tool" run "$wmedia\\"
  if poll 20 shows_both "$2" "$3"; then
    sleep 2
    shows_both "$2" "$3" || fail "Monitors '$1': $(colour_at 640 360)/$(colour_at 1792 384) after 2 s"
  else
    fail "Monitors '$1': $(colour_at 640 360)/$(colour_at 1792 384), not $2/$3"
  fi
  end_by "click 1" "Monitors '$1', a click on monitor 1"
}

note "every monitor: empty, and names that match no monitor"
case_of "" red red
case_of '\\.\DISPLAY9' red red
note "the second monitor only: the first stays black and its click ends the run"
case_of '\\.\DISPLAY2' black red
note "the main monitor only"
case_of Main red black
case_of ' \\.\display1 ; ' red black
finish
