#!/usr/bin/env bash
# Runs a command beside navlet-server on a free loopback port, with the
# accounts alice/apple1, bob/banana2 and carol/cherry3; NAVLET_SERVER tells
# the bar where. With NAVLET_TEST_UPDATE naming a module file, the server
# offers that module as the bar's update.
#
#   tests/win32/with_server.sh SERVER_PROGRAM COMMAND [ARGS...]
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 SERVER_PROGRAM COMMAND [ARGS...]" >&2
    exit 2
fi
server=$1
shift
data=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    rm -rf "$data"
}
trap cleanup EXIT

"$server" --data "$data" account add alice apple1 >/dev/null
"$server" --data "$data" account add bob banana2 >/dev/null
"$server" --data "$data" account add carol cherry3 >/dev/null
if [ -n "${NAVLET_TEST_UPDATE:-}" ]; then
    mkdir -p "$data/updates"
    cp "$NAVLET_TEST_UPDATE" "$data/updates/"
fi

listening() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# A port nobody listens on; others run servers at the same time, so the
# server's own start is the final word and a taken port is tried again.
for _ in 1 2 3 4 5 6 7 8; do
    port=$((20000 + RANDOM % 40000))
    listening "$port" && continue
    "$server" --data "$data" --listen "127.0.0.1:$port" --web '' --admin '' >/dev/null 2>&1 &
    pid=$!
    for _ in $(seq 50); do
        listening "$port" && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null && listening "$port"; then
        NAVLET_SERVER="127.0.0.1:$port" "$@"
        exit $?
    fi
    pid=""
done
echo "with_server: navlet-server did not start" >&2
exit 1
