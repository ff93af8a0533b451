#!/bin/sh
# Runs a Windows test program under wine from a prefix of its own, made
# non-interactively on first use. CTest calls it for every Windows test (see
# tests/CMakeLists.txt); CI may call it without a program to make the prefix.
#
#   scripts/wine-env.sh PREFIX WINE [PROGRAM ARGS...]
#
# PREFIX  the wine prefix directory, e.g. build/mingw-x64/wine
# WINE    the wine loader, e.g. /usr/lib/wine/wine64
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX WINE [PROGRAM ARGS...]" >&2
    exit 2
fi
prefix=$1
wine=$2
shift 2

WINEPREFIX=$(mkdir -p "$prefix" && cd "$prefix" && pwd)
export WINEPREFIX
export WINEDEBUG=-all
# No Mono or Gecko: their installers would ask questions in a window.
export WINEDLLOVERRIDES="mscoree,mshtml="

wineserver=$(dirname "$wine")/wineserver
[ -x "$wineserver" ] || wineserver=wineserver

# Parallel tests share one prefix: the first one makes it, under a lock, and
# waits until wine has written it out completely.
if [ ! -f "$WINEPREFIX/.navlet-ready" ]; then
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.navlet-ready" ]; then
            DISPLAY="" "$wine" wineboot -i >/dev/null 2>&1 || true
            "$wineserver" -w
            [ -f "$WINEPREFIX/system.reg" ] || { echo "wine-env: no prefix made in $WINEPREFIX" >&2; exit 1; }
            touch "$WINEPREFIX/.navlet-ready"
        fi
    ) 9>"$WINEPREFIX.lock"
fi

[ $# -eq 0 ] && exit 0
# Windows need a display; scripts/mingw-x64-test.sh provides one for a whole
# run, a test started by hand without one gets its own.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$wine" "$@"
fi
exec "$wine" "$@"
