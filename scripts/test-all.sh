#!/bin/sh
# Sets up the machine, builds all five configurations and runs every test:
# native (plain, ASan/UBSan, TSan) and the Windows builds (win64, win32) under Wine.
set -u
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup-machine.sh || exit 1

mkdir -p build/logs
status=0

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
wineserver -p
# The setup program is a 32-bit program, emulated on some machines: a crash of the emulator
# is retried once; a real failure fails twice.
ctest_args="--repeat until-pass:2"
run_tests win64 xvfb-run -a -s "-screen 0 1024x768x24"
ctest_args=""
# Where 32-bit programs run under qemu's emulation (see setup-machine.sh), every start of one
# costs about a minute: there the 32-bit build skips the tests that start further Windows
# programs (regsvr32, the shell host, a browser stand-in); the 64-bit build runs them all.
if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    echo "(32-bit programs run under emulation here: win32 skips the tests labelled multiprocess)"
    ctest_args="-LE multiprocess --repeat until-pass:2"
    run_tests win32 xvfb-run -a -s "-screen 0 1024x768x24"
    ctest_args=""
else
    ctest_args="--repeat until-pass:2"
    run_tests win32 xvfb-run -a -s "-screen 0 1024x768x24"
    ctest_args=""
fi
wineserver -k 2>/dev/null

if [ "$status" -eq 0 ]; then echo "ALL TESTS PASSED"; else echo "SOME TESTS FAILED"; fi
exit "$status"
