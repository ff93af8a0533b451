#!/usr/bin/env bash
# The bar as its users install it: the package installed for the current user
# with msiexec, navlet-bandhost finding the bar through CATID_CommBand in the
# per-user registration, signing in through the login panel and chatting with
# navlet-chatbot, the bar taking the update the server offers and re-pointing
# its per-user class, and msiexec /x leaving nothing of ours. Run it through
# with_server.sh (NAVLET_SERVER, the accounts; NAVLET_TEST_UPDATE the offered
# module) on an X display:
#
#   msi_e2e.sh CHATBOT BANDHOST PACKAGE PROTECTED_MODULE OUT_DIR WINE_ENV PREFIX WINE
#
# PROTECTED_MODULE is the test build of the module that runs as in Internet
# Explorer's Protected Mode (the shipped module asks only the platform, which
# wine cannot answer).
#
# The offered module is a small DLL carrying FileVersion 1.5.0.0, so that the
# download takes seconds: what is checked is its install beside the module
# and the class pointing at it, not a start of it. Everything of ours is
# listed before the install, after it and after the removal; the first and
# the last list must be empty.
set -euo pipefail

if [ $# -lt 8 ]; then
    echo "usage: $0 CHATBOT BANDHOST PACKAGE PROTECTED_MODULE OUT_DIR WINE_ENV PREFIX WINE" >&2
    exit 2
fi
chatbot=$1 bandhost=$2 package=$3 protected_module=$4 out=$5
prefix=$7
wine=("${@:6}")
: "${NAVLET_SERVER:?run through tests/win32/with_server.sh}"
: "${NAVLET_TEST_UPDATE:?the module the server offers}"
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
work=$(mktemp -d)
source "$here/bar_with_peer.sh"
package_path=$(windows_path "$(realpath "$package")")
reg() { "${wine[@]}" reg "$@" 2>/dev/null; }

clsid='{5E0A7C21-6B3D-4F19-9A42-C8D17E05B3A6}'
classes='HKCU\Software\Classes'
our_keys=(
    "$classes\\CLSID\\$clsid" "$classes\\Navlet_Client.Navlet"
    "$classes\\TypeLib\\{5E0A7C20-6B3D-4F19-9A42-C8D17E05B3A6}"
    "$classes\\Interface\\{5E0A7C22-6B3D-4F19-9A42-C8D17E05B3A6}"
    "$classes\\Interface\\{5E0A7C23-6B3D-4F19-9A42-C8D17E05B3A6}"
    'HKCU\Software\Navlet' 'HKCU\Software\AppDataLow\Software\Navlet'
    "HKCR\\CLSID\\$clsid"
)
# Every file and key of ours, one a line; the installed programs' entry by
# its display name (wine keeps a per-user product's entry with the machine's).
ours() {
    find "$prefix"/drive_c/users/*/AppData/Local/Programs/Navlet \
        "$prefix"/drive_c/users/*/AppData/LocalLow/Navlet -print 2>/dev/null |
        sed "s|^$prefix/drive_c|C:|" || true
    for key in "${our_keys[@]}"; do
        reg query "$key" >/dev/null && echo "key $key"
    done
    programs_entry | sed -n '1s/^/programs entry /p'
}
# The installed programs' entry whose DisplayName is "Navlet", key and values.
programs_entry() {
    reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
        awk '/^HKEY/ { if (ours) exit; key = $0; n = 0 }
             /^ +DisplayName +REG_SZ +Navlet$/ { ours = 1; print key }
             /^ +/ { lines[n++] = $0 }
             END { if (ours) for (i = 0; i < n; i++) print lines[i] }'
}
# A failed run also takes away what the script itself put in the prefix (the
# Protected Mode build, the low-integrity download and key), or the next run
# finds it there before its install.
cleanup_more() {
    "${wine[@]}" msiexec /x "$package_path" /qn >/dev/null 2>&1 || true
    rm -f "$prefix"/drive_c/users/*/AppData/Local/Programs/Navlet/Navlet_Client_protected.ocx
    rmdir "$prefix"/drive_c/users/*/AppData/Local/Programs/Navlet 2>/dev/null || true
    rm -rf "$prefix"/drive_c/users/*/AppData/LocalLow/Navlet
    reg delete 'HKCU\Software\AppDataLow\Software\Navlet' /f >/dev/null || true
}
fail() { echo "msi_e2e: $*" >&2; exit 1; }

forget_sign_in
echo "-- ours before the install"
ours | tee "$work/before"
[ -s "$work/before" ] && fail "something of ours is there before the install"

"${wine[@]}" msiexec /i "$package_path" /qn || fail "msiexec /i failed"
echo "-- ours after the install"
ours | tee "$work/installed"
grep -q 'Programs/Navlet/Navlet_Client.ocx$' "$work/installed" || fail "no module installed"
grep -qF "key $classes\\CLSID" "$work/installed" || fail "no per-user class"
grep -q "key HKCR" "$work/installed" && fail "the package wrote the machine's classes"
entry=$(programs_entry)
grep -q 'DisplayVersion.*1\.4\.0\.0' <<<"$entry" || fail "no version in the programs entry"
grep -q 'Publisher.*Navlet' <<<"$entry" || fail "no publisher in the programs entry"

# The package's class is the one self-registration writes (values that are
# empty strings there are keys without a value here).
module_win=$(reg query "$classes\\CLSID\\$clsid\\InprocServer32" /ve | sed -n 's/.*REG_SZ *//p' | tr -d '\r')
normalised() { sed -e 's/^HKEY_CURRENT_USER\\Software\\Classes\\//' -e 's/^HKEY_CLASSES_ROOT\\//' \
    -e '/REG_SZ *\r\?$/d' -e '/^\r\?$/d' | tr -d '\r' | sort; }
reg query "$classes\\CLSID\\$clsid" /s | normalised >"$work/package.reg"
"${wine[@]}" regsvr32 /s "$module_win" || fail "regsvr32 of the installed module failed"
reg query "HKCR\\CLSID\\$clsid" /s | normalised >"$work/selfreg.reg"
"${wine[@]}" regsvr32 /s /u "$module_win" || true
diff "$work/selfreg.reg" "$work/package.reg" || fail "the package's class differs from self-registration"

start_bot --wait-user alice \
    --say "hello from the bot" \
    --expect-public alice "hello back from the bar" \
    --wait-gone alice

page=http://www.example.com/news/
run_host 240 --url "$page" --show \
    --wait-shown LoginPanel --type edNck alice --type edPwd apple1 --click sbLogin \
    --wait-user alice --wait-user bob --wait-chat "hello from the bot" \
    --say "hello back from the bar" --wait 1000 \
    --band-shot "$(windows_path "$out/win32-msi-signed-in.bmp")" \
    --wait-message "A new navlet version has been downloaded" \
    --close
png_shots "$out" win32-msi-signed-in
[ "$host_status" -eq 0 ] && [ "$peer_status" -eq 0 ] || fail "the bar did not sign in, chat and update"
grep -q 'from per-user classes' "$work/bandhost.log" || fail "the bar was not created from the per-user class"

# The update: beside the module, and the per-user class points at it; the
# machine's classes were not touched.
echo "-- ours after the update"
ours | tee "$work/updated"
grep -q 'Programs/Navlet/Navlet_Client_01050000.ocx$' "$work/updated" || fail "no installed update"
repointed=$(reg query "$classes\\CLSID\\$clsid\\InprocServer32" /ve | tr -d '\r')
grep -q 'Navlet_Client_01050000\.ocx' <<<"$repointed" || fail "the class was not re-pointed: $repointed"
grep -q "key HKCR" "$work/updated" && fail "the update wrote the machine's classes"

# Protected Mode, which wine cannot answer: the test build of the module
# that takes the protected case, in the installed module's folder, and the
# class pointed at it. No settings first; the update is offered again.
low='HKCU\Software\AppDataLow\Software\Navlet'
installed_dir=$(dirname "$(ls "$prefix"/drive_c/users/*/AppData/Local/Programs/Navlet/Navlet_Client.ocx)")
cp "$protected_module" "$installed_dir/Navlet_Client_protected.ocx"
reg add "$classes\\CLSID\\$clsid\\InprocServer32" /ve \
    /d "${module_win%\\*}\\Navlet_Client_protected.ocx" /f >/dev/null
rm -f "$installed_dir/Navlet_Client_01050000.ocx"
forget_sign_in
waiting="A new navlet version is available: it is installed the next time the bar signs in outside Protected Mode"
drive_bar protected.log 240 --url "$page" --show \
    --wait-shown LoginPanel --type edNck alice --type edPwd apple1 --click sbLogin \
    --wait-user alice --wait-status "$waiting" \
    --band-shot "$(windows_path "$out/win32-protected-waiting.bmp")" --close \
    --new --url "$page" --show --wait-user alice --close
print_log "navlet-bandhost, protected" "$host_status" protected.log
[ "$host_status" -eq 0 ] || fail "the protected bar did not sign in, sign in again and park its update"
png_shots "$out" win32-protected-waiting
echo "-- ours after the protected run"
ours | tee "$work/protected"
reg query "$low" /v nck | grep -q 'alice' || fail "the sign-in is not in the low-integrity key"
reg query 'HKCU\Software\Navlet' /v nck >/dev/null && fail "the protected bar wrote the normal key"
grep -q 'LocalLow/Navlet/Navlet_Client_01050000.ocx$' "$work/protected" || fail "no update waiting"
grep -q 'Programs/Navlet/Navlet_Client_01050000.ocx$' "$work/protected" &&
    fail "the protected bar wrote the module's folder"
reg query "$classes\\CLSID\\$clsid\\InprocServer32" /ve | grep -q 'Navlet_Client_01050000' &&
    fail "the protected bar re-pointed the class"
# The shipped module again for the rest.
rm -f "$installed_dir/Navlet_Client_protected.ocx"
reg add "$classes\\CLSID\\$clsid\\InprocServer32" /ve /d "$module_win" /f >/dev/null

# What waits in LocalLow any low-integrity program may replace: here it is,
# by a planted file that passes for the version. The next bar outside
# Protected Mode deletes it, signs in, downloads the version beside the
# module itself and re-points the class at that, as the status line said.
waiting_file=$(ls "$prefix"/drive_c/users/*/AppData/LocalLow/Navlet/Navlet_Client_01050000.ocx)
printf 'planted' >>"$waiting_file"
drive_bar unprotected.log 240 --url "$page" --show \
    --wait-shown LoginPanel --type edNck alice --type edPwd apple1 --click sbLogin \
    --wait-user alice --wait-message "A new navlet version has been downloaded" \
    --close
print_log "navlet-bandhost, not protected" "$host_status" unprotected.log
[ "$host_status" -eq 0 ] || fail "the next sign-in outside Protected Mode did not take the update"
ours | tee "$work/installed-later"
grep -q 'LocalLow/Navlet/Navlet_Client_01050000.ocx$' "$work/installed-later" &&
    fail "the file in LocalLow was left"
cmp "$NAVLET_TEST_UPDATE" \
    "$(ls "$prefix"/drive_c/users/*/AppData/Local/Programs/Navlet/Navlet_Client_01050000.ocx)" ||
    fail "the installed update is not the module the server serves"
reg query "$classes\\CLSID\\$clsid\\InprocServer32" /ve | grep -q 'Navlet_Client_01050000' ||
    fail "the class was not re-pointed at the update"

"${wine[@]}" msiexec /x "$package_path" /qn || fail "msiexec /x failed"
echo "-- ours after the removal"
ours | tee "$work/removed"
[ -s "$work/removed" ] && fail "the removal left these"
echo "msi_e2e: installed, signed in, chatted, updated (also in Protected Mode) and removed without a trace"
