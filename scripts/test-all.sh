#!/bin/sh
# Sets up the machine, builds all five configurations and runs every test:
# native (plain, ASan/UBSan, TSan) and the Windows builds (win64, win32) under Wine.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup-machine.sh || exit 1

# Which way this machine runs 32-bit programs, so that a log tells at once which path it took.
binfmt_qemu=/proc/sys/fs/binfmt_misc/qemu-i386
if grep -qx enabled "$binfmt_qemu" 2>/dev/null; then
    emulator=$(sed -n 's/^interpreter //p' "$binfmt_qemu")
    echo "== 32-bit programs run under emulation: $("$emulator" --version | head -n 1)"
else
    echo "== 32-bit programs run natively"
fi

mkdir -p build/logs
status=0

echo "== format"
scripts/check-format.sh || status=1

build() {
    echo "== build $1"
    if ! { cmake --preset "$1" && cmake --build --preset "$1"; } >"build/logs/build-$1.log" 2>&1; then
        tail -n 60 "build/logs/build-$1.log"
        echo "build $1 FAILED (log: build/logs/build-$1.log)"
        exit 1
    fi
}

ctest_args=""
run_tests() {
    preset=$1; shift
    echo "== test $preset"
    log="build/logs/test-$preset.log"
    if "$@" ctest --preset "$preset" $ctest_args >"$log" 2>&1; then
        :
    else
        status=1
        sed -n '/The following tests FAILED/,$p' "$log"
        grep -B2 -A40 -E '^\s*[0-9]+/[0-9]+ Test +#[0-9]+: .*(\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception)' "$log" | head -n 200
    fi
    grep -E 'tests passed|Total Test time' "$log"
}

for preset in native native-asan native-tsan win64 win32; do
    build "$preset"
done

run_tests native
run_tests native-asan
run_tests native-tsan

# Windows tests share one prefix and one persistent wineserver (a server per process costs seconds).
export VELTRANE_WINEPREFIX="$root/build/wineprefix"
export WINEPREFIX="$VELTRANE_WINEPREFIX"
scripts/wine-prefix.sh "$WINEPREFIX"
wineserver -w  # the server of a prefix just made, gone before the persistent one starts
wineserver -p
# A Windows test that fails is run once more before it counts: another program may hold the
# shared test desktop. Both builds run every test, whichever way 32-bit programs run.
ctest_args="--repeat until-pass:2"
run_tests win64 xvfb-run -a -s "-screen 0 1024x768x24"
run_tests win32 xvfb-run -a -s "-screen 0 1024x768x24"
ctest_args=""
wineserver -k 2>/dev/null

if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit "$status"
