#!/usr/bin/env bash
# Builds the x86-64 Windows targets and runs their tests under wine64. Tests
# that show windows need an X display: without one, a private Xvfb serves the
# whole run (one display for the one wine prefix the tests share).
set -euo pipefail
cd "$(dirname "$0")/.."
# The end-to-end tests run navlet-server, navlet-chatbot and navlet-qt-peer
# (a Linux bar) natively beside wine; the x86-64 configuration adds them only
# when the default build has made them (nothing is rebuilt when they are up to date).
[ -f build/default/build.ninja ] || cmake --preset default
cmake --build --preset default --target navlet-server navlet-chatbot navlet-qt-peer -j"$(nproc)"
cmake --preset mingw-x64
cmake --build --preset mingw-x64 -j"$(nproc)"

xvfb_pid=""
# The tests' prefixes: the shared one, and the band lives' own.
stop_wine() {
    for prefix in build/mingw-x64/wine build/mingw-x64/wine-objects; do
        WINEPREFIX="$PWD/$prefix" wineserver -k 2>/dev/null || true
    done
}
cleanup() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
    # A prefix's wine server holds the display open: let it go with it.
    stop_wine
}
if [ -z "${DISPLAY:-}" ]; then
    for n in $(seq 90 140); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        xvfb_pid=$!
        sleep 1
        if kill -0 "$xvfb_pid" 2>/dev/null; then
            export DISPLAY=":$n"
            break
        fi
        xvfb_pid=""
    done
    [ -n "$xvfb_pid" ] || { echo "mingw-x64-test: no Xvfb display could be started" >&2; exit 1; }
    # A wine server may still serve another display from an earlier run.
    stop_wine
fi
trap cleanup EXIT
# Tests that share the prefix's registry hold a lock; the rest run beside them.
ctest --preset mingw-x64 -j"$(nproc)"
