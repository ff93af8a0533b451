#!/usr/bin/env bash
# Builds the x86-64 Windows targets and runs their tests under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset mingw-x64
cmake --build --preset mingw-x64 -j"$(nproc)"
ctest --preset mingw-x64
