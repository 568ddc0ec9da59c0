#!/bin/sh
# Creates a Wine prefix once (safe to call from parallel tests).
# Every prefix gets X11 Driver\Managed=N: with no window manager on the display (Xvfb),
# Wine otherwise waits up to 2 s for one each time a captioned window is hidden.
# It also gets ConfirmWipe=0 (see below), and Wine's own Marlett and Tahoma (Debian's
# fonts-wine) in its font folder, where Wine looks for them: without Marlett, captions draw
# their buttons as letters ("r" for the close box), and without Tahoma, dialogs fall back
# to a font Windows never shows.
prefix="$1"
[ -f "$prefix/.veltrane-ready-4" ] && exit 0
mkdir -p "$(dirname "$prefix")"
(
    flock 9
    if [ ! -f "$prefix/.veltrane-ready-4" ]; then
        export WINEPREFIX="$prefix" WINEDEBUG=-all
        export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
        if [ ! -f "$prefix/.veltrane-ready" ]; then
            /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
        fi
        /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
        # Scripts and tests run the wipe commands with nobody there to answer the question
        # before a wipe; the tests of that question take the value away while they run.
        /usr/lib/wine/wine64 reg add 'HKCU\Software\Veltrane' /v ConfirmWipe /t REG_DWORD /d 0 /f >/dev/null 2>&1
        # A crashing test fails at once instead of waiting behind the crash dialog.
        /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
        for font in marlett.ttf tahoma.ttf tahomabd.ttf; do
            if [ -f "/usr/share/wine/fonts/$font" ]; then
                cp "/usr/share/wine/fonts/$font" "$prefix/drive_c/windows/Fonts/"
            fi
        done
        # No "wineserver -w" here: with a persistent server in the prefix it never returns.
        # Whichever server holds the prefix has the values, and saves them when it ends.
        touch "$prefix/.veltrane-ready" "$prefix/.veltrane-ready-4"
    fi
) 9>"$prefix.lock"
