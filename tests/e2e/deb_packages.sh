#!/usr/bin/env bash
# The two Debian packages CPack makes: what each holds and depends on, lintian on both,
# the service unit, and installing, upgrading, removing and purging each in a throw-away
# root. Where the machine allows it, the installed server and its replay checker also run
# in a sandbox shaped like the service's (read-only system, its own user, private /tmp).
#   deb_packages.sh BUILD SOURCE
set -euo pipefail
build=$1 source=$2
tmp=$(mktemp -d)
lintians=()
trap 'kill "${lintians[@]}" 2>/dev/null || true; wait; rm -rf "$tmp"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1) ||
  { cat "$tmp/cpack.log"; fail "cpack failed"; }
game=$(ls "$tmp"/out/tinokvak_*.deb 2>/dev/null | head -n1)
server=$(ls "$tmp"/out/tinokvak-scores_*.deb 2>/dev/null | head -n1)
[ -n "$game" ] && [ -n "$server" ] || { cat "$tmp/cpack.log"; ls "$tmp/out"; fail "not both packages"; }
[ "$(ls "$tmp"/out/*.deb | wc -l)" = 2 ] || fail "more packages than two: $(ls "$tmp/out")"
for d in "$game" "$server"; do echo "$(basename "$d"): $(du -k "$d" | cut -f1) KiB"; done

# lintian takes a while: it looks at both packages while the rest is checked.
for d in "$game" "$server"; do
  lintian --fail-on error,warning --tag-display-limit 0 "$d" >"$tmp/lintian.$(basename "$d").log" 2>&1 &
  lintians+=($!)
done

# --- What each package holds -------------------------------------------------------------
contents() { dpkg-deb -c "$1" | awk '{ print $6 }' | sed 's|^\./|/|'; }
contents "$game" >"$tmp/game.list"
contents "$server" >"$tmp/server.list"
holds() {
  local list=$1; shift
  for f in "$@"; do grep -qx "$f" "$tmp/$list.list" || fail "$f is not in the $list package"; done
}
lacks() {
  local list=$1; shift
  for f in "$@"; do ! grep -q "^$f" "$tmp/$list.list" || fail "$f is in the $list package"; done
}
holds game /usr/games/tinokvak /usr/bin/tinokvak-config /usr/bin/tinokvak-pack /usr/bin/tinokvak-sim \
  /usr/bin/tinokvak-check /usr/share/man/man1/tinokvak-check.1.gz \
  /usr/share/games/tinokvak/Data/Graphic.dxg /usr/share/games/tinokvak/Data/Music.dxw \
  /usr/share/games/tinokvak/Music/1.xm /usr/share/games/tinokvak/wdata/config.ini \
  /usr/share/applications/ru.tinokvak.Tinokvak.desktop \
  /usr/share/metainfo/ru.tinokvak.Tinokvak.metainfo.xml \
  /usr/share/icons/hicolor/scalable/apps/tinokvak.svg /usr/share/man/man6/tinokvak.6.gz \
  /usr/share/man/man1/tinokvak-sim.1.gz /usr/share/man/man1/tinokvak-config.1.gz \
  /usr/share/man/man1/tinokvak-pack.1.gz /usr/share/doc/tinokvak/copyright \
  /usr/share/doc/tinokvak/changelog.gz
for s in 16 32 48 64 128 256 512; do holds game "/usr/share/icons/hicolor/${s}x${s}/apps/tinokvak.png"; done
lacks game /usr/bin/tinokvak-scores /etc/ /lib/systemd /usr/share/man/man1/tinokvak-scores
holds server /usr/bin/tinokvak-scores /usr/share/man/man1/tinokvak-scores.1.gz \
  /lib/systemd/system/tinokvak-scores.service /etc/tinokvak-scores/scores.conf \
  /usr/share/doc/tinokvak-scores/copyright /usr/share/doc/tinokvak-scores/changelog.gz
lacks server /usr/games /usr/share/games /usr/bin/tinokvak-sim /usr/bin/tinokvak-check /usr/share/man/man6
# The browser game's page goes in only when the build was told where it is (TK_PLAY_PAGE).
page=$(sed -n 's/^TK_PLAY_PAGE:PATH=//p' "$build/CMakeCache.txt")
if [ -n "$page" ]; then
  holds server /usr/share/tinokvak/play/index.html
  echo "the server package carries the game's page from $page"
