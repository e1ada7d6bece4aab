#!/usr/bin/env bash
# The saver's run end to end under Wine: run_tool plays the registry's settings through the
# registered Framewheel.dll on the test display; clips of one colour each tell from a pixel
# in the screen's centre what is playing. Input comes from xdotool.
#   run_e2e.sh RUN_TOOL FRAMEWHEEL_DLL WORKDIR
set -u
tool=$1 dll=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
drive_c="$WINEPREFIX/drive_c"
media="$drive_c/rh-e2e" && rm -rf "$media" && mkdir -p "$media"
run_pid=
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

cleanup() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
  wine reg delete "$key" /f >/dev/null 2>&1
  wine reg delete 'HKCU\Control Panel\PowerCfg' /f >/dev/null 2>&1
  if [ -L "$WINEPREFIX/dosdevices/n:" ]; then
    wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
    rm -f "$WINEPREFIX/dosdevices/n:"
  fi
  rm -rf "$media"
}
trap cleanup EXIT

# Clips: 320x240 Microsoft Video 1, 10 frames per second.
clip() { # name seconds colour [colour seconds]...
  local name=$1 seconds=$2 colour=$3
  ffmpeg -loglevel error -y -f lavfi -i "color=c=$colour:s=320x240:r=10:d=$seconds" \
    -c:v msvideo1 -pix_fmt rgb555le "$media/$name.avi"
}
clip red 1 red; clip green 1 lime; clip blue 1 blue
clip redlong 30 red; clip greenlong 30 lime; clip bluelong 30 blue
# 4 s green, then 8 s blue: tells the position within the clip.
ffmpeg -loglevel error -y -f lavfi -i "color=c=lime:s=320x240:r=10:d=4" -f lavfi -i "color=c=blue:s=320x240:r=10:d=8" \
  -filter_complex "[0][1]concat=n=2:v=1" -c:v msvideo1 -pix_fmt rgb555le "$media/timeline.avi"

wine regsvr32 /s "$(winepath -w "$dll")" || { echo "FAIL: regsvr32"; exit 1; }

# Waits up to $2 seconds for the centre to show colour $1.
wait_colour() {
  local deadline=$((SECONDS + $2)) c
  while [ $SECONDS -lt $deadline ]; do
    c=$(colour); [ "$c" = "$1" ] && return 0
    sleep 0.2
  done
  return 1
}
# Waits up to $1 seconds for the first colour that is not black (the video's first frame).
first_colour() {
  local deadline=$((SECONDS + $1)) c
  while [ $SECONDS -lt $deadline ]; do
    c=$(colour); [ "$c" != black ] && [ -n "$c" ] && { echo "$c"; return; }
    sleep 0.1
  done
  echo none
}

playlist() { # FILE ENTRY... (entries are names in the media folder, optionally NAME*LOOPS)
  local file=$1; shift
  local entries=() e
  for e in "$@"; do entries+=("C:\\rh-e2e\\$e"); done
  wine "$tool" make "C:\\rh-e2e\\$file" "${entries[@]}" >/dev/null 2>&1
}
start_run() {
  xdotool mousemove 400 400
  timeout 60 wine "$tool" run 'C:\rh-e2e\' >"$work/run.log" 2>/dev/null &
  run_pid=$!
}
# Waits up to $1 seconds for the run to end; false when it is still running.
wait_end() {
  local deadline=$((SECONDS * 10 + $1 * 10))
  while [ $((SECONDS * 10)) -lt $deadline ]; do
    kill -0 "$run_pid" 2>/dev/null || { wait "$run_pid"; run_pid=; return 0; }
    sleep 0.1
  done
  return 1
}
stop_run() { xdotool key Escape; wait_end 10 || { kill "$run_pid"; run_pid=; fail "$1: did not end"; }; }
results() { wine "$tool" results "C:\\rh-e2e\\$1" 2>/dev/null | tr -d '\r' | tr '\n' ' '; }

