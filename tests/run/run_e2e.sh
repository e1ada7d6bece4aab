#!/usr/bin/env bash
# The saver's run end to end under Wine: run_tool plays the registry's settings through the
# registered Framewheel.dll on the test display; clips of one colour each tell from a pixel
# in the screen's centre what is playing. Input comes from xdotool.
#   run_e2e.sh RUN_TOOL ADMIN_PROBE FRAMEWHEEL_DLL WORKDIR
set -u
tool=$1 probe=$2 dll=$3 work=$4 wmedia='C:\rh-e2e'
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
fresh_folders
trap 'cleanup; wine reg delete "HKCU\Control Panel\PowerCfg" /f >/dev/null 2>&1' EXIT

# Clips: 320x240 Microsoft Video 1, 10 frames per second; of 1 and 30 seconds.
for c in red:red green:lime blue:blue; do
  avi_clip "$media/${c%:*}.avi" "color=c=${c#*:}:s=320x240:r=10" 1
  avi_clip "$media/${c%:*}long.avi" "color=c=${c#*:}:s=320x240:r=10" 30
done
# 4 s green, then 8 s blue: tells the position within the clip.
ffmpeg -loglevel error -y -f lavfi -i "color=c=lime:s=320x240:r=10:d=4" -f lavfi -i "color=c=blue:s=320x240:r=10:d=8" \
  -filter_complex "[0][1]concat=n=2:v=1" -c:v msvideo1 -pix_fmt rgb555le "$media/timeline.avi"

wine regsvr32 /s "$(winepath -w "$dll")" || { echo "FAIL: regsvr32"; exit 1; }

# play LIST "ENTRY..." [NAME=TYPE:DATA...]: a new playlist of clips in the media folder, and
# the settings that play it.
play() {
  local file=$1 entries
  read -ra entries <<<"$2"
  shift 2
  make_list "$wmedia\\$file" "${entries[@]/#/$wmedia\\}"
  settings Playlist=REG_SZ:"$wmedia\\$file" "$@"
}
run() { start_run wine "$tool" run "$wmedia\\"; }
showing() { run; poll 15 shows "$1" || fail "$2: no $1 video"; }  # COLOUR WHAT
# The first colour other than black within $1 seconds (the video's first frame).
first_colour() {
  c=none
  poll "$1" eval 'c=$(colour); [ -n "$c" ] && [ "$c" != black ]'
  echo "$c"
}

note "items play in order, a missing file is skipped and keeps its failure code, a key ends"
play list.plst "red.avi missing.avi green.avi blue.avi"
run
seen=""
saw_four() { # each new colour of the centre goes to $seen
  c=$(colour)
  case $c in red|green|blue) [ "${seen##* }" != "$c" ] && seen="$seen $c";; esac
  [ "$(wc -w <<<"$seen")" -ge 4 ]
}
poll 20 saw_four
[ "$seen" = " red green blue red" ] || fail "order: saw '$seen'"
end_by "key a" order
saved "$wmedia\\list.plst" '^0 0x00000000 1 0x8[0-9a-f]{7} 2 0x00000000 3 0x00000000 $' order

# (Keys, clicks and jumps in every state of the run: run_input_e2e.sh.)
note "moves of 20 pixels do not end the run, a jump of 21 does"
play long.plst redlong.avi
showing red mouse
for xy in "420 400" "440 400" "460 400" "460 420" "480 440"; do xdotool mousemove $xy; sleep 0.4; done
sleep 0.6
gone "$run_pid" && fail "moves of 20 pixels ended the run"
end_by "mousemove 501 440" "a jump of 21 pixels"

note "keyboard controls: right and left switch items, up/down/M change the mixer"
play keys.plst "redlong.avi greenlong.avi bluelong.avi" 'Keyboard Controls=REG_DWORD:1' 'Master Volume=REG_DWORD:50'
showing red keys
for step in Right:green Right:blue Left:green; do
  xdotool key "${step%:*}"; poll 8 shows "${step#*:}" || fail "keys: $step did not switch items"
done
for k in Up Up Down m Up; do xdotool key $k; sleep 0.3; done
gone "$run_pid" && fail "keyboard controls ended the run"
end_by "key Escape" keys
# The sink starts from the volume the run set (50 % = 32767) and steps by 655; M mutes, and
# Up while muted only unmutes. Every reading the watcher logged, in order.
log=$(tr -d '\r' <"$work/run.log" | grep '^mixer' | cut -d' ' -f2- | tr '\n' ',')
[[ $log == *"32767 0,33422 0,34077 0,33422 0,33422 1,33422 0,"* && $log != *none* ]] || fail "mixer steps: $log"

