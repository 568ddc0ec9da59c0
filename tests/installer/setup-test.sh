#!/bin/bash
# The setup program end to end, in a 64-bit Wine prefix of the test's own:
#   1. silent install: files, the registration in both registry views, the uninstall entry;
#   2. the shell hosts of both bitnesses find the extension through the registry and wipe;
#   3. a second silent install over the first while a process holds the 64-bit DLL;
#   4. a silent uninstall while the DLL is held, then the restart that deletes what was in
#      use: every file and key setup made is gone, everything else is as it was before.
# Throughout, the 64-bit veltrane.exe is on the system PATH exactly once while installed,
# and a new console finds it; after the uninstall PATH is as it was.
# Setup, uninstaller and the 32-bit host are 32-bit programs, which may run under emulation
# where every start costs more; hence one sequence with four such starts.
#
# Environment (tests/installer/CMakeLists.txt): SETUP, VERSION, CLSID, COMMAND_CLSID, DIR64
# and DIR32 (the folders setup was built from), PACKAGE_DIR (the Windows 11 package it
# carries), SHELLHOST64, SHELLHOST32, HOLD, WORK (scratch), REPO.
set -u
set -o pipefail

failures=0
pass() { printf 'ok    %s\n' "$*"; }
fail() {
    printf 'FAIL  %s\n' "$*"
    failures=$((failures + 1))
}
fatal() {
    printf 'FATAL %s\n' "$*"
    exit 1
}
check() {
    local what=$1
    shift
    if "$@"; then pass "$what"; else fail "$what"; fi
}

export WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
export WINEPREFIX="$WORK/prefix"
template="$WORK/template"
drive="$WINEPREFIX/drive_c"
scratch='C:\work'
scratch_unix="$drive/work"
install_dir='C:\Program Files\Veltrane'
install_unix="$drive/Program Files/Veltrane"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Veltrane'
approved_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Shell Extensions\Approved'
pending_key='HKLM\System\CurrentControlSet\Control\Session Manager'
environment_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'

wine64() { /usr/lib/wine/wine64 "$@" </dev/null; }
wine32() { /usr/lib/wine/wine "$@" </dev/null; }

# The system processes of a prefix keep the output of the program that started them open:
# start them with output going nowhere, so that $(...) around later programs ends.
start_server() {
    wineserver -p >/dev/null 2>&1 </dev/null
    wine64 cmd /c exit >/dev/null 2>&1
}
stop_server() {
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
}

# --- Registry ---------------------------------------------------------------------------

