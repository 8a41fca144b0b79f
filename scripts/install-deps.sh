#!/usr/bin/env bash
# Installs every Debian package the game, its tools and its tests need.
# Safe to run again: it only calls apt-get when something is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build ccache pkg-config clang libclang-rt-14-dev
  libsdl2-dev libsdl2-ttf-dev libsdl2-gfx-dev libfontconfig-dev libfreetype-dev libharfbuzz-dev
  libjpeg-dev libxmp-dev librsvg2-dev libcairo2-dev libx11-dev
  libcurl4-openssl-dev libssl-dev libsqlite3-dev nlohmann-json3-dev libboost-dev zlib1g-dev
  chromium curl python3 libpq-dev postgresql
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-comfortaa fonts-dejavu-core
  xvfb xdotool x11-utils imagemagick strace
  desktop-file-utils appstream dpkg-dev openbox wmctrl lintian systemd util-linux
  emscripten node-acorn nodejs libstb-dev libvorbis-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Wait for another install (a parallel build or the package manager) instead of failing.
lock=(-o DPkg::Lock::Timeout=600)
$sudo apt-get "${lock[@]}" update -qq
$sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
