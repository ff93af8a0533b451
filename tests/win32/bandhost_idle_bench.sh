#!/usr/bin/env bash
# How busy the band container keeps the machine while its bar sits signed in
# with the ticker running: navlet-bandhost hosting the registered module
# under wine64 and a private Xvfb, against navlet-server on loopback. A
# measurement to read, not a test.
#
#   tests/win32/bandhost_idle_bench.sh [SECONDS]        (default 30)
#
# Needs the default build's navlet-server and the mingw-x64 build. Prints the
# container's CPU time over the idle window as the process sees it
# (GetProcessTimes, which under wine counts less) and as the host sees it
# (/proc/PID/stat of the wine process), and beside it the time of the wineserver that serves the prefix,
# which does part of every wine program's work.
set -euo pipefail
cd "$(dirname "$0")/../.."
# The script runs itself again beside the server and on the display: --inside.
inside=""
if [ "${1:-}" = --inside ]; then
    inside=1
    shift
fi
seconds=${1:-30}
[[ "$seconds" =~ ^[0-9]+$ ]] && [ "$seconds" -ge 1 ] && [ "$seconds" -le 600 ] ||
    { echo "usage: $0 [SECONDS, 1 to 600]" >&2; exit 2; }
root=$PWD
server=$root/build/default/server/navlet-server
bandhost=$root/build/mingw-x64/tests/win32/navlet-bandhost.exe
module=$root/build/mingw-x64/client/win32/module/Navlet_Client.ocx
prefix=$root/build/mingw-x64/wine
for file in "$server" "$bandhost" "$module"; do
    [ -f "$file" ] || { echo "bandhost_idle_bench: no $file (build it first)" >&2; exit 1; }
done
wine=("$root/scripts/wine-env.sh" "$prefix" /usr/lib/wine/wine64)
if [ -z "$inside" ]; then
    "${wine[@]}" # makes the prefix when it is missing
    exec tests/win32/with_server.sh "$server" xvfb-run -a -s "-screen 0 1024x768x24" \
        "$0" --inside "$seconds"
fi

module_path="Z:${module//\//\\}"
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# CPU seconds (user + system) of a host process from /proc/PID/stat.
cpu_of() {
    local fields
    read -r -a fields <<<"$(sed 's/.*) //' "/proc/$1/stat")"
    # After the command name: state is field 3, utime field 14, stime field 15.
    echo $(( fields[11] + fields[12] ))
}
# The wineserver of this prefix works in a folder named after the prefix's
# device and inode (/tmp/wine-XXXXXX/server-DEV-INODE on Debian).
wineserver_pid() {
    local name pid
    local dev inode
    read -r dev inode < <(stat -c '%d %i' "$prefix")
    name=$(printf 'server-%x-%x' "$dev" "$inode")
    for pid in /proc/[0-9]*; do
        pid=${pid#/proc/}
        case "$(readlink "/proc/$pid/cwd" 2>/dev/null)" in
        */"$name")
            case "$(cat "/proc/$pid/comm" 2>/dev/null)" in
            wineserver*) echo "$pid"; return 0 ;;
            esac ;;
        esac
    done
    return 0
}
wait_for_line() {
    for _ in $(seq 600); do
        grep -q "$1" "$log" && return 0
        sleep 0.1
    done
    return 1
}

run() {
    "${wine[@]}" regsvr32 /s "$module_path"
    "${wine[@]}" reg delete 'HKCU\Software\Navlet' /f >/dev/null 2>&1 || true
    "${wine[@]}" "$bandhost" --url http://www.example.com/news/ --show \
        --wait-shown LoginPanel --type edNck alice --type edPwd apple1 --click sbLogin \
        --wait-user alice --wait 2000 --idle "$((seconds * 1000))" --close >"$log" 2>&1 &
    # wine-env.sh and the wine loader replace themselves with the program:
    # this is the container's process on the host.
    local host=$!
    wait_for_line "idle begins" || { cat "$log"; kill "$host"; return 1; }
    local pid server_pid tick
    pid=$host
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q navlet-bandhost ||
        { echo "bandhost_idle_bench: process $pid is not the container" >&2; return 1; }
    server_pid=$(wineserver_pid)
    tick=$(getconf CLK_TCK)
    local before server_before
    before=$(cpu_of "$pid")
    server_before=$([ -n "$server_pid" ] && cpu_of "$server_pid" || echo 0)
    wait_for_line "idle ends" || { cat "$log"; kill "$host"; return 1; }
    local used server_used
    used=$(( $(cpu_of "$pid") - before ))
    server_used=$([ -n "$server_pid" ] && echo $(( $(cpu_of "$server_pid") - server_before )) || echo 0)
    wait "$host" || true
    "${wine[@]}" regsvr32 /s /u "$module_path"
    "${wine[@]}" reg delete 'HKCU\Software\Navlet' /f >/dev/null 2>&1 || true
    grep -E "waited user|idle ends" "$log"
    awk -v u="$used" -v s="$server_used" -v t="$tick" -v n="$seconds" \
        -v p="$pid" -v w="${server_pid:-none}" 'BEGIN {
        printf "container process %s (host /proc): %.2f s CPU in %d s (%.2f %% of one core)\n",
            p, u / t, n, 100 * u / t / n
        if (w == "none") { print "wineserver of the prefix: not found"; exit }
        printf "wineserver %s of the prefix: %.2f s CPU in %d s (%.2f %% of one core)\n",
            w, s / t, n, 100 * s / t / n
    }'
}
run
