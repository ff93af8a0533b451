#!/usr/bin/env bash
# Benchmarks navlet-server with navlet-load on this machine: the server pinned
# to core 0, the bots to core 1, a temporary data folder and free loopback ports.
#
#   tools/load/bench.sh [--smoke] [BUILD_DIR]   (default build/default)
#
# --smoke: every part once with a handful of bots and two short fan-out
# rounds, so that CI sees the script still runs (its numbers mean nothing).
#
# Environment: PARTS (default "idle storm fanout"; also "signin", "crowd",
# "ignores", "ws", "tls" and "sites"; --smoke runs all but signin and crowd),
# IDLE_COUNTS, FANOUT_COUNTS (300 1000 2000), FANOUT_SECONDS, FANOUT_ROUNDS (5),
# OTHER_LIMIT (the other processes' CPU, in % of a core, above which a run is
# repeated; 10), REPEATS (how often at most; 2), BOTS (accounts made; 10000),
# SIGNIN_COUNT (10000), SIGNIN_THREADS (password threads, 0 = cores),
# BENCH_DATA (a data folder kept between runs, so the bot accounts are made
# once), SERVER, LOAD and RELAY (the programs, when not in BUILD_DIR).
#
# Measures: memory per idle signed-in session at 1,000, 5,000 and 10,000
# sessions; a presence storm of 1,000 users joining one site; public-line
# fan-out for 1,000 and 2,000 users on one site at one line per user per
# second, through the server and through navlet-bare-relay (the baseline that
# does nothing but carry the lines, same pinning, same bots) in alternating
# rounds (the order changes each round, each run on a fresh process), with the
# median and range over the rounds of the ratios of p50, p99 and CPU per
# delivered line, and the server's write calls per delivered line. Each run
# records the CPU that other processes of the machine used meanwhile (from
# /proc); a run beside more than OTHER_LIMIT is repeated. Every run is bounded by navlet-load's
# own limits (duration, sessions, rate).
# "crowd": newcomers joining a site of 20,000 users (navlet-crowd-bench, the
# server in its own process with the crowd as quiet sessions on its loop).
# "ignores": the fan-out for IGNORE_FANOUT (1000) users with every user
# ignoring IGNORE_COUNT (100) accounts that are not in the run (the last bot
# accounts made, whose ids are the last ones of a fresh data folder), against
# the same run without ignores and the bare relay, in FANOUT_ROUNDS rounds
# whose order rotates, with the ratios of p99 and CPU per delivered line.
# "ws": sessions over WebSocket against TCP ones: idle memory per session at
# WS_IDLE_COUNTS (1000 5000), and fan-out for WS_FANOUT (1000) users at one
# line per second in WS_ROUNDS (3) alternating rounds of each, with the
# medians of p50, p99 and the server's CPU per delivered line, and the ratios.
# "tls": what TLS costs. Debian's nginx runs the shipped recipes
# (docs/nginx/navlet-stream.conf in front of the bar port,
# docs/nginx/navlet-tls.conf's /session in front of the web site) with a
# certificate made for the run, pinned to core 0 beside the server: it is
# the server machine's cost, and the bots' own TLS on core 1 must not take
# the proxy's time. In TLS_ROUNDS (FANOUT_ROUNDS) rounds whose order rotates,
# each of relay, tcp, tls, ws and wss runs once per count of TLS_COUNTS
# (300 1000) at one line per user per second over TLS_SITES (1) sites, on a
# fresh server and a fresh nginx, and each but the relay once idle at
# TLS_IDLE (1000) sessions over TLS_IDLE/10 sites (0: no idle runs; the
# fan-out runs of the last count give the memory, measured before their
# chat). Reported: medians of p50, p99, CPU per delivered line of
# navlet-server and of nginx (master and workers) apart, memory per idle
# session of each, and the ratios with their ranges (TLS / TCP, wss / ws,
# server's own share and server plus nginx, each against the bare relay).
# NGINX_WORKERS (auto) and NGINX_BUFFER (the recipes' session buffers) try
# other settings. Without nginx the part is skipped; without its stream
# module (libnginx-mod-stream) the tls kind is.
# "sites": SITES_USERS (1000) users over SITES_COUNT (50) sites at one line
# per second, the server against the bare relay in FANOUT_ROUNDS alternating
# rounds, with the ratios of p50, p99 and CPU per delivered line.
set -euo pipefail

