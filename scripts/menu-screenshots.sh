#!/bin/sh
# Screenshots of the real veltrane.dll under a virtual X display: the Explorer-style popup
# menu with the "Veltrane" submenu open (docs/context-menu.png), the same on the Recycle
# Bin (docs/recycle-bin-menu.png), the About dialog
# (docs/about-dialog.png) and the question before a wipe (docs/confirm-wipe.png). The extension is registered with regsvr32 in a Wine prefix of
# the script's own and reached through the shell host, the way Explorer reaches it.
#
#   scripts/menu-screenshots.sh [build-dir]    (default build/win64; configured and built
#                                               when the DLL or the host is missing)
# VELTRANE_WINEPREFIX picks another prefix (default build/screenshot-prefix).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/win64}
case $build in /*) ;; *) build="$root/$build" ;; esac

dll="$build/src/shellext/veltrane.dll"
host="$build/tools/shellhost/veltrane-shellhost.exe"
if [ ! -f "$dll" ] || [ ! -f "$host" ]; then
    [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
    cmake --build "$build" --target veltrane veltrane-shellhost -j2 >/dev/null
fi
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }

export WINEPREFIX="${VELTRANE_WINEPREFIX:-$root/build/screenshot-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
wine64=/usr/lib/wine/wine64
scripts/wine-prefix.sh "$WINEPREFIX"
wineserver -p 2>/dev/null || true  # persistent: many short Wine processes follow

# A display number nobody uses.
display=77
while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
work=$(mktemp -d)
cleanup() {
    "$wine64" regsvr32 /s /u "$(winpath "$dll")" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    wineserver -k 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=":$display"
sleep 1

# Waits (up to 20 s) until an X window with this exact name is up.
wait_for_window() {
    tries=0
    until xwininfo -root -tree 2>/dev/null | grep -qF "\"$1\""; do
        tries=$((tries + 1))
        [ $tries -lt 100 ] || { echo "no window \"$1\"" >&2; return 1; }
        sleep 0.2
    done
}

# The window's outer rectangle on the screen, frame included, as import's -crop wants it.
window_rect() {
    xwininfo -name "$1" | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /^ *Width/ { w = $NF } /^ *Height/ { h = $NF }
        END { printf "%dx%d+%d+%d", w, h, x, y }'
}

"$wine64" regsvr32 /s "$(winpath "$dll")"
mkdir -p "$work/sample/photos" docs
echo "Dear bank, my PIN is 1234." >"$work/sample/letter.txt"
head -c 4096 /dev/zero >"$work/sample/photos/holiday.jpg"

# The menu: the host shows it over its window and opens the submenu by keyboard.
"$wine64" explorer /desktop=menu,640x480 "$(winpath "$host")" --popup 6000 \
    "$(winpath "$work/sample")" >"$work/menu.log" 2>&1 &
menu=$!
wait_for_window "Veltrane shell host"
sleep 2 # the submenu opens 150 ms after the menu; give a loaded machine time
import -window root -crop 600x440+20+20 +repage docs/context-menu.png
wait $menu || true

# The Recycle Bin's menu: the host selects the bin itself, as its desktop icon does.
"$wine64" explorer /desktop=bin,640x480 "$(winpath "$host")" --popup 6000 \
    "::{645FF040-5081-101B-9F08-00AA002F954E}" >"$work/bin.log" 2>&1 &
bin=$!
wait_for_window "Veltrane shell host"
sleep 2
import -window root -crop 600x440+20+20 +repage docs/recycle-bin-menu.png
wait $bin || true

# About, as the "About" command shows it; closed again like a user closing it.
"$wine64" explorer /desktop=about,500x250 "$(winpath "$host")" --invoke 7 \
    "$(winpath "$work/sample")" >"$work/about.log" 2>&1 &
about=$!
wait_for_window "About..."
sleep 1
import -window root -crop "$(window_rect "About...")" +repage docs/about-dialog.png
"$wine64" explorer /desktop=about,500x250 taskkill /im veltrane-shellhost.exe >/dev/null 2>&1
wait $about || true

# The question before a wipe, as a user who never said "don't ask" sees it; the host is
# ended with the question open, so nothing is wiped.
"$wine64" reg delete 'HKCU\Software\Veltrane' /v ConfirmWipe /f >/dev/null 2>&1 || true
"$wine64" explorer /desktop=confirm,640x400 "$(winpath "$host")" --invoke 3 \
    "$(winpath "$work/sample/letter.txt")" "$(winpath "$work/sample/photos")" >"$work/confirm.log" 2>&1 &
confirm=$!
wait_for_window "Veltrane"
sleep 1
import -window root -crop "$(window_rect "Veltrane")" +repage docs/confirm-wipe.png
"$wine64" explorer /desktop=confirm,640x400 taskkill /im veltrane-shellhost.exe >/dev/null 2>&1
wait $confirm || true
"$wine64" reg add 'HKCU\Software\Veltrane' /v ConfirmWipe /t REG_DWORD /d 0 /f >/dev/null 2>&1
[ -f "$work/sample/letter.txt" ] || { echo "the sample was wiped behind the question" >&2; exit 1; }

echo "docs/context-menu.png docs/recycle-bin-menu.png docs/about-dialog.png docs/confirm-wipe.png"