# reg_value <view> <key> [<name>]: the data of a value (default value without a name).
reg_value() {
    local view=$1 key=$2 which=(/ve)
    [ $# -ge 3 ] && which=(/v "$3")
    wine64 reg query "$key" "${which[@]}" "/reg:$view" 2>/dev/null | tr -d '\r' |
        sed -n 's/^    .*    REG_[A-Z_]*    //p'
}
expect_value() {
    local view=$1 key=$2 name=$3 want=$4 got
    if [ -n "$name" ]; then got=$(reg_value "$view" "$key" "$name"); else got=$(reg_value "$view" "$key"); fi
    if [ "$got" = "$want" ]; then
        pass "$key [${name:-default}] = $want (view $view)"
    else
        fail "$key [${name:-default}] (view $view): '$got', expected '$want'"
    fi
}
key_absent() { ! wine64 reg query "$1" "/reg:$2" >/dev/null 2>&1; }
value_absent() { ! wine64 reg query "$1" /v "$2" "/reg:$3" >/dev/null 2>&1; }

# --- Files --------------------------------------------------------------------------------

module_sets=("x64:$DIR64" "x86:$DIR32")

check_installed_files() {
    local set sub source name
    for set in "${module_sets[@]}"; do
        sub=${set%%:*}
        source=${set#*:}
        for name in veltrane.dll veltrane.chm pencil.avi veltrane.exe; do
            check "$sub\\$name installed" cmp -s "$source/$name" "$install_unix/$sub/$name"
        done
    done
    check "uninstall.exe installed" test -f "$install_unix/uninstall.exe"
    check "veltrane.msix installed" cmp -s "$PACKAGE_DIR/veltrane.msix" "$install_unix/veltrane.msix"
    for name in StoreLogo.png Square150x150Logo.png Square44x44Logo.png; do
        check "Assets\\$name installed" cmp -s "$PACKAGE_DIR/Assets/$name" "$install_unix/Assets/$name"
    done
    # Wine reports a Windows 10 build: the package is left alone, and the log says why.
    check "setup.log: no Windows 11 menu on this Windows" \
        grep -q "Windows 11 menu: not this Windows" "$install_unix/setup.log"
}

# path_entries: the entries of the system PATH that name an installed command folder.
path_entries() {
    reg_value 64 "$environment_key" Path | tr ';' '\n' | grep -iF "$install_dir\\" || true
}
check_command_on_path() {
    check "PATH holds the 64-bit command folder once" \
        test "$(path_entries)" = "$install_dir\\x64"
    local out
    out=$(wine64 cmd /c "veltrane --version" 2>&1 | tr -d '\r')
    check "a new console finds veltrane on PATH ($out)" test "$out" = "Veltrane v1.0 build 6"
}

# hold_start: a process holds the installed 64-bit DLL, as Explorer does after a right-click.
hold_start() {
    rm -f "$scratch_unix/held" "$scratch_unix/release"
    wine64 "$HOLD" "$install_dir\\x64\\veltrane.dll" "$scratch\\held" "$scratch\\release" \
        >/dev/null 2>&1 &
    hold_pid=$!
    local i
    for i in $(seq 300); do
        [ -f "$scratch_unix/held" ] && return 0
        kill -0 "$hold_pid" 2>/dev/null || break
        sleep 0.2
    done
    fatal "the holding process did not load the installed DLL"
}
hold_end() {
    touch "$scratch_unix/release"
    wait "$hold_pid"
    hold_pid=
}

# --- Snapshots ----------------------------------------------------------------------------

# Every registry key and value of the machine and the user (both views live in these
# files, which the server writes when it stops) and every path on drive C:, as sorted lines.
# Left out: the test's scratch folder, and the device classes, whose display entries Wine
# rewrites when it starts.
snapshot() {
    stop_server
    {
        local hive
        for hive in system user; do
            awk -v hive="$hive" '
                /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); print hive key; next }
                /^#/ || /^;/ || /^$/ || /^WINE REGISTRY/ { next }
                { print hive key " " $0 }' "$WINEPREFIX/$hive.reg"
        done | grep -v '^system\[System\\\\CurrentControlSet\\\\Control\\\\Class\\\\'
        (cd "$drive" && find . -path ./work -prune -o -print | sed 's|^|file |')
    } | LC_ALL=C sort >"$1"
    start_server
}

# --- The prefix -----------------------------------------------------------------------------

hold_pid=
cleanup() {
    [ -n "$hold_pid" ] && hold_end
    stop_server
}
trap cleanup EXIT

# A pristine prefix is made once (minutes); every run starts from a copy. The two big DLL
# folders are hard links: nothing in this test writes into them.
"$REPO/scripts/wine-prefix.sh" "$template" || fatal "cannot create $template"
# Copied from the disk: its server must have ended, and saved the registry, first.
WINEPREFIX="$template" wineserver -w
WINEPREFIX="$WINEPREFIX" stop_server
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
(cd "$template" && tar cf - --exclude=./drive_c/windows/system32 \
    --exclude=./drive_c/windows/syswow64 .) | (cd "$WINEPREFIX" && tar xf -) ||
    fatal "cannot copy $template"
for dir in system32 syswow64; do
    cp -al "$template/drive_c/windows/$dir" "$drive/windows/$dir" || fatal "cannot link $dir"
done
# Wine's null display driver: dialogs work without an X server.
printf '\n[Software\\\\Wine\\\\Drivers]\n"Graphics"="null"\n' >>"$WINEPREFIX/user.reg"
start_server

