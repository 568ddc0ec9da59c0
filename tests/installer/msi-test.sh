#!/bin/bash
# The MSI for fleets, end to end under Wine in a fresh 64-bit prefix of the test's own:
# a silent per-machine install puts every file and key in place (both registry views, the
# rows DllRegisterServer writes, as the setup program's test checks them), a second MSI of a
# higher version replaces the first in place, and a silent removal leaves nothing.
#
# Environment (tests/installer/CMakeLists.txt): VERSION, CLSID, COMMAND_CLSID, DIR64, DIR32,
# PACKAGE_DIR, WORK, REPO.
set -u
. "$(dirname "$0")/fresh-prefix.sh"

# The same files in both, a higher version in the second.
next_version=$(echo "$VERSION" | awk -F. '{ printf "%d.%d.%d.%d", $1, $2, $3, $4 + 1 }')
# As Windows Installer lists them: a.b.(c * 1000 + d), for it compares three fields only.
msi_version() { echo "$1" | awk -F. '{ printf "%d.%d.%d", $1, $2, $3 * 1000 + $4 }'; }
"$REPO/installer/msi/build-msi.sh" "$WORK/first.msi" "$VERSION" "$DIR64" "$DIR32" "$PACKAGE_DIR" &&
    "$REPO/installer/msi/build-msi.sh" "$WORK/second.msi" "$next_version" "$DIR64" "$DIR32" \
        "$PACKAGE_DIR" || { echo "the MSI could not be built"; exit 1; }

install_dir='C:\Program Files\Veltrane'
install_unix="$WINEPREFIX/drive_c/Program Files/Veltrane"
value() {  # view key name
    local which=(/ve)
    [ -n "$3" ] && which=(/v "$3")
    wine64 reg query "$2" "${which[@]}" "/reg:$1" 2>/dev/null | tr -d '\r' |
        sed -n 's/^    .*    REG_[A-Z_]*    //p' | head -n 1
}
expect_value() {  # view key name wanted
    local got
    got=$(value "$1" "$2" "$3")
    if [ "$got" = "$4" ]; then pass "$2 [${3:-default}] (view $1)"; else
        fail "$2 [${3:-default}] (view $1): '$got', expected '$4'"; fi
}
key_absent() { ! wine64 reg query "$1" "/reg:$2" >/dev/null 2>&1; }
approved='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
# The products of this upgrade code that Windows lists, with their versions.
products() {
    wine64 reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null |
        tr -d '\r' | awk '/^HKEY/ { key = $0 } /DisplayName +REG_SZ +Veltrane$/ { print key }'
}

wine64 msiexec /i "$(winpath "$WORK/first.msi")" /qn
check "msiexec /i /qn exits with 0" test $? -eq 0
for sub in x64 x86; do
    source=$DIR64
    [ $sub = x86 ] && source=$DIR32
    for name in veltrane.dll veltrane.chm pencil.avi veltrane.exe; do
        check "$sub\\$name installed" cmp -s "$source/$name" "$install_unix/$sub/$name"
    done
done
check "veltrane.msix installed" cmp -s "$PACKAGE_DIR/veltrane.msix" "$install_unix/veltrane.msix"
for view in 64 32; do
    sub=x64
    [ $view = 32 ] && sub=x86
    expect_value $view "HKCR\\CLSID\\$CLSID" "" "Veltrane"
    expect_value $view "HKCR\\CLSID\\$CLSID\\InProcServer32" "" "$install_dir\\$sub\\veltrane.dll"
    expect_value $view "HKCR\\CLSID\\$CLSID\\InProcServer32" ThreadingModel "Apartment"
    expect_value $view "HKCR\\CLSID\\$COMMAND_CLSID\\InProcServer32" "" "$install_dir\\$sub\\veltrane.dll"
    expect_value $view "$approved" "$CLSID" "Veltrane"
done
expect_value 64 'HKCR\*\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"
expect_value 64 'HKCR\Directory\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"
expect_value 64 'HKCR\Drive\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"
expect_value 64 'HKCR\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"
first=$(products)
check "one product is listed" test "$(printf '%s\n' "$first" | grep -c .)" -eq 1
check "listed with version $(msi_version "$VERSION")" \
    test "$(value 64 "$first" DisplayVersion)" = "$(msi_version "$VERSION")"

wine64 msiexec /i "$(winpath "$WORK/second.msi")" /qn
check "the higher version installs over the first (exit 0)" test $? -eq 0
second=$(products)
check "still one product after the upgrade" test "$(printf '%s\n' "$second" | grep -c .)" -eq 1
check "listed with version $(msi_version "$next_version")" \
    test "$(value 64 "$second" DisplayVersion)" = "$(msi_version "$next_version")"
check "the files stayed through the upgrade" cmp -s "$DIR64/veltrane.dll" "$install_unix/x64/veltrane.dll"
expect_value 64 "HKCR\\CLSID\\$CLSID\\InProcServer32" "" "$install_dir\\x64\\veltrane.dll"

wine64 msiexec /x "$(winpath "$WORK/second.msi")" /qn
check "msiexec /x /qn exits with 0" test $? -eq 0
check "no file is left" test ! -e "$install_unix/x64/veltrane.dll" -a ! -e "$install_unix/x86/veltrane.dll" \
    -a ! -e "$install_unix/veltrane.msix"
for view in 64 32; do
    check "no class key is left (view $view)" key_absent "HKCR\\CLSID\\$CLSID" $view
    check "no command class key is left (view $view)" key_absent "HKCR\\CLSID\\$COMMAND_CLSID" $view
    check "not approved any more (view $view)" sh -c "[ -z \"\$1\" ]" _ "$(value $view "$approved" "$CLSID")"
done
check "no menu handler is left" key_absent 'HKCR\*\shellex\ContextMenuHandlers\Veltrane' 64
check "no product is listed" test -z "$(products)"

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
