# shellcheck shell=bash
# Sourced by the end-to-end scripts that drive the bar in navlet-bandhost
# under wine beside the other person on the site (navlet-chatbot as bob, or a
# Linux bar). Expects bandhost, wine (an array) and work, and sets the exit
# trap: the peer is stopped, a module registered here is unregistered with
# the sign-in forgotten, a script's own `cleanup_more` runs, and work goes.
# Sets peer_pid, host_status and peer_status.

# What the sourcing script sets.
: "${bandhost:?}" "${work:?}" "${wine[0]:?}"

# Wine reaches the build tree through its drive Z:, the file system's root.
windows_path() { printf 'Z:%s' "${1//\//\\}"; }

# Another test's sign-in may be left in the shared prefix.
forget_sign_in() {
    "${wine[@]}" reg delete 'HKCU\Software\Navlet' /f >/dev/null 2>&1 || true
}

peer_pid=""
peer_name=""
registered_module=""
cleanup() {
    [ -z "$peer_pid" ] || kill "$peer_pid" 2>/dev/null || true
    if [ -n "$registered_module" ]; then
        "${wine[@]}" regsvr32 /s /u "$registered_module" >/dev/null 2>&1 || true
        forget_sign_in
    fi
    if declare -F cleanup_more >/dev/null; then cleanup_more; fi
    rm -rf "$work"
}
trap cleanup EXIT

# Registers MODULE as regsvr32 does for its users, with no stored sign-in.
register_module() {
    registered_module=$(windows_path "$(realpath "$1")")
    "${wine[@]}" regsvr32 /s "$registered_module"
    forget_sign_in
}

# Starts the peer in the background: NAME names its log in work, SECONDS
# bounds the whole of its run (each of its steps waits at most a minute).
start_peer() {
    peer_name=$1
    local seconds=$2
    shift 2
    timeout "$seconds" "$@" >"$work/$peer_name.log" 2>&1 &
    peer_pid=$!
}

# bob, as navlet-chatbot (from $chatbot) with the given steps.
start_bot() {
    start_peer navlet-chatbot 300 "${chatbot:?}" --nick bob --password banana2 \
        --site www.example.com/chat "$@"
}

# Runs navlet-bandhost with the given steps, bounded by SECONDS, its output
# in work/LOG. Sets host_status.
drive_bar() {
    local log=$1 seconds=$2
    shift 2
    host_status=0
    timeout "$seconds" "${wine[@]}" "$bandhost" "$@" >"$work/$log" 2>&1 || host_status=$?
}

# Prints a log of work under a heading that names whose it is and how it ended.
print_log() { echo "-- $1 (exit $2)"; cat "$work/$3"; }

# Drives the bar beside the started peer (see drive_bar), then waits for the
# peer and prints both logs.
run_host() {
    drive_bar bandhost.log "$@"
    # The peer waits for what the bar no longer does after a failed step: stop it.
    [ "$host_status" -eq 0 ] || kill "$peer_pid" 2>/dev/null || true
    peer_status=0
    wait "$peer_pid" || peer_status=$?
    peer_pid=""
    print_log navlet-bandhost "$host_status" bandhost.log
    print_log "$peer_name" "$peer_status" "$peer_name.log"
}

# Turns the band's screenshots NAME.bmp in DIR into NAME.png beside them;
# a shot a failed run did not take is passed over.
png_shots() {
    local dir=$1 shot
    shift
    for shot in "$@"; do
        if [ -f "$dir/$shot.bmp" ]; then
            python3 "$(dirname "${BASH_SOURCE[0]}")/bmp_to_png.py" "$dir/$shot.bmp" "$dir/$shot.png"
        fi
    done
}
