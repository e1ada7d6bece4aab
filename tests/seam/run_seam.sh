#!/usr/bin/env bash
# Makes solid-colour clips, watches the centre of the test display with the pixel probe and
# runs the test program under Wine:
#   run_seam.sh TEST_EXE FRAMEWHEEL_DLL MEDIA_DIR [args for the program]
# The program reads the probe's log (PROBE_LOG) while it plays.
set -euo pipefail
exe=$1 dll=$2 media=$3
shift 3
. "$(dirname "${BASH_SOURCE[0]}")/seam_kit.sh"
mkdir -p "$media"
colour_clips "$media" red lime blue yellow
[ -s "$media/yellow.jpg" ] || ffmpeg -loglevel error -y -f lavfi -i "color=c=yellow:size=320x240" \
  -frames:v 1 "$media/yellow.jpg"
[ -s "$media/text.avi" ] || for _ in $(seq 200); do echo "This is not a video."; done >"$media/text.avi"
log="$media/probe.log"
: >"$log"
unmanaged_windows
start_probe "$media/pixel_probe" "$log"
trap '{ kill "$probe_pid"; wait "$probe_pid"; restore_managed_windows; } 2>/dev/null || true' EXIT
PROBE_LOG=$log wine "$exe" "$dll" "$media" "$@"
# Again as an older Windows (5.2), where the desktop-spanning style renders once per monitor.
version_key='HKCU\Software\Wine'
wine reg add "$version_key" /v Version /d winxp64 /f >/dev/null 2>&1
status=0
PROBE_LOG=$log wine "$exe" "$dll" "$media" --gtest_filter='Seam/Switching.*desktop*' "$@" || status=$?
wine reg delete "$version_key" /v Version /f >/dev/null 2>&1
exit $status