SMOKE=""
if [[ ${1:-} == --smoke ]]; then
  SMOKE=1
  shift
  : "${BOTS:=20}" "${IDLE_COUNTS:=20}" "${FANOUT_COUNTS:=20}" "${FANOUT_SECONDS:=2}"
  : "${FANOUT_ROUNDS:=2}" "${PARTS:=idle storm fanout ws ignores tls sites}" "${WS_IDLE_COUNTS:=20}"
  : "${WS_FANOUT:=20}" "${WS_ROUNDS:=1}" "${REPEATS:=0}" "${STORM_COUNT:=20}"
  : "${IGNORE_FANOUT:=10}" "${IGNORE_COUNT:=5}"
  : "${TLS_COUNTS:=10}" "${TLS_IDLE:=10}" "${TLS_ROUNDS:=1}" "${SITES_USERS:=20}" "${SITES_COUNT:=5}"
fi
BUILD=${1:-build/default}
SERVER=${SERVER:-$BUILD/server/navlet-server}
LOAD=${LOAD:-$BUILD/tools/load/navlet-load}
FANOUT_SECONDS=${FANOUT_SECONDS:-15}
FANOUT_COUNTS=${FANOUT_COUNTS:-"300 1000 2000"}
FANOUT_ROUNDS=${FANOUT_ROUNDS:-5}
OTHER_LIMIT=${OTHER_LIMIT:-10}
REPEATS=${REPEATS:-2}
BOTS=${BOTS:-10000}
STORM_COUNT=${STORM_COUNT:-1000}
PARTS=${PARTS:-"idle storm fanout"}
IDLE_COUNTS=${IDLE_COUNTS:-"1000 5000 10000"}
SIGNIN_COUNT=${SIGNIN_COUNT:-10000}
SIGNIN_THREADS=${SIGNIN_THREADS:-0}
NGINX_WORKERS=${NGINX_WORKERS:-auto}
NGINX_BUFFER=${NGINX_BUFFER:-}
for tool in "$SERVER" "$LOAD"; do
  [[ -x $tool ]] || { echo "bench: $tool is missing; build it first" >&2; exit 2; }
done

WORK=$(mktemp -d -t navlet-bench.XXXXXX)
RESULTS=$WORK/results
DATA=${BENCH_DATA:-$WORK/data}
mkdir -p "$RESULTS" "$DATA"
SERVER_PID=""
NGINX_PID=""
repo=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=scripts/lib/nginx-front.sh
source "$repo/scripts/lib/nginx-front.sh"

stop_nginx() {
  if [[ -n $NGINX_PID ]] && kill -0 "$NGINX_PID" 2>/dev/null; then
    kill "$NGINX_PID"
    wait "$NGINX_PID" 2>/dev/null || true
  fi
  NGINX_PID=""
}
stop_server() {
  if [[ -n $SERVER_PID ]] && kill -0 "$SERVER_PID" 2>/dev/null; then
    kill "$SERVER_PID"
    wait "$SERVER_PID" 2>/dev/null || true
  fi
  SERVER_PID=""
}
cleanup() {
  stop_nginx
  stop_server
  [[ -n ${BENCH_DATA:-} ]] || rm -rf "$DATA"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

port_open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# The CPU that the rest of the machine used during a run: every core's busy
# time (/proc/stat) less this script's and its waited-for children's (the
# server, the relay and navlet-load are waited for before it is read), in
# % of one core over the run.
busy_ticks() { awk '/^cpu /{print $2 + $3 + $4 + $7 + $8 + $9; exit}' /proc/stat; }
own_ticks() { awk '{print $14 + $15 + $16 + $17}' "/proc/$$/stat"; }
mark_cpu() { MARK_BUSY=$(busy_ticks); MARK_OWN=$(own_ticks); MARK_NS=$(date +%s%N); }
other_cpu() {
  local busy own ns
  busy=$(busy_ticks); own=$(own_ticks); ns=$(date +%s%N)
  awk -v b=$((busy - MARK_BUSY)) -v o=$((own - MARK_OWN)) -v t=$((ns - MARK_NS)) \
    -v hz="$(getconf CLK_TCK)" 'BEGIN {
    v = t > 0 ? (b - o) / hz / (t / 1e9) * 100 : 0; printf "%.1f", v < 0 ? 0 : v }'
}

