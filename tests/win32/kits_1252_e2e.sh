#!/usr/bin/env bash
# The code page between the two kits, end to end: a Linux bar (the Qt kit,
# offscreen) as bob and the Windows bar (the module in navlet-bandhost under
# wine) as alice, on one site of navlet-server on loopback. The Linux bar
# types the 27 characters Windows-1252 puts in 0x80-0x9F into its chat line
# and sends them; the Windows bar must show exactly those characters and
# answers with them, and the answer must arrive on the Linux bar unchanged.
# A kit that took the bytes for Latin-1 shows C1 control characters instead.
# Run it through with_server.sh, on an X display:
#
#   kits_1252_e2e.sh QT_PEER BANDHOST MODULE WINE_ENV PREFIX WINE
set -euo pipefail

if [ $# -lt 6 ]; then
    echo "usage: $0 QT_PEER BANDHOST MODULE WINE_ENV PREFIX WINE" >&2
    exit 2
fi
peer=$1 bandhost=$2 module=$3
wine=("${@:4}")
: "${NAVLET_SERVER:?run through tests/win32/with_server.sh}"
# Wine turns the command line into wide characters with the locale's code
# set: UTF-8, as the Linux side writes them.
export LC_ALL=C.UTF-8
work=$(mktemp -d)
source "$(cd "$(dirname "$0")" && pwd)/bar_with_peer.sh"
register_module "$module"

# Every assigned character of 0x80-0x9F (0x81, 0x8D, 0x8F, 0x90 and 0x9D
# hold none), written here by their Unicode code points.
high=""
for c in 20AC 201A 0192 201E 2026 2020 2021 02C6 2030 0160 2039 0152 017D \
         2018 2019 201C 201D 2022 2013 2014 02DC 2122 0161 203A 0153 017E 0178; do
    high+=$(printf "\\u$c")
done
[ "${#high}" -eq 27 ] || { echo "kits_1252_e2e: the line holds ${#high} characters" >&2; exit 1; }

start_peer navlet-qt-peer 150 "$peer" bob banana2 alice "$high" "back $high"
run_host 150 --url http://www.example.com/news/ --show \
    --wait-shown LoginPanel --type edNck alice --type edPwd apple1 --click sbLogin \
    --wait-user alice --wait-user bob --wait-chat "$high" --say "back $high" \
    --wait 1000 --close
[ "$host_status" -eq 0 ] && [ "$peer_status" -eq 0 ]
