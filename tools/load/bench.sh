#!/usr/bin/env bash
# Benchmarks navlet-server with navlet-load on this machine: the server pinned
# to core 0, the bots to core 1, a temporary data folder and free loopback ports.
#
#   tools/load/bench.sh [BUILD_DIR]          (default build/default)
#
# Environment: PARTS (default "idle storm fanout"; also "signin" and "crowd"),
# IDLE_COUNTS, FANOUT_COUNTS (1000 2000), FANOUT_SECONDS, FANOUT_ROUNDS (3),
# SIGNIN_COUNT (10000), SIGNIN_THREADS (password threads, 0 = cores),
# BENCH_DATA (a data folder kept between runs, so the bot accounts are made
# once), SERVER, LOAD and RELAY (the programs, when not in BUILD_DIR).
#
# Measures: memory per idle signed-in session at 1,000, 5,000 and 10,000
# sessions; a presence storm of 1,000 users joining one site; public-line
# fan-out for 1,000 and 2,000 users on one site at one line per user per
# second, through the server and through navlet-bare-relay (the baseline that
# does nothing but carry the lines, same pinning, same bots) in alternating
# rounds, with the median p99 of each and their ratio, and the server's CPU
# and write calls per delivered line. Every run is bounded by navlet-load's
# own limits (duration, sessions, rate).
# "crowd": newcomers joining a site of 20,000 users (navlet-crowd-bench, the
# server in its own process with the crowd as quiet sessions on its loop).
# "ws": sessions over WebSocket against TCP ones: idle memory per session at
# WS_IDLE_COUNTS (1000 5000), and fan-out for WS_FANOUT (1000) users at one
# line per second in WS_ROUNDS (3) alternating rounds of each, with the
# medians of p50, p99 and the server's CPU per delivered line, and the ratios.
set -euo pipefail

BUILD=${1:-build/default}
SERVER=${SERVER:-$BUILD/server/navlet-server}
LOAD=${LOAD:-$BUILD/tools/load/navlet-load}
FANOUT_SECONDS=${FANOUT_SECONDS:-15}
FANOUT_COUNTS=${FANOUT_COUNTS:-"1000 2000"}
FANOUT_ROUNDS=${FANOUT_ROUNDS:-3}
PARTS=${PARTS:-"idle storm fanout"}
IDLE_COUNTS=${IDLE_COUNTS:-"1000 5000 10000"}
SIGNIN_COUNT=${SIGNIN_COUNT:-10000}
SIGNIN_THREADS=${SIGNIN_THREADS:-0}
for tool in "$SERVER" "$LOAD"; do
  [[ -x $tool ]] || { echo "bench: $tool is missing; build it first" >&2; exit 2; }
done

WORK=$(mktemp -d -t navlet-bench.XXXXXX)
RESULTS=$WORK/results
DATA=${BENCH_DATA:-$WORK/data}
mkdir -p "$RESULTS" "$DATA"
SERVER_PID=""

