#!/usr/bin/env bash
# The installed screen saver answers input in every state of its run: before the first
# picture (a playlist file that never answers), while a video opens, while a video is
# copied into the cache, while the message video plays, after a failed load. Each state
# ends on a key, a click and a mouse jump; the exit code and the saved playlist are as after
# a normal end. Then whole long paths: nothing is cut, nothing saved elsewhere.
#   run_input_e2e.sh Reelhaven.msi RUN_TOOL QUIET_PIPE WORKDIR
set -u
msi=$1 tool=$2 pipe_server=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
media="$WINEPREFIX/drive_c/rh-input" && rm -rf "$media" && mkdir -p "$media"
share="$work/share" && mkdir -p "$share"
scr='C:\windows\system32\Reelhaven.scr'
run_pid= pipe_pid=
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

cleanup() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
  [ -n "$pipe_pid" ] && kill "$pipe_pid" 2>/dev/null
  wine reg delete "$key" /f >/dev/null 2>&1
  wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null 2>&1
  if [ -L "$WINEPREFIX/dosdevices/n:" ]; then
    wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
    rm -f "$WINEPREFIX/dosdevices/n:"
    wine_env_restart_server
  fi
  rm -rf "$media" "$share"
}
trap cleanup EXIT

wine msiexec /i "$(winepath -w "$msi")" /qn >/dev/null 2>&1 || { echo "FAIL: install"; exit 1; }
cache_dir="$WINEPREFIX/drive_c/Program Files/Halcyra/Reelhaven/Cache"

ffmpeg -loglevel error -y -f lavfi -i "color=c=red:s=320x240:r=10:d=30" -c:v msvideo1 -pix_fmt rgb555le "$media/red.avi"
# N: is a network drive; Wine's mount manager reads drive types when it starts.
ln -sfn "$share" "$WINEPREFIX/dosdevices/n:"
wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
wine_env_restart_server
# A video whose copy takes long: 5 GB, all of it a hole on the Linux side.
truncate -s 5G "$share/huge.avi"
wine "$pipe_server" rh-quiet >"$work/pipe.log" 2>&1 &
pipe_pid=$!

make_list() { wine "$tool" make "$@" >/dev/null 2>&1; }  # PLST ENTRY...
results() { wine "$tool" results "$1" 2>/dev/null | tr -d '\r' | tr '\n' ' '; }
# Polls up to $2 seconds for condition $1 (a command).
poll() { local deadline=$((SECONDS + $2)); until "$1"; do [ $SECONDS -ge $deadline ] && return 1; sleep 0.1; done; }
shows_red() { [ "$(colour)" = red ]; }
# Any lit pixel: the message video is the only thing on a black screen.
shows_message() {
  import -window root "$work/shot.png" 2>/dev/null
  awk "BEGIN{exit !($(convert "$work/shot.png" -format '%[fx:maxima]' info: 2>/dev/null || echo 0) > 0.5)}"
}
# The run's own window is on the screen: the saver is up and taking input.
covered() { xdotool search --onlyvisible --name '^Reelhaven$' >/dev/null 2>&1; }
# Since the run started, a client has opened the pipe, or the cache has a file (a copy).
pipe_opened() { covered && [ "$(grep -c listening "$work/pipe.log")" -gt "$pipe_base" ]; }
copying() { covered && [ -n "$(ls -A "$cache_dir" 2>/dev/null)" ]; }
ended() { ! kill -0 "$run_pid" 2>/dev/null; }

