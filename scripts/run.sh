#!/usr/bin/env bash
# Builds the product when it is not up to date, starts the session service
# with a demo account, registers the bar's module and starts navlet-browser
# with the bar on the service's page. Sign in on the bar with nick "demo" and
# password "demo".
#
# Environment:
#   NAVLET_SERVER  the session server's ADDR:PORT (default 127.0.0.1:80, or
#                  127.0.0.1:8000 when port 80 cannot be bound)
#   NAVLET_WEB     the web site's ADDR:PORT (default 127.0.0.1:8080)
#   NAVLET_ADMIN   the admin endpoint's ADDR:PORT (default 127.0.0.1:8081)
#   NAVLET_DATA    the service's data folder (default ~/.local/share/navlet)
#   XDG_CONFIG_HOME where the registry files go
#
# With --chromium the bar runs in Debian's Chromium instead: the browser
# extension (cmake --preset web) loaded unpacked on the service's start page,
# with its panel in a window of its own beside it (the toolbar's Navlet
# button opens the side panel as well).
set -euo pipefail
cd "$(dirname "$0")/.."
chromium_run=0
if [ "${1:-}" = "--chromium" ]; then
  chromium_run=1
  shift
fi
scripts/install-deps.sh
build=build/default
[ -f "$build/build.ninja" ] || cmake --preset default
if ninja -C "$build" -n 2>/dev/null | grep -q '^ninja: no work to do'; then
  echo "The build is up to date."
else
  cmake --build --preset default -j"$(nproc)"
fi
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

web=${NAVLET_WEB:-127.0.0.1:8080}
admin=${NAVLET_ADMIN:-127.0.0.1:8081}
start_server() {
  "$server" --data "$data" --listen "$1" --web "$web" --admin "$admin" &
  server_pid=$!
  sleep 1
  kill -0 "$server_pid" 2>/dev/null
}
if [ -n "${NAVLET_SERVER:-}" ]; then
  session=$NAVLET_SERVER
  start_server "$session" || { echo "navlet-server did not start on $session." >&2; exit 1; }
else
  # The bar's port is 80; without the right to bind it the service takes 8000.
  session=127.0.0.1:80
  if ! start_server "$session"; then
    session=127.0.0.1:8000
    echo "Port 80 cannot be bound here: trying $session."
    start_server "$session" || { echo "navlet-server did not start." >&2; exit 1; }
  fi
fi
trap 'kill $server_pid 2>/dev/null' EXIT
echo "navlet-server: bar sessions on $session, web site on $web, admin on $admin."

if [ "$chromium_run" -eq 1 ]; then
  export NODE_PATH=/usr/share/nodejs
  [ -f build/web/build.ninja ] || cmake --preset web
  cmake --build --preset web -j"$(nproc)"
  run_dir=$(mktemp -d)
  trap 'kill $server_pid 2>/dev/null; rm -rf "$run_dir"' EXIT
  # The local copy may ask the loopback site for its banner pages; the
  # service's address is a setting, offered on the options page to save.
  cp -r build/web/extension "$run_dir/extension"
  python3 - "$run_dir/extension/manifest.json" <<'PY'
import json, sys
path = sys.argv[1]
manifest = json.load(open(path))
manifest["host_permissions"] += ["http://127.0.0.1/*", "http://localhost/*"]
json.dump(manifest, open(path, "w"), indent=1)
PY
  ext=$run_dir/extension
  # An unpacked extension's id is the hash of its folder's path, in a-p.
  ext_id=$(python3 -c 'import hashlib,sys; h=hashlib.sha256(sys.argv[1].encode()).hexdigest()[:32]; print("".join(chr(ord("a")+int(c,16)) for c in h))' "$ext")
  sandbox=()
  [ "$(id -u)" -eq 0 ] && sandbox=(--no-sandbox)
  profile=$run_dir/profile
  # The browser on the left, the panel's window beside it at a side panel's
  # size, so that neither covers the other.
  chromium "${sandbox[@]}" --user-data-dir="$profile" --no-first-run \
    --window-position=0,0 --window-size=1000,800 \
    --load-extension="$ext" --disable-extensions-except="$ext" "http://$web/" \
    "chrome-extension://$ext_id/options.html?address=$web" "$@" &
  chromium_pid=$!
  sleep 3
  chromium "${sandbox[@]}" --user-data-dir="$profile" --window-position=1010,0 --window-size=360,800 \
    --app="chrome-extension://$ext_id/panel.html" >/dev/null 2>&1 || true
  echo "Chromium runs with the extension: press Save on its options page (the"
  echo "service's address, $web), then sign in on its panel with demo / demo."
  wait "$chromium_pid"
  exit 0
fi
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
