#!/usr/bin/env bash
# The Debian package as an operator gets it: built by CPack from this build
# tree, checked by lintian (no errors) and its unit by systemd-analyze verify
# (no complaint at all), unpacked into a throwaway root, and the unpacked
# navlet-server started with the package's own sample configuration (only
# the ports and the data folder given as flags, which override the file) and
# a password file: it refuses the file while others may read it, then answers
# /readyz, takes a sign-in, reloads on SIGHUP and exits 0 on SIGTERM.
#
#   package_test.sh BUILD_DIR NAVLET_CHATBOT
# Exit 0 passed, 1 failed, 77 skipped (no dpkg-deb or cpack).
set -euo pipefail
build=$(cd "$1" && pwd)
chatbot_bin=$(realpath "$2")
command -v cpack >/dev/null && command -v dpkg-deb >/dev/null || { echo "no cpack or dpkg: skipped"; exit 77; }

tmp=$(mktemp -d /tmp/navlet-package.XXXXXX)
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill -KILL "$server_pid" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$tmp"/*.log; do [ -f "$f" ] && { echo "--- $f"; tail -n 30 "$f"; }; done; exit 1; }

# Waits (at most 10 s) for a log line holding all of the given words.
wait_line() {
  for _ in $(seq 200); do
    line=$(grep -F -- "$1" "$tmp/server.log" | grep -F -- "${2:-}" | head -n 1 || true)
    [ -n "$line" ] && { echo "$line"; return 0; }
    sleep 0.05
  done
  return 1
}
# The port of KEY=ADDR:PORT in a log line.
port_of() { sed -E "s/.* $1=[^ ]*:([0-9]+).*/\1/" <<<"$2"; }

(cd "$tmp" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$tmp/out" >"$tmp/cpack.log" 2>&1) ||
  fail "cpack"
deb=$(ls "$tmp"/out/navlet-server_*.deb)
dpkg-deb -f "$deb" Package | grep -qx navlet-server || fail "package name"
contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/navlet-server ./usr/bin/navlet-admin ./etc/navlet/navlet-server.conf \
            ./lib/systemd/system/navlet-server.service ./usr/share/navlet/banners/1.html \
            ./usr/share/doc/navlet-server/copyright ./usr/share/man/man1/navlet-server.1.gz; do
  grep -qx -- "$path" <<<"$contents" || fail "the package lacks $path"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles | grep -qx /etc/navlet/navlet-server.conf ||
  fail "the configuration file is not a conffile"

if command -v lintian >/dev/null; then
  lintian --fail-on error --allow-root "$deb" >"$tmp/lintian.log" 2>&1 || fail "lintian"
  grep -q '^E:' "$tmp/lintian.log" && fail "lintian errors"
else
  echo "no lintian: not checked"
fi

root=$tmp/root
dpkg -x "$deb" "$root"
unit=$root/lib/systemd/system/navlet-server.service
for directive in DynamicUser=yes StateDirectory=navlet ConfigurationDirectory=navlet \
                 AmbientCapabilities=CAP_NET_BIND_SERVICE NoNewPrivileges=yes ProtectSystem=strict \
                 ProtectHome=yes PrivateTmp=yes Restart=on-failure; do
  grep -qx "$directive" "$unit" || fail "the unit lacks $directive"
done
grep -q '^ExecReload=.*kill -HUP \$MAINPID' "$unit" || fail "the unit reloads otherwise"
if command -v systemd-analyze >/dev/null; then
  # The unit as shipped, but starting the unpacked binary (verify checks
  # that it exists); any line it prints is a fault, as unknown keys are
  # only warned about.
  mkdir "$tmp/unit"
  sed "s|^ExecStart=/usr/bin/navlet-server|ExecStart=$root/usr/bin/navlet-server|" "$unit" \
    >"$tmp/unit/navlet-server.service"
  systemd-analyze verify "$tmp/unit/navlet-server.service" >"$tmp/verify.log" 2>&1 ||
    fail "systemd-analyze verify"
  [ -s "$tmp/verify.log" ] && fail "systemd-analyze verify complains"
else
  echo "no systemd-analyze: unit not verified"
fi

server=$root/usr/bin/navlet-server
config=$root/etc/navlet/navlet-server.conf
"$server" --version | grep -q "^navlet-server " || fail "--version"
"$root/usr/bin/navlet-admin" --version | grep -q "^navlet-admin " || fail "navlet-admin --version"
flags=(--config "$config" --data "$tmp/data" --banners "$root/usr/share/navlet/banners"
       --listen 127.0.0.1:0 --web 127.0.0.1:0 --admin 127.0.0.1:0)
"$server" "${flags[@]}" account add alice Alice-Secret1 >"$tmp/account.log" 2>&1 || fail "account add"

printf 'not-for-anyone\n' >"$tmp/database.password"
chmod 644 "$tmp/database.password"
set +e
"$server" "${flags[@]}" --database-password-file "$tmp/database.password" >"$tmp/refused.log" 2>&1
code=$?
set -e
[ "$code" = 2 ] || fail "a password file others may read was taken (exit $code)"
grep -q "chmod 600" "$tmp/refused.log" || fail "the refusal does not say what to do"
chmod 600 "$tmp/database.password"

"$server" "${flags[@]}" --database-password-file "$tmp/database.password" \
  >"$tmp/stdout.log" 2>"$tmp/server.log" &
server_pid=$!
started=$(wait_line "msg=started") || fail "no start"
admin_port=$(port_of admin "$started")
sessions_port=$(port_of sessions "$started")
[ "$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$admin_port/readyz")" = 200 ] ||
  fail "/readyz"

"$chatbot_bin" --server "127.0.0.1:$sessions_port" --nick alice --password Alice-Secret1 \
  --site www.example.com --step-timeout 10 --say hello >"$tmp/chatbot.log" 2>&1 || fail "sign-in"
wait_line "sign-in accepted" "nick=alice" >/dev/null || fail "no sign-in in the log"
# The sample file's log level, then the one a reload brings.
grep -q "level=debug" "$tmp/server.log" && fail "debug lines at the sample's level info"
kill -HUP "$server_pid"
wait_line "configuration reloaded" >/dev/null || fail "no reload"
grep -q "not-for-anyone\|Alice-Secret1" "$tmp/server.log" && fail "a password in the log"

kill -TERM "$server_pid"
for _ in $(seq 200); do kill -0 "$server_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$server_pid" 2>/dev/null && fail "still running 10 s after SIGTERM"
set +e
wait "$server_pid"
code=$?
set -e
server_pid=
[ "$code" = 0 ] || fail "exit $code after SIGTERM"
echo "package test passed: $(basename "$deb")"
