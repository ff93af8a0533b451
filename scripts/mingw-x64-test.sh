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

wine_build=build/mingw-x64
# shellcheck source=scripts/lib/wine-display.sh
. scripts/lib/wine-display.sh
# Tests that share the prefix's registry hold a lock; the rest run beside them.
ctest --preset mingw-x64 -j"$(nproc)"