start_scr() {
  xdotool mousemove 400 400
  rm -rf "${cache_dir:?}"/*
  pipe_base=$(grep -c listening "$work/pipe.log")
  timeout 120 wine "$scr" /s >/dev/null 2>&1 &
  run_pid=$!
}
# Sends input of kind $1 (key, click, mouse) until the run ends, for at most 10 s; then
# reaps it into $rc. False when it did not end.
end_by() {
  local kind=$1 deadline=$((SECONDS + 10)) x=400
  until ended; do
    [ $SECONDS -ge $deadline ] && { kill "$run_pid" 2>/dev/null; wait "$run_pid"; run_pid=; rc=killed; return 1; }
    case $kind in
      key) xdotool key a;;
      click) xdotool click 1;;
      # The first move only sets the reference point; each later one jumps 300 pixels.
      mouse) x=$((x == 400 ? 700 : 400)); xdotool mousemove $x $x;;
    esac
    poll ended 1
  done
  wait "$run_pid"; rc=$?; run_pid=
}

# One state, three inputs: STATE READY_TEST READY_SECONDS PLAYLIST_FILE EXPECTED_RESULTS
# (EXPECTED_RESULTS is a regular expression over `run_tool results`, or "unchanged").
each_input() {
  local state=$1 ready=$2 seconds=$3 list=$4 expected=$5 kind before
  for kind in key click mouse; do
    before=$(md5sum "$(winepath -u "$list" 2>/dev/null)" 2>/dev/null)
    start_scr
    poll "$ready" "$seconds" || fail "$state: not ready within $seconds s"
    end_by $kind || fail "$state: a $kind did not end the run"
    [ "$rc" = 0 ] || fail "$state ($kind): exit code $rc"
    if [ "$expected" = unchanged ]; then
      [ "$(md5sum "$(winepath -u "$list" 2>/dev/null)" 2>/dev/null)" = "$before" ] || fail "$state ($kind): playlist rewritten"
    else
      local r; r=$(results "$list")
      [[ $r =~ $expected ]] || fail "$state ($kind): saved results '$r'"
    fi
  done
}

note "before the first picture: the playlist file is a pipe that never answers"
settings Playlist=REG_SZ:'\\.\pipe\rh-quiet'
each_input "blocked playlist" pipe_opened 15 '\\.\pipe\rh-quiet' unchanged

note "before the first picture: the playlist is AUX, a device that never answers here"
settings Playlist=REG_SZ:AUX
start_scr
poll covered 15 || fail "AUX playlist: no window"
end_by key || fail "AUX playlist: a key did not end the run"
[ "$rc" = 0 ] || fail "AUX playlist: exit code $rc"

note "while the first video is copied into the cache (5 GB from a network drive)"
make_list 'C:\rh-input\huge.plst' 'N:\huge.avi' 'C:\rh-input\red.avi'
settings Playlist=REG_SZ:'C:\rh-input\huge.plst' 'No Cache=REG_DWORD:0'
each_input "long copy" copying 15 'C:\rh-input\huge.plst' '^0 0x00000000 1 0x00000000 $'

note "while the message video plays"
settings Playlist=REG_SZ:'C:\rh-input\none.plst'
each_input "message video" shows_message 20 'C:\rh-input\none.plst' unchanged

note "after a failed load: a missing first entry, then a long video"
make_list 'C:\rh-input\failed.plst' 'C:\rh-input\gone.avi' 'C:\rh-input\red.avi'
settings Playlist=REG_SZ:'C:\rh-input\failed.plst'
each_input "after a failed load" shows_red 20 'C:\rh-input\failed.plst' '^0 0x8[0-9a-f]{7} 1 0x00000000 $'

note "while a video opens: the first entry is a pipe that never answers"
make_list 'C:\rh-input\stuck.plst' '\\.\pipe\rh-quiet' 'C:\rh-input\red.avi'
settings Playlist=REG_SZ:'C:\rh-input\stuck.plst'
each_input "blocked video" pipe_opened 15 'C:\rh-input\stuck.plst' '^0 0x[0-9a-f]{8} 1 0x00000000 $'

note "long paths are carried whole"
# Folders of 50 characters; paths of exactly the lengths that were cut before.
deep='C:\rh-input'
for i in 1 2 3 4; do deep="$deep\\$(printf 'd%.0s' $(seq 49))$i"; done   # 11 + 4 * 51 = 215
mkdir -p "$(winepath -u "$deep")"
pad() { printf "%${1}s" | tr ' ' p; }  # $1 characters of filler
plst=$deep\\$(pad $((259 - 216 - 5))).plst          # 259 characters
bak=$plst.bak                                       # 263
make_list "$plst" 'C:\rh-input\gone.avi'
make_list "$bak" 'C:\rh-input\red.avi'
[ ${#plst} = 259 ] && [ ${#bak} = 263 ] || fail "path lengths ${#plst} ${#bak}"
settings Playlist=REG_SZ:"$bak"
before=$(md5sum "$(winepath -u "$plst")")
start_scr
poll shows_red 20 || fail "263-character playlist: its own video did not play"
end_by key || fail "263-character playlist: a key did not end the run"
[ "$(md5sum "$(winepath -u "$plst")")" = "$before" ] || fail "the 259-character playlist beside it was rewritten"
r=$(results "$bak")
[[ $r =~ ^0\ 0x00000000\ $ ]] || fail "263-character playlist: saved results '$r'"

long=$deep\\$(pad $((285 - 216 - 5))).plst          # 285
make_list "$long" 'C:\rh-input\red.avi'
settings Playlist=REG_SZ:"$long"
start_scr
poll shows_red 20 || fail "285-character playlist did not play"
end_by key || fail "285-character playlist: a key did not end the run"

# An entry of 267 characters whose first 259 name a video that exists.
cp "$media/red.avi" "$(winepath -u "$deep")/$(pad $((259 - 216 - 4))).avi"
entry=$deep\\$(pad $((259 - 216 - 4))).avi.missing
[ ${#entry} = 267 ] || fail "entry length ${#entry}"
make_list 'C:\rh-input\cut.plst' "$entry"
settings Playlist=REG_SZ:'C:\rh-input\cut.plst'
start_scr
poll shows_message 20 || fail "267-character entry: no message video"
shows_red && fail "267-character entry played the video its first 259 characters name"
end_by key || fail "267-character entry: a key did not end the run"
r=$(results 'C:\rh-input\cut.plst')
[[ $r =~ ^0\ 0x8[0-9a-f]{7}\ $ ]] || fail "267-character entry: saved results '$r'"

echo "$failures failure(s)"
[ $failures = 0 ]
