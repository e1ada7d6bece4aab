#!/usr/bin/env bash
# Saving a playlist onto a full disk: mounts a 64 KiB tmpfs, maps it as a free Wine drive
# and runs the FullDisk cases of test_playlist there. Needs root (mount); says so and
# exits 77 (skipped) when mounting is not allowed.   test_full_disk.sh TEST_PLAYLIST_EXE
set -u
exe=$1
prefix=${WINEPREFIX:-$HOME/.wine}

dir=$(mktemp -d /tmp/fw-full-disk.XXXXXX)
link=
cleanup() {
  [ -n "$link" ] && rm -f "$link"
  umount "$dir" 2>/dev/null
  rmdir "$dir" 2>/dev/null
}
trap cleanup EXIT

if ! err=$(mount -t tmpfs -o size=64k tmpfs "$dir" 2>&1); then
  echo "SKIPPED: the full-disk test could not mount a tmpfs (needs root): $err"
  exit 77
fi

# The first drive letter the prefix does not use yet; removed again on exit.
for letter in x w v u t s r q p o; do
  [ -e "$prefix/dosdevices/$letter:" ] || [ -L "$prefix/dosdevices/$letter:" ] || { link="$prefix/dosdevices/$letter:"; break; }
done
[ -n "$link" ] || { echo "no free drive letter in $prefix/dosdevices" >&2; exit 1; }
ln -s "$dir" "$link"

FW_FULL_DISK_DRIVE="${letter^^}:" wine "$exe" --gtest_filter='FullDisk.*' 2>&1 | grep -v -e '^wine: ' -e 'fixme:'
status=${PIPESTATUS[0]}
# The test removes its files; anything left on the disk is a leftover of a failed save.
leftover=$(ls -A "$dir")
[ -z "$leftover" ] || { echo "files left on the full disk: $leftover" >&2; [ "$status" -ne 0 ] || status=1; }
exit "$status"