mkdir -p "$scratch_unix"
cp "$SHELLHOST64" "$scratch_unix/host64.exe"
cp "$SHELLHOST32" "$scratch_unix/host32.exe"

# Canaries: a file beside the install folder with a name much like it, a sibling of the
# handler key, and another extension's approval, class and uninstall entry in both views.
echo "not setup's" >"$drive/Program Files/Veltrane.txt"
canary_class='{0E5AA1E5-0000-4000-8000-00000000CA1A}'
wine64 reg add 'HKCR\*\shellex\ContextMenuHandlers\VeltraneCanary' /ve /d "$canary_class" /f \
    >/dev/null || fatal "reg add"
for view in 64 32; do
    for key in "HKCR\\CLSID\\$canary_class\\InProcServer32" "${uninstall_key}Canary"; do
        wine64 reg add "$key" /ve /d canary "/reg:$view" /f >/dev/null || fatal "reg add $key"
    done
    wine64 reg add "$approved_key" /v "$canary_class" /d Canary "/reg:$view" /f >/dev/null ||
        fatal "reg add approval"
done
snapshot "$WORK/before.txt"

# --- 1. Silent install ----------------------------------------------------------------------

echo "== install"
wine32 "$SETUP" /S >/dev/null 2>&1
check "setup /S exits with 0" test $? -eq 0
check_installed_files

for view in 64 32; do
    [ "$view" = 64 ] && sub=x64 || sub=x86
    class_key="HKCR\\CLSID\\$CLSID"
    expect_value "$view" "$class_key" "" "Veltrane"
    expect_value "$view" "$class_key\\InProcServer32" "" "$install_dir\\$sub\\veltrane.dll"
    expect_value "$view" "$class_key\\InProcServer32" ThreadingModel "Apartment"
    expect_value "$view" "$approved_key" "$CLSID" "Veltrane"
    command_key="HKCR\\CLSID\\$COMMAND_CLSID"
    expect_value "$view" "$command_key" "" "Veltrane"
    expect_value "$view" "$command_key\\InProcServer32" "" "$install_dir\\$sub\\veltrane.dll"
done
# The handler keys are shared by both views (on Windows 7 and later as in Wine); the
# 32-bit host below reads them as a 32-bit program.
expect_value 64 'HKCR\*\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"
expect_value 64 'HKCR\Directory\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"
expect_value 64 'HKCR\Drive\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"
expect_value 64 'HKCR\CLSID\{645FF040-5081-101B-9F08-00AA002F954E}\shellex\ContextMenuHandlers\Veltrane' "" "$CLSID"

expect_value 64 "$uninstall_key" DisplayName "Veltrane"
expect_value 64 "$uninstall_key" DisplayVersion "$VERSION"
expect_value 64 "$uninstall_key" Publisher "Veltrane project"
expect_value 64 "$uninstall_key" InstallLocation "$install_dir"
expect_value 64 "$uninstall_key" UninstallString "\"$install_dir\\uninstall.exe\""
expect_value 64 "$uninstall_key" QuietUninstallString "\"$install_dir\\uninstall.exe\" /S"
expect_value 64 "$uninstall_key" NoModify 0x1
expect_value 64 "$uninstall_key" NoRepair 0x1
# EstimatedSize is in KiB: the installed files' size, give or take rounding.
size=$(reg_value 64 "$uninstall_key" EstimatedSize)
files_kib=$(($(find "$install_unix" -type f -printf '%s+')0 >> 10))
check "EstimatedSize $((size)) KiB for $files_kib KiB of files" \
    test $((size)) -ge $((files_kib - 8)) -a $((size)) -le $((files_kib + 8))
check "no uninstall entry in the 32-bit view" key_absent "$uninstall_key" 32
check_command_on_path

# --- 2. The shell hosts wipe through the installed extension ----------------------------

echo "== shell hosts"
for bits in 64 32; do
    head -c 65536 /dev/urandom >"$scratch_unix/wipe$bits.bin"
