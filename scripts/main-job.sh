#!/bin/sh
# The main job, as a user would run it: build the 64-bit extension, register it in a Wine
# prefix of its own with regsvr32, create a sample tree, show the real context menu and run
# one wipe command on the tree through the shell host (which loads the extension the way
# Explorer does), under a virtual X display. Prints the tree before and after and where the
# screenshots went.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
command_offset=${VELTRANE_COMMAND:-0}   # 0 = "Random Data (Recommended)\t(1 pass)"

scripts/setup-machine.sh

mkdir -p build/logs
echo "== building the 64-bit extension and the shell host (log: build/logs/main-build.log)"
if ! { cmake --preset win64 && cmake --build --preset win64 --target veltrane veltrane-shellhost; } \
        >build/logs/main-build.log 2>&1; then
    tail -n 40 build/logs/main-build.log
    exit 1
fi

dll="$root/build/win64/src/shellext/veltrane.dll"
host="$root/build/win64/tools/shellhost/veltrane-shellhost.exe"
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

export WINEPREFIX="$root/build/demo-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
echo "== Wine prefix $WINEPREFIX (created on first use, about two minutes)"
scripts/wine-prefix.sh "$WINEPREFIX"
# A prefix just made still has the server of its set-up for a moment: wait for it to go,
# or -p finds it and fails, and the commands below would each wait for a server of their own.
wineserver -w
wineserver -p
wine64=/usr/lib/wine/wine64

demo="$root/build/demo"
shots="$demo/screenshots"
rm -rf "$demo"
mkdir -p "$demo/sample/photos/raw" "$demo/sample/letters/2026" "$demo/sample/..hidden" "$shots"
echo "Dear bank, my PIN is 1234." >"$demo/sample/letters/2026/bank.txt"
echo "not so secret" >"$demo/sample/letters/notes.txt"
head -c 3000000 /dev/urandom >"$demo/sample/photos/holiday.jpg"
head -c 24000000 /dev/urandom >"$demo/sample/photos/raw/holiday.raw"
: >"$demo/sample/empty.log"
echo "dotted name" >"$demo/sample/..hidden/config"
echo "this file is outside the selection and must survive" >"$demo/keep-me.txt"

# What the user can see of the sample tree and of the file beside it.
listing() { (cd "$demo" && find sample keep-me.txt 2>/dev/null | sort | while read -r p; do
    if [ -d "$p" ]; then echo "  $p/"; else echo "  $p ($(stat -c %s "$p") bytes)"; fi; done); }

printf '== registering: wine regsvr32 %s\n' "$(winpath "$dll")"
"$wine64" regsvr32 /s "$(winpath "$dll")"
echo "== before"
listing | tee "$root/build/demo-before.txt"

Xvfb :87 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'wineserver -k 2>/dev/null; sleep 1; kill $xvfb 2>/dev/null' EXIT
export DISPLAY=:87
sleep 1

echo "== the menu Explorer would show for $demo/sample"
"$wine64" "$host" --popup 2500 "$(winpath "$demo/sample")" &
menu=$!
sleep 1.5
import -window root "$shots/context-menu.png"
wait $menu || true

echo "== running command $command_offset on $demo/sample through the shell host"
"$wine64" "$host" --invoke "$command_offset" "$(winpath "$demo/sample")" &
job=$!
work_shot="$demo/progress-candidate.png"
# The dialog is photographed once it has been drawn; a quick method may be done before.
shot=""
while [ -z "$shot" ] && kill -0 $job 2>/dev/null; do
    if xwininfo -root -tree 2>/dev/null | grep -qF '"Veltrane"'; then
        import -window root "$work_shot" 2>/dev/null || true
        # A picture of a window not yet painted has only the screen's black in it.
        if [ -s "$work_shot" ] && [ "$(identify -format %k "$work_shot" 2>/dev/null)" -gt 8 ]; then
            mv "$work_shot" "$shots/progress-dialog.png"
            shot="$shots/progress-dialog.png"
        fi
    fi
    sleep 0.05
done
wait $job
rm -f "$work_shot"

echo "== after"
listing | tee "$root/build/demo-after.txt"
echo "== gone"
grep -vxF -f "$root/build/demo-after.txt" "$root/build/demo-before.txt" || true
"$wine64" regsvr32 /s /u "$(winpath "$dll")"
if [ -n "$shot" ]; then
    echo "== screenshots: $shots/context-menu.png, $shot"
else
    echo "== screenshots: $shots/context-menu.png (the wipe was over before its dialog could be photographed; VELTRANE_COMMAND=5 runs Gutmann's 35 passes)"
fi