stop_server() {
  if [[ -n $SERVER_PID ]] && kill -0 "$SERVER_PID" 2>/dev/null; then
    kill "$SERVER_PID"
    wait "$SERVER_PID" 2>/dev/null || true
  fi
  SERVER_PID=""
}
cleanup() {
  stop_server
  [[ -n ${BENCH_DATA:-} ]] || rm -rf "$DATA"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

start_server() {
  stop_server
  SESSION_PORT=$(free_port); WEB_PORT=$(free_port); ADMIN_PORT=$(free_port)
  taskset -c 0 "$SERVER" --listen "127.0.0.1:$SESSION_PORT" --web "127.0.0.1:$WEB_PORT" \
    --admin "127.0.0.1:$ADMIN_PORT" --data "$DATA" \
    --max-per-address 100000 --max-signing-in-per-address 100000 \
    --web-signups-per-address 1000000 --web-signups-per-second 1000000 \
    --password-threads "$SIGNIN_THREADS" \
    >>"$RESULTS/server.log" 2>&1 &
  SERVER_PID=$!
  for _ in $(seq 100); do
    port_open "$SESSION_PORT" && return 0
    sleep 0.1
  done
  echo "bench: navlet-server did not start (see $RESULTS/server.log)" >&2
  exit 1
}

# Bot accounts bot00000 ... through the web site's sign-up, or, when the site
# does not answer, one `account add` each (slower: a process per account).
create_accounts() {
  local count=$1
  start_server
  if port_open "$WEB_PORT"; then
    taskset -c 1 "$LOAD" --server "127.0.0.1:$SESSION_PORT" --web "127.0.0.1:$WEB_PORT" \
      --create-accounts --create-only --sessions "$count" >"$RESULTS/accounts.txt" || true
    grep -q '^accounts:' "$RESULTS/accounts.txt" && { stop_server; return; }
  fi
  stop_server
  for ((i = 0; i < count; i++)); do
    "$SERVER" --data "$DATA" account add "$(printf 'bot%05d' "$i")" loadpw \
      --language 3 >/dev/null
  done
}

# Where the bots connect: the session port, or with WS set (a path) the web
# site's WebSocket endpoint.
WS=""
target() {
  if [[ -n $WS ]]; then echo --server "127.0.0.1:$WEB_PORT" --ws "$WS"
  else echo --server "127.0.0.1:$SESSION_PORT"; fi
}

# again NAME navlet-load-options...: one bounded run against the running server.
again() {
  local name=$1; shift
  echo "== $name" | tee -a "$RESULTS/summary.txt"
  # shellcheck disable=SC2046
  taskset -c 1 "$LOAD" $(target) --server-pid "$SERVER_PID" \
    --sources 200 "$@" | tee "$RESULTS/$name.txt" | grep -v '^RESULT' | tee -a "$RESULTS/summary.txt" ||
    true
  grep '^RESULT' "$RESULTS/$name.txt" >>"$RESULTS/results.txt" || true
}

# run NAME navlet-load-options...: one bounded run against a fresh server.
run() {
  local name=$1; shift
  start_server
  echo "== $name" | tee -a "$RESULTS/summary.txt"
  # shellcheck disable=SC2046
  taskset -c 1 "$LOAD" $(target) --server-pid "$SERVER_PID" \
    --sources 200 "$@" | tee "$RESULTS/$name.txt" | grep -v '^RESULT' | tee -a "$RESULTS/summary.txt" ||
    true
  grep '^RESULT' "$RESULTS/$name.txt" >>"$RESULTS/results.txt" || true
  stop_server
}

wants() { [[ " $PARTS " == *" $1 "* ]]; }

if [[ ! -e $DATA/.bots ]]; then
  echo "bench: creating 10,000 bot accounts in $DATA ..."
  create_accounts 10000
  touch "$DATA/.bots"
fi

for n in $IDLE_COUNTS; do
  wants idle || break
  run "idle-$n" --sessions "$n" --sites $((n / 10)) --duration 2 --signin-timeout 300
done
# Sign-ins all at once: after a restart (nothing checked yet: one hash run
# each), then again on the same server, as after a network blip (each
# password checked lately signs in from memory).
if wants signin; then
  start_server
  again "signin-cold-$SIGNIN_COUNT" --sessions "$SIGNIN_COUNT" --sites 100 --duration 1 \
    --login-window 5000 --signin-timeout 300
  again "signin-warm-$SIGNIN_COUNT" --sessions "$SIGNIN_COUNT" --sites 100 --duration 1 \
    --login-window 5000 --signin-timeout 300
  stop_server
fi
if wants crowd; then
  CROWD=${CROWD:-$BUILD/tools/load/navlet-crowd-bench}
  echo "== crowd-20000" | tee -a "$RESULTS/summary.txt"
  taskset -c 0 "$CROWD" --users 20000 --newcomers 5 | tee "$RESULTS/crowd-20000.txt" |
    tee -a "$RESULTS/summary.txt" || true
  grep '^RESULT' "$RESULTS/crowd-20000.txt" >>"$RESULTS/results.txt" || true
fi
if wants storm; then
  run storm-1000 --sessions 1000 --sites 1 --duration 1 --signin-timeout 120
fi
# Fan-out against the bare relay: rounds that alternate the relay and the
# server (neither traced, so that both pay the same), the p99 of each taken
# as the median over the rounds, then one more server run with its write
# calls counted: with perf's syscall tracepoints when perf can attach,
# otherwise with strace (which slows the server down a lot).
perf_works() {
  perf stat -e syscalls:sys_enter_write -o /dev/null -- true >/dev/null 2>&1
}
relay_run() {
  local name=$1; shift
  local relay=${RELAY:-$BUILD/tools/load/navlet-bare-relay}
  local port
  port=$(free_port)
  taskset -c 0 "$relay" --listen "127.0.0.1:$port" --seconds $((FANOUT_SECONDS + 120)) &
  local pid=$!
  sleep 0.5
  echo "== $name" | tee -a "$RESULTS/summary.txt"
  taskset -c 1 "$LOAD" --server "127.0.0.1:$port" --server-pid "$pid" --sources 200 "$@" |
    tee "$RESULTS/$name.txt" | grep -v '^RESULT' | tee -a "$RESULTS/summary.txt" || true
  grep '^RESULT' "$RESULTS/$name.txt" | sed 's/^RESULT/RESULT relay/' >>"$RESULTS/results.txt" || true
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
}
p99_of() { sed -n 's/^RESULT.* p99_ms=\([0-9.]*\).*/\1/p' "$RESULTS/$1.txt"; }
median() { sort -n | awk '{v[NR] = $1} END {if (NR) print v[int((NR + 1) / 2)]}'; }
for n in $FANOUT_COUNTS; do
  wants fanout || break
  chat=(--sessions "$n" --sites 1 --rate 1 --duration "$FANOUT_SECONDS")
  for ((round = 1; round <= FANOUT_ROUNDS; round++)); do
    relay_run "relay-fanout-$n-$round" "${chat[@]}"
    run "fanout-$n-$round" "${chat[@]}"
  done
  if perf_works || command -v strace >/dev/null; then
    run "fanout-$n-writes" "${chat[@]}" --trace-writes "$WORK/writes-$n.txt"
  fi
  server_p99=$(for ((r = 1; r <= FANOUT_ROUNDS; r++)); do p99_of "fanout-$n-$r"; done | median)
  relay_p99=$(for ((r = 1; r <= FANOUT_ROUNDS; r++)); do p99_of "relay-fanout-$n-$r"; done | median)
  awk -v n="$n" -v s="$server_p99" -v r="$relay_p99" -v k="$FANOUT_ROUNDS" 'BEGIN {
    if (s == "" || r == "" || r == 0) { print "== fanout-" n ": no comparison (a run failed)"; exit }
    printf "== fanout-%d: p99 median of %d rounds: server %.2f ms, bare relay %.2f ms = %.2fx\n",
      n, k, s, r, s / r }' | tee -a "$RESULTS/summary.txt"
