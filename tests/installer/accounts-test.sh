#!/bin/bash
# Windows 11's step for every account, under Wine (with a setup program built to take Wine
# for Windows 11): setup keeps the classic menu keys for everyone and writes the Active Setup
# entry that registers the package at each account's next sign-in; Wine has no PowerShell,
# so this account's own registration fails, is logged, and fails nothing. The uninstaller
# takes the entry away, so that no account registers the package again.
#
# Environment (tests/installer/CMakeLists.txt): SETUP, VERSION, CLSID, COMMAND_CLSID, WORK,
# REPO.
set -u
. "$(dirname "$0")/fresh-prefix.sh"
value() {  # key name
    wine64 reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' |
        sed -n 's/^    .*    REG_[A-Z_]*    //p' | head -n 1
}
active='HKLM\Software\Microsoft\Active Setup\Installed Components\'"$COMMAND_CLSID"
install_dir='C:\Program Files\Veltrane'

wine64 "$(winpath "$SETUP")" /S
check "setup /S exits with 0" test $? -eq 0
check "the Active Setup entry is installed" test "$(value "$active" IsInstalled)" = 0x1
check "its version is ${VERSION//./,}" test "$(value "$active" Version)" = "${VERSION//./,}"
stub=$(value "$active" StubPath)
check "its command registers the package from the install folder ($stub)" \
    sh -c 'case "$1" in *"Add-AppxPackage -Path '"'"'$2\veltrane.msix'"'"' -ExternalLocation '"'"'$2'"'"'"*) exit 0;; esac; exit 1' \
    _ "$stub" "$install_dir"
check "the classic menu keys stay for every account" \
    test "$(wine64 reg query 'HKCR\*\shellex\ContextMenuHandlers\Veltrane' /ve /reg:64 2>/dev/null |
        tr -d '\r' | sed -n 's/^    .*    REG_SZ    //p')" = "$CLSID"
log="$WINEPREFIX/drive_c/Program Files/Veltrane/setup.log"
check "setup.log says this account's registration failed and the others follow at sign-in" \
    grep -q "could not be registered for this account.*next sign-in (Active Setup)" "$log"

# NSIS's uninstaller copies itself away and returns at once, unless _?= names its folder;
# _?= must reach it unquoted, so cmd passes the command line as written.
cp "$WINEPREFIX/drive_c/Program Files/Veltrane/uninstall.exe" "$WORK/uninstall-copy.exe"
wine64 cmd /c "$(winpath "$WORK/uninstall-copy.exe") /S _?=$install_dir" >/dev/null 2>&1
check "uninstall /S exits with 0" test $? -eq 0
check "the uninstaller takes the Active Setup entry away" \
    sh -c '! /usr/lib/wine/wine64 reg query "$1" /reg:64 >/dev/null 2>&1' _ "$active"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