note "items play in order, a missing file is skipped and keeps its failure code, a key ends"
settings Playlist=REG_SZ:'C:\rh-e2e\list.plst'
playlist list.plst red.avi missing.avi green.avi blue.avi
start_run
seen=""
deadline=$((SECONDS + 20))
while [ $SECONDS -lt $deadline ] && [ "$(echo $seen | wc -w)" -lt 4 ]; do
  c=$(colour)
  case $c in red|green|blue) [ "${seen##* }" != "$c" ] && seen="$seen $c";; esac
  sleep 0.1
done
[ "$seen" = " red green blue red" ] || fail "order: saw '$seen'"
xdotool key a
wait_end 10 || fail "a key did not end the run"
r=$(results list.plst)
[[ $r =~ ^0\ 0x00000000\ 1\ 0x8[0-9a-f]{7}\ 2\ 0x00000000\ 3\ 0x00000000\ $ ]] || fail "results: $r"

note "a click ends the run"
playlist long.plst redlong.avi
settings Playlist=REG_SZ:'C:\rh-e2e\long.plst'
start_run
wait_colour red 15 || fail "click: no video"
xdotool click 1
wait_end 10 || { fail "a click did not end the run"; stop_run click; }

note "moves of 20 pixels do not end the run, a jump of 21 does"
start_run
wait_colour red 15 || fail "mouse: no video"
for x in 420 440 460; do xdotool mousemove $x 400; sleep 0.4; done
xdotool mousemove 460 420; sleep 0.4; xdotool mousemove 480 440; sleep 1
kill -0 "$run_pid" 2>/dev/null || fail "moves of 20 pixels ended the run"
xdotool mousemove 501 440
wait_end 10 || { fail "a jump of 21 pixels did not end the run"; stop_run mouse; }

note "keyboard controls: right and left switch items, up/down/M change the mixer"
playlist keys.plst redlong.avi greenlong.avi bluelong.avi
settings Playlist=REG_SZ:'C:\rh-e2e\keys.plst' 'Keyboard Controls=REG_DWORD:1' 'Master Volume=REG_DWORD:50'
start_run
wait_colour red 15 || fail "keys: no video"
xdotool key Right; wait_colour green 8 || fail "right did not switch to the second item"
xdotool key Right; wait_colour blue 8 || fail "right did not switch to the third item"
xdotool key Left; wait_colour green 8 || fail "left did not switch back"
for k in Up Up Down m Up; do xdotool key $k; sleep 0.3; done
kill -0 "$run_pid" 2>/dev/null || fail "keyboard controls ended the run"
stop_run keys
# The sink starts from the volume the run set (50 % = 32767) and steps by 655; M mutes, and
# Up while muted only unmutes. Every reading the watcher logged, in order.
log=$(tr -d '\r' <"$work/run.log" | grep '^mixer' | cut -d' ' -f2- | tr '\n' ',')
[[ $log == *"32767 0,33422 0,34077 0,33422 0,33422 1,33422 0,"* && $log != *none* ]] || fail "mixer steps: $log"

note "continue where stopped saves track and position and resumes there"
playlist cont.plst red.avi timeline.avi
settings Playlist=REG_SZ:'C:\rh-e2e\cont.plst' 'Continue Where Stopped=REG_DWORD:1'
start_run
wait_colour green 15 || fail "continue: timeline did not start"
wait_colour blue 10 || fail "continue: timeline did not reach its blue part"
sleep 1
stop_run continue
track=$(wine reg query "$key" /v LastTrack 2>/dev/null | tr -d '\r' | awk '/LastTrack/ {print $3}')
[ "$track" = "01000000" ] || fail "LastTrack '$track'"
start_run
c=$(first_colour 15)
[ "$c" = blue ] || fail "resume showed $c first, not the timeline's blue part"
stop_run resume

note "random order never starts at the first entry"
playlist random.plst redlong.avi greenlong.avi bluelong.avi
settings Playlist=REG_SZ:'C:\rh-e2e\random.plst' 'Random Order Playback=REG_DWORD:1'
for i in 1 2; do
  start_run
  c=$(first_colour 15)
  case $c in green|blue) ;; *) fail "random start showed $c";; esac
  stop_run random
done

