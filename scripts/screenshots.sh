#!/usr/bin/env bash
# Takes the screenshots in docs/screenshots: navlet-browser under Xvfb with
# the bar at its default height, signed out, signed in with a chat, with the
# search panel, with the friends panel, and minimised. Two accounts sign in on
# their own displays and chat through a navlet-server on free loopback ports;
# xdotool types and clicks as a person would.
#
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]
#
# Needs xvfb and xdotool. BAR_HEIGHT (default 114) is the bar's default height
# in the build; the clicks are placed from the bottom of the window up.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
out=$(realpath -m "${2:-docs/screenshots}")
for tool in Xvfb xdotool; do
  command -v $tool >/dev/null || { echo "screenshots.sh needs $tool" >&2; exit 1; }
done
mkdir -p "$out"
source scripts/lib/harness.sh
"$server" --data "$work/data" account add demo demo --gender m >/dev/null
"$server" --data "$work/data" account add anna anna --gender f >/dev/null
start_server
start_displays 91 92
window_height=720 # navlet-browser's default window
bar_height=${BAR_HEIGHT:-114}
bar_top=$((window_height - bar_height))
chat_line=$((bar_height - 7)) # Edit1, along the bottom of the chat tabs

for who in demo anna; do
  XDG_CONFIG_HOME="$work/$who" "$browser" --register "$module"
done


# shot NAME ACTION: one run of demo's browser, saved after 22 seconds.
shot() {
  DISPLAY=:91 XDG_CONFIG_HOME="$work/demo" "$browser" --screenshot "$out/$1.png" --after 22 \
    "http://$web/" >"$work/$1.log" 2>&1 &
  local pid=$!
  sleep 9
  case "$2" in
    signed-out) ;;
    chat)
      sign_in 91 demo; sleep 4
      click 91 100 "$chat_line"; type_on 91 "hi anna, nice page"; key_on 91 Return; sleep 2.5
      click 92 100 "$chat_line"; type_on 92 "hello demo! I just got here too"; key_on 92 Return ;;
    search) sleep 4; click 91 548 7 ;;  # SearchBtn
    friends) sleep 4; click 91 565 7 ;; # FriendsBtn
    minimised) sleep 4; click 91 998 7 ;; # ResizeBtn
  esac
  wait "$pid"
}

# anna stays on the site for the whole run.
DISPLAY=:92 XDG_CONFIG_HOME="$work/anna" "$browser" "http://$web/" >"$work/anna.log" 2>&1 &
pids+=($!)
sleep 9
sign_in 92 anna
sleep 3

shot signed-out signed-out
shot signed-in-chat chat # demo's stored login signs the next runs in by itself
shot search-panel search
shot friends-panel friends
shot minimised minimised
echo "Screenshots in $out"