done

value_of() { sed -n "s/^RESULT.* $2=\([0-9.]*\).*/\1/p" "$RESULTS/$1.txt"; }
if wants ws; then
  for n in ${WS_IDLE_COUNTS:-1000 5000}; do
    WS=""; run "idle-tcp-$n" --sessions "$n" --sites $((n / 10)) --duration 2 --signin-timeout 300
    WS=/session; run "idle-ws-$n" --sessions "$n" --sites $((n / 10)) --duration 2 --signin-timeout 300
    WS=""
    awk -v n="$n" -v t="$(value_of "idle-tcp-$n" rss_per_session_b)" \
      -v w="$(value_of "idle-ws-$n" rss_per_session_b)" 'BEGIN {
      if (t == "" || w == "" || t == 0) { print "== idle-" n ": no comparison"; exit }
      printf "== idle-%d: resident memory per session: TCP %.0f B, WebSocket %.0f B = %.2fx\n",
        n, t, w, w / t }' | tee -a "$RESULTS/summary.txt"
  done
  n=${WS_FANOUT:-1000}
  rounds=${WS_ROUNDS:-3}
  chat=(--sessions "$n" --sites 1 --rate 1 --duration "$FANOUT_SECONDS")
  for ((round = 1; round <= rounds; round++)); do
    WS=""; run "fanout-tcp-$n-$round" "${chat[@]}"
    WS=/session; run "fanout-ws-$n-$round" "${chat[@]}"
    WS=""
  done
  for key in p50_ms p99_ms cpu_us_per_line; do
    t=$(for ((r = 1; r <= rounds; r++)); do value_of "fanout-tcp-$n-$r" "$key"; done | median)
    w=$(for ((r = 1; r <= rounds; r++)); do value_of "fanout-ws-$n-$r" "$key"; done | median)
    awk -v n="$n" -v k="$key" -v t="$t" -v w="$w" -v r="$rounds" 'BEGIN {
      if (t == "" || w == "" || t == 0) { print "== ws-fanout-" n " " k ": no comparison"; exit }
      printf "== ws-fanout-%d %s, median of %d rounds: TCP %.3f, WebSocket %.3f = %.2fx\n",
        n, k, r, t, w, w / t }' | tee -a "$RESULTS/summary.txt"
  done
fi

echo
echo "bench: all output in $RESULTS (summary.txt, results.txt)"
