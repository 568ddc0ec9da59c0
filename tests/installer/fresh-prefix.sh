# Sourced by the installer tests that run in a Wine prefix of their own: the check helpers
# (each check prints "ok" or "FAIL"; the script ends with the count), a fresh 64-bit prefix
# under $WORK with a persistent server, and the helpers to reach it. Needs WORK and REPO.
failures=0
pass() { printf 'ok    %s\n' "$*"; }
fail() { printf 'FAIL  %s\n' "$*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

rm -rf "$WORK" && mkdir -p "$WORK" || exit 1
export WINEPREFIX="$WORK/prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d"
"$REPO/scripts/wine-prefix.sh" "$WINEPREFIX"
wineserver -w  # the set-up's own server goes before the persistent one starts
wineserver -p
trap 'wineserver -k 2>/dev/null' EXIT
wine64() { /usr/lib/wine/wine64 "$@"; }
winpath() { printf 'Z:%s' "$1" | tr '/' '\\'; }