start_server() {
  stop_server
  SESSION_PORT=$(free_port); WEB_PORT=$(free_port); ADMIN_PORT=$(free_port)
  taskset -c 0 "$SERVER" --listen "127.0.0.1:$SESSION_PORT" --web "127.0.0.1:$WEB_PORT" \
    --admin "127.0.0.1:$ADMIN_PORT" --data "$DATA" \
    --max-per-address 100000 --max-signing-in-per-address 100000 \
    --web-signups-per-address 1000000 --web-signups-per-second 1000000 \
    --password-threads "$SIGNIN_THREADS" --trusted-proxy 127.0.0.1 \
    >>"$RESULTS/server.log" 2>&1 &
  SERVER_PID=$!
  for _ in $(seq 100); do
    port_open "$SESSION_PORT" && return 0
    sleep 0.1
  done
  echo "bench: navlet-server did not start (see $RESULTS/server.log)" >&2
  exit 1
}

# nginx in front of the running server, pinned beside it, with the shipped
# recipes on free ports (the stream one only when the module is there).
start_nginx() {
  stop_nginx
  TLS_PORT=$(free_port)
  STREAM_PORT=""
  [[ -n $HAVE_STREAM ]] && STREAM_PORT=$(free_port)
  nginx_front_conf "$NGINX_DIR" "$NGINX_DIR/certs" "$TLS_PORT" "$WEB_PORT" "$STREAM_PORT" \
    "$SESSION_PORT" "$NGINX_WORKERS" "$NGINX_BUFFER" ||
    { echo "bench: a recipe in docs/nginx changed shape" >&2; exit 1; }
  taskset -c 0 "$nginx_bin" -p "$NGINX_DIR/nginx" -c "$NGINX_DIR/nginx.conf" \
    -e "$NGINX_DIR/nginx-error.log" >>"$RESULTS/nginx.log" 2>&1 &
  NGINX_PID=$!
  for _ in $(seq 100); do
    port_open "$TLS_PORT" && { [[ -z $STREAM_PORT ]] || port_open "$STREAM_PORT"; } && return 0
    sleep 0.1
  done
  echo "bench: nginx did not start (see $NGINX_DIR/nginx-error.log)" >&2
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
# site's WebSocket endpoint; with TRANSPORT tls or wss, nginx's stream port
# or its /session, the certificate verified and nginx measured too.
WS=""
TRANSPORT=""
through_nginx() { [[ $TRANSPORT == tls || $TRANSPORT == wss ]]; }
target() {
  local ca=${NGINX_DIR:-}/certs/ca.crt
  case $TRANSPORT in
    tls) echo --server "127.0.0.1:$STREAM_PORT" --tls --ca "$ca" --proxy-pid "$NGINX_PID"; return ;;
    wss) echo --server "127.0.0.1:$TLS_PORT" --ws /session --tls --ca "$ca" --tls-name localhost \
      --proxy-pid "$NGINX_PID"; return ;;
  esac
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

