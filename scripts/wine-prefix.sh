#!/bin/sh
# Creates a Wine prefix once (safe to call from parallel tests).
prefix="$1"
[ -f "$prefix/.veltrane-ready" ] && exit 0
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/.veltrane-ready" ]; then
        WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d" \
            /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
        WINEPREFIX="$prefix" wineserver -w
        touch "$prefix/.veltrane-ready"
    fi
) 9>"$prefix.lock"
