#!/usr/bin/env bash
# Builds the product, starts the session service with a demo account, registers
# the bar's module and starts navlet-browser with the bar on the service's page.
# Sign in on the bar with nick "demo" and password "demo".
#
# Environment: NAVLET_DATA (the service's data folder, default
# ~/.local/share/navlet), XDG_CONFIG_HOME (where the registry files go).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)"
build=build/default
server=$build/server/navlet-server
browser=$build/client/qt/navlet-browser
module=$build/client/qt/libNavlet_Client.so
if [ ! -x "$server" ]; then
  echo "navlet-server is not part of this build." >&2
  exit 1
fi
data=${NAVLET_DATA:-${XDG_DATA_HOME:-$HOME/.local/share}/navlet}
mkdir -p "$data"
# The demo account; a second run finds it taken, which is fine.
"$server" --data "$data" account add demo demo >/dev/null 2>&1 || true

web=127.0.0.1:8080
start_server() {
  "$server" --data "$data" --listen "$1" --web "$web" &
  server_pid=$!
  sleep 1
  kill -0 "$server_pid" 2>/dev/null
}
# The bar's port is 80; without the right to bind it the service takes 8000.
session=127.0.0.1:80
if ! start_server "$session"; then
  session=127.0.0.1:8000
  echo "Port 80 cannot be bound here: the session server listens on $session."
  start_server "$session" || { echo "navlet-server did not start." >&2; exit 1; }
fi
trap 'kill $server_pid 2>/dev/null' EXIT

if [ ! -x "$browser" ] || [ ! -f "$module" ]; then
  echo "navlet-browser is not part of this build (Qt 6 WebEngine missing?);"
  echo "the service runs until Ctrl+C."
  wait "$server_pid"
  exit 0
fi
"$browser" --register "$(realpath "$module")"
# WebEngine refuses its sandbox when run as root.
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:-} --no-sandbox"
fi
NAVLET_SERVER=$session NAVLET_WEB=$web "$browser" "http://$web/" "$@"
