#!/usr/bin/env bash
# Builds the WebAssembly build in build-web/ (beside the desktop's build/, which its tests
# compare with, and whose tinokvak-glyphs and tinokvak-pictures make its data): emscripten's
# optimiser needs Debian's acorn, found through NODE_PATH; ccache serves em++ too.
#   scripts/build-web.sh [BUILD-DIR [DESKTOP-BUILD-DIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build-web}
desktop=${2:-$PWD/build}
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTK_DESKTOP_BUILD="$desktop" \
  $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache) >/dev/null
cmake --build "$out" -j "$(nproc)"
