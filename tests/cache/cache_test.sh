#!/usr/bin/env bash
# Maps drive N: as a network drive onto a scratch folder for the cache test, and takes the
# mapping away again afterwards (the prefix is shared by every test of this build). Wine's
# mount manager reads drive types when it starts, so the wineserver is restarted around it.
set -u
exe=$1 share=$2
rm -rf "$share" && mkdir -p "$share"
dev="$WINEPREFIX/dosdevices/n:"
# The first Wine program after a restart starts Wine's services, which keep its stderr: start
# them from a program whose output goes nowhere, or they hold a later test's output open and
# ctest waits for it until the time-out.
restart() {
  wineserver -k >/dev/null 2>&1; timeout 20 wineserver -w
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null
}
ln -sfn "$share" "$dev"
wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
restart
cleanup() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1
  rm -f "$dev"
  restart
  rm -rf "$share"
}
trap cleanup EXIT
timeout 120 wine "$exe"
