#!/usr/bin/env bash
# One build option says where the game lives online: a build configured with TK_SITE makes
# the score server, every shipped shortcut and the AppStream addresses from it; a
# development build (this one, without it) ships no play.url.
set -euo pipefail
source_dir=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

if ! grep -q '^TK_SITE:STRING=.\+' "$build/CMakeCache.txt"; then
  [ ! -e "$build/game/play.url" ] || fail "a development build ships play.url"
  [ -e "$build/game/website.url" ] || fail "the development build lost website.url"
fi

site=https://tinokvak.example
cmake -S "$source_dir" -B "$tmp/b" -G Ninja "-DTK_SITE=$site/" >"$tmp/log" 2>&1 || { cat "$tmp/log"; fail "configure"; }
shortcuts=$tmp/b/assets/exitscreen/shortcuts
for f in play.url website.url moregames.url wdata/site.url wdata/home.url; do
  [ -f "$shortcuts/$f" ] || fail "$f is not made"
  grep -q "^URL=$site/" "$shortcuts/$f" || fail "$f points elsewhere: $(cat "$shortcuts/$f")"
done
grep -q "^URL=$site/cgi/version.pl?prg=Pondlark&type=0&show" "$shortcuts/play.url" || fail "play.url is not the table"
meta=$tmp/b/dist/ru.tinokvak.Tinokvak.metainfo.xml
grep -q "<url type=\"homepage\">$site/</url>" "$meta" || fail "AppStream home page"
[ "$(grep -c "<image>$site/shots/" "$meta")" = "$(grep -c "<image>" "$meta")" ] || fail "AppStream screenshots"
grep -q "TK_SCORE_SERVER=\\\\\"$site\\\\\"" "$tmp/b/build.ninja" || fail "the game is not built for $site"
grep -q "TK_SITE_ADDRESS=\\\\\"$site\\\\\"" "$tmp/b/build.ninja" || fail "the score server's pages are not built for $site"
! grep -rq "127\.0\.0\.1" "$shortcuts" "$meta" || fail "a local address is left in a release build"

# An address that is not one is refused when the build is configured.
! cmake -S "$source_dir" -B "$tmp/bad" -G Ninja -DTK_SITE=tinokvak.example >"$tmp/log" 2>&1 ||
  fail "TK_SITE without a scheme was taken"
grep -q "TK_SITE must be" "$tmp/log" || fail "no clear message for a bad TK_SITE"
echo ok