else
  lacks server /usr/share/tinokvak
fi
# Every manual page compressed, none left plain.
! grep -h '^/usr/share/man/.*[^z]$' "$tmp/game.list" "$tmp/server.list" | grep -v '/$' ||
  fail "uncompressed manual pages"
[ "$(dpkg-deb -I "$server" conffiles)" = /etc/tinokvak-scores/scores.conf ] ||
  fail "the server's conffiles: $(dpkg-deb -I "$server" conffiles 2>&1)"

# --- Each package depends only on what its own programs need ---------------------------
gdeps=$(dpkg-deb -f "$game" Depends) sdeps=$(dpkg-deb -f "$server" Depends)
echo "tinokvak Depends: $gdeps"
echo "tinokvak-scores Depends: $sdeps"
has() { echo "$1" | tr ',' '\n' | sed 's/^ *//' | grep -q "^$2\b"; }
for lib in libc6 libsdl2-2.0-0 libsdl2-ttf-2.0-0 libcurl4 libxmp4; do
  has "$gdeps" "$lib" || fail "$lib is missing from the game's Depends"
done
for lib in libpq5 libsqlite3-0; do ! has "$gdeps" "$lib" || fail "the game depends on $lib"; done
for lib in libc6 libpq5 libsqlite3-0; do
  has "$sdeps" "$lib" || fail "$lib is missing from the server's Depends"
done
for lib in libsdl2-2.0-0 libsdl2-ttf-2.0-0 libxmp4; do ! has "$sdeps" "$lib" || fail "the server depends on $lib"; done
version=$(dpkg-deb -f "$game" Version)
echo "$sdeps" | tr ',' '\n' | sed 's/^ *//' | grep -qxF "tinokvak (= $version)" || fail "the server does not depend on the same game version"

# --- The unit -----------------------------------------------------------------------------
mkdir -p "$tmp/unpacked"
dpkg-deb -x "$server" "$tmp/unpacked"
unit=$tmp/unpacked/lib/systemd/system/tinokvak-scores.service
for key in DynamicUser=yes StateDirectory=tinokvak-scores ProtectSystem=strict ProtectHome=yes \
           PrivateTmp=yes NoNewPrivileges=yes CapabilityBoundingSet= SystemCallFilter=@system-service \
           "ExecStart=/usr/bin/tinokvak-scores --config /etc/tinokvak-scores/scores.conf"; do
  grep -qx "$key" "$unit" || fail "the unit lacks $key"
done
if command -v systemd-analyze >/dev/null; then
  # The same unit with its program where this unpacked copy keeps it; the manual page is
  # looked up in the copy too.
  mkdir -p "$tmp/verify"
  sed "s|^ExecStart=/usr/bin/|ExecStart=$tmp/unpacked/usr/bin/|" "$unit" >"$tmp/verify/tinokvak-scores.service"
  MANPATH=$tmp/unpacked/usr/share/man systemd-analyze verify "$tmp/verify/tinokvak-scores.service" \
    >"$tmp/verify.log" 2>&1 || { cat "$tmp/verify.log"; fail "systemd-analyze verify"; }
  [ ! -s "$tmp/verify.log" ] || { cat "$tmp/verify.log"; fail "systemd-analyze verify has remarks"; }
  echo "systemd-analyze verify: clean"
else
  echo "SKIP: no systemd-analyze here (scripts/install-deps.sh installs it), the unit is not verified"
fi

# --- Install, upgrade, remove and purge in a throw-away root ------------------------------
# The maintainer scripts run outside a chroot with DPKG_ROOT set, as they are written to.
root=$tmp/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
force=(--force-script-chrootless --force-depends)
[ "$(id -u)" = 0 ] || force+=(--force-not-root)
dpkg_root() { dpkg --root="$root" --log=/dev/null "${force[@]}" "$@" </dev/null >>"$tmp/dpkg.log" 2>&1 ||
              { cat "$tmp/dpkg.log"; fail "dpkg $*"; }; }
status_of() { dpkg-query --admindir="$root/var/lib/dpkg" -W -f='${Status} ${Version}' "$1" 2>/dev/null || true; }

