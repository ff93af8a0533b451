#!/usr/bin/env bash
# A session through Debian's nginx as the TLS terminator, configured with
# docs/nginx/navlet-tls.conf as it is: a certificate made now, navlet-server
# behind nginx on loopback, a page over https, and a bot over wss:// chatting
# with a bot on the TCP port. The server allows one connection per address, so
# the wss session is only admitted if the server counts it as its client's
# address (127.0.0.3, from X-Forwarded-For through the trusted proxy) and not
# as the proxy's 127.0.0.1, which the TCP bot holds.
#
# All of it runs while one address (127.0.0.1) holds a few hundred
# connections in slow TLS handshakes and slow request heads, and slow page
# bodies past its bound (tests/server/slow_heads.py): the page, fetched
# again and again from 127.0.0.2, and the wss session must never fail, the
# slow heads must be cut, and the bodies past the bound refused.
#
#   wss_nginx_test.sh NAVLET_SERVER NAVLET_CHATBOT
# Exit 0 passed, 1 failed, 77 skipped (no nginx or openssl).
set -euo pipefail
server_bin=$1
chatbot_bin=$2
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
nginx_bin=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$nginx_bin" ] && command -v openssl >/dev/null || { echo "no nginx or openssl: skipped"; exit 77; }

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
listen_port=$(free_port); web_port=$(free_port); admin_port=$(free_port); tls_port=$(free_port)

openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
  -keyout "$tmp/key.pem" -out "$tmp/cert.pem" 2>"$tmp/openssl.log" || fail "openssl"

"$server_bin" --data "$tmp/data" account add wsbot wspw >/dev/null
"$server_bin" --data "$tmp/data" account add tcpbot tcppw >/dev/null
"$server_bin" --listen 127.0.0.1:$listen_port --web 127.0.0.1:$web_port \
  --admin 127.0.0.1:$admin_port --data "$tmp/data" --trusted-proxy 127.0.0.1 \
  --max-per-address 1 >"$tmp/server.log" 2>&1 &
pids+=($!)

# The documented server block and workers, with this test's ports, name and
# certificate.
sed -e "s|listen 443 ssl;|listen 127.0.0.1:$tls_port ssl;|" \
    -e "s|server 127.0.0.1:8080;|server 127.0.0.1:$web_port;|" \
    -e "s|server_name navlet.example.org;|server_name localhost;|" \
    -e "s|/etc/letsencrypt/live/navlet.example.org/fullchain.pem|$tmp/cert.pem|" \
    -e "s|/etc/letsencrypt/live/navlet.example.org/privkey.pem|$tmp/key.pem|" \
    "$repo/docs/nginx/navlet-tls.conf" >"$tmp/navlet.conf"
grep -q "listen 127.0.0.1:$tls_port ssl;" "$tmp/navlet.conf" || fail "the server block changed shape"
grep -q "worker_connections" "$repo/docs/nginx/navlet-workers.conf" || fail "no worker settings"
mkdir -p "$tmp/nginx"
cat >"$tmp/nginx.conf" <<CONF
daemon off;
pid $tmp/nginx/nginx.pid;
error_log $tmp/nginx-error.log;
include $repo/docs/nginx/navlet-workers.conf;
http {
    access_log $tmp/nginx-access.log;
    client_body_temp_path $tmp/nginx/body;
    proxy_temp_path $tmp/nginx/proxy;
    fastcgi_temp_path $tmp/nginx/fastcgi;
    uwsgi_temp_path $tmp/nginx/uwsgi;
    scgi_temp_path $tmp/nginx/scgi;
    include $tmp/navlet.conf;
}
CONF
"$nginx_bin" -p "$tmp/nginx" -c "$tmp/nginx.conf" -e "$tmp/nginx-error.log" >"$tmp/nginx.log" 2>&1 &
pids+=($!)

# A visitor's page over https, once both are up (ten seconds at most).
for _ in $(seq 50); do
  curl -sf --cacert "$tmp/cert.pem" "https://localhost:$tls_port/" -o "$tmp/home.html" && break
  sleep 0.2
done
grep -qi "navlet" "$tmp/home.html" 2>/dev/null || fail "no home page over https"

# The attack, bounded: 300 slow connections and 14 slow bodies for 35 s
# (long enough for a second try of the wss session, below).
python3 "$here/slow_heads.py" "$tmp/cert.pem" 127.0.0.1 "$tls_port" 127.0.0.1 300 35 14 \
  >"$tmp/attack.log" 2>&1 &
attacker=$!
pids+=("$attacker")
sleep 3 # its connections are open by now
# Another address's visitor, throughout the attack.
(
  pages=0
  while kill -0 "$attacker" 2>/dev/null; do
    curl -sf --max-time 5 --interface 127.0.0.2 --cacert "$tmp/cert.pem" \
      "https://localhost:$tls_port/" -o "$tmp/page.html" || { echo "page $pages failed"; exit 1; }
    grep -qi "navlet" "$tmp/page.html" || { echo "page $pages is not the home page"; exit 1; }
    pages=$((pages + 1))
    sleep 0.5
  done
  echo "$pages pages"
) >"$tmp/visitor.log" 2>&1 &
visitor=$!
pids+=("$visitor")

python3 "$here/tls_relay.py" "$tmp/cert.pem" 127.0.0.1 "$tls_port" 127.0.0.3 >"$tmp/relay.port" 2>"$tmp/relay.log" &
pids+=($!)
for _ in $(seq 50); do [ -s "$tmp/relay.port" ] && break; sleep 0.1; done
relay_port=$(head -n 1 "$tmp/relay.port")
[ -n "$relay_port" ] || fail "the TLS relay did not start"

"$chatbot_bin" --server 127.0.0.1:$listen_port --nick tcpbot --password tcppw \
  --site example.com --step-timeout 25 --wait-user wsbot \
  --expect-public wsbot "hello through nginx" --say "hello back" >"$tmp/tcpbot.log" 2>&1 &
tcpbot=$!
wss_session() {
  "$chatbot_bin" --server 127.0.0.1:$relay_port --ws /session --nick wsbot --password wspw \
    --site example.com --step-timeout 10 --wait-user tcpbot --say "hello through nginx" \
    --expect-public tcpbot "hello back" >"$tmp/wsbot.log" 2>&1
}
# A connection that never came up is tried once more, as a browser would;
# the first try's account stays in the output (rarely, on a loaded machine,
# the upgrade has had no answer in 10 s; relay.log says whether TLS was up).
if ! wss_session; then
  grep -qE "^(connect|WebSocket upgrade) .* failed" "$tmp/wsbot.log" || fail "the wss bot"
  sed 's/^/first try: /' "$tmp/wsbot.log" >"$tmp/wsbot-first.log"
  wss_session || fail "the wss bot, tried twice"
fi
wait $tcpbot || fail "the TCP bot"
kill -0 "$attacker" 2>/dev/null || fail "the attack ended before the session did"
wait $visitor || fail "the visitor from 127.0.0.2: $(cat "$tmp/visitor.log")"
wait $attacker || fail "slow heads not cut or bodies not bounded: $(cat "$tmp/attack.log")"
cat "$tmp"/wsbot-first.log "$tmp/wsbot.log" "$tmp/visitor.log" "$tmp/attack.log" 2>/dev/null || true
echo "PASS: a session over wss:// and pages through nginx while one address attacks it"
