#!/usr/bin/env bash
# Builds the product and starts the session service with its embedded defaults,
# then the browser with the bar when this build has it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)"
server=build/default/server/navlet-server
browser=build/default/client/qt/navlet-browser
if [ ! -x "$server" ]; then
  echo "navlet-server is not part of this build yet." >&2
  exit 1
fi
"$server" &
server_pid=$!
trap 'kill $server_pid 2>/dev/null' EXIT
if [ -x "$browser" ]; then
  NAVLET_SERVER=127.0.0.1:80 NAVLET_WEB=127.0.0.1:8080 "$browser" "http://127.0.0.1:8080/"
else
  echo "navlet-browser is not part of this build yet; the service runs until Ctrl+C."
  wait $server_pid
fi
