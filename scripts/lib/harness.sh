# shellcheck shell=bash
# Sourced by the scripts that run navlet-browser against a navlet-server of
# their own: the build's programs, a scratch folder, the processes to stop on
# exit, and three free loopback ports (session, web, admin). Expects $build.
: "${build:?the sourcing script sets build}"
# shellcheck disable=SC2034 # the sourcing scripts run these
browser=$build/client/qt/navlet-browser
# shellcheck disable=SC2034
module=$build/client/qt/libNavlet_Client.so
server=$build/server/navlet-server
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}
session=127.0.0.1:$(free_port)
web=127.0.0.1:$(free_port)
admin=127.0.0.1:$(free_port)

# navlet-server on those ports, its log in the scratch folder.
start_server() {
  "$server" --data "$work/data" --listen "$session" --web "$web" --admin "$admin" \
    >"$work/server.log" 2>&1 &
  pids+=($!)
}

# start_displays N...: one X display a person, each wide enough for the whole
# window at (0, 0); the browsers then find the server through the environment.
start_displays() {
  local d
  for d in "$@"; do
    Xvfb ":$d" -screen 0 1100x800x24 >/dev/null 2>&1 &
    pids+=($!)
  done
  sleep 1
  export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
  export NAVLET_SERVER=$session NAVLET_WEB=$web
}

# The bar driven through xdotool. click DISPLAY X Y: Y is counted from the
# bar's top edge, bar_top (the script sets it) in the window.
click() { DISPLAY=":$1" xdotool mousemove "$2" "$((${bar_top:?} + $3))" click 1; sleep 0.3; }
type_on() { DISPLAY=":$1" xdotool type "$2"; }
key_on() { DISPLAY=":$1" xdotool key "$2"; }
# sign_in DISPLAY NICK: the login panel's boxes (banner area at x = 250), the
# password the same as the nick.
sign_in() {
  click "$1" 460 48; type_on "$1" "$2"
  click "$1" 460 78; type_on "$1" "$2"; key_on "$1" Return
}
