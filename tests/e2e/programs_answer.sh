#!/usr/bin/env bash
# Every program answers --help (its usage, on stdout, status 0) and --version (its name and
# the game's version), and turns away an argument it does not know with its usage on stderr.
set -euo pipefail
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

for prog in game/tinokvak tinokvak-sim tinokvak-check tinokvak-config tinokvak-pack tinokvak-scores; do
  name=$(basename "$prog")
  for flag in --help -h; do
    "$build/$prog" "$flag" >"$tmp/out" 2>"$tmp/err" || fail "$name $flag: status $?"
    grep -q "^usage: $name" "$tmp/out" || fail "$name $flag printed no usage: $(cat "$tmp/out")"
    [ ! -s "$tmp/err" ] || fail "$name $flag wrote to stderr: $(cat "$tmp/err")"
  done
  "$build/$prog" --version >"$tmp/out" 2>"$tmp/err" || fail "$name --version: status $?"
  [ "$(cat "$tmp/out")" = "$name $version" ] || fail "$name --version said: $(cat "$tmp/out")"
  status=0
  "$build/$prog" --no-such-option >"$tmp/out" 2>"$tmp/err" </dev/null || status=$?
  [ "$status" != 0 ] || fail "$name took an unknown option"
  grep -q "usage: $name" "$tmp/err" || fail "$name gave no usage for an unknown option: $(cat "$tmp/err")"
done
echo ok
