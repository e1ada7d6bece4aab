#!/usr/bin/env bash
# The installed screen saver plays about 150 items (short clips with sound in two codecs,
# failing entries among them; bench/soak/soak_kit.sh) without gaining threads: the count
# at change 150 is within 4 of the count at change 40, each the least of three samples
# so that a loader thread that happens to be running does not count. A leak of one thread
# per item with sound shows as +80 or more. The run must not stall or end by itself.
#   soak_short.sh Reelhaven.msi RUN_TOOL SOAK_PROBE WORKDIR
set -u
msi=$1 tool=$2 probe_exe=$3 work=$4
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/../support/test_kit.sh"
. "$here/../seam/seam_kit.sh"
. "$here/../../bench/soak/soak_kit.sh"
rm -rf "$work" && mkdir -p "$work"
media="$WINEPREFIX/drive_c/rh-soak"
soak_run_pid= probe_pid=
cleanup() {
  [ -n "$soak_run_pid" ] && soak_stop
  wine reg delete 'HKCU\Software\Halcyra\Reelhaven' /f >/dev/null 2>&1
  wine msiexec /x "$(winepath -w "$msi")" /qn >/dev/null 2>&1
  rm -rf "$media"
}
trap cleanup EXIT

soak_setup "$msi" "$tool" "$media" 'C:\rh-soak' || exit 1
log="$work/probe.log"
soak_start "$work/pixel_probe" "$log" || { echo "FAIL: no pixel probe"; exit 1; }

# until_changes N: waits while the run shows new items; false when it stalls for 30 s or ends.
until_changes() {
  local n last=-1 moved=$SECONDS
  while n=$(soak_changes "$(soak_shown "$log")"); [ "$n" -lt "$1" ]; do
    gone "$soak_run_pid" && { fail "the saver ended by itself after $n changes"; return 1; }
    [ "$n" != "$last" ] && { last=$n; moved=$SECONDS; }
    [ $((SECONDS - moved)) -gt 30 ] && { fail "no new item for 30 s after $n changes"; return 1; }
    sleep 0.5
  done
}
least_threads() {
  local i t least=
  for i in 1 2 3; do
    t=$(soak_sample "$probe_exe" | awk '{print $1}')
    [[ $t =~ ^[0-9]+$ ]] && { [ -z "$least" ] || [ "$t" -lt "$least" ]; } && least=$t
  done
  echo "${least:-none}"
}

until_changes 40 || { finish; exit; }
base=$(least_threads)
until_changes 150 || { finish; exit; }
end=$(least_threads)
echo "threads: $base at change 40, $end at change $(soak_changes "$(soak_shown "$log")")"
counted() { [[ "$1$2" =~ ^[0-9]+$ ]]; }
check "threads read from outside" counted "$base" "$end"
counted "$base" "$end" && check "threads grew by at most 4 (+$((end - base)))" [ $((end - base)) -le 4 ]
finish
