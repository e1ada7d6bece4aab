#!/usr/bin/env bash
# Builds and runs the configuration-sheet benchmark on a private Wine prefix and display.
#   BUILD_DIR=... bench/config/run.sh
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
cmake --build "$build" -j2 --target bench_config Framewheel
. "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "$build"
work="$build/bench/config/work"
mkdir -p "$work"
wine regsvr32 /s "$(winepath -w "$build/player/Framewheel.dll")"
wine "$build/bench/config/bench_config.exe" "$(winepath -w "$work")" 2>/dev/null
