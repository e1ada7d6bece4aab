#!/usr/bin/env bash
# Draws the configuration dialog's pictures. The results are committed; run this again only
# to change them (needs ImageMagick and python3).
#   file-toolbar.bmp  bitmap 111: New, Open, Save, Save As; 4 x 16 by 15, magenta = transparent
#   row-toolbar.bmp   bitmap 118: Add, Remove, Move Up, Move Down, Play; 5 x 16 by 15
#   playlist.ico      icon 106, options.ico icon 107, about.ico icon 108: tab icons, 16 and 32
#   failed.ico        icon 137: the overlay on a row whose last play failed, 16
#   hand.cur          cursor 123: pointing hand for the About page's links
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

key='#ff00ff'
ink='#1f3b5c'
green='#2e9a3e'
red='#cc2a2a'
paper='#ffffff'
folder='#e8b83a'
disk='#3a68b0'

tile() { # name draw-arguments... : one 16 x 15 image on the transparent key colour
  local name=$1
  shift
  convert -size 16x15 "xc:$key" +antialias "$@" "$work/$name.png"
}

# File toolbar.
tile new -fill "$paper" -stroke "$ink" -draw 'polygon 3,1 9,1 12,4 12,13 3,13' \
  -fill '#d8dde6' -draw 'polygon 9,1 9,4 12,4' -stroke '#9aa6b8' -draw 'line 5,7 10,7' -draw 'line 5,9 10,9' \
  -draw 'line 5,11 10,11'
tile open -fill "$folder" -stroke '#8a6410' -draw 'polygon 1,3 6,3 7,5 13,5 13,12 1,12' \
  -fill '#f6d77c' -draw 'polygon 3,7 15,7 13,12 1,12'
tile save -fill "$disk" -stroke "$ink" -draw 'rectangle 1,1 14,13' -fill "$paper" -stroke none \
  -draw 'rectangle 4,2 11,6' -fill '#c8ccd4' -draw 'rectangle 4,9 11,13' -fill "$ink" -draw 'rectangle 9,10 10,12'
tile saveas -fill "$disk" -stroke "$ink" -draw 'rectangle 1,1 11,11' -fill "$paper" -stroke none \
  -draw 'rectangle 3,2 9,5' -fill '#c8ccd4' -draw 'rectangle 3,8 9,11' \
  -stroke '#c0392b' -strokewidth 2 -draw 'line 8,13 14,7' -stroke "$ink" -strokewidth 1 -draw 'point 7,14'
convert "$work/new.png" "$work/open.png" "$work/save.png" "$work/saveas.png" +append \
  -type TrueColor -depth 8 BMP3:file-toolbar.bmp

# Row toolbar.
tile add -fill "$green" -stroke '#1d6627' -draw 'rectangle 6,2 9,12' -draw 'rectangle 2,6 13,8'
tile remove -stroke "$red" -strokewidth 3 -draw 'line 3,3 12,11' -draw 'line 12,3 3,11'
tile up -fill "$disk" -stroke "$ink" -draw 'polygon 7,1 13,7 10,7 10,13 5,13 5,7 2,7'
tile down -fill "$disk" -stroke "$ink" -draw 'polygon 7,13 13,7 10,7 10,1 5,1 5,7 2,7'
tile play -fill "$green" -stroke '#1d6627' -draw 'polygon 4,1 13,7 4,13'
convert "$work/add.png" "$work/remove.png" "$work/up.png" "$work/down.png" "$work/play.png" +append \
  -type TrueColor -depth 8 BMP3:row-toolbar.bmp

# Tab icons, drawn at 32 and scaled down for 16.
icon() { # name draw-arguments...
  local name=$1
  shift
  convert -size 32x32 xc:none "$@" "$work/$name-32.png"
  convert "$work/$name-32.png" -resize 16x16 "$work/$name-16.png"
  convert "$work/$name-16.png" "$work/$name-32.png" "$name.ico"
}
icon playlist -fill "$paper" -stroke "$ink" -strokewidth 2 -draw 'rectangle 3,3 28,28' \
  -fill "$green" -stroke none -draw 'polygon 7,7 13,10 7,13' -draw 'polygon 7,15 13,18 7,21' \
  -fill "$ink" -draw 'rectangle 15,9 25,11' -draw 'rectangle 15,17 25,19' -draw 'rectangle 7,24 25,25'
icon options -fill '#6b7c93' -stroke "$ink" -strokewidth 2 -draw 'circle 16,16 16,4' \
  -fill '#e8ecf2' -draw 'circle 16,16 16,10' \
  -stroke "$ink" -strokewidth 4 -draw 'line 16,1 16,5' -draw 'line 16,27 16,31' -draw 'line 1,16 5,16' \
  -draw 'line 27,16 31,16'
icon about -fill "$disk" -stroke "$ink" -strokewidth 2 -draw 'circle 16,16 16,2' \
  -fill white -stroke none -draw 'circle 16,9 16,6' -draw 'rectangle 13,13 19,26'

# Overlay 137: a small red disc with an exclamation mark in the lower left corner.
convert -size 16x16 xc:none -fill "$red" -stroke white -draw 'circle 5,10 5,4' \
  -stroke none -fill white -draw 'rectangle 4,6 6,11' -draw 'rectangle 4,13 6,14' "$work/failed.png"
convert "$work/failed.png" failed.ico

# Cursor 123: a pointing hand; the tip of the finger is the hot spot (5, 0).
convert -size 32x32 xc:none -fill white -stroke black \
  -draw 'polygon 4,1 7,1 7,9 9,9 9,8 12,8 12,10 14,10 14,9 17,9 17,11 18,11 20,12 20,19 18,23 8,23 5,18 1,13 2,11 4,12' \
  "$work/hand.png"
convert "$work/hand.png" "$work/hand.ico"
python3 - "$work/hand.ico" hand.cur <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
struct.pack_into('<H', data, 2, 2)          # resource type: cursor
struct.pack_into('<HH', data, 6 + 4, 5, 0)   # hot spot in place of planes and bit count
open(sys.argv[2], 'wb').write(data)
PY
