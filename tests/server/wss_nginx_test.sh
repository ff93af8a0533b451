#!/usr/bin/env bash
# Both TLS recipes of docs/nginx as they are, in front of one navlet-server,
# with a CA made now: a Linux bar (navlet-qt-peer: the Qt kit and widgets)
# over TLS to the bar port through the stream recipe, and a bot on the
# extension's wire (WebSocket) over wss:// through the /session recipe, chat
# with each other. The server allows one connection per address, so the wss
# session is only admitted if the server counts it as its client's address
# (127.0.0.3, from X-Forwarded-For through the trusted proxy) and not as the
# proxy's 127.0.0.1, which the Linux bar holds (its PROXY header names it).
# A Linux bar that trusts an unrelated CA must not connect, and must say why.
#
# All of it runs while one address (127.0.0.1) holds a few hundred
# connections in slow TLS handshakes and slow request heads, and slow page
# bodies past its bound (tests/server/slow_heads.py): the page, fetched
# again and again from 127.0.0.2, and the wss session must never fail, the
# slow heads must be cut, and the bodies past the bound refused.
#
#   wss_nginx_test.sh NAVLET_SERVER NAVLET_CHATBOT NAVLET_QT_PEER
# Exit 0 passed, 1 failed, 77 skipped (no nginx, its stream module or openssl).
set -euo pipefail
server_bin=$1
chatbot_bin=$2
qt_peer_bin=$3
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
# shellcheck source=scripts/lib/nginx-front.sh
source "$repo/scripts/lib/nginx-front.sh"
[ -x "$nginx_bin" ] && command -v openssl >/dev/null && nginx_stream_module >/dev/null ||
  { echo "no nginx, its stream module or openssl: skipped"; exit 77; }

tmp=$(mktemp -d /tmp/navlet-wss.XXXXXX)
chmod 755 "$tmp"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; for f in "$tmp"/*.log; do echo "--- $f"; tail -n 20 "$f"; done; exit 1; }

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
listen_port=$(free_port); web_port=$(free_port); admin_port=$(free_port)
tls_port=$(free_port); stream_port=$(free_port)

mkdir -p "$tmp/certs"
nginx_front_cert "$tmp/certs" || fail "openssl"
ca=$tmp/certs/ca.crt

"$server_bin" --data "$tmp/data" account add wsbot wspw >/dev/null
"$server_bin" --data "$tmp/data" account add qtbot qtpw >/dev/null
"$server_bin" --listen 127.0.0.1:$listen_port --web 127.0.0.1:$web_port \
  --admin 127.0.0.1:$admin_port --data "$tmp/data" --trusted-proxy 127.0.0.1 \
  --max-per-address 1 >"$tmp/server.log" 2>&1 &
pids+=($!)
nginx_front_conf "$tmp" "$tmp/certs" "$tls_port" "$web_port" "$stream_port" "$listen_port" ||
  fail "a recipe in docs/nginx changed shape"
"$nginx_bin" -p "$tmp/nginx" -c "$tmp/nginx.conf" -e "$tmp/nginx-error.log" >"$tmp/nginx.log" 2>&1 &
pids+=($!)

# A visitor's page over https, once both are up (ten seconds at most).
for _ in $(seq 50); do
  curl -sf --cacert "$ca" "https://localhost:$tls_port/" -o "$tmp/home.html" && break
  sleep 0.2
done
grep -qi "navlet" "$tmp/home.html" 2>/dev/null || fail "no home page over https"

# The Linux bar over TLS through the stream recipe; in the window's site.
qt_bar() {
  NAVLET_SERVER=tls://localhost:$stream_port NAVLET_TLS_CA=$1 NAVLET_WEB=127.0.0.1:$web_port \
    timeout 80 "$qt_peer_bin" qtbot qtpw wsbot "hello over tls" "hello back"
}
# Trusting only an unrelated CA, it refuses the certificate and says why.
if qt_bar "$tmp/certs/other-ca.crt" >"$tmp/qtbot-other-ca.log" 2>&1; then
  fail "the Linux bar signed in through a certificate it cannot trust"
fi
grep -q 'status "Could not secure the connection: the issuer certificate' "$tmp/qtbot-other-ca.log" ||
  fail "no status line naming the certificate's fault: $(cat "$tmp/qtbot-other-ca.log")"
# Signed in before the attack starts; it waits for the wss bot to chat.
qt_bar "$ca" >"$tmp/qtbot.log" 2>&1 &
qtbot=$!
pids+=("$qtbot")
for _ in $(seq 600); do
  grep -q "^waited signed in" "$tmp/qtbot.log" && break
  kill -0 "$qtbot" 2>/dev/null || break
  sleep 0.1
done
grep -q "^waited signed in ok" "$tmp/qtbot.log" || fail "the Linux bar did not sign in over TLS"

# The attack, bounded: 300 slow connections and 14 slow bodies for 35 s
# (long enough for a second try of the wss session, below).
python3 "$here/slow_heads.py" "$ca" 127.0.0.1 "$tls_port" 127.0.0.1 300 35 14 \
  >"$tmp/attack.log" 2>&1 &
attacker=$!
pids+=("$attacker")
sleep 3 # its connections are open by now
# Another address's visitor, throughout the attack.
(
  pages=0
  while kill -0 "$attacker" 2>/dev/null; do
    curl -sf --max-time 5 --interface 127.0.0.2 --cacert "$ca" \
      "https://localhost:$tls_port/" -o "$tmp/page.html" || { echo "page $pages failed"; exit 1; }
    grep -qi "navlet" "$tmp/page.html" || { echo "page $pages is not the home page"; exit 1; }
    pages=$((pages + 1))
    sleep 0.5
  done
  echo "$pages pages"
) >"$tmp/visitor.log" 2>&1 &
visitor=$!
pids+=("$visitor")

python3 "$here/tls_relay.py" "$ca" 127.0.0.1 "$tls_port" 127.0.0.3 >"$tmp/relay.port" 2>"$tmp/relay.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/relay.port" ] && break; sleep 0.1; done
relay_port=$(head -n 1 "$tmp/relay.port")
[ -n "$relay_port" ] || fail "the TLS relay did not start"

wss_session() {
  "$chatbot_bin" --server 127.0.0.1:$relay_port --ws /session --nick wsbot --password wspw \
    --site www.example.com --step-timeout 10 --wait-user qtbot \
    --expect-public qtbot "hello over tls" --say "hello back" >"$tmp/wsbot.log" 2>&1
}
# A connection that never came up is tried once more, as a browser would;
# the first try's account stays in the output (rarely, on a loaded machine,
# the upgrade has had no answer in 10 s; relay.log says whether TLS was up).
if ! wss_session; then
  grep -qE "^(connect|WebSocket upgrade) .* failed" "$tmp/wsbot.log" || fail "the wss bot"
  sed 's/^/first try: /' "$tmp/wsbot.log" >"$tmp/wsbot-first.log"
  wss_session || fail "the wss bot, tried twice"
fi
wait $qtbot || fail "the Linux bar over TLS"
kill -0 "$attacker" 2>/dev/null || fail "the attack ended before the session did"
wait $visitor || fail "the visitor from 127.0.0.2: $(cat "$tmp/visitor.log")"
wait $attacker || fail "slow heads not cut or bodies not bounded: $(cat "$tmp/attack.log")"
cat "$tmp"/wsbot-first.log "$tmp/wsbot.log" "$tmp/qtbot.log" "$tmp/visitor.log" "$tmp/attack.log" 2>/dev/null || true
echo "PASS: a Linux bar over TLS and a session over wss:// chat, and pages are served, through nginx while one address attacks it"
