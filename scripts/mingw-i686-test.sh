#!/usr/bin/env bash
# The shipped 32-bit module run under wine's 32-bit half, where Debian's
# i386 packages install: stdcall and structure layout faults show only in
# the i686 module. wine32:i386 installs only while Debian's i386 package
# index is in step with amd64's, so this step tries (each apt call bounded
# in time), and where it cannot, it prints one line saying why and ends
# without failing: the i686 module was still built and checked by its
# preset. Where wine32 runs, every Windows test runs against the i686 module,
# as scripts/mingw-x64-test.sh runs them against the x86-64 one.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1

wine32=/usr/lib/wine/wine
not_run() {
    echo "mingw-i686-test: the i686 module was built and checked but not run: $*"
    exit 0
}

# The first line of apt's output that says what went wrong.
first_error() { grep -m1 -E '^(E:|Err:| .*: Depends:)' "$1" | sed 's/^ *//'; }

install_wine32() {
    local log
    log=$(mktemp)
    if [ "$(id -u)" -ne 0 ] && ! command -v sudo >/dev/null; then
        rm -f "$log"
        echo "wine32:i386 is not installed and there is no root to install it"
        return 1
    else
        local sudo_cmd=""
        [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo -n"
        $sudo_cmd dpkg --add-architecture i386
        timeout 180 $sudo_cmd apt-get update -qq >"$log" 2>&1 || true
        if ! DEBIAN_FRONTEND=noninteractive timeout 600 $sudo_cmd apt-get install -y -qq \
            --no-install-recommends wine32:i386 >>"$log" 2>&1; then
            why=$(first_error "$log")
            # Leave apt as it was for everyone else: no i386 index any more.
            dpkg -l | grep -q ':i386 ' || $sudo_cmd dpkg --remove-architecture i386 || true
            rm -f "$log"
            echo "wine32:i386 does not install (${why:-apt-get failed}); Debian's i386 index is not in step with amd64's"
            return 1
        fi
    fi
    rm -f "$log"
    return 0
}

if [ ! -x "$wine32" ]; then
    reason=$(install_wine32) || not_run "$reason"
    [ -x "$wine32" ] || not_run "wine32:i386 installed no $wine32"
fi
# A 32-bit program must start at all: the kernel may refuse i386 code.
mkdir -p build/mingw-i686-wine32
if ! timeout 120 env WINEPREFIX="$PWD/build/mingw-i686-wine32/wine-check" WINEDEBUG=-all \
    "$wine32" cmd /c exit 0 >/dev/null 2>&1; then
    not_run "wine's 32-bit loader $wine32 does not start a program here"
fi

[ -f build/default/build.ninja ] || cmake --preset default
cmake --build --preset default --target navlet-server navlet-chatbot navlet-qt-peer \
    -j"$(nproc)" || exit 1
cmake --preset mingw-i686-wine32 || exit 1
cmake --build --preset mingw-i686-wine32 -j"$(nproc)" || exit 1

wine_build=build/mingw-i686-wine32
wineserver=/usr/lib/wine/wineserver
# shellcheck source=scripts/lib/wine-display.sh
. scripts/lib/wine-display.sh
ctest --preset mingw-i686-wine32 -j"$(nproc)"