done
echo keep >"$scratch_unix/keep.txt"
out=$(wine64 "$scratch\\host64.exe" --invoke 0 "$scratch\\wipe64.bin" 2>&1 | tr -d '\r')
check "64-bit host finds the handler $CLSID" grep -qF "handler $CLSID" <<<"$out"
check "64-bit host: the command succeeds" grep -q 'InvokeCommand offset 0: 0x00000000' <<<"$out"
check "64-bit host: the file is wiped" test ! -e "$scratch_unix/wipe64.bin"
out=$(wine32 "$scratch\\host32.exe" --invoke 0 "$scratch\\wipe32.bin" 2>&1 | tr -d '\r')
check "32-bit host finds the handler $CLSID" grep -qF "handler $CLSID" <<<"$out"
check "32-bit host: the command succeeds" grep -q 'InvokeCommand offset 0: 0x00000000' <<<"$out"
check "32-bit host: the file is wiped" test ! -e "$scratch_unix/wipe32.bin"
check "a file not selected stays" test -f "$scratch_unix/keep.txt"

# --- 3. Install again while the 64-bit DLL is in use -----------------------------------

echo "== install over the install, DLL in use"
hold_start
wine32 "$SETUP" /S >/dev/null 2>&1
check "second setup /S exits with 0" test $? -eq 0
hold_end
check_installed_files
expect_value 64 "$uninstall_key" DisplayName "Veltrane"
expect_value 64 "$uninstall_key" DisplayVersion "$VERSION"
check "still no uninstall entry in the 32-bit view" key_absent "$uninstall_key" 32
expect_value 64 "HKCR\\CLSID\\$CLSID\\InProcServer32" "" "$install_dir\\x64\\veltrane.dll"
pending=$(reg_value 64 "$pending_key" PendingFileRenameOperations)
check "the replaced DLL waits for the restart" grep -qF "$install_dir\\x64\\" <<<"$pending"
check_command_on_path

# --- 4. Silent uninstall while the DLL is in use, then a restart -----------------------

echo "== uninstall, DLL in use"
echo "the user's own file" >"$install_unix/notes.txt"
# NSIS's uninstaller copies itself away and returns at once, unless _?= names its folder;
# _?= must reach it unquoted, so cmd passes the command line as written.
cp "$install_unix/uninstall.exe" "$scratch_unix/uninstall-copy.exe"
hold_start
wine64 cmd /c "$scratch\\uninstall-copy.exe /S _?=$install_dir" >/dev/null 2>&1
check "uninstall /S exits with 0" test $? -eq 0
hold_end

for view in 64 32; do
    check "class key gone (view $view)" key_absent "HKCR\\CLSID\\$CLSID" "$view"
    check "command class key gone (view $view)" key_absent "HKCR\\CLSID\\$COMMAND_CLSID" "$view"
    check "approval gone (view $view)" value_absent "$approved_key" "$CLSID" "$view"
    check "uninstall entry gone (view $view)" key_absent "$uninstall_key" "$view"
done
for class in '*' Directory Drive 'CLSID\{645FF040-5081-101B-9F08-00AA002F954E}'; do
    check "$class handler key gone" key_absent "HKCR\\$class\\shellex\\ContextMenuHandlers\\Veltrane" 64
done
check "the 32-bit set is gone at once" test ! -e "$install_unix/x86"
check "PATH no longer names the install folder" test -z "$(path_entries)"
check "the held DLL waits for the restart" test -f "$install_unix/x64/veltrane.dll"

wine64 wineboot -r >/dev/null 2>&1
check "after the restart only the user's file is left in the folder" \
    test "$(cd "$install_unix" && find . -mindepth 1)" = "./notes.txt"
rm -r "$install_unix"

snapshot "$WORK/after.txt"
if diff "$WORK/before.txt" "$WORK/after.txt" >"$WORK/difference.txt"; then
    pass "registry and files are as before setup (canaries included)"
else
    fail "registry or files differ from before setup:"
    head -n 40 "$WORK/difference.txt"
fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
