#!/usr/bin/env bash
# The shipped way in, end to end: the module registered with regsvr32 in the
# wine prefix, created by navlet-bandhost through the registry, against
# navlet-server on loopback, with navlet-chatbot (a protocol user of our
# tools) as the other person on the site. Run it through with_server.sh, which
# gives NAVLET_SERVER and the accounts, on an X display:
#
#   bandhost_e2e.sh CHATBOT BANDHOST MODULE OUT_DIR WINE_ENV PREFIX WINE
#
# The first bar finds no stored sign-in and shows its login panel; the user
# types alice's nick and password and clicks "sign in", and the module stores
# them. A second bar in the container (a new browser window) signs in from
# those settings, sees the bot on the site, answers its public line, takes
# its invitation into a private chat and writes there, and accepts its call
# with a click on the ticker's button. Then the browser moves to another
# site: the bar reports it, and its list holds only its own user. Back on the
# bot's site, the users menu (opened with a right click on an entry, as its
# user opens it) offers ignore, block and "Report this user..." for the bot
# and not for the bar's own user; the bar reports the bot for spam through
# the report box that item opens, with a few words (the server thanks in the
# ticker, and the box's "Also ignore this user" ignores the bot: the menu then
# offers "Stop ignoring") and blocks it, and the bot no longer lists the bar's
# user. Screenshots of the login panel, of the signed-in bar, of the users
# menu open over it and of the filled report box go to OUT_DIR as PNG files.
set -euo pipefail

if [ $# -lt 7 ]; then
    echo "usage: $0 CHATBOT BANDHOST MODULE OUT_DIR WINE_ENV PREFIX WINE" >&2
    exit 2
fi
chatbot=$1 bandhost=$2 module=$3 out=$4
wine=("${@:5}")
: "${NAVLET_SERVER:?run through tests/win32/with_server.sh}"
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
work=$(mktemp -d)
source "$here/bar_with_peer.sh"
register_module "$module"

start_bot --wait-user alice \
    --say "hello from the bot" \
    --expect-public alice "hello back from the bar" \
    --invite alice \
    --expect-private alice "a private hello from the bar" \
    --call alice "come over" \
    --wait-gone alice \
    --wait-user alice \
    --wait-gone alice

page=http://www.example.com/news/
# The users menu's safety items: for another user each can be used; on the
# bar's own entry none can. The report's reason, words and "Also ignore this
# user" are asked by the box that its item opens.
report="Report this user..."
safety_items=("Ignore this user" "Block this user" "$report")
own_entry=() other_entry=()
for item in "${safety_items[@]}"; do
    own_entry+=(--menu-item "$item" disabled)
    other_entry+=(--menu-item "$item" enabled)
done
own_entry+=(--menu-item "View Profile" enabled)
# The bar's send button refuses a line within two seconds of the last one
# (--wait 2100), as its user sees.
run_host 300 --url "$page" --show \
    --wait-shown LoginPanel --band-shot "$(windows_path "$out/win32-band-login.bmp")" \
    --type edNck alice --type edPwd apple1 --click sbLogin \
    --wait-user alice --close \
    --new --url "$page" --show --wait-user alice \
    --wait-user bob --wait-chat "hello from the bot" --say "hello back from the bar" \
    --wait-tabs 2 --tab 1 --wait 2100 --say "a private hello from the bar" --tab 0 \
    --accept \
    --band-shot "$(windows_path "$out/win32-band-signed-in.bmp")" \
    --move http://elsewhere.example/ --wait-gone bob --wait-user alice \
    --move "$page" --wait-user bob \
    --users-menu alice - \
    "${own_entry[@]}" \
    --menu-shot "$(windows_path "$out/win32-band-users-menu.bmp")" \
    --users-menu bob - \
    "${other_entry[@]}" \
    --report-box Spam "the same link in every line" \
    --report-shot "$(windows_path "$out/win32-band-report-box.bmp")" \
    --users-menu bob "$report" \
    --wait-status "Thank you: the operators will look at it." \
    --users-menu bob "Block this user" --menu-item "Stop ignoring" enabled --wait-gone bob \
    --close

png_shots "$out" win32-band-login win32-band-signed-in win32-band-users-menu \
    win32-band-report-box
[ "$host_status" -eq 0 ] && [ "$peer_status" -eq 0 ]
