#!/usr/bin/env bash
# The installed screen saver answers input in every state of its run: before the first
# picture (a playlist file that never answers), while a video opens, while a video is
# copied into the cache, while the message video plays, after a failed load. Each state
# ends on a key, a click and a mouse jump; the exit code and the saved playlist are as after
# a normal end. Then whole long paths: nothing is cut, nothing saved elsewhere.
#   run_input_e2e.sh Reelhaven.msi RUN_TOOL ADMIN_PROBE QUIET_PIPE WORKDIR
set -u
msi=$1 tool=$2 probe=$3 pipe_server=$4 work=$5 wmedia='C:\rh-input'
. "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"
fresh_folders
input_every=1 pipe_pid=
trap 'cleanup; [ -n "$pipe_pid" ] && kill "$pipe_pid" 2>/dev/null; wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null 2>&1' EXIT

wine msiexec /i "$(winepath -w "$msi")" /qn >/dev/null 2>&1 || { echo "FAIL: install"; exit 1; }
cache_dir="$WINEPREFIX/drive_c/Program Files/Halcyra/Reelhaven/Cache"
avi_clip "$media/red.avi" "color=c=red:s=320x240:r=10" 30
share="$work/share" && mkdir -p "$share"
network_drive "$share"
# A video whose copy takes long: 5 GB, all of it a hole on the Linux side.
truncate -s 5G "$share/huge.avi"
wine "$pipe_server" rh-quiet >"$work/pipe.log" 2>&1 &
pipe_pid=$!

digest() { md5sum "$(winepath -u "$1" 2>/dev/null)" 2>/dev/null; }  # a Windows path's file
# The run's own window is on the screen: the saver is up and taking input.
covered() { xdotool search --onlyvisible --name '^Reelhaven$' >/dev/null 2>&1; }
# Since the run started, a client has opened the pipe, or the cache has a file (a copy).
pipe_opened() { covered && [ "$(grep -c listening "$work/pipe.log")" -gt "$pipe_base" ]; }
copying() { covered && [ -n "$(ls -A "$cache_dir" 2>/dev/null)" ]; }
start_scr() {
  rm -rf "${cache_dir:?}"/*
  pipe_base=$(grep -c listening "$work/pipe.log")
  start_run wine 'C:\windows\system32\Reelhaven.scr' /s
}
once() { # PLAYLIST READY_TEST WHAT: the saver on that playlist, ready within 20 s, ended by a key
  settings Playlist=REG_SZ:"$1"
  start_scr
  poll 20 $2 || fail "$3: not ready ($2)"
  end_by "key a" "$3"
}

# One state, three inputs: STATE READY_TEST READY_SECONDS PLAYLIST_FILE EXPECTED_RESULTS
# (EXPECTED_RESULTS is a regular expression for saved, or "unchanged").
each_input() {
  local state=$1 ready=$2 seconds=$3 list=$4 expected=$5 kind before
  for kind in "key a" "click 1" jump; do
    before=$(digest "$list")
    start_scr
    poll "$seconds" $ready || fail "$state: not ready within $seconds s"
    end_by "$kind" "$state"
    if [ "$expected" = unchanged ]; then
      [ "$(digest "$list")" = "$before" ] || fail "$state ($kind): playlist rewritten"
    else
      saved "$list" "$expected" "$state ($kind)"
    fi
  done
}

note "before the first picture: the playlist file is a pipe that never answers"
settings Playlist=REG_SZ:'\\.\pipe\rh-quiet'
each_input "blocked playlist" pipe_opened 15 '\\.\pipe\rh-quiet' unchanged

note "before the first picture: the playlist is AUX, a device that never answers here"
once AUX covered "AUX playlist"

note "while the first video is copied into the cache (5 GB from a network drive)"
make_list 'C:\rh-input\huge.plst' 'N:\huge.avi' 'C:\rh-input\red.avi'
settings Playlist=REG_SZ:'C:\rh-input\huge.plst' 'No Cache=REG_DWORD:0'
# The player opens the share's file meanwhile, which holds no video, gives up (cannot
# render) and plays the next entry while the copy goes on; input comes then. (Input while
# the player still parses the 5 GB ends a run that Wine then ends with a crash now and then:
# its end of a process races with a thread of the abandoned parse reading the file.)
copying_red() { copying && shows red; }
each_input "long copy" copying_red 20 'C:\rh-input\huge.plst' '^0 0x80040218 1 0x00000000 $'

note "while the message video plays"
settings Playlist=REG_SZ:'C:\rh-input\none.plst'
each_input "message video" message_shown 20 'C:\rh-input\none.plst' unchanged

note "after a failed load: a missing first entry, then a long video"
make_list 'C:\rh-input\failed.plst' 'C:\rh-input\gone.avi' 'C:\rh-input\red.avi'
settings Playlist=REG_SZ:'C:\rh-input\failed.plst'
each_input "after a failed load" "shows red" 20 'C:\rh-input\failed.plst' '^0 0x8[0-9a-f]{7} 1 0x00000000 $'

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
before=$(digest "$plst")
once "$bak" "shows red" "263-character playlist"
[ "$(digest "$plst")" = "$before" ] || fail "the 259-character playlist beside it was rewritten"
saved "$bak" '^0 0x00000000 $' "263-character playlist"

long=$deep\\$(pad $((285 - 216 - 5))).plst          # 285
make_list "$long" 'C:\rh-input\red.avi'
once "$long" "shows red" "285-character playlist"

# An entry of 267 characters whose first 259 name a video that exists.
cp "$media/red.avi" "$(winepath -u "$deep")/$(pad $((259 - 216 - 4))).avi"
entry=$deep\\$(pad $((259 - 216 - 4))).avi.missing
[ ${#entry} = 267 ] || fail "entry length ${#entry}"
make_list 'C:\rh-input\cut.plst' "$entry"
settings Playlist=REG_SZ:'C:\rh-input\cut.plst'
start_scr
poll 20 message_shown || fail "267-character entry: no message video"
shows red && fail "267-character entry played the video its first 259 characters name"
end_by "key a" "267-character entry"
saved 'C:\rh-input\cut.plst' '^0 0x8[0-9a-f]{7} $' "267-character entry"
finish
