#!/bin/sh
# Adds to a package made by wixl the rows its package language cannot say,
# with msibuild (msitools):
#
#   finish-msi.sh PACKAGE
#
# - the empty keys the registration needs (the explorer bar's category, the
#   control and verb markers), made on install and removed on uninstall;
# - every tree of ours removed on uninstall, whatever it holds by then: the
#   class (which a self-update re-points at a newer module), the ProgID, the
#   type library and its interfaces;
# - the bar's settings in both the normal and the low-integrity key, by the
#   module's NavletRemoveSettings, only when the product goes for good and
#   not when a newer package replaces it;
# - the files a self-update leaves beside the module: the download
#   Navlet_Client.upd and the installed Navlet_Client_XXXXXXXX.ocx files, by
#   wildcard rows, and by the module's own NavletRemoveUpdates, a custom
#   action run on uninstall before any file goes (wine's installer deletes
#   no wildcard names; it also clears the protected bar's download folder).
set -eu
msi=$1

classes='Software\Classes'
cls="$classes"'\CLSID\{5E0A7C21-6B3D-4F19-9A42-C8D17E05B3A6}'
libid='{5E0A7C20-6B3D-4F19-9A42-C8D17E05B3A6}'
catid='{00021494-0000-0000-C000-000000000046}'

# MSI's names for a key row without a value: "*" makes the key on install
# and removes it on uninstall, "-" removes the whole tree on uninstall.
key_row() { # ID KEY NAME
    printf "INSERT INTO \`Registry\` (\`Registry\`,\`Root\`,\`Key\`,\`Name\`,\`Component_\`) VALUES ('%s',1,'%s','%s','Module')" \
        "$1" "$2" "$3"
}
file_row() { # ID NAME
    printf "INSERT INTO \`RemoveFile\` (\`FileKey\`,\`Component_\`,\`FileName\`,\`DirProperty\`,\`InstallMode\`) VALUES ('%s','Module','%s','INSTALLDIR',2)" \
        "$1" "$2"
}

# A DLL the package installs (1 + 16), its result ignored (64): an uninstall
# never stops on it. It runs right after InstallInitialize (1500), while the
# module is still there.
ca_type=81

msibuild "$msi" \
    -q "$(key_row CommBandCategory "$cls\\Implemented Categories\\$catid" '*')" \
    -q "$(key_row ControlKey "$cls\\Control" '*')" \
    -q "$(key_row VerbKey "$cls\\Verb" '*')" \
    -q "$(key_row RemoveClass "$cls" '-')" \
    -q "$(key_row RemoveProgId "$classes\\Navlet_Client.Navlet" '-')" \
    -q "$(key_row RemoveTypeLib "$classes\\TypeLib\\$libid" '-')" \
    -q "$(key_row RemoveINavlet "$classes\\Interface\\{5E0A7C22-6B3D-4F19-9A42-C8D17E05B3A6}" '-')" \
    -q "$(key_row RemoveINavletEvents "$classes\\Interface\\{5E0A7C23-6B3D-4F19-9A42-C8D17E05B3A6}" '-')" \
    -q "$(file_row RemoveDownload Navlet_Client.upd)" \
    -q "$(file_row RemoveUpdates 'Navlet_Client_*.ocx')" \
    -q "INSERT INTO \`CustomAction\` (\`Action\`,\`Type\`,\`Source\`,\`Target\`) VALUES ('RemoveUpdateLeftovers',$ca_type,'Navlet_Client.ocx','NavletRemoveUpdates')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`,\`Condition\`,\`Sequence\`) VALUES ('RemoveUpdateLeftovers','REMOVE=\"ALL\"',1550)" \
    -q "INSERT INTO \`CustomAction\` (\`Action\`,\`Type\`,\`Source\`,\`Target\`) VALUES ('RemoveSettings',$ca_type,'Navlet_Client.ocx','NavletRemoveSettings')" \
    -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`,\`Condition\`,\`Sequence\`) VALUES ('RemoveSettings','REMOVE=\"ALL\" AND NOT UPGRADINGPRODUCTCODE',1551)"