# The older build: the same packages one version back.
older() {
  local deb=$1 out=$2 dir=$tmp/older
  rm -rf "$dir" && dpkg-deb -R "$deb" "$dir"
  sed -i -e "s/^Version: .*/Version: 0.9.0/" -e "s/tinokvak (= $version)/tinokvak (= 0.9.0)/" "$dir/DEBIAN/control"
  dpkg-deb -Znone -b "$dir" "$out" >/dev/null
}
older "$game" "$tmp/game-old.deb"
older "$server" "$tmp/server-old.deb"

conf=$root/etc/tinokvak-scores/scores.conf
wants=$root/etc/systemd/system/multi-user.target.wants/tinokvak-scores.service
dpkg_root -i "$tmp/game-old.deb" "$tmp/server-old.deb"
[ "$(status_of tinokvak-scores)" = "install ok installed 0.9.0" ] || fail "0.9.0 not installed: $(status_of tinokvak-scores)"
[ -L "$wants" ] || fail "installing did not enable the service"
# An operator's change to the configuration outlives the upgrade.
sed -i 's/^per-address = 32$/per-address = 64/' "$conf"
grep -qx "per-address = 64" "$conf" || fail "the packaged configuration has no per-address line to change"
dpkg_root -i "$game" "$server"
for p in tinokvak tinokvak-scores; do
  [ "$(status_of $p)" = "install ok installed $version" ] || fail "$p not upgraded: $(status_of $p)"
done
grep -qx "per-address = 64" "$conf" || fail "the upgrade lost the operator's configuration"
[ -L "$wants" ] || fail "the upgrade disabled the service"
# The same version again (a reinstall) keeps everything as it is.
dpkg_root -i "$server"
grep -qx "per-address = 64" "$conf" || fail "a reinstall lost the operator's configuration"

# The installed server starts on the packaged configuration, its own paths swapped for
# the copies in the throw-away root, and says where it listens.
state=$tmp/state
mkdir -p "$state"
"$root/usr/bin/tinokvak-scores" --config "$conf" --port 0 --db "$state/scores.db" \
  --checker "$root/usr/bin/tinokvak-check" --game-dir "$root/usr/share/games/tinokvak" \
  >"$tmp/server.out" 2>&1 &
pid=$!
for _ in $(seq 600); do
  grep -q '^listening on http://127.0.0.1:[0-9]*' "$tmp/server.out" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
url=$(grep -o 'http://127.0.0.1:[0-9]*' "$tmp/server.out" | head -n1 || true)
[ -n "$url" ] || { kill "$pid" 2>/dev/null || true; cat "$tmp/server.out"; fail "the installed server did not start"; }
curl -fsS "$url/cgi/version.pl?version&prg=Pondlark" | grep -q '^OK|' || { kill "$pid"; fail "no token from $url"; }
curl -fsS "$url/download/" | grep -q '<title>' || { kill "$pid"; fail "no /download/ page from $url"; }
kill "$pid"; wait "$pid" || true
# The installed program looks for the game's page and the packages where a package puts
# them, never in a build folder beside /usr/bin.
! grep -q build-web "$tmp/server.out" || { cat "$tmp/server.out"; fail "the installed server looks for a build folder"; }
if [ -n "$page" ]; then
  grep -qF "serving the game page from $root/usr/share/tinokvak/play under /play/" "$tmp/server.out" ||
    { cat "$tmp/server.out"; fail "the installed server does not serve the packaged page"; }
else
  grep -qF "no game page found (looked in $root/usr/share/tinokvak/play)" "$tmp/server.out" ||
    { cat "$tmp/server.out"; fail "the installed server does not look in /usr/share/tinokvak/play"; }
fi
grep -qF "no download folder found (looked in $root/usr/share/tinokvak/download)" "$tmp/server.out" ||
  { cat "$tmp/server.out"; fail "the installed server does not look for the packages in /usr/share/tinokvak/download"; }
# A bad line in the file stops it with the line's number; so do settings that cannot go
# together.
while IFS='|' read -r text message; do
  printf "$text" >"$tmp/bad.conf"
  if "$root/usr/bin/tinokvak-scores" --config "$tmp/bad.conf" >"$tmp/bad.out" 2>&1; then
    fail "took $text"
  fi
  [ "$(cat "$tmp/bad.out")" = "tinokvak-scores: ${message//FILE/$tmp/bad.conf}" ] ||
    fail "for $text: $(cat "$tmp/bad.out")"