# run_once NAME navlet-load-options...: one bounded run against a fresh server.
run_once() {
  local name=$1; shift
  start_server
  if through_nginx; then start_nginx; fi
  echo "== $name" | tee -a "$RESULTS/summary.txt"
  # shellcheck disable=SC2046
  taskset -c 1 "$LOAD" $(target) --server-pid "$SERVER_PID" \
    --sources 200 "$@" | tee "$RESULTS/$name.txt" | grep -v '^RESULT' | tee -a "$RESULTS/summary.txt" ||
    true
  stop_nginx
  stop_server
}

# relay_once NAME navlet-load-options...: the same through a fresh bare relay.
relay_once() {
  local name=$1; shift
  local relay=${RELAY:-$BUILD/tools/load/navlet-bare-relay}
  local port
  port=$(free_port)
  taskset -c 0 "$relay" --listen "127.0.0.1:$port" --seconds $((FANOUT_SECONDS + 120)) &
  local pid=$!
  for _ in $(seq 50); do
    port_open "$port" && break
    sleep 0.1
  done
  echo "== $name" | tee -a "$RESULTS/summary.txt"
  taskset -c 1 "$LOAD" --server "127.0.0.1:$port" --server-pid "$pid" --sources 200 "$@" |
    tee "$RESULTS/$name.txt" | grep -v '^RESULT' | tee -a "$RESULTS/summary.txt" || true
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null || true
}

# measured server|relay NAME options...: a run with the other processes' CPU
# beside it recorded (other_cpu_pct in its RESULT line); one beside more than
# OTHER_LIMIT is run again, up to REPEATS times, and the last one is kept.
measured() {
  local kind=$1 name=$2
  shift 2
  local try other
  for ((try = 0; try <= REPEATS; try++)); do
    mark_cpu
    if [[ $kind == relay ]]; then relay_once "$name" "$@"; else run_once "$name" "$@"; fi
    other=$(other_cpu)
    echo "other processes: $other % of a core" | tee -a "$RESULTS/summary.txt"
    sed -i "s/^RESULT.*/& other_cpu_pct=$other/" "$RESULTS/$name.txt"
    awk -v o="$other" -v l="$OTHER_LIMIT" 'BEGIN { exit !(o <= l) }' && break
    ((try < REPEATS)) && echo "(beside other load: again)" | tee -a "$RESULTS/summary.txt"
  done
  local tag=""
  [[ $kind == relay ]] && tag=" relay"
  grep '^RESULT' "$RESULTS/$name.txt" | sed "s/^RESULT/RESULT$tag/" >>"$RESULTS/results.txt" || true
}
run() { measured server "$@"; }
relay_run() { measured relay "$@"; }

wants() { [[ " $PARTS " == *" $1 "* ]]; }

# The marker holds how many bots were made (empty: an older script's 10,000).
MADE=$(cat "$DATA/.bots" 2>/dev/null || echo 0)
[[ -e $DATA/.bots && -z $MADE ]] && MADE=10000
if ((MADE < BOTS)); then
  echo "bench: creating $BOTS bot accounts in $DATA ..."
  create_accounts "$BOTS"
  echo "$BOTS" >"$DATA/.bots"
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
  run "storm-$STORM_COUNT" --sessions "$STORM_COUNT" --sites 1 --duration 1 --signin-timeout 120
