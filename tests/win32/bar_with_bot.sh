# Sourced by the end-to-end scripts that drive the bar in navlet-bandhost
# with navlet-chatbot as bob, the other person on the site. Expects chatbot,
# bandhost, wine (an array) and work; sets bot_pid, host_status, bot_status.

# Wine reaches the build tree through its drive Z:, the file system's root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Starts bob in the background with the given steps. Each step of either side
# waits at most a minute; the whole run is bounded.
start_bot() {
    timeout 240 "$chatbot" --nick bob --password banana2 --site www.example.com/chat \
        "$@" >"$work/bot.log" 2>&1 &
    bot_pid=$!
}

# Runs navlet-bandhost with the given steps, then waits for the bot and
# prints both logs.
run_host() {
    host_status=0
    timeout 240 "${wine[@]}" "$bandhost" "$@" >"$work/bandhost.log" 2>&1 || host_status=$?
    # The bot waits for what the bar no longer does after a failed step: stop it.
    [ "$host_status" -eq 0 ] || kill "$bot_pid" 2>/dev/null || true
    bot_status=0
    wait "$bot_pid" || bot_status=$?
    bot_pid=""
    echo "-- navlet-bandhost (exit $host_status)"
    cat "$work/bandhost.log"
    echo "-- navlet-chatbot (exit $bot_status)"
    cat "$work/bot.log"
}
