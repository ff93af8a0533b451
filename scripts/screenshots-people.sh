#!/usr/bin/env bash
# Takes the screenshots of the bar as people meet it: the friends panel with
# one friend here, one online elsewhere and one offline, a call on the ticker
# with its buttons, the report box over the bar, and the bar at
# navlet-browser's minimum width of 500 pixels. Four accounts on a
# navlet-server on free loopback ports: demo (the one shown) lists anna, bert
# and carl as friends; anna signs in on demo's site and calls demo, bert (a
# navlet-chatbot) is on another site, carl stays offline.
#
#   scripts/screenshots-people.sh [BUILD_DIR] [OUT_DIR]
#
# Needs xvfb, xdotool, xwd and sqlite3 (the friends go straight into the
# store).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
out=$(realpath -m "${2:-docs/screenshots}")
for tool in Xvfb xdotool xwd sqlite3; do
  command -v $tool >/dev/null || { echo "screenshots-people.sh needs $tool" >&2; exit 1; }
done
mkdir -p "$out"
source scripts/lib/harness.sh
for who in "demo m" "anna f" "bert m" "carl m"; do
  set -- $who
  "$server" --data "$work/data" account add "$1" "$1" --gender "$2" >/dev/null
done
db=$work/data/navlet.db
sqlite3 "$db" "INSERT INTO friends SELECT d.id, f.id FROM accounts d, accounts f
               WHERE d.nick = 'demo' AND f.nick IN ('anna', 'bert', 'carl');"
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
# bert, online on another site for the whole run.
"$build/tools/chatbot/navlet-chatbot" --server "$session" --nick bert --password bert \
  --site "localhost:${web##*:}" --step-timeout 600 --wait-user nobody >"$work/bert.log" 2>&1 &
pids+=($!)

# shot NAME ACTION: one run of demo's browser, saved after 22 seconds (the
# report box, a window of its own, is taken from the whole display instead).
shot() {
  local file=$out/$1.png
  [ "$2" = report ] && file=$work/$1-window.png
  DISPLAY=:93 XDG_CONFIG_HOME="$work/demo" "$browser" --screenshot "$file" --after 22 \
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
    report)
      sleep 2; click 93 572 23                  # anna's entry in the users list
      sleep 1; key_on 93 Up; key_on 93 Return   # the menu's last item: "Report this user..."
      local box
      box=$(DISPLAY=:93 xdotool search --sync --name "Report anna" | head -1)
      sleep 1
      DISPLAY=:93 xdotool mousemove --window "$box" 60 58 click 1    # "Harassment"
      DISPLAY=:93 xdotool mousemove --window "$box" 150 139 click 1  # the line of words
      type_on 93 "keeps sending links"; sleep 1
      DISPLAY=:93 xwd -root -silent | scripts/lib/xwd_png.py "$out/$1.png"
      key_on 93 Escape ;;
    narrow)
      DISPLAY=:93 xdotool search --sync --onlyvisible --class navlet-browser \
        windowsize 500 "$window_height" ;;
  esac
  wait "$pid"
}

shot friends-here-online-offline friends
shot report-box report
shot call-line call
shot narrow-500 narrow
echo "Screenshots in $out"
