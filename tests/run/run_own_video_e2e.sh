#!/usr/bin/env bash
# "Each Monitor Own Video" end to end on Xephyr monitors of different sizes: every chosen
# monitor plays the playlist on its own (clips of one colour each tell from a pixel in each
# monitor's centre what plays there), keys move all of them, a failure on one leaves the
# others playing, and the run saves every monitor's results and the main monitor's place.
#   run_own_video_e2e.sh RUN_TOOL ADMIN_PROBE FRAMEWHEEL_DLL WORKDIR   (inside the Wine rig)
set -u
tool=$1 probe=$2 dll=$3 work=$4 wmedia='C:\rh-own'
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
rig_script

# 320x240 Microsoft Video 1 at 10 frames per second: long ones, and a short green.
for c in red:red green:lime blue:blue; do
  avi_clip "$media/${c%:*}.avi" "color=c=${c#*:}:s=320x240:r=10" 40
done
avi_clip "$media/greenshort.avi" "color=c=lime:s=320x240:r=10" 5
wine regsvr32 /s "$(winepath -w "$dll")" || { echo "FAIL: regsvr32"; exit 1; }

# The colour at X Y: red, green, blue, black or other.
colour_at() {
  import -window root -crop "1x1+$1+$2" txt:- 2>/dev/null | tail -1 |
    sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk '{ hi = 20000; lo = 8000; c = ($1 < 3000 && $2 < 3000 && $3 < 3000) ? "black" : "other"
           if ($1 > hi && $2 < lo && $3 < lo) c = "red"; if ($2 > hi && $1 < lo && $3 < lo) c = "green"
           if ($3 > hi && $1 < lo && $2 < lo) c = "blue"; print c }'
}
# The monitors' centres (set per rig), what each shows, and whether they show COLOUR...
centres=()
now() { local xy out=; for xy in "${centres[@]}"; do out+="$(colour_at $xy) "; done; echo "${out% }"; }
showing() { [ "$(now)" = "$*" ]; }
# expect WHAT COLOUR...: the monitors show those colours within 20 s.
expect() {
  local what=$1
  shift
  poll 20 showing "$@" || { fail "$what: $(now), not $*"; snapshot "failed-${what// /-}"; }
}

# play "ENTRY..." [NAME=TYPE:DATA...]: a playlist of the media folder's files, played with
# each monitor its own video and the settings given.
play() {
  local entries
  read -ra entries <<<"$1"
  shift
  make_list "$wmedia\\own.plst" "${entries[@]/#/$wmedia\\}"
  settings Playlist=REG_SZ:"$wmedia\\own.plst" 'Each Monitor Own Video=REG_DWORD:1' "$@"
  start_run wine "$tool" run "$wmedia\\"
}

note "two monitors: 1280x720 (main) and 1024x768"
two_monitor_rig "$work/prefix" || { echo "FAIL: no two-monitor display"; exit 1; }
media="$WINEPREFIX/drive_c/${wmedia#C:\\}"
centres=("640 360" "1792 384")

note "each monitor its own entry, each at its own pace; a display change ends nothing"
play "red.avi greenshort.avi blue.avi"
expect "start" red green
# The second monitor's short entry ends and it moves on; the main one never changes.
changed=ok
main_stays() { [ "$(colour_at 640 360)" = red ] || changed="main showed $(colour_at 640 360)"; showing red blue; }
poll 20 main_stays || fail "second monitor on its own: $(now) ($changed)"
[ "$changed" = ok ] || fail "the main monitor changed with the second: $changed"
wine "$tool" displaychange >/dev/null 2>&1
sleep 2
gone "$run_pid" && fail "a display change ended the run"
showing red blue || fail "after a display change: $(now)"
end_by "key a" "own pace"

note "Next and Previous move every monitor"
play "red.avi green.avi blue.avi" 'Keyboard Controls=REG_DWORD:1'
expect "keys, start" red green
xdotool key Right
expect "Right" green blue
xdotool key Left
xdotool key Left
expect "Left twice" blue red
end_by "key Escape" keys

note "a failed entry on one monitor: it moves on, the other plays on; results and place saved"
play "red.avi missing.avi green.avi blue.avi" 'Continue Where Stopped=REG_DWORD:1'
expect "one failed" red green
sleep 2
showing red green || fail "one failed, 2 s on: $(now)"
end_by "key a" "one failed"
saved "$wmedia\\own.plst" '^0 0x00000000 1 0x8[0-9a-f]{7} 2 0x00000000 3 0x00000000 $' "one failed"
# The main monitor's entry (0), not the second's (2); and where it was within it.
track=$(wine reg query "$key" /v LastTrack 2>/dev/null | tr -d '\r' | awk '/LastTrack/ {print $3}')
pos=$(wine reg query "$key" /v LastPos 2>/dev/null | tr -d '\r' | awk '/LastPos/ {print $3}')
[ "$track" = 00000000 ] || fail "LastTrack '$track', not the main monitor's 0"
[ -n "$pos" ] && [ "$pos" != 0000000000000000 ] || fail "LastPos '$pos': no position saved"

note "one monitor chosen: one player as without the option; the run's window keeps the keys"
play "red.avi green.avi blue.avi" 'Keyboard Controls=REG_DWORD:1' Monitors=REG_SZ:Main
expect "main only" red black
# Held: with two players the second would light within a second of the main one.
sleep 2
showing red black || fail "main only, 2 s on: $(now)"
xdotool key Right
expect "main only, Right" green black
end_by "key Escape" "main only"

note "every entry failing: the message video, on each monitor"
play "gone1.avi gone2.avi gone3.avi"
poll 20 lit_in 1280 720 0 0 || fail "all failing: nothing on the main monitor"
poll 20 lit_in 1024 768 1280 0 || fail "all failing: nothing on the second monitor"
end_by "key a" "all failing"
saved "$wmedia\\own.plst" '^0 0x8[0-9a-f]{7} 1 0x8[0-9a-f]{7} 2 0x8[0-9a-f]{7} $' "all failing"
drop_two_monitor_rig

note "three monitors, the middle one left out: it stays black, the keys move the other two"
two_monitor_rig "$work/prefix" 1280x720 1024x768 800x600 || { echo "FAIL: no three-monitor display"; exit 1; }
media="$WINEPREFIX/drive_c/${wmedia#C:\\}"
centres=("640 360" "1792 384" "2704 300")
play "red.avi green.avi blue.avi" 'Keyboard Controls=REG_DWORD:1' 'Monitors=REG_SZ:\\.\DISPLAY1;\\.\DISPLAY3'
expect "three, start" red black green
xdotool key Right
expect "three, Right" green black blue
end_by "key Escape" "three monitors"
finish
