#!/usr/bin/env bash
# The program as Windows starts it, installed from its MSI into the test prefix:
# installation check before and after installing, the command-line modes, the preview
# window drawn over its parent and ended with it, and an uninstall that leaves nothing.
# Runs with the rig's WINEPREFIX and DISPLAY; the prefix ends as it started (uninstalled).
#   startup_test.sh Reelhaven.scr Reelhaven.msi window_probe.exe preview.bmp ARTEFACT_DIR
set -uo pipefail
scr=$1 msi=$2 probe=$3 bmp=$4 out=$5
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
mkdir -p "$out"
rm -f "$out"/*
uninstall() { quiet wine msiexec /x "$msi" /qn; }
trap uninstall EXIT

installed='C:\windows\system32\Reelhaven.scr'
damaged='text: Installation damaged. Please try repairing the installation to fix the problem.'

# run_scr SECONDS PROGRAM ARGUMENTS...: its exit code (124 when it had to be killed).
run_scr() { timeout "$1" wine "${@:2}" >/dev/null 2>&1; echo $?; }
# A window of the probe's standing in for a parent: its handle in $hwnd, the job in $host_pid.
host() { # WIDTH HEIGHT LIFETIME_MS
  : >"$out/host.txt"
  wine "$probe" host "$@" >>"$out/host.txt" 2>/dev/null &
  host_pid=$!
  poll 10 test -s "$out/host.txt"
  read -r hwnd _ _ < <(tr -d '\r' <"$out/host.txt")
}

# The installation message: shown even for a preview request, then exit code 1.
expect_damaged() { # label, program
  wine "$2" /p 123 >/dev/null 2>&1 &
  local pid=$!
  wine "$probe" message Reelhaven 20000 >"$out/message-$1.txt" 2>/dev/null
  local probe_rc=$?
  reap "$pid" 10
  check "$1: message box captioned Reelhaven appears" test "$probe_rc" = 0
  check "$1: it says the installation is damaged" grep -qxF "$damaged" <(tr -d '\r' <"$out/message-$1.txt")
  check "$1: exit code 1 after the message" test "$rc" = 1
}

uninstall
expect_damaged not-installed "$scr"

# (The installed files are the administration test's.)
check "msiexec /i succeeds" quiet wine msiexec /i "$msi" /qn

# The package's class registration is exactly what the library's DllRegisterServer writes,
# to the installed library.
reg_keys=('CLSID\{6BD1B160-9A88-11d2-861C-E1F24AB20C36}' 'CLSID\{718259E0-C4F7-11d2-861C-BD7B2EB47737}'
  'CLSID\{3C46BA00-C4F7-11D2-861C-BD7B2EB47737}' 'Interface\{3C46BA00-C4F7-11D2-861C-BD7B2EB47737}'
  'Interface\{25B375E0-84B9-11D2-861C-97B127E0B756}' 'Interface\{25B375E1-84B9-11D2-861C-97B127E0B756}'
  'Interface\{6C2D2641-3B0D-4DAF-B050-E08A66DB3A9C}' 'Interface\{F567E57E-62F4-449B-81B3-A72DB228A4E1}'
  'Interface\{A5E11374-C676-4553-A9F6-F89E64B9190B}')
dump_registration() { # every value as "key | name type data", sorted
  for k in "${reg_keys[@]}"; do wine reg query "HKCR\\$k" /s 2>/dev/null; done |
    tr -d '\r' | awk '/^HKEY/ { key = $0; next } NF { print key " |" $0 }' | sort
}
dump_registration >"$out/registration-msi.txt"
library='C:\Program Files\Halcyra\Reelhaven\Framewheel.dll'
quiet wine regsvr32 /u /s "$library"
quiet wine regsvr32 /s "$library"
dump_registration >"$out/registration-dll.txt"
check "MSI registry rows equal DllRegisterServer's ($(wc -l <"$out/registration-msi.txt") values)" \
  cmp -s "$out/registration-msi.txt" "$out/registration-dll.txt"

# Modes that end at once.
check "/a exits 0 without a window" test "$(run_scr 20 "$installed" /a)" = 0
for args in "/p" "/p 0" "/p 99999" "/p abc"; do
  # shellcheck disable=SC2086
  check "$args (no usable parent) returns promptly" test "$(run_scr 20 "$installed" $args)" = 0
done

# Preview. Wine does not show what a process draws into a child of another process's
# window (the control panel's case), so the picture is checked with the desktop window
# as the parent, and the child's placement and its end with a window of another process.
pixel() { convert "$1" -format "%[fx:int(255*r)] %[fx:int(255*g)] %[fx:int(255*b)]" -crop "1x1+$2+$3" +repage info:; }
near() { # two "r g b" triples within 24 per channel
  awk -v a="$1" -v b="$2" 'BEGIN { split(a, x); split(b, y); for (i = 1; i <= 3; i++) if ((x[i] - y[i]) ^ 2 > 576) exit 1 }'
}

desktop=$(wine "$probe" desktop 2>/dev/null | tr -d '\r')
wine "$installed" /p "$desktop" >/dev/null 2>&1 &
preview_pid=$!
sleep 3
import -window root "$out/preview.png"
read -r width height < <(identify -format '%w %h' "$out/preview.png")
# Points of the bitmap in areas of one colour: three background corners and the reel.
for point in "4 4" "148 108" "148 4" "29 44"; do
  read -r bx by <<<"$point"
  want=$(pixel "$bmp" "$bx" "$by")
  sx=$(((2 * bx + 1) * width / 304)) sy=$(((2 * by + 1) * height / 224))
  got=$(pixel "$out/preview.png" "$sx" "$sy")
  check "preview pixel ($bx,$by) of the bitmap at ($sx,$sy) of the parent: want $want, got $got" near "$want" "$got"
done
wine "$probe" close "Reelhaven Preview" >/dev/null 2>&1
reap "$preview_pid" 10
check "preview ends with exit code 0 when its window is closed" test "$rc" = 0

host 456 336 5000
wine "$installed" /p "$hwnd" >/dev/null 2>&1 &
preview_pid=$!
sleep 2
check "preview child covers the parent's client area" grep -qx "child: Reelhaven Preview 0 0 456 336 foreign" \
  <(wine "$probe" children "$hwnd" 2>/dev/null | tr -d '\r')
wait "$host_pid"
reap "$preview_pid" 10
check "preview ends with exit code 0 when its parent is destroyed" test "$rc" = 0

# Configure: /c:N makes window N the sheet's owner; /c uses the foreground window.
host 300 200 15000
wine "$installed" "/c:$hwnd" >/dev/null 2>&1 &
config_pid=$!
wine "$probe" sheet 20000 >"$out/sheet.txt" 2>/dev/null
check "/c:N shows the configuration sheet" test $? = 0
check "/c:N: the sheet's owner is window N" grep -qx "owner: $hwnd" <(tr -d '\r' <"$out/sheet.txt")
reap "$config_pid" 10
check "configure mode ends with exit code 0 after Cancel" test "$rc" = 0
reap "$host_pid" 0

# Run: every spelling of /s starts the player, whose window input then ends.
player_window() { xdotool search --name '^Halcyra Framewheel$' >/dev/null 2>&1; }
key_ends() { xdotool key space >/dev/null 2>&1; gone "$1"; }
for arg in /s /S -s xs; do
  wine "$installed" "$arg" >/dev/null 2>&1 &
  run_pid=$!
  check "$arg starts the run (player window appears)" poll 15 player_window
  sleep 1.5
  [ "$arg" = /s ] && import -window root "$out/run.png"
  poll 20 key_ends "$run_pid"
  reap "$run_pid" 0
  check "$arg: a key ends the run with exit code 0" test "$rc" = 0
done

# Uninstall (what it removes is the administration test's): the check fails again.
uninstall
expect_damaged uninstalled "$scr"
echo "screenshots in $out"
finish
