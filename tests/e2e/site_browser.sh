#!/usr/bin/env bash
# The score server's website in a real browser: headless Chromium shows the home page, the
# table and the download page at desktop and phone widths (screenshots kept in BUILD/site-shots/), every
# picture must load, every stylesheet apply and every link answer 200, and the links the
# game ships must lead to pages the server serves.
#   site_browser.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
shots="$build/site-shots"
mkdir -p "$shots"
tmp=$(mktemp -d)
chmod 755 "$tmp"
server_pid=""
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The game's page and the packages as stand-ins: this is about the site around them (the
# browser game has its own tests).
mkdir -p "$tmp/play" "$tmp/download"
echo '<!DOCTYPE html><title>stand-in</title>' >"$tmp/play/index.html"
head -c 5000 /dev/urandom >"$tmp/download/tinokvak_1.0.0_amd64.deb"
"$build/tinokvak-scores" --port 0 --db "$tmp/scores.db" --play-dir "$tmp/play" --download-dir "$tmp/download" \
  > "$tmp/server.out" &
server_pid=$!
for _ in $(seq 50); do grep -q listening "$tmp/server.out" 2>/dev/null && break; sleep 0.1; done
url=$(sed -n 's/^listening on //p' "$tmp/server.out")
[ -n "$url" ] || fail "the server did not start"

# Two results, sent as the game sends them, so that the table has rows.
python3 - "$url" <<'PY'
import sys, urllib.request
alphabet = "MNBVCXZLKJHGFDSAPYTREWQU98765432"
def encode(b):
    bits = "".join(f"{x:08b}" for x in b)
    bits = "0" * ((5 - len(bits) % 5) % 5) + bits
    return "".join(alphabet[int(bits[i:i+5], 2)] for i in range(0, len(bits), 5))
base = sys.argv[1] + "/cgi/version.pl?"
for name, score, country in [("Петя", 2750, "Россия"), ("Kot", 640, "")]:
    token = urllib.request.urlopen(base + "version&prg=Pondlark").read().decode().split("|")[4]
    p = f"type=0|name={name}|score={score}|key=T|p={token}|add={country}|z=".encode("cp1251")
    p += b"0" * ((5 - len(p) % 5) % 5)
    assert urllib.request.urlopen(base + "hs&prg=Pondlark&inf=" + encode(p)).status == 200
PY

browser=(chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run
         --disable-background-networking --disable-component-update --disable-sync
         --hide-scrollbars --user-data-dir="$tmp/profile")
table="$url/cgi/version.pl?prg=Pondlark&type=0&show"

for page in home table download; do
  target=$url/
  [ $page = table ] && target=$table
  [ $page = download ] && target=$url/download/
  for size in 1280,900 390,844; do
    out="$shots/$page-${size%,*}.png"
    rm -f "$out"
    timeout 60 "${browser[@]}" --window-size=$size --screenshot="$out" "$target" >/dev/null 2>&1 || true
    [ -s "$out" ] || fail "no screenshot of $target at $size"
  done

  # A page beside the site, with web security off, reads it as the browser parses it and
  # loads each picture (its decoded size), each stylesheet and each link.
  cat > "$tmp/check.html" <<HTML
<!DOCTYPE html><html><body><pre id="out">pending</pre>
<script>
(async () => {
  const out = document.getElementById('out'), lines = [], base = '$target';
  try {
    const d = new DOMParser().parseFromString(await (await fetch(base)).text(), 'text/html');
    const abs = (u) => new URL(u, base).href;
    for (const img of d.querySelectorAll('img')) {
      const i = new Image();
      const ok = await new Promise((done) => { i.onload = () => done(i.naturalWidth > 0); i.onerror = () => done(false); i.src = abs(img.getAttribute('src')); });
      lines.push((ok ? 'IMG ok ' : 'IMG broken ') + i.src);
    }
    for (const l of d.querySelectorAll('link[rel=stylesheet]')) {
      const r = await fetch(abs(l.getAttribute('href')));
      const css = r.ok && (r.headers.get('content-type') || '').startsWith('text/css') && (await r.text()).includes('{');
      lines.push((css ? 'CSS ok ' : 'CSS broken ') + r.url);
    }
    const seen = new Set();
    for (const a of d.querySelectorAll('a[href]')) {
      const u = abs(a.getAttribute('href')).split('#')[0];
      if (seen.has(u)) continue;
      seen.add(u);
      try { lines.push('LINK ' + (await fetch(u)).status + ' ' + u); }
      catch (e) { lines.push('LINK failed ' + u); }
    }
    lines.push('SCRIPTS ' + d.querySelectorAll('script').length);
    out.textContent = '\nchecked\n' + lines.join('\n') + '\n';
  } catch (e) { out.textContent = 'error ' + e; }
})();
</script></body></html>
HTML
  timeout 60 "${browser[@]}" --disable-web-security --allow-file-access-from-files \
    --virtual-time-budget=15000 --dump-dom "file://$tmp/check.html" > "$tmp/dom.txt" 2>/dev/null || true
  grep -q "^checked" "$tmp/dom.txt" || { cat "$tmp/dom.txt" >&2; fail "the browser did not check $target"; }
  sed -n '/^checked/,/^SCRIPTS/p' "$tmp/dom.txt" | sed "s#^#$page: #"
  if grep -E '^(IMG broken|CSS broken|LINK failed|LINK [^2])' "$tmp/dom.txt"; then
    fail "$target has a missing picture, stylesheet or link"
  fi
  grep -q '^SCRIPTS 0$' "$tmp/dom.txt" || fail "$target carries scripts"
done

# The shortcuts beside the game point to pages the server serves.
for link in "$build"/game/*.url "$build"/game/wdata/*.url; do
  target=$(sed -n 's/^URL=//p' "$link" | tr -d '\r')
  path=$(printf '%s' "$target" | sed -E 's#^[a-z]+://[^/]*##')
  status=$(curl -s -o /dev/null -w '%{http_code}' "$url$path")
  echo "shortcut $(basename "$link") -> $path: $status"
  [ "$status" = 200 ] || fail "$link opens $target, which the server answers $status"
done
echo "screenshots in $shots"