note "continue where stopped saves track and position and resumes there"
play cont.plst "red.avi timeline.avi" 'Continue Where Stopped=REG_DWORD:1'
showing green "continue: the timeline"
poll 10 shows blue || fail "continue: timeline did not reach its blue part"
sleep 1
end_by "key Escape" continue
track=$(wine reg query "$key" /v LastTrack 2>/dev/null | tr -d '\r' | awk '/LastTrack/ {print $3}')
[ "$track" = "01000000" ] || fail "LastTrack '$track'"
run
c=$(first_colour 15)
[ "$c" = blue ] || fail "resume showed $c first, not the timeline's blue part"
end_by "key Escape" resume

note "empty, missing and corrupt playlists show the message video and rewrite nothing"
printf '\xe0\x59\x82\x71\xf7\xc4\xd2\x11\x86\x1c\xbd\x7b\x2e\xb4\x77\x37\x01\x00\x00\x00\x00\x00' >"$media/empty.plst"
printf 'not a playlist at all, just text' >"$media/corrupt.plst"
for name in empty missing corrupt; do
  settings Playlist=REG_SZ:"$wmedia\\$name.plst" 'Continue Where Stopped=REG_DWORD:1'
  before=$(md5sum "$media/$name.plst" 2>/dev/null)
  run
  poll 10 message_shown || fail "$name playlist: no message video on screen"
  end_by "key Escape" "$name"
  [ "$(md5sum "$media/$name.plst" 2>/dev/null)" = "$before" ] || fail "$name playlist was rewritten"
  wine reg query "$key" /v LastPlaylist >/dev/null 2>&1 && fail "$name playlist: position saved"
done

note "a playlist whose entries all fail ends in the message video"
play fails.plst "gone1.avi gone2.avi"
run
poll 15 message_shown || fail "all failing: no message video"
end_by "key Escape" fails
saved "$wmedia\\fails.plst" '^0 0x8[0-9a-f]{7} 1 0x8[0-9a-f]{7} $' "all failing"

note "a short standby timeout suspends and playback goes on at the same position"
# USER_POWER_POLICY: IdleTimeoutAc at byte 28, 1 second.
reg_values 'HKCU\Control Panel\PowerCfg' CurrentPowerPolicy=REG_SZ:0
reg_values 'HKCU\Control Panel\PowerCfg\PowerPolicies\0' "Policies=REG_BINARY:$(printf '%056d01000000%096d' 0 0)"
play standby.plst timeline.avi
showing green standby
# Every second the player is stopped (its picture goes black while it reloads) and goes on
# from where it was: a restart from the beginning would never get past the green part.
gaps=0 prev=green deadline=$((SECONDS + 12))
while [ $SECONDS -lt $deadline ]; do
  c=$(colour)
  [ "$c" = blue ] && break
  [ "$c" = black ] && [ "$prev" = green ] && gaps=$((gaps + 1))
  prev=$c
done
[ "$c" = blue ] || fail "standby: playback did not go on at the same position"
[ $gaps -ge 1 ] || fail "standby: the player was never stopped for a standby"
# Input while the run handles its timeouts still ends it.
end_by "key a" standby
wine reg delete 'HKCU\Control Panel\PowerCfg' /f >/dev/null 2>&1

note "with caching on, a playlist and videos on a network drive play from the share while copies are made, then from the copies"
share="$work/share" && mkdir -p "$share" "$media/Cache"
network_drive "$share"
cp "$media/redlong.avi" "$share/net.avi"
make_list 'N:\net.plst' 'N:\net.avi'
settings Playlist=REG_SZ:'N:\net.plst' 'No Cache=REG_DWORD:0'
showing red cache
copies() { [ "$(ls "$media/Cache" | grep -c -e '^net-[0-9a-f]\{16\}\.avi$' -e '^net-[0-9a-f]\{16\}\.plst$')" = 2 ]; }
poll 10 copies
end_by "key Escape" cache
copies || fail "cache: no local copies ($(ls "$media/Cache"))"
# The share's files are gone: the copies play.
rm -f "$share/net.avi" "$share/net.plst"
showing red "cache: the copy without the share"
end_by "key Escape" "cache, from the copies"
drop_network_drive
finish
