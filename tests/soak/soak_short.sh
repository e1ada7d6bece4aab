#!/usr/bin/env bash
# The installed screen saver plays about 200 items (short clips with sound in two codecs,
# failing entries among them; bench/soak/soak_kit.sh) without gaining threads or memory:
# at change 200 the thread count is within 4 of the count at change 100, and resident memory
# within 10 %, each the least of three samples (soak_least_sample). Memory settles within
# the first 100 changes (+7 % from change 40 to 150) and then stays within about 2 %; a leak
# of one thread per item with sound shows as +80 threads, a graph kept after each change
# (about 480 KB under Wine) as +19 %. The run must not stall or end by itself.
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
until_changes 100 || { finish; exit; }
read -r base _ _ _ _ base_rss _ < <(soak_least_sample "$probe_exe")
until_changes 200 || { finish; exit; }
read -r end _ _ _ _ end_rss _ < <(soak_least_sample "$probe_exe")
echo "threads: $base at change 100, $end at change $(soak_changes "$(soak_shown "$log")")"
echo "resident: $base_rss KiB at change 100, $end_rss KiB then"
counted() { [[ "$1$2" =~ ^[0-9]+$ ]]; }
check "threads read from outside" counted "$base" "$end"
counted "$base" "$end" && check "threads grew by at most 4 (+$((end - base)))" [ $((end - base)) -le 4 ]
check "resident memory read from outside" counted "$base_rss" "$end_rss"
counted "$base_rss" "$end_rss" &&
  check "resident memory grew by at most 10 % ($(( (end_rss - base_rss) * 100 / base_rss )) %)" \
    [ $(( (end_rss - base_rss) * 10 )) -le "$base_rss" ]
finish
