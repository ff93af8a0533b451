#!/usr/bin/env bash
# navlet-load's TLS client through Debian's nginx with the shipped recipes
# (docs/nginx) made for loopback and a CA made now: bots over TLS to the bar
# port (the stream recipe) and over wss:// to /session sign in and chat, with
# nginx's memory and CPU reported; bots that get an unrelated CA, or a name
# the certificate does not hold, fail their handshakes, are counted as such,
# and navlet-load ends with its report, not a crash.
#
#   load_tls_test.sh NAVLET_SERVER NAVLET_LOAD
# Exit 0 passed, 1 failed, 77 skipped (no nginx or openssl). Without nginx's
# stream module the TCP half is left out (said on one line).
set -euo pipefail
server_bin=$1
load_bin=$2
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/lib/nginx-front.sh
source "$repo/scripts/lib/nginx-front.sh"
[ -x "$nginx_bin" ] && command -v openssl >/dev/null || { echo "no nginx or openssl: skipped"; exit 77; }

tmp=$(mktemp -d /tmp/navlet-load-tls.XXXXXX)
chmod 755 "$tmp"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$tmp"/*.log "$tmp"/*.txt; do [ -f "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done; exit 1; }
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
value() { sed -n "s/^RESULT.* $2=\([0-9.]*\).*/\1/p" "$tmp/$1.txt"; }

listen_port=$(free_port); web_port=$(free_port); admin_port=$(free_port)
tls_port=$(free_port); stream_port=""
if nginx_stream_module >/dev/null; then
  stream_port=$(free_port)
else
  echo "no nginx stream module (libnginx-mod-stream): TCP over TLS left out"
fi

mkdir -p "$tmp/certs"
nginx_front_cert "$tmp/certs" || fail "openssl"
for i in 0 1 2 3; do
  "$server_bin" --data "$tmp/data" account add "tls0000$i" loadpw >/dev/null
done
"$server_bin" --listen 127.0.0.1:$listen_port --web 127.0.0.1:$web_port \
  --admin 127.0.0.1:$admin_port --data "$tmp/data" --trusted-proxy 127.0.0.1 \
  --max-per-address 1000 --max-signing-in-per-address 1000 >"$tmp/server.log" 2>&1 &
pids+=($!)
nginx_front_conf "$tmp" "$tmp/certs" "$tls_port" "$web_port" "$stream_port" "$listen_port" ||
  fail "a recipe in docs/nginx changed shape"
"$nginx_bin" -p "$tmp/nginx" -c "$tmp/nginx.conf" -e "$tmp/nginx-error.log" >"$tmp/nginx.log" 2>&1 &
nginx_pid=$!
pids+=("$nginx_pid")
for _ in $(seq 50); do
  port_open "$listen_port" && port_open "$tls_port" && { [ -z "$stream_port" ] || port_open "$stream_port"; } && break
  kill -0 "$nginx_pid" 2>/dev/null || fail "nginx did not start"
  sleep 0.2
done

# load NAME ARGS...: a short chat of the four bots; its exit status in NAME.rc.
load() {
  local name=$1; shift
  local rc=0
  "$load_bin" --prefix tls --sessions 4 --rate 2 --duration 1 --signin-timeout 20 \
    --proxy-pid "$nginx_pid" "$@" >"$tmp/$name.txt" 2>&1 || rc=$?
  echo "$rc" >"$tmp/$name.rc"
  ((rc < 128)) || fail "$name: navlet-load died of signal $((rc - 128))"
}
# Every bot signs in, every line reaches the other three, and nginx's share is measured.
expect_chat() {
  local name=$1
  [ "$(cat "$tmp/$name.rc")" = 0 ] || fail "$name: not every bot signed in"
  [ "$(value "$name" signed_in)" = 4 ] || fail "$name: signed in $(value "$name" signed_in)"
  [ "$(value "$name" tls_failed)" = 0 ] || fail "$name: handshakes failed"
  local delivered expected
  delivered=$(value "$name" delivered); expected=$(value "$name" expected)
  [ "${expected:-0}" -gt 0 ] && [ "$delivered" = "$expected" ] ||
    fail "$name: $delivered of $expected lines delivered"
  grep -q "^proxy CPU in the chat" "$tmp/$name.txt" || fail "$name: no proxy CPU"
  grep -q "^RESULT.* proxy_rss_per_session_b=" "$tmp/$name.txt" || fail "$name: no proxy memory"
}
# Every handshake fails and is counted; nobody signs in.
expect_refused() {
  local name=$1 reason=$2
  [ "$(cat "$tmp/$name.rc")" = 1 ] || fail "$name: exit $(cat "$tmp/$name.rc"), not 1"
  [ "$(value "$name" signed_in)" = 0 ] || fail "$name: signed in over an unverified TLS"
  [ "$(value "$name" tls_failed)" = 4 ] || fail "$name: $(value "$name" tls_failed) failures counted, not 4"
  grep -q "^tls: 4 handshakes failed; the first: .*$reason" "$tmp/$name.txt" ||
    fail "$name: the failure's reason is not reported"
}

load wss --server "127.0.0.1:$tls_port" --ws /session --tls --ca "$tmp/certs/ca.crt" --tls-name localhost
expect_chat wss
load wss-other-ca --server "127.0.0.1:$tls_port" --ws /session --tls --ca "$tmp/certs/other-ca.crt" \
  --tls-name localhost
expect_refused wss-other-ca "local issuer"
if [ -n "$stream_port" ]; then
  # The certificate names 127.0.0.1: --server's address is checked by default.
  load tls --server "127.0.0.1:$stream_port" --tls --ca "$tmp/certs/ca.crt"
  expect_chat tls
  # The bots' own addresses (127.0.0.2 on), from the recipe's PROXY header;
  # without it every one would count as nginx's 127.0.0.1.
  grep -q 'sign-in accepted.* address=127\.0\.0\.2 transport=tcp' "$tmp/server.log" ||
    fail "tls: the bots' sessions do not count as their own addresses"
  load tls-other-ca --server "127.0.0.1:$stream_port" --tls --ca "$tmp/certs/other-ca.crt"
  expect_refused tls-other-ca "local issuer"
  load tls-other-name --server "127.0.0.1:$stream_port" --tls --ca "$tmp/certs/ca.crt" \
    --tls-name other.example
  expect_refused tls-other-name "mismatch"
fi
load no-ca --server "127.0.0.1:$tls_port" --ws /session --tls --ca "$tmp/certs/none.crt"
[ "$(cat "$tmp/no-ca.rc")" = 1 ] && grep -q "cannot load the CA file" "$tmp/no-ca.txt" ||
  fail "a CA file that is not there is not reported"
kill -0 "$nginx_pid" 2>/dev/null || fail "nginx is gone"
cat "$tmp"/*.txt
echo "PASS: navlet-load over TLS through nginx; wrong CA and name refused and counted"
