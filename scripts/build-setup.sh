#!/bin/sh
# Builds a release: both DLLs optimised and stripped, each with veltrane.chm and pencil.avi
# beside it (build/release-win32/bin, build/release-win64/bin), and the one setup program
# that installs them (build/setup/veltrane-<version>-setup.exe).
# Needs what scripts/setup-machine.sh installs: mingw-w64, chmcmd (fp-utils) and makensis.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
mkdir -p build/logs

# build_release <name> <triple>: configures and builds build/release-<name>, then checks
# that the DLL came out as a release should.
build_release() {
    dir="$root/build/release-$1"
    log="$root/build/logs/release-$1.log"
    echo "== release DLL ($1)"
    if ! {
        cmake -S "$root" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-$2.cmake" \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_RUNTIME_OUTPUT_DIRECTORY="$dir/bin" \
            -DCMAKE_SHARED_LINKER_FLAGS_RELEASE=-s &&
            cmake --build "$dir" --target veltrane --parallel 2
    } >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "build of $dir failed (log: $log)"
        exit 1
    fi
    dll="$dir/bin/veltrane.dll"
    for name in veltrane.chm pencil.avi; do
        [ -f "$dir/bin/$name" ] || { echo "$dir/bin/$name is missing"; exit 1; }
    done
    if "$2-w64-mingw32-objdump" -h "$dll" | grep -q '\.debug_'; then
        echo "$dll still has debugging sections"
        exit 1
    fi
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
    # The version resource's texts are UTF-16.
    if ! strings -e l "$dll" | grep -qx "$version"; then
        echo "$dll has no version resource $version"
        exit 1
    fi
    echo "$dll: version $version, $(wc -c <"$dll") bytes"
}

build_release win32 i686
build_release win64 x86_64

echo "== setup program"
setup="$root/build/setup/veltrane-$version-setup.exe"
cmake -DDIR64="$root/build/release-win64/bin" -DDIR32="$root/build/release-win32/bin" \
    -DVERSION="$version" -DOUTPUT="$setup" -P "$root/installer/MakeSetup.cmake"
sha256sum "$setup" | sed "s|$root/||"
