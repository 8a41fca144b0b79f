#!/usr/bin/env bash
# The Debian package CPack makes: the game, its data, the menu entry and the icons inside,
# and dependencies worked out from the libraries the programs link.
set -euo pipefail
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp" >"$tmp/cpack.log" 2>&1) ||
  { cat "$tmp/cpack.log"; fail "cpack failed"; }
deb=$(ls "$tmp"/tinokvak_*.deb 2>/dev/null | head -n1)
[ -n "$deb" ] || { cat "$tmp/cpack.log"; fail "no .deb"; }
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KiB"

dpkg-deb -c "$deb" | awk '{ print $NF }' | sed 's|^\./|/|' >"$tmp/contents"
for f in /usr/games/tinokvak /usr/bin/tinokvak-config /usr/bin/tinokvak-pack \
         /usr/share/games/tinokvak/Data/Graphic.dxg /usr/share/games/tinokvak/Data/Music.dxw \
         /usr/share/games/tinokvak/Music/1.xm /usr/share/games/tinokvak/wdata/config.ini \
         /usr/share/applications/ru.tinokvak.Tinokvak.desktop \
         /usr/share/metainfo/ru.tinokvak.Tinokvak.metainfo.xml \
         /usr/share/icons/hicolor/scalable/apps/tinokvak.svg /usr/share/man/man6/tinokvak.6; do
  grep -qx "$f" "$tmp/contents" || fail "$f is not in the package"
done
for s in 16 32 48 64 128 256 512; do
  grep -qx "/usr/share/icons/hicolor/${s}x${s}/apps/tinokvak.png" "$tmp/contents" ||
    fail "no ${s}x${s} icon in the package"
done

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for lib in libc6 libsdl2-2.0-0 libsdl2-ttf-2.0-0 libcurl4 libxmp4 libsqlite3-0; do
  echo "$depends" | grep -q "\b$lib\b" || fail "$lib is missing from Depends"
done
echo "ok"
