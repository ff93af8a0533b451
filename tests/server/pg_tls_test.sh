#!/usr/bin/env bash
# A node against a PostgreSQL that requires a password and TLS, on loopback:
# a test CA made here signs the server's certificate for 127.0.0.1; the node
# verifies it (sslmode=verify-full) and takes the password from a file. The
# database refuses plain connections and connections without the password.
#
#   tests/server/pg_tls_test.sh NAVLET_SERVER_BINARY
# Exit 77 (skipped) when PostgreSQL or openssl is not installed.
set -euo pipefail
server=$(realpath "$1")
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)
[ -n "$pg_bin" ] && command -v openssl >/dev/null || { echo "PostgreSQL or openssl missing"; exit 77; }

dir=$(mktemp -d /tmp/navlet-pg-tls.XXXXXX)
chmod 755 "$dir"
as_pg() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
node=""
cleanup() {
  [ -n "$node" ] && kill "$node" 2>/dev/null && wait "$node" 2>/dev/null || true
  [ -f "$dir/pg/data/postmaster.pid" ] && as_pg "$pg_bin/pg_ctl" -D "$dir/pg/data" -m immediate -w stop >/dev/null 2>&1 || true
  rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; [ -f "$dir/node.log" ] && cat "$dir/node.log" >&2; exit 1; }

mkdir -p "$dir/pg" "$dir/data"
cd "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=navlet-test-ca \
  -keyout ca.key -out ca.crt 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout pg/server.key \
  -out server.csr 2>/dev/null
printf 'subjectAltName=IP:127.0.0.1\n' >san.ext
openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 1 \
  -extfile san.ext -out pg/server.crt 2>/dev/null
password="pg-$(openssl rand -hex 8)"
printf '%s\n' "$password" >pg/pw
chmod 600 pg/server.key
[ "$(id -u)" -eq 0 ] && chown -R postgres: pg

as_pg "$pg_bin/initdb" -D pg/data -U navlet --pwfile=pg/pw -A scram-sha-256 -E UTF8 --no-sync >/dev/null
# TLS with a password, or nothing.
printf 'hostssl all all 127.0.0.1/32 scram-sha-256\n' >pg/hba
[ "$(id -u)" -eq 0 ] && chown postgres: pg/hba
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
as_pg "$pg_bin/pg_ctl" -D pg/data -l pg/server.log -w -t 30 -o "-p $port -k $dir/pg \
  -c listen_addresses=127.0.0.1 -c fsync=off -c ssl=on -c ssl_cert_file=$dir/pg/server.crt \
  -c ssl_key_file=$dir/pg/server.key -c hba_file=$dir/pg/hba" start >/dev/null
PGPASSWORD=$password PGSSLMODE=require "$pg_bin/createdb" -h 127.0.0.1 -p "$port" -U navlet navlet

# The node's password file, readable by its owner only.
printf '%s\n' "$password" >db-password
chmod 600 db-password
db="postgresql://navlet@127.0.0.1:$port/navlet?sslmode=verify-full&sslrootcert=$dir/ca.crt"

# Without TLS, or without the password, the node cannot open the store.
"$server" --config '' --database "postgresql://navlet@127.0.0.1:$port/navlet?sslmode=disable" \
  --database-password-file db-password account add nope Nope-pw1 >/dev/null 2>&1 &&
  fail "a plain connection was let in"
"$server" --config '' --database "$db" account add nope Nope-pw1 >/dev/null 2>&1 &&
  fail "a connection without the password was let in"

"$server" --config '' --database "$db" --database-password-file db-password \
  account add alice Alice-pw1 >/dev/null || fail "account add over TLS"

"$server" --config '' --listen 127.0.0.1:0 --web '' --admin 127.0.0.1:0 --data "$dir/data" \
  --database "$db" --database-password-file db-password 2>node.log &
node=$!
admin=""
for _ in $(seq 100); do
  admin=$(sed -n 's/.*msg=started .* admin=127\.0\.0\.1:\([0-9]*\).*/\1/p' node.log)
  [ -n "$admin" ] && break
  kill -0 "$node" 2>/dev/null || fail "the node did not start"
  sleep 0.1
done
[ -n "$admin" ] || fail "no start line"
ready=""
for _ in $(seq 50); do
  ready=$(curl -s -o /dev/null -w '%{http_code}' "http://127.0.0.1:$admin/readyz" || true)
  [ "$ready" = 200 ] && break
  sleep 0.1
done
[ "$ready" = 200 ] || fail "/readyz answered $ready"
# Every connection of the node to the database is encrypted.
plain=$(PGPASSWORD=$password PGSSLMODE=require "$pg_bin/psql" -h 127.0.0.1 -p "$port" -U navlet \
  -d navlet -Atc "SELECT count(*) FROM pg_stat_ssl s JOIN pg_stat_activity a USING (pid)
                  WHERE a.usename = 'navlet' AND a.pid <> pg_backend_pid() AND NOT s.ssl")
[ "$plain" = 0 ] || fail "$plain plain connections"
grep -q "$password" node.log && fail "the password is in the log"
kill -TERM "$node"
wait "$node" || fail "the node did not exit 0 on SIGTERM"
node=""
echo "ok: a node on PostgreSQL with a password and verified TLS"