note "empty, missing and corrupt playlists show the message video and rewrite nothing"
printf '\xe0\x59\x82\x71\xf7\xc4\xd2\x11\x86\x1c\xbd\x7b\x2e\xb4\x77\x37\x01\x00\x00\x00\x00\x00' >"$media/empty.plst"
printf 'not a playlist at all, just text' >"$media/corrupt.plst"
for list in empty missing corrupt; do
  settings Playlist=REG_SZ:"C:\\rh-e2e\\$list.plst" 'Continue Where Stopped=REG_DWORD:1'
  before=$(md5sum "$media/$list.plst" 2>/dev/null)
  start_run
  shown=0
  for _ in $(seq 40); do
    import -window root "$work/shot.png" 2>/dev/null
    # The message video is the only thing on the screen: any lit pixel is it.
    bright=$(convert "$work/shot.png" -format '%[fx:maxima]' info: 2>/dev/null)
    awk "BEGIN{exit !(${bright:-0} > 0.5)}" && { shown=1; break; }
    sleep 0.25
  done
  [ $shown = 1 ] || fail "$list playlist: no message video on screen"
  stop_run "$list"
  [ "$(md5sum "$media/$list.plst" 2>/dev/null)" = "$before" ] || fail "$list playlist was rewritten"
  wine reg query "$key" /v LastPlaylist >/dev/null 2>&1 && fail "$list playlist: position saved"
done

note "a playlist whose entries all fail ends in the message video"
playlist fails.plst gone1.avi gone2.avi
settings Playlist=REG_SZ:'C:\rh-e2e\fails.plst'
start_run
sleep 4
import -window root "$work/shot.png" 2>/dev/null
bright=$(convert "$work/shot.png" -format '%[fx:maxima]' info: 2>/dev/null)
awk "BEGIN{exit !(${bright:-0} > 0.5)}" || fail "all failing: no message video"
stop_run fails
r=$(results fails.plst)
[[ $r =~ ^0\ 0x8[0-9a-f]{7}\ 1\ 0x8[0-9a-f]{7}\ $ ]] || fail "all failing results: $r"

note "a short standby timeout suspends and playback goes on at the same position"
# USER_POWER_POLICY: IdleTimeoutAc at byte 28, 1 second.
policy=$(printf '%056d01000000%096d' 0 0)
wine reg add 'HKCU\Control Panel\PowerCfg' /v CurrentPowerPolicy /d 0 /f >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\PowerCfg\PowerPolicies\0' /v Policies /t REG_BINARY /d "$policy" /f >/dev/null 2>&1
playlist standby.plst timeline.avi
settings Playlist=REG_SZ:'C:\rh-e2e\standby.plst'
start_run
wait_colour green 15 || fail "standby: no video"
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
xdotool key a
wait_end 10 || { fail "standby: a key did not end the run"; stop_run standby; }
wine reg delete 'HKCU\Control Panel\PowerCfg' /f >/dev/null 2>&1

note "with caching on, a playlist and videos on a network drive play from the share while copies are made, then from the copies"
# N: as a network drive; Wine's mount manager reads drive types when it starts.
share="$work/share" && mkdir -p "$share"
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
ln -sfn "$share" "$WINEPREFIX/dosdevices/n:"
wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
wine_env_restart_server
cp "$media/redlong.avi" "$share/net.avi"
mkdir -p "$media/Cache"
wine "$tool" make 'N:\net.plst' 'N:\net.avi' >/dev/null 2>&1
settings Playlist=REG_SZ:'N:\net.plst' 'No Cache=REG_DWORD:0'
start_run
wait_colour red 15 || fail "cache: no video"
copies() { ls "$media/Cache" | grep -c -e '^net-[0-9a-f]\{16\}\.avi$' -e '^net-[0-9a-f]\{16\}\.plst$'; }
for _ in $(seq 100); do [ "$(copies)" = 2 ] && break; sleep 0.1; done
stop_run cache
[ "$(copies)" = 2 ] || fail "cache: no local copies ($(ls "$media/Cache"))"
# The share's files are gone: the copies play.
rm -f "$share/net.avi" "$share/net.plst"
start_run
wait_colour red 15 || fail "cache: the copy did not play without the share"
stop_run cache2
wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
rm -f "$WINEPREFIX/dosdevices/n:"
wine_env_restart_server

echo "$failures failure(s)"
[ $failures = 0 ]
