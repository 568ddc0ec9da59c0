#!/bin/sh
# Creates a Wine prefix once (safe to call from parallel tests).
# Every prefix gets X11 Driver\Managed=N: with no window manager on the display (Xvfb),
# Wine otherwise waits up to 2 s for one each time a captioned window is hidden.
prefix="$1"
[ -f "$prefix/.veltrane-ready-2" ] && exit 0
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/.veltrane-ready-2" ]; then
        export WINEPREFIX="$prefix" WINEDEBUG=-all
        export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
        if [ ! -f "$prefix/.veltrane-ready" ]; then
            /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
        fi
        /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        # A crashing test fails at once instead of waiting behind the crash dialog.
        /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        wineserver -w
        touch "$prefix/.veltrane-ready" "$prefix/.veltrane-ready-2"
    fi
) 9>"$prefix.lock"
