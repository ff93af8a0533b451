#!/usr/bin/env bash
# Starts or stops the services a navlet cluster runs on, for tests: one
# redis-server and one PostgreSQL server on free loopback ports, with all
# their files in DIR. `start` writes DIR/env with the addresses to use:
#   NAVLET_TEST_REDIS=redis://127.0.0.1:PORT
#   NAVLET_TEST_POSTGRES=postgresql://navlet@127.0.0.1:PORT/navlet
# PostgreSQL's server refuses to run as root, so as root it runs as the
# `postgres` user. `redis-stop`/`redis-start` and `pg-stop`/`pg-start` stop
# and restart one of them on the same port (the failure tests use them);
# `pg-freeze`/`pg-thaw` stop and continue PostgreSQL's processes (SIGSTOP,
# SIGCONT), a database that holds its connections but answers nothing;
# `redis-freeze`/`redis-thaw` do the same to redis-server.
#
#   scripts/cluster-services.sh start|stop|redis-stop|redis-start|redis-freeze|redis-thaw|pg-stop|pg-start|pg-freeze|pg-thaw DIR
set -euo pipefail

action=${1:?usage: $0 start|stop|redis-stop|redis-start|pg-stop|pg-start DIR}
dir=${2:?usage: $0 ACTION DIR}

pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n 1)

as_pg() {
  if [ "$(id -u)" -eq 0 ]; then
    runuser -u postgres -- "$@"
  else
    "$@"
  fi
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

redis_start() {
  local port=$1
  redis-server --bind 127.0.0.1 --port "$port" --dir "$dir/redis" --save '' --appendonly no \
    --daemonize yes --pidfile "$dir/redis/redis.pid" --logfile "$dir/redis/redis.log"
  for _ in $(seq 50); do
    redis-cli -p "$port" ping >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "redis-server did not start; see $dir/redis/redis.log" >&2
  return 1
}

redis_signal() {
  local pidfile="$dir/redis/redis.pid"
  [ -f "$pidfile" ] || return 0
  kill "-$1" "$(cat "$pidfile")" 2>/dev/null || true
}

redis_stop() {
  local pidfile="$dir/redis/redis.pid"
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(cat "$pidfile")
  kill -CONT "$pid" 2>/dev/null || true # a frozen one cannot stop
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$pidfile"
}

pg_start() {
  local port=$1
  as_pg "$pg_bin/pg_ctl" -D "$dir/pg/data" -l "$dir/pg/server.log" -w -t 30 \
    -o "-p $port -k $dir/pg -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off" \
    start >/dev/null
}

pg_stop() {
  [ -f "$dir/pg/data/postmaster.pid" ] || return 0
  as_pg "$pg_bin/pg_ctl" -D "$dir/pg/data" -m fast -w -t 30 stop >/dev/null || true
}

# The postmaster and its children, by the pid in postmaster.pid.
pg_signal() {
  local pidfile="$dir/pg/data/postmaster.pid"
  [ -f "$pidfile" ] || return 0
  local pid
  pid=$(head -n 1 "$pidfile")
  kill "-$1" "$pid" 2>/dev/null || true
  for child in $(ps -o pid= --ppid "$pid"); do
    kill "-$1" "$child" 2>/dev/null || true
  done
}

port_of() { sed -n "s/^$1=.*:\([0-9]*\)\(\/.*\)\{0,1\}$/\1/p" "$dir/env"; }

case "$action" in
start)
  [ -n "$pg_bin" ] || { echo "PostgreSQL is not installed (scripts/install-deps.sh)" >&2; exit 1; }
  command -v redis-server >/dev/null || { echo "redis-server is not installed" >&2; exit 1; }
  [ -f "$dir/env" ] && "$0" stop "$dir"
  rm -rf "$dir"
  mkdir -p "$dir/redis" "$dir/pg"
  chmod 755 "$dir"
  [ "$(id -u)" -eq 0 ] && chown postgres: "$dir/pg"
  redis_port=$(free_port)
  pg_port=$(free_port)
  redis_start "$redis_port"
  as_pg "$pg_bin/initdb" -D "$dir/pg/data" -U navlet -A trust -E UTF8 --no-sync >/dev/null
  pg_start "$pg_port"
  as_pg "$pg_bin/createdb" -h 127.0.0.1 -p "$pg_port" -U navlet navlet
  {
    echo "NAVLET_TEST_REDIS=redis://127.0.0.1:$redis_port"
    echo "NAVLET_TEST_POSTGRES=postgresql://navlet@127.0.0.1:$pg_port/navlet"
  } >"$dir/env"
  cat "$dir/env"
  ;;
stop)
  redis_stop
  pg_signal CONT
  pg_stop
  rm -rf "$dir"
  ;;
redis-stop) redis_stop ;;
redis-start) redis_start "$(port_of NAVLET_TEST_REDIS)" ;;
redis-freeze) redis_signal STOP ;;
redis-thaw) redis_signal CONT ;;
pg-stop) pg_stop ;;
pg-start) pg_start "$(port_of NAVLET_TEST_POSTGRES)" ;;
pg-freeze) pg_signal STOP ;;
pg-thaw) pg_signal CONT ;;
*)
  echo "unknown action $action" >&2
  exit 2
  ;;
esac