fi
# Fan-out against the bare relay: rounds of one run of each, the relay first
# in odd rounds and the server first in even ones (neither traced, so that
# both pay the same), the ratio of each round's pair taken, then their
# median and range; then one more server run with its write calls counted:
# with perf's syscall tracepoints when perf can attach, otherwise with strace
# (which slows the server down a lot).
perf_works() {
  perf stat -e syscalls:sys_enter_write -o /dev/null -- true >/dev/null 2>&1
}
value_of() { sed -n "s/^RESULT.* $2=\([0-9.]*\).*/\1/p" "$RESULTS/$1.txt"; }
median() { sort -n | awk '{v[NR] = $1} END {if (NR) print v[int((NR + 1) / 2)]}'; }
# ratios KEY SERVER_PREFIX RELAY_PREFIX ROUNDS: the median and range of the
# rounds' ratios SERVER/RELAY of KEY.
ratios() {
  local key=$1 mine=$2 theirs=$3 rounds=$4 r
  for ((r = 1; r <= rounds; r++)); do
    awk -v s="$(value_of "$mine-$r" "$key")" -v b="$(value_of "$theirs-$r" "$key")" \
      'BEGIN { if (s != "" && b != "" && b > 0) printf "%.3f\n", s / b }'
  done | sort -n | awk '{v[NR] = $1} END {
    if (NR) printf "%.2fx (%.2f-%.2f over %d rounds)", v[int((NR + 1) / 2)], v[1], v[NR], NR
    else printf "no comparison (runs failed)" }'
}
for n in $FANOUT_COUNTS; do
  wants fanout || break
  chat=(--sessions "$n" --sites 1 --rate 1 --duration "$FANOUT_SECONDS")
  for ((round = 1; round <= FANOUT_ROUNDS; round++)); do
    if ((round % 2)); then
      relay_run "relay-fanout-$n-$round" "${chat[@]}"
      run "fanout-$n-$round" "${chat[@]}"
    else
      run "fanout-$n-$round" "${chat[@]}"
      relay_run "relay-fanout-$n-$round" "${chat[@]}"
    fi
  done
  if [[ -z $SMOKE ]] && { perf_works || command -v strace >/dev/null; }; then
    run "fanout-$n-writes" "${chat[@]}" --trace-writes "$WORK/writes-$n.txt"
  fi
  for key in p50_ms p99_ms cpu_us_per_line; do
    echo "== fanout-$n $key, server / bare relay: $(ratios "$key" "fanout-$n" "relay-fanout-$n" \
      "$FANOUT_ROUNDS")" | tee -a "$RESULTS/summary.txt"
  done
done

if wants ignores; then
  n=${IGNORE_FANOUT:-1000}
  count=${IGNORE_COUNT:-100}
  if ((n + count > BOTS)); then
    echo "bench: ignores needs BOTS >= $((n + count))" >&2
    exit 2
  fi
  chat=(--sessions "$n" --sites 1 --rate 1 --duration "$FANOUT_SECONDS")
  # The server stores the lists: the held runs use a copy of the data, so
  # that neither the plain runs nor a later bench on BENCH_DATA sign in
  # holding them.
  held_data=$WORK/ignores-data
  rm -rf "$held_data"
  cp -a "$DATA" "$held_data"
  kinds=(relay plain ignores)
  for ((round = 1; round <= FANOUT_ROUNDS; round++)); do
    for ((k = 0; k < 3; k++)); do
      case ${kinds[(round + k) % 3]} in
        relay) relay_run "ign-relay-$n-$round" "${chat[@]}" ;;
        plain) run "ign-plain-$n-$round" "${chat[@]}" ;;
        ignores) DATA=$held_data run "ign-held-$n-$round" "${chat[@]}" --ignores "$count" \
          --ignore-first-id $((BOTS - count + 1)) ;;
      esac
    done
  done
  for key in p99_ms cpu_us_per_line; do
    for pair in "ign-plain ign-relay" "ign-held ign-relay" "ign-held ign-plain"; do
      read -r mine theirs <<<"$pair"
      echo "== ignores-$n $key, ${mine#ign-} / ${theirs#ign-}: $(ratios "$key" "$mine-$n" "$theirs-$n" \
        "$FANOUT_ROUNDS")" | tee -a "$RESULTS/summary.txt"
    done
  done
fi

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
    if ((round % 2)); then
      WS=""; run "fanout-tcp-$n-$round" "${chat[@]}"
      WS=/session; run "fanout-ws-$n-$round" "${chat[@]}"
    else
      WS=/session; run "fanout-ws-$n-$round" "${chat[@]}"
      WS=""; run "fanout-tcp-$n-$round" "${chat[@]}"
    fi
    WS=""
  done
  for key in p50_ms p99_ms cpu_us_per_line; do
    echo "== ws-fanout-$n $key, WebSocket / TCP: $(ratios "$key" "fanout-ws-$n" "fanout-tcp-$n" \
      "$rounds")" | tee -a "$RESULTS/summary.txt"
  done