done <<'CASES'
listen = 127.0.0.1\nprot = 1\n|FILE:2: unknown setting "prot"
# port\n\nport = 70000\n|FILE:3: bad value "70000" for port
checker = /usr/bin/tinokvak-check\n|checker and game-dir go together: give both or neither
CASES
echo "installed server: started on the packaged configuration ($url); a bad line is refused"

# The service's sandbox, as far as it can be built here: the installed files over the
# system's, everything read-only but the state directory, private /tmp, no home folders,
# an unprivileged user without capabilities or new privileges, no writable code where the
# kernel can refuse it, the service's umask. The
# server starts on the packaged configuration unchanged and the replay checker plays a
# kept game on the installed data.
if [ "$(id -u)" = 0 ] && unshare -m true 2>/dev/null; then
  replay=$source/tests/replays/pickups.tkr
  cat >"$tmp/sandbox.sh" <<'SANDBOX'
set -euo pipefail
root=$1 replay=$2
mount --make-rprivate /
mount -t overlay overlay -o "lowerdir=$root/usr:/usr" /usr
mount -t overlay overlay -o "lowerdir=$root/etc:/etc" /etc
mount -t tmpfs -o mode=755 tmpfs /var/lib
install -d -o 61234 -g 61234 -m 700 /var/lib/tinokvak-scores
cp "$replay" /var/lib/tinokvak-scores/game.tkr
mount -t tmpfs -o mode=1777 tmpfs /tmp
for d in /home /root /run/user; do [ -d "$d" ] && mount -t tmpfs -o ro,mode=000 tmpfs "$d"; done
mount -o remount,bind,ro /
cd /var/lib/tinokvak-scores
as_service=(setpriv --reuid=61234 --regid=61234 --clear-groups --no-new-privs --inh-caps=-all
            --bounding-set=-all env -i HOME=/var/lib/tinokvak-scores PATH=/usr/bin:/bin)
# MemoryDenyWriteExecute=: the kernel's own refusal of writable code, where it has one.
mdwe='import ctypes, os, sys
if ctypes.CDLL(None, use_errno=True).prctl(65, 1, 0, 0, 0) != 0: sys.exit(1)
os.execvp(sys.argv[1], sys.argv[1:])'
if python3 -c "$mdwe" true 2>/dev/null; then
  as_service=(python3 -c "$mdwe" "${as_service[@]}")
  echo "memory: no writable code"
fi
umask 077
# The system calls both make, from their start, for the service's filter (strace's own
# file goes to the state directory, outside the view the test looks at later).
trace=()
if command -v strace >/dev/null; then
  mkdir -m 777 /var/lib/trace
  trace=(strace -f -qq -o /var/lib/trace/calls)
fi
echo "checker: $("${as_service[@]}" "${trace[@]/%calls/calls.check}" /usr/bin/tinokvak-check --replay game.tkr \
                 --check --dir /usr/share/games/tinokvak 2>&1 | tail -n1)"
"${as_service[@]}" "${trace[@]/%calls/calls.server}" /usr/bin/tinokvak-scores \
  --config /etc/tinokvak-scores/scores.conf --port 0 >/tmp/server.out 2>&1 &
pid=$!
for _ in $(seq 600); do
  grep -q '^listening on' /tmp/server.out && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
