# Shared by the end-to-end scripts of the run (sourced): the saver's registry settings,
# playlists through run_tool (tool) read back by admin_probe (probe), what the screen shows,
# a run started and ended.
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
key='HKCU\Software\Halcyra\Reelhaven'
run_pid= input_every=10

# Empty folders: work (in the build) and media, the clips' folder wmedia (C:\NAME) as Linux
# sees it.
fresh_folders() {
  media="$WINEPREFIX/drive_c/${wmedia#C:\\}"
  rm -rf "$work" "$media" && mkdir -p "$work" "$media"
}

cleanup() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
  wine reg delete "$key" /f >/dev/null 2>&1
  drop_network_drive
  rm -rf "$media" "$work/share"
}

settings() { # NAME=TYPE:DATA... on top of a fresh key with the classic renderer on
  wine reg delete "$key" /f >/dev/null 2>&1
  reg_values "$key" 'Use Classic Video Renderer=REG_DWORD:1' "$@"
}
# make_list PLST ENTRY...: through the registered library; a list not made is a failure of the
# script, not a run that falls back to the message video.
make_list() { wine "$tool" make "$@" >/dev/null 2>&1 || fail "the playlist $1 could not be made"; }
saved() { # PLST REGEX WHAT: the entries' saved play results, "0 0x00000000 1 ..."
  local r
  r=$(wout "$probe" read "$1" | awk -F'|' 'NF > 1 { printf "%d %s ", NR - 1, $NF }')
  [[ $r =~ $2 ]] || fail "$3: saved results '$r'"
}

# The colour of the screen's centre: red, green, blue, black or other.
colour() {
  import -window root -crop 1x1+960+540 txt:- 2>/dev/null | tail -1 |
    sed -n 's/^[^(]*(\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1 \2 \3/p' |
    awk '{ hi = 20000; lo = 8000; c = ($1 < 3000 && $2 < 3000 && $3 < 3000) ? "black" : "other"
           if ($1 > hi && $2 < lo && $3 < lo) c = "red"; if ($2 > hi && $1 < lo && $3 < lo) c = "green"
           if ($3 > hi && $1 < lo && $2 < lo) c = "blue"; print c }'
}
shows() { [ "$(colour)" = "$1" ]; }
# lit_in [W H X Y]: any lit pixel in that rectangle of the screen, or on the whole screen.
lit_in() {
  import -window root ${1:+-crop "$1x$2+$3+$4"} "$work/shot.png" 2>/dev/null
  awk "BEGIN{exit !($(convert "$work/shot.png" -format '%[fx:maxima]' info: 2>/dev/null || echo 0) > 0.5)}"
}
# The message video is the only thing on a black screen.
message_shown() { lit_in; }

# snapshot NAME: what the display shows and which windows are mapped where, kept in the work
# folder for a failure that does not come again on demand.
snapshot() {
  local window
  import -window root "$work/$1.png" 2>/dev/null
  xwininfo -root -tree >"$work/$1.txt" 2>&1
  for window in $(awk '/"(Halcyra Framewheel|ActiveMovie Window|Reelhaven)"/ {print $1}' "$work/$1.txt"); do
    echo "$window $(xwininfo -id "$window" | grep -E 'Absolute upper-left X|Width|Map State' | tr -s ' ' | tr '\n' ' ')"
  done >>"$work/$1.txt"
}

# For the scripts on a monitor rig: fresh folders, and at the exit the run killed, the rig
# dropped and the clips' folder gone.
rig_script() {
  fresh_folders
  trap rig_script_end EXIT
}
rig_script_end() {
  [ -n "$run_pid" ] && kill "$run_pid" 2>/dev/null
  drop_two_monitor_rig
  rm -rf "$WINEPREFIX/drive_c/${wmedia#C:\\}"
}

start_run() { # COMMAND...: the run, with the mouse where input starts from
  xdotool mousemove 400 400
  timeout 120 "$@" >"$work/run.log" 2>/dev/null &
  run_pid=$!
}
# end_by INPUT WHAT: xdotool input ("key a", "click 1", "mousemove X Y"; "jump" is a
# 300-pixel mouse move, the first of which only sets the reference point). The run must
# end within 10 s with exit code 0; the input is sent again every $input_every seconds
# until then. A run that does not end is killed.
end_by() {
  local deadline=$((SECONDS + 10)) x=400
  until gone "$run_pid" || [ $SECONDS -ge $deadline ]; do
    if [ "$1" = jump ]; then x=$((x == 400 ? 700 : 400)); xdotool mousemove $x $x; else xdotool $1; fi
    poll "$input_every" gone "$run_pid"
  done
  reap "$run_pid" 0 && [ "$rc" = 0 ] || fail "$2: after $1, exit code $rc (124: still running)"
  run_pid=
}
