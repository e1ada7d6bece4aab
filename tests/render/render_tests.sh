#!/usr/bin/env bash
# Runs the render test program: geometry, loading real clips made here with ffmpeg, and the
# on-screen cases on one monitor and on two monitors of different sizes.
# Usage: render_tests.sh test_render.exe   (inside the rig: WINEPREFIX, DISPLAY set)
set -euo pipefail
exe=$1
work=$(mktemp -d /tmp/render-tests.XXXXXX)
trap 'rm -rf "$work"' EXIT

clip() { ffmpeg -loglevel error -y "$@"; }
media=$work/media
mkdir -p "$media"
clip -f lavfi -i color=c=red:size=320x240:rate=10 -t 2 -c:v msvideo1 -pix_fmt rgb555le "$media/red.avi"
export RH_MEDIA_DIR=$media

wine "$exe"
