#!/usr/bin/env bash
# Maps drive N: as a network drive onto a scratch folder for the cache test, and takes the
# mapping away again afterwards (the prefix is shared by every test of this build). Wine's
# mount manager reads drive types when it starts, so the wineserver is restarted around it.
set -u
exe=$1 share=$2
rm -rf "$share" && mkdir -p "$share"
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
wine_env_restart_server
cleanup() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
  rm -f "$dev"
  wine_env_restart_server
  rm -rf "$share"
}
trap cleanup EXIT
timeout 120 wine "$exe"