url=$(grep -o 'http://127.0.0.1:[0-9]*' /tmp/server.out | head -n1 || true)
[ -n "$url" ] && echo "token: $(curl -fsS "$url/cgi/version.pl?version&prg=Pondlark" | cut -c1-3)"
# strace lets go of the server when stopped: stop the server itself.
kill $(pgrep -P "$pid") "$pid" 2>/dev/null || true
wait "$pid" || true
echo "server said: $(head -n3 /tmp/server.out | tr '\n' ' ')"
echo "database: $(stat -c '%u %a' /var/lib/tinokvak-scores/scores.db 2>&1)"
echo "state: $(ls -A /var/lib/tinokvak-scores | tr '\n' ' ')"
echo "cache: $(cd /var/lib/tinokvak-scores && find .cache -type f -printf '%p %m ' 2>&1)"
if [ ${#trace[@]} -gt 0 ]; then
  echo "calls: $(cat /var/lib/trace/calls.* | grep -oE '^[0-9]+ +[a-z_0-9]+\(' | awk '{ print $2 }' |
                 tr -d '(' | sort -u | tr '\n' ' ')"
fi
SANDBOX
  unshare -m bash "$tmp/sandbox.sh" "$root" "$replay" >"$tmp/sandbox.log" 2>&1 ||
    { cat "$tmp/sandbox.log"; fail "the sandbox could not be set up"; }
  grep -qxF "checker: $(cat "${replay%.tkr}.expected")" "$tmp/sandbox.log" ||
    { cat "$tmp/sandbox.log"; fail "the replay checker does not play the kept game in the sandbox"; }
  grep -qx "token: OK|" "$tmp/sandbox.log" ||
    { cat "$tmp/sandbox.log"; fail "the server does not answer in the sandbox"; }
  grep -qx "database: 61234 600" "$tmp/sandbox.log" ||
    { cat "$tmp/sandbox.log"; fail "the database is not the service user's alone"; }
  # The checker keeps the archives' hash under the service's home, for the next check.
  grep -qx "state: .cache game.tkr scores.db " "$tmp/sandbox.log" ||
    { cat "$tmp/sandbox.log"; fail "the state directory holds more than the database and the checker's cache"; }
  grep -qx "cache: .cache/tinokvak/game-data-hash 600 " "$tmp/sandbox.log" ||
    { cat "$tmp/sandbox.log"; fail "the checker's cache is not one file the service's alone"; }
  # SystemCallFilter=@system-service and ~@privileged: every call made is in the first and
  # none in the second.
  calls=$(sed -n 's/^calls: //p' "$tmp/sandbox.log")
  if [ -n "$calls" ] && command -v systemd-analyze >/dev/null; then
    expand() {  # the calls of a set, its nested sets opened
      systemd-analyze syscall-filter "$1" </dev/null | sed -n 's/^ \{1,\}\([@a-z_0-9-]\{1,\}\)$/\1/p' |
        while read -r c; do if [ "${c#@}" != "$c" ]; then expand "$c"; else echo "$c"; fi; done
    }
    allowed=$(expand @system-service | sort -u) refused=$(expand @privileged | sort -u)
    for c in $calls; do
      grep -qx "$c" <<<"$allowed" || fail "the service's filter refuses the call $c"
      ! grep -qx "$c" <<<"$refused" || fail "the call $c is privileged"
    done
    echo "system calls: $(wc -w <<<"$calls"), all within the service's filter"
  fi
  echo "sandbox: the checker plays a kept game and the server answers on the packaged configuration$(
    grep -q '^memory: no writable code' "$tmp/sandbox.log" && echo ", both without writable code")"
else
  echo "SKIP: no mount namespace here (needs root), the service's sandbox is not tried"
fi

# Remove keeps the configuration; purge takes it, the service's state and its enablement.
mkdir -p "$root/var/lib/private/tinokvak-scores"
echo data >"$root/var/lib/private/tinokvak-scores/scores.db"
ln -s private/tinokvak-scores "$root/var/lib/tinokvak-scores"
dpkg_root -r tinokvak-scores
[ -f "$conf" ] || fail "removing took the configuration"
[ ! -e "$root/usr/bin/tinokvak-scores" ] || fail "removing left the server"
dpkg_root -P tinokvak-scores tinokvak
for p in tinokvak tinokvak-scores; do
  [ -z "$(status_of $p)" ] || [ "$(status_of $p)" = "unknown ok not-installed " ] || fail "$p after purge: $(status_of $p)"
done
left=$(cd "$root" && find . -mindepth 1 ! -type d ! -path './var/lib/dpkg/*' | sort)
[ -z "$left" ] || fail "purging left: $left"
echo "install 0.9.0, upgrade to $version, reinstall, remove, purge: clean"

# --- lintian: no error, no warning (an override only with its reason) --------------------
for i in 0 1; do
  log=$tmp/lintian.$(basename "$([ $i = 0 ] && echo "$game" || echo "$server")").log
  wait "${lintians[$i]}" || { cat "$log"; fail "lintian on $(basename "$log" .log | cut -d. -f2-)"; }
done
lintians=()
echo "lintian: no error or warning on either package"
echo ok
