#!/usr/bin/env bash
# The installed playlist tool adding 10,000 files (100 folders of 100) to a new playlist:
# prints the tool's own split (folder walk, then adding through the playlist object and
# saving) and the whole process as the shell sees it, for three runs.
#   bench/admin/rhplaylist_bench.sh      (BUILD_DIR=... when the build is elsewhere)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
cmake --build "$build" --target reelhaven_msi >/dev/null
. "$root/scripts/wine-env.sh"
trap 'wine msiexec /x "$build/Reelhaven.msi" /qn >/dev/null 2>&1; wine_env_stop' EXIT
wine_env_start "$build"
wine msiexec /i "$build/Reelhaven.msi" /qn >/dev/null 2>&1

tree="$WINEPREFIX/drive_c/bench-clips"
rm -rf "$tree" "$WINEPREFIX/drive_c/bench.plst"
for d in $(seq -w 0 99); do
  mkdir -p "$tree/d$d"
  (cd "$tree/d$d" && touch $(printf 'clip%03d.avi ' $(seq 0 99)))
done
tool='C:\Program Files\Halcyra\Reelhaven\rhplaylist.exe'
wine "$tool" --help >/dev/null 2>&1 # the first process in a prefix starts slower
for run in 1 2 3; do
  rm -f "$WINEPREFIX/drive_c/bench.plst"
  start=$(date +%s%N)
  split=$(wine "$tool" add-folder 'C:\bench.plst' --verbose 'C:\bench-clips' 2>&1 >/dev/null |
          tr -d '\r' | grep 'files:')
  end=$(date +%s%N)
  echo "run $run: ${split#rhplaylist: }; whole process $(((end - start) / 1000000)) ms"
done
rm -rf "$tree" "$WINEPREFIX/drive_c/bench.plst"
