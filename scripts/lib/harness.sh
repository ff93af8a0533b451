# Sourced by the scripts that run navlet-browser against a navlet-server of
# their own: the build's programs, a scratch folder, the processes to stop on
# exit, and three free loopback ports (session, web, admin). Expects $build.
browser=$build/client/qt/navlet-browser
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
