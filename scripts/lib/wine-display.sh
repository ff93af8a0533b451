# shellcheck shell=bash
# Sourced by the scripts that run a Windows build's tests under wine: a
# private Xvfb display for the whole run when there is none, and the wine
# servers of the build's prefixes stopped on exit (a prefix's wine server
# holds the display open). Expects $wine_build (e.g. build/mingw-x64) and,
# where the wine server is not on PATH, $wineserver.
: "${wine_build:?the sourcing script sets wine_build}"
: "${wineserver:=wineserver}"
xvfb_pid=""
stop_wine() {
    for prefix in "$wine_build/wine" "$wine_build/wine-objects"; do
        WINEPREFIX="$PWD/$prefix" "$wineserver" -k 2>/dev/null || true
    done
}
stop_display() {
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
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
    [ -n "$xvfb_pid" ] || { echo "$(basename "$0"): no Xvfb display could be started" >&2; exit 1; }
    # A wine server may still serve another display from an earlier run.
    stop_wine
fi
trap stop_display EXIT
