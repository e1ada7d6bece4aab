#!/usr/bin/env bash
# Draws the program's pictures and renders its message video. The results are committed;
# run this again only to change them (needs ImageMagick, ffmpeg and fonts-liberation).
#   preview.bmp    bitmap 101: 152 x 112, 24 bits per pixel, the logo on dark green
#   message.avi    video 127: 288 x 140, one frame, Microsoft Video 1 at 16 bits, 1 frame/s
#   reelhaven.ico  icon 100: 16, 32 and 48 pixels
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

green='#0b3d22'
gold='#f2c14e'
bold=Liberation-Sans-Bold
plain=Liberation-Sans

# The logo's emblem: a film reel (a ring with five holes around a hub).
reel() { # size colour background output
  local s=$1 c=$2 bg=$3 out=$4 r h
  r=$((s * 45 / 100)); h=$((s * 11 / 100))
  local holes=()
  for a in 0 72 144 216 288; do
    local x y
    x=$(awk -v s="$s" -v a="$a" 'BEGIN{printf "%d", s/2 + s*0.25*cos(a*3.14159/180 - 1.5708)}')
    y=$(awk -v s="$s" -v a="$a" 'BEGIN{printf "%d", s/2 + s*0.25*sin(a*3.14159/180 - 1.5708)}')
    holes+=(-draw "circle $x,$y $((x + h)),$y")
  done
  convert -size "${s}x${s}" "xc:$bg" -fill "$c" -draw "circle $((s / 2)),$((s / 2)) $((s / 2 + r)),$((s / 2))" \
    -fill "$bg" "${holes[@]}" -draw "circle $((s / 2)),$((s / 2)) $((s / 2 + h / 2 + 1)),$((s / 2))" "$out"
}

# Bitmap 101: the maker's name above the product name, the reel beside them.
reel 36 "$gold" "$green" "$work/reel36.png"
convert -size 152x112 "xc:$green" \
  "$work/reel36.png" -geometry +6+38 -composite \
  -font "$plain" -pointsize 15 -fill '#cfe8d6' -annotate +50+50 'Halcyra' \
  -font "$bold" -pointsize 19 -fill white -annotate +48+72 'Reelhaven' \
  -fill "$gold" -draw 'rectangle 50,80 137,81' \
  -type TrueColor -depth 8 BMP3:preview.bmp

# Video 127: the logo on black, an information sign and the words "Playlist is empty".
reel 40 "$gold" black "$work/reel40.png"
convert -size 288x140 xc:black \
  "$work/reel40.png" -geometry +62+14 -composite \
  -font "$plain" -pointsize 16 -fill '#cfe8d6' -annotate +110+28 'Halcyra' \
  -font "$bold" -pointsize 22 -fill white -annotate +108+54 'Reelhaven' \
  -fill '#2a6fdb' -draw 'circle 78,104 78,90' \
  -font "$bold" -pointsize 20 -fill white -annotate +74+112 'i' \
  -font "$plain" -pointsize 18 -fill white -annotate +102+111 'Playlist is empty' \
  "$work/message.png"
ffmpeg -v error -y -loop 1 -framerate 1 -i "$work/message.png" -frames:v 1 -r 1 \
  -c:v msvideo1 -pix_fmt rgb555le -an message.avi

# Icon 100: the reel on dark green.
for s in 16 32 48; do
  reel "$s" "$gold" "$green" "$work/icon$s.png"
done
convert "$work/icon16.png" "$work/icon32.png" "$work/icon48.png" reelhaven.ico
