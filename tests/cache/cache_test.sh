#!/usr/bin/env bash
# Maps drive N: as a network drive onto a scratch folder for the cache test, and takes the
# mapping away again afterwards (the prefix is shared by every test of this build). Wine's
# mount manager reads drive types when it starts, so the wineserver is restarted around it.
set -u
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
. "$(dirname "${BASH_SOURCE[0]}")/../../scripts/wine-env.sh"
ln -sfn "$share" "$dev"
wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
# S: is a share that is slow to answer: N:\slow-share seen through slow_share (a FUSE
# mount), whose names beginning with "slow" take 10 s to look up while N:\slow-on exists.
# Without FUSE the drive is missing and the test that needs it is skipped.
mkdir -p "$share/slow-share"
slow_dev="$WINEPREFIX/dosdevices/s:" slow_pid=
if gcc -O2 -o "$share/../slow_share" "$(dirname "${BASH_SOURCE[0]}")/../support/slow_share.c" \
     $(pkg-config --cflags --libs fuse3 2>/dev/null) 2>/dev/null; then
  "$share/../slow_share" --lookup-ms 10000 --switch "$share/slow-on" "$share/slow-share" "$slow_mount" &
  slow_pid=$!
  for _ in $(seq 50); do mountpoint -q "$slow_mount" && break; sleep 0.1; done
  mountpoint -q "$slow_mount" && ln -sfn "$slow_mount" "$slow_dev" &&
    wine reg add 'HKLM\Software\Wine\Drives' /v s: /d network /f >/dev/null 2>&1
fi
wine_env_restart_server
cleanup() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
  wine reg delete 'HKLM\Software\Wine\Drives' /v s: /f >/dev/null 2>&1
  rm -f "$dev" "$slow_dev"
  wine_env_restart_server
  # Lazily: a look-up the test left waiting may still hold the mount.
  [ -n "$slow_pid" ] && { fusermount3 -uz "$slow_mount"; kill "$slow_pid" 2>/dev/null; wait "$slow_pid"; }
  rm -rf "$share" "$slow_mount"
}
trap cleanup EXIT
timeout 120 wine "$exe"
