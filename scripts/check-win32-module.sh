#!/bin/sh
# Checks a Windows module just built: the file kind, the four COM exports and
# the uninstaller's two custom actions, the TYPELIB resource and the version block
# as the bar's own reader sees it. The
# build runs it after linking Navlet_Client.ocx, so a wrong module fails the
# build.
#
#   scripts/check-win32-module.sh MODULE KIND OBJDUMP VERREAD VERSION
#
# KIND     "PE32" (i686, the shipped module) or "PE32+" (x86-64)
# OBJDUMP  the tool chain's objdump; VERREAD the build machine's version reader
set -eu

if [ $# -ne 5 ]; then
    echo "usage: $0 MODULE KIND OBJDUMP VERREAD VERSION" >&2
    exit 2
fi
module=$1 kind=$2 objdump=$3 verread=$4 version=$5
fail() { echo "check-win32-module: $module: $*" >&2; exit 1; }

description=$(file -b "$module")
case "$description" in
    "$kind executable (DLL)"*) ;;
    *) fail "not a $kind DLL: $description" ;;
esac

headers=$("$objdump" -p "$module")
for export in DllGetClassObject DllCanUnloadNow DllRegisterServer DllUnregisterServer \
    NavletRemoveUpdates NavletRemoveSettings; do
    echo "$headers" | grep -Eq "^[[:space:]]+\[ *[0-9]+\] $export\$" || fail "no export $export"
done
echo "$headers" | grep -q 'Entry: name: .*: TYPELIB' || fail "no TYPELIB resource"

found=$("$verread" "$module" FileVersion) || fail "no version block"
[ "$found" = "$version" ] || fail "FileVersion $found, expected $version"
echo "check-win32-module: $module: $kind DLL, six exports, TYPELIB, FileVersion $found"
