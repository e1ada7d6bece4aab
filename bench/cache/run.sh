#!/usr/bin/env bash
# Builds and runs the cache benchmark on a private Wine prefix, with N: a drive that Wine
# reports as a network drive, onto a scratch folder holding a sparse 5 GB file.
#   BUILD_DIR=... bench/cache/run.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j2 --target bench_cache
. "$root/scripts/wine-env.sh"
share="$build/bench/cache/share" install="$build/bench/cache/install"
cleanup() {
  wine reg delete 'HKLM\Software\Wine\Drives' /v n: /f >/dev/null 2>&1 || true
  rm -f "$WINEPREFIX/dosdevices/n:"
  wine_env_stop
  rm -rf "$share" "$install"
}
trap cleanup EXIT
wine_env_start "$build"
rm -rf "$share" "$install" && mkdir -p "$share" "$install/Cache"
truncate -s 5G "$share/big.avi"
ln -sfn "$share" "$WINEPREFIX/dosdevices/n:"
wine reg add 'HKLM\Software\Wine\Drives' /v n: /d network /f >/dev/null 2>&1
wine_env_restart_server
wine "$build/bench/cache/bench_cache.exe" 'N:\big.avi' "$(winepath -w "$install")" 2>/dev/null
