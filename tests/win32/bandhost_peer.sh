#!/usr/bin/env bash
# The Windows bar as one more person on a site, for a driver outside this
# folder (the browser test): the module registered with regsvr32 in the wine
# prefix with no stored sign-in, navlet-bandhost run with the given steps
# beside NAVLET_SERVER for at most SECONDS, its log printed, the module
# unregistered again. Needs an X display. Exits with navlet-bandhost's code.
#
#   bandhost_peer.sh BANDHOST MODULE SECONDS WINE_ENV PREFIX WINE -- STEP...
set -euo pipefail

if [ $# -lt 5 ]; then
    echo "usage: $0 BANDHOST MODULE SECONDS WINE_ENV PREFIX WINE -- STEP..." >&2
    exit 2
fi
bandhost=$1 module=$2 seconds=$3
shift 3
wine=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    wine+=("$1")
    shift
done
[ $# -gt 0 ] && shift
: "${NAVLET_SERVER:?give the session server as ADDR:PORT}"
# Wine turns the command line into wide characters with the locale's code
# set: UTF-8, as the driver writes them.
export LC_ALL=C.UTF-8
work=$(mktemp -d)
source "$(cd "$(dirname "$0")" && pwd)/bar_with_peer.sh"
register_module "$module"
drive_bar bandhost.log "$seconds" "$@"
print_log navlet-bandhost "$host_status" bandhost.log
exit "$host_status"
