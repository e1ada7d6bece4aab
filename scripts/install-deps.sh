#!/usr/bin/env bash
# Installs, as root on Debian, everything the build, the tests and the demo need.
set -euo pipefail
packages=(
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev mingw-w64-tools libwine-dev cmake googletest
  wine wine64 libwine fonts-wine fonts-liberation
  xvfb xauth xserver-xephyr x11-utils x11-xserver-utils xdotool imagemagick gcc libx11-dev
  pulseaudio
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-plugins-ugly gstreamer1.0-libav
  wixl wixl-data msitools ffmpeg python3
  fuse3 libfuse3-dev pkg-config
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
