#!/usr/bin/env bash
# Takes the screenshots of the bar as people meet it: the friends panel with
# one friend online and one offline, a call on the ticker with its buttons,
# and the bar at navlet-browser's minimum width of 500 pixels. Three accounts
# on a navlet-server on free loopback ports: demo (the one shown) lists anna
# and carl as friends; anna signs in and calls demo, carl stays offline.
#
#   scripts/screenshots-people.sh [BUILD_DIR] [OUT_DIR]
#
# Needs xvfb, xdotool and sqlite3 (the friends go straight into the store).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
out=$(realpath -m "${2:-docs/screenshots}")
for tool in Xvfb xdotool sqlite3; do
  command -v $tool >/dev/null || { echo "screenshots-people.sh needs $tool" >&2; exit 1; }
done
mkdir -p "$out"
source scripts/lib/harness.sh
for who in "demo m" "anna f" "carl m"; do
  set -- $who
  "$server" --data "$work/data" account add "$1" "$1" --gender "$2" >/dev/null
done
db=$work/data/navlet.db
sqlite3 "$db" "INSERT INTO friends SELECT d.id, f.id FROM accounts d, accounts f
               WHERE d.nick = 'demo' AND f.nick IN ('anna', 'carl');"
start_server
start_displays 93 94
window_height=720
bar_top=$((window_height - 114))
for who in demo anna; do
  XDG_CONFIG_HOME="$work/$who" "$browser" --register "$module"
done


# demo signs in once, so that the later runs sign in by themselves.
DISPLAY=:93 XDG_CONFIG_HOME="$work/demo" "$browser" "http://$web/" >"$work/first.log" 2>&1 &
first=$!
sleep 9
sign_in 93 demo
sleep 4
kill $first; wait $first 2>/dev/null || true

DISPLAY=:94 XDG_CONFIG_HOME="$work/anna" "$browser" "http://$web/" >"$work/anna.log" 2>&1 &
pids+=($!)
sleep 9
sign_in 94 anna
sleep 3

# shot NAME ACTION: one run of demo's browser, saved after 22 seconds.
shot() {
  DISPLAY=:93 XDG_CONFIG_HOME="$work/demo" "$browser" --screenshot "$out/$1.png" --after 22 \
    "http://$web/" >"$work/$1.log" 2>&1 &
  local pid=$!
  sleep 9
  case "$2" in
    friends) sleep 2; click 93 565 7 ;; # FriendsBtn
    call)
      # anna goes to another site: a call to someone on one's own site is no call.
      DISPLAY=:94 xdotool mousemove 600 33 click 1 key ctrl+a
      type_on 94 "http://localhost:${web##*:}/help.asp"; key_on 94 Return; sleep 3
      click 94 548 7; sleep 1                       # anna's SearchBtn
      click 94 460 55; type_on 94 demo              # cbSearch
      click 94 460 76; type_on 94 "coffee at five?" # edSearchMsg
      key_on 94 Return ;;
    narrow)
      DISPLAY=:93 xdotool search --sync --onlyvisible --class navlet-browser \
        windowsize 500 "$window_height" ;;
  esac
  wait "$pid"
}

shot friends-online-offline friends
shot call-line call
shot narrow-500 narrow
echo "Screenshots in $out"
