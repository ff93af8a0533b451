#!/usr/bin/env bash
# Public-line fan-out on one node against the same users spread over two
# nodes of a cluster (Redis + PostgreSQL started for the run in a temporary
# folder by scripts/cluster-services.sh). Each node is one process; each
# half of the bots is one navlet-load, so the two-node figures are the sums
# and the worst of both.
#
#   tools/load/cluster-bench.sh [BUILD_DIR]     (default build/default)
#
# Environment: USERS (default 200, all on one site), SECONDS_OF_CHAT (10),
# RATE (lines per user per second, 1).
set -euo pipefail

BUILD=${1:-build/default}
SERVER=$BUILD/server/navlet-server
LOAD=$BUILD/tools/load/navlet-load
USERS=${USERS:-200}
SECONDS_OF_CHAT=${SECONDS_OF_CHAT:-10}
RATE=${RATE:-1}
HERE=$(cd "$(dirname "$0")/../.." && pwd)
for tool in "$SERVER" "$LOAD"; do
  [[ -x $tool ]] || { echo "cluster-bench: $tool is missing; build it first" >&2; exit 2; }
done

WORK=$(mktemp -d -t navlet-cluster-bench.XXXXXX)
chmod 755 "$WORK" # PostgreSQL runs as its own user under root
SERVICES=$WORK/services
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  "$HERE/scripts/cluster-services.sh" stop "$SERVICES" >/dev/null 2>&1 || true
  rm -rf "$WORK"
}
trap cleanup EXIT

"$HERE/scripts/cluster-services.sh" start "$SERVICES" >/dev/null
# shellcheck disable=SC1091
source "$SERVICES/env"
DB=$NAVLET_TEST_POSTGRES
REDIS=$NAVLET_TEST_REDIS

echo "cluster-bench: $USERS bot accounts in PostgreSQL ..."
for ((i = 0; i < USERS; i++)); do
  "$SERVER" --database "$DB" account add "$(printf 'bot%05d' "$i")" loadpw --language 3 >/dev/null
done

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# start_node NAME [cluster]: sets NODE_PID and NODE_PORT (no subshell, so
# that the exit trap knows every node it has to stop).
start_node() {
  local port extra=()
  port=$(free_port)
  [[ ${2:-} == cluster ]] && extra=(--cluster "$REDIS")
  "$SERVER" --listen "127.0.0.1:$port" --web '' --admin '' --data "$WORK/$1" \
    --database "$DB" "${extra[@]}" --max-per-address 100000 \
    --max-signing-in-per-address 100000 >>"$WORK/$1.log" 2>&1 &
  local pid=$!
  PIDS+=("$pid")
  for _ in $(seq 100); do
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
      NODE_PID=$pid NODE_PORT=$port
      return
    fi
    sleep 0.1
  done
  echo "cluster-bench: node $1 did not start" >&2
  exit 1
}

load() { # PORT PID FIRST COUNT OUT
  "$LOAD" --server "127.0.0.1:$1" --server-pid "$2" --first-bot "$3" --sessions "$4" \
    --sites 1 --rate "$RATE" --duration "$SECONDS_OF_CHAT" --sources 50 >"$5" 2>&1
}

summary() { # label files...
  local label=$1; shift
  awk -v label="$label" '
    /^chat:/ { for (i = 1; i <= NF; i++) if ($(i+1) == "deliveries" && $(i+2) == "of") d += $i; sent += $2 }
    /^latency:/ { for (i = 1; i <= NF; i++) { if ($i == "p50") p50 = ($(i+1) > p50 ? $(i+1) : p50);
                                             if ($i == "p99") p99 = ($(i+1) > p99 ? $(i+1) : p99) } }
    /^server CPU in the chat:/ { cpu += $6 }
    END { printf "%s: %d lines sent, %d deliveries, server CPU %.2f s = %.2f us per delivered line, p50 %s ms, p99 %s ms (worst of the loads)\n",
                 label, sent, d, cpu, d ? cpu * 1e6 / d : 0, p50, p99 }' "$@"
}

echo "cluster-bench: one node, $USERS users on one site, $RATE line/s each, $SECONDS_OF_CHAT s"
start_node one
pid=$NODE_PID port=$NODE_PORT
load "$port" "$pid" 0 "$USERS" "$WORK/one.txt"
kill "$pid"; wait "$pid" 2>/dev/null || true
PIDS=()
summary "one node " "$WORK/one.txt"

echo "cluster-bench: two nodes on Redis, $((USERS / 2)) users each"
start_node a cluster
pid1=$NODE_PID port1=$NODE_PORT
start_node b cluster
pid2=$NODE_PID port2=$NODE_PORT
half=$((USERS / 2))
load "$port1" "$pid1" 0 "$half" "$WORK/a.txt" &
l1=$!
load "$port2" "$pid2" "$half" "$half" "$WORK/b.txt" &
l2=$!
wait "$l1" "$l2" || true
summary "two nodes" "$WORK/a.txt" "$WORK/b.txt"
echo "-- per load:"
grep -h -E '^(chat|latency|server CPU)' "$WORK/one.txt" "$WORK/a.txt" "$WORK/b.txt"
