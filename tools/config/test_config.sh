#!/bin/bash
# End-to-end check of tinokvak-config: codec commands and "show" on files built here.
set -u
tool=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0
expect() {  # expect NAME ACTUAL EXPECTED
  if [[ "$2" != "$3" ]]; then
    echo "FAIL $1"; echo "  got:      $2"; echo "  expected: $3"
    failures=$((failures + 1))
  fi
}

expect "encode A" "$("$tool" encode 41)" "BN"
expect "encode upper-case hex" "$("$tool" encode FFFFFFFFFF)" "22222222"
expect "encode nothing" "$("$tool" encode '')" ""
expect "decode unpadded" "$("$tool" decode N7LC4GX)" "0074727565"
expect "decode skips strays" "$("$tool" decode ' 2222 2222 mm')" "ffffffffff"
"$tool" encode 4 >/dev/null 2>&1; expect "odd hex fails" "$?" "1"
"$tool" encode 4g >/dev/null 2>&1; expect "bad hex fails" "$?" "1"
"$tool" frobnicate x >/dev/null 2>&1; expect "unknown command fails" "$?" "1"

line() { printf '%s\r\n' "$("$tool" encode "$1")"; }
# false, false, true, "UA%%%", "Петя%" (Windows-1251), row 0 "Vasya" 12345; the rest missing.
{ line 66616c7365; line 66616c7365; line 74727565; line 5541252525; line cfe5f2ff25
  line 5661737961; line 3132333435; } > "$dir/Config.cfg"
vanya='{"name":"Ваня","score":'
expect "show" "$("$tool" show "$dir/Config.cfg")" \
'{"fullScreen":false,"music":false,"sound":true,"country":"UA","name":"Петя","highScores":[{"name":"Vasya","score":12345},'"${vanya}2500},${vanya}2000},${vanya}1500},${vanya}1000},${vanya}500},${vanya}400},${vanya}300},${vanya}200},${vanya}100}],\"skipped\":[\"the file ends after line 7\"]}"

# LF-only line ends read the same.
tr -d '\r' < "$dir/Config.cfg" > "$dir/lf.cfg"
expect "show LF only" "$("$tool" show "$dir/lf.cfg")" "$("$tool" show "$dir/Config.cfg")"

# A missing file is the defaults, as for the game.
expect "show missing" "$("$tool" show "$dir/absent.cfg")" \
'{"fullScreen":false,"music":true,"sound":true,"country":"","name":"","highScores":['"${vanya}3000},${vanya}2500},${vanya}2000},${vanya}1500},${vanya}1000},${vanya}500},${vanya}400},${vanya}300},${vanya}200},${vanya}100}]}"

# A damaged score line: that row keeps its default score, the rows after it are read, and
# the table is put in order; what was skipped goes to stderr and the JSON, status 0.
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
{ line "$(hex false)"; line "$(hex true)"; line "$(hex true)"; line ''; line ''
  for row in A%%%%:9000% B%%%%:8000% C%%%%:89x0% D%%%%:6000% E%%%%:5000% F%%%%:4000% \
             G%%%%:3000% H%%%%:2500% I%%%%:2200% J%%%%:2100%; do
    line "$(hex "${row%%:*}")"; line "$(hex "${row#*:}")"
  done; } > "$dir/bad.cfg"
out=$("$tool" show "$dir/bad.cfg" 2>"$dir/err"); status=$?
expect "bad score status" "$status" "0"
expect "bad score stderr" "$(cat "$dir/err")" "$dir/bad.cfg: line 11: '89x0' is not a valid integer value"
row() { printf '{"name":"%s","score":%s}' "$1" "$2"; }
expect "bad score json" "$out" \
'{"fullScreen":false,"music":true,"sound":true,"country":"","name":"","highScores":['"$(row A 9000),$(row B 8000),$(row D 6000),$(row E 5000),$(row F 4000),$(row G 3000),$(row H 2500),$(row I 2200),$(row J 2100),$(row C 2000)"'],"skipped":["line 11: '"'89x0'"' is not a valid integer value"]}'

# A file cut short: the lines it has, and the cut on stderr.
head -c 80 "$dir/bad.cfg" > "$dir/cut.cfg"
"$tool" show "$dir/cut.cfg" >/dev/null 2>"$dir/err"; status=$?
expect "cut file status" "$status" "0"
expect "cut file stderr" "$(cat "$dir/err")" "$dir/cut.cfg: line 10 is cut short"

"$tool" show "$dir" >/dev/null 2>&1; expect "show a folder fails" "$?" "1"

exit $((failures > 0))
