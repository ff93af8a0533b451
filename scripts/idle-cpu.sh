#!/usr/bin/env bash
# The bar's idle cost on Linux, for comparison with the browser extension's
# panel (tests/web/extension_test.mjs --measure): navlet-browser under Xvfb,
# signed in on the service's start page with the ticker running, and the CPU
# time its process takes over 30 seconds (utime + stime from /proc; the
# process holds the bar's widgets and WebEngine's browser side, not the
# page's renderer, which runs in its own process and is counted apart).
#
#   scripts/idle-cpu.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/default}")
source scripts/lib/harness.sh
"$server" --data "$work/data" account add demo demo >/dev/null
"$server" --data "$work/data" account add watcher watch >/dev/null
"$server" --data "$work/data" --listen "$session" --web "$web" --admin "$admin" \
  >"$work/server.log" 2>&1 &
pids+=($!)
Xvfb :93 -screen 0 1100x800x24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
export DISPLAY=:93 XDG_CONFIG_HOME=$work/config
export QTWEBENGINE_CHROMIUM_FLAGS="--no-sandbox --disable-gpu"
export NAVLET_SERVER=$session NAVLET_WEB=$web
"$browser" --register "$module"
"$browser" "http://$web/" >"$work/browser.log" 2>&1 &
pid=$!
pids+=("$pid")
sleep 9
# The login panel's boxes, as scripts/screenshots.sh signs in.
bar_top=$((720 - 114))
xdotool mousemove 460 $((bar_top + 48)) click 1; sleep 0.3; xdotool type demo
xdotool mousemove 460 $((bar_top + 78)) click 1; sleep 0.3; xdotool type demo; xdotool key Return
sleep 10
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
renderers() { pgrep -P "$pid" -f QtWebEngineProcess | while read -r c; do pgrep -P "$c"; echo "$c"; done; }
sum_renderers() { local t=0; for c in $(renderers); do t=$((t + $(ticks "$c"))); done; echo $t; }
hz=$(getconf CLK_TCK)
b0=$(ticks "$pid"); r0=$(sum_renderers)
sleep 30
b1=$(ticks "$pid"); r1=$(sum_renderers)
awk -v b=$((b1 - b0)) -v r=$((r1 - r0)) -v hz="$hz" 'BEGIN {
  printf "navlet-browser process: %.0f ms CPU in 30 s (%.2f %% of one core)\n", b * 1000 / hz, b * 100 / hz / 30
  printf "its WebEngine helpers:  %.0f ms CPU in 30 s (%.2f %% of one core)\n", r * 1000 / hz, r * 100 / hz / 30 }'
# Signed in: a bot on the same site finds the bar's user there.
if "$build/tools/chatbot/navlet-chatbot" --server "$session" --nick watcher --password watch \
     --site "$web" --step-timeout 5 --wait-user demo >/dev/null 2>&1; then
  echo "(the bar was signed in)"
else
  echo "the bar was not signed in: the numbers above do not count" >&2
  exit 1
fi