fi

# The median over ROUNDS of KEY in the runs PREFIX-1 ... PREFIX-ROUNDS.
med() {
  local key=$1 prefix=$2 rounds=$3 r
  for ((r = 1; r <= rounds; r++)); do value_of "$prefix-$r" "$key"; done | median
}
# shared_ratios MINE THEIRS ROUNDS: the median and range of the rounds' ratios
# of CPU per delivered line, navlet-server's plus nginx's in MINE, to THEIRS's.
shared_ratios() {
  local mine=$1 theirs=$2 rounds=$3 r
  for ((r = 1; r <= rounds; r++)); do
    awk -v s="$(value_of "$mine-$r" cpu_us_per_line)" -v p="$(value_of "$mine-$r" proxy_cpu_us_per_line)" \
      -v b="$(value_of "$theirs-$r" cpu_us_per_line)" \
      'BEGIN { if (s != "" && p != "" && b > 0) printf "%.3f\n", (s + p) / b }'
  done | sort -n | awk '{v[NR] = $1} END {
    if (NR) printf "%.2fx (%.2f-%.2f over %d rounds)", v[int((NR + 1) / 2)], v[1], v[NR], NR
    else printf "no comparison (runs failed)" }'
}

if wants tls; then
  if [[ ! -x $nginx_bin ]] || ! command -v openssl >/dev/null; then
    echo "== tls: skipped (no nginx or openssl)" | tee -a "$RESULTS/summary.txt"
  else
    NGINX_DIR=$WORK/nginx
    mkdir -p "$NGINX_DIR/certs"
    chmod 755 "$WORK" "$NGINX_DIR"
    nginx_front_cert "$NGINX_DIR/certs" || { echo "bench: openssl failed" >&2; exit 1; }
    HAVE_STREAM=""
    kinds=(relay tcp ws wss)
    if nginx_stream_module >/dev/null; then
      HAVE_STREAM=1
      kinds=(relay tcp tls ws wss)
    else
      echo "== tls: no nginx stream module (libnginx-mod-stream): TCP over TLS left out" |
        tee -a "$RESULTS/summary.txt"
    fi
    echo "== tls: nginx workers $NGINX_WORKERS, session buffers ${NGINX_BUFFER:-as shipped}" |
      tee -a "$RESULTS/summary.txt"
    rounds=${TLS_ROUNDS:-$FANOUT_ROUNDS}
    idle=${TLS_IDLE:-1000}
    counts=${TLS_COUNTS:-"300 1000"}
    sites=${TLS_SITES:-1}
    at=""
    ((sites > 1)) && at=-over-$sites
    for ((round = 1; round <= rounds; round++)); do
      for ((k = 0; k < ${#kinds[@]}; k++)); do
        kind=${kinds[(round + k) % ${#kinds[@]}]}
        WS=""; TRANSPORT=""
        [[ $kind == ws ]] && WS=/session
        [[ $kind == tls || $kind == wss ]] && TRANSPORT=$kind
        if [[ $kind != relay ]] && ((idle > 0)); then
          run "t-$kind-idle-$idle-$round" --sessions "$idle" --sites $((idle / 10 > 0 ? idle / 10 : 1)) \
            --duration 2 --signin-timeout 300
        fi
        for n in $counts; do
          chat=(--sessions "$n" --sites "$sites" --rate 1 --duration "$FANOUT_SECONDS")
          if [[ $kind == relay ]]; then relay_run "t-relay-fanout-$n$at-$round" "${chat[@]}"
          else run "t-$kind-fanout-$n$at-$round" "${chat[@]}"; fi
        done
      done
    done
    WS=""; TRANSPORT=""
    # Without idle runs, the fan-out runs of the last count give the figure:
    # they measure it the same way, before their chat, all on one site.
    idle_runs=idle-$idle
    if ((idle == 0)); then
      idle=${counts##* }
      idle_runs=fanout-$idle$at
    fi
    for kind in "${kinds[@]}"; do
      [[ $kind == relay ]] && continue
      awk -v k="$kind" -v n="$idle" -v s="$(med rss_per_session_b "t-$kind-$idle_runs" "$rounds")" \
        -v p="$(med proxy_rss_per_session_b "t-$kind-$idle_runs" "$rounds")" -v f="$idle_runs" 'BEGIN {
        printf "== tls-idle-%d %s (%s runs): resident memory per session: navlet-server %.0f B, nginx %s\n",
          n, k, f, s, p == "" ? "-" : sprintf("%.0f B", p) }' | tee -a "$RESULTS/summary.txt"
    done
    for n in $counts; do
      for kind in "${kinds[@]}"; do
        f=t-$kind-fanout-$n$at
        awk -v k="$kind" -v n="$n$at" -v a="$(med p50_ms "$f" "$rounds")" -v b="$(med p99_ms "$f" "$rounds")" \
          -v c="$(med cpu_us_per_line "$f" "$rounds")" -v p="$(med proxy_cpu_us_per_line "$f" "$rounds")" \
          -v o="$(med other_cpu_pct "$f" "$rounds")" 'BEGIN {
          printf "== tls-fanout-%s %s: p50 %s ms, p99 %s ms, CPU per delivered line: server %s us, nginx %s us (other load %s %%)\n",
            n, k, a, b, c, p == "" ? "-" : p, o }' | tee -a "$RESULTS/summary.txt"
      done
      pairs=("ws tcp" "wss ws" "tcp relay" "ws relay" "wss relay")
      [[ -n $HAVE_STREAM ]] && pairs=("tls tcp" "ws tcp" "wss ws" "wss tcp" "tcp relay" "tls relay" "ws relay" "wss relay")
      for pair in "${pairs[@]}"; do
        read -r mine theirs <<<"$pair"
        for key in p50_ms p99_ms cpu_us_per_line; do
          echo "== tls-fanout-$n$at $key, $mine / $theirs: $(ratios "$key" "t-$mine-fanout-$n$at" \
            "t-$theirs-fanout-$n$at" "$rounds")" | tee -a "$RESULTS/summary.txt"
        done
      done
      for pair in "tls tcp" "wss ws"; do
        read -r mine theirs <<<"$pair"
        [[ $mine == tls && -z $HAVE_STREAM ]] && continue
        echo "== tls-fanout-$n$at CPU per line, $mine (server + nginx) / $theirs: $(shared_ratios \
          "t-$mine-fanout-$n$at" "t-$theirs-fanout-$n$at" "$rounds")" | tee -a "$RESULTS/summary.txt"
      done
    done
  fi
fi

if wants sites; then
  n=${SITES_USERS:-1000}
  count=${SITES_COUNT:-50}
  chat=(--sessions "$n" --sites "$count" --rate 1 --duration "$FANOUT_SECONDS")
  for ((round = 1; round <= FANOUT_ROUNDS; round++)); do
    if ((round % 2)); then
      relay_run "relay-sites-$n-$round" "${chat[@]}"
      run "sites-$n-$round" "${chat[@]}"
    else
      run "sites-$n-$round" "${chat[@]}"
      relay_run "relay-sites-$n-$round" "${chat[@]}"
    fi
  done
  for key in p50_ms p99_ms cpu_us_per_line; do
    echo "== sites-$n-over-$count $key, server / bare relay: $(ratios "$key" "sites-$n" \
      "relay-sites-$n" "$FANOUT_ROUNDS")" | tee -a "$RESULTS/summary.txt"
  done
fi

echo
echo "bench: all output in $RESULTS (summary.txt, results.txt)"
