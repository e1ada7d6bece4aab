#!/usr/bin/env bash
# Builds Reelhaven and Framewheel with the MinGW-w64 cross compiler and runs every test
# program under Wine through ctest, on a private Wine prefix, X display and sound server.
# Run as root on Debian; installs what it needs. Extra arguments go to ctest (-R NAME ...).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
# BUILD_TARGETS narrows the build while working on one area; CI builds everything.
# shellcheck disable=SC2086
cmake --build "$build" -j"$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}

. "$root/scripts/wine-env.sh"
trap wine_env_stop EXIT
wine_env_start "$build"
cd "$build"
ctest --output-on-failure --timeout 600 "$@"
