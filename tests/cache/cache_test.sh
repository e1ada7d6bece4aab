#!/usr/bin/env bash
# Maps drive N: as a network drive onto a scratch folder for the cache test, and takes the
# mapping away again afterwards (the prefix is shared by every test of this build). Wine's
# mount manager reads drive types when it starts, so the wineserver is restarted around it.
set -u
. "$(dirname "${BASH_SOURCE[0]}")/../support/test_kit.sh"
exe=$1 share=$2 slow_mount=$2-slow
fusermount3 -u "$slow_mount" 2>/dev/null
rm -rf "$share" "$slow_mount" && mkdir -p "$share" "$slow_mount"
# What other accounts can leave: N:\linked\Cache, a symbolic link to N:\victim in place of a
# cache folder (Wine shows it as a reparse point), and, as root only, files owned by
# "nobody" in N:\foreign (world-writable, so the test may set their times).
mkdir -p "$share/victim" "$share/linked" "$share/foreign"
ln -s ../victim "$share/linked/Cache"
for f in planted old; do echo "$f" >"$share/foreign/$f"; done
chmod 666 "$share/foreign/"* && chown nobody "$share/foreign/"* 2>/dev/null || rm -f "$share/foreign/"*
dev="$WINEPREFIX/dosdevices/n:"
ln -sfn "$share" "$dev"
wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
# S: is a share that is slow to answer: N:\slow-share seen through slow_share, whose names
# beginning with "slow" take 10 s to look up while N:\slow-on exists. Without FUSE the drive
# is missing and the test that needs it is skipped.
slow_share_drive s "$share/slow-share" "$slow_mount" --lookup-ms 10000 --switch "$share/slow-on"
wine_env_restart_server
cleanup() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
  rm -f "$dev"
  drop_slow_share_drive s "$slow_mount"
  wine_env_restart_server
  rm -rf "$share" "$slow_mount"
}
trap cleanup EXIT
timeout 120 wine "$exe"
