#!/bin/sh
# Builds a release: both DLLs optimised and stripped, each with veltrane.chm, pencil.avi
# and the command line veltrane.exe beside it (build/release-win32/bin, build/release-win64/bin), the sparse package that
# gives Windows 11's context menu the Veltrane command (build/setup/package: veltrane.msix
# and its logos), and the one setup program that installs them all
# (build/setup/veltrane-<version>-setup.exe), and the MSI that administrators deploy to many
# machines (build/setup/veltrane-<version>.msi, built with wixl).
#
# Signing, when a certificate is given:
#   VELTRANE_SIGN_PFX=cert.pfx VELTRANE_SIGN_PASS=... [VELTRANE_SIGN_TIMESTAMP=http://...]
# signs the DLLs and command-line programs, the package, the uninstaller and the setup
# program with osslsigncode (scripts/sign-files.sh), and the package's publisher is the
# certificate's subject. Without one everything is unsigned, and the package carries the
# publisher form that Windows 11 accepts for unsigned packages (setup then registers it
# with -AllowUnsigned).
# Needs what scripts/setup-machine.sh installs: mingw-w64, chmcmd (fp-utils), makensis,
# python3, osslsigncode, openssl and wixl.
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
            -DCMAKE_SHARED_LINKER_FLAGS_RELEASE=-s -DCMAKE_EXE_LINKER_FLAGS_RELEASE=-s &&
            cmake --build "$dir" --target veltrane veltrane_exe --parallel 2
    } >"$log" 2>&1; then
        tail -n 40 "$log"
        echo "build of $dir failed (log: $log)"
        exit 1
    fi
    dll="$dir/bin/veltrane.dll"
    for name in veltrane.chm pencil.avi veltrane.exe; do
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

# The certificate's subject, as the package's publisher must spell it.
signing_subject() {
    passfile="$root/build/setup/.pass"
    (umask 077 && printf '%s' "${VELTRANE_SIGN_PASS:-}" >"$passfile")
    # Older PKCS#12 files need OpenSSL 3's legacy algorithms.
    subject=$( { openssl pkcs12 -in "$VELTRANE_SIGN_PFX" -nokeys -clcerts -passin "file:$passfile" 2>/dev/null ||
        openssl pkcs12 -legacy -in "$VELTRANE_SIGN_PFX" -nokeys -clcerts -passin "file:$passfile"; } |
        openssl x509 -noout -subject -nameopt RFC2253) || subject=""
    rm -f "$passfile"
    [ -n "$subject" ] || { echo "cannot read the certificate in $VELTRANE_SIGN_PFX"; exit 1; }
    python3 "$root/installer/package/make_msix.py" publisher "$subject"
}

# stage_package <publisher>: the package's folder, built afresh.
stage_package() {
    rm -rf "$package"
    python3 "$root/installer/package/make_msix.py" stage "$package/stage" --version "$version" \
        --clsid "$command_clsid" --publisher "$1"
    python3 "$root/installer/package/make_msix.py" pack "$package/stage" "$package/veltrane.msix"
    mkdir -p "$package/Assets"
    cp "$package/stage/Assets/"*.png "$package/Assets/"
    rm -rf "$package/stage"
}

mkdir -p "$root/build/setup"
signing=""
if [ -n "${VELTRANE_SIGN_PFX:-}" ]; then
    command -v osslsigncode >/dev/null || { echo "osslsigncode is missing (scripts/setup-machine.sh)"; exit 1; }
    signing=yes
    publisher=$(signing_subject)
    echo "== signing with the certificate of $publisher"
else
    publisher=$(python3 "$root/installer/package/make_msix.py" publisher)
    echo "== no certificate (VELTRANE_SIGN_PFX): building unsigned"
fi

build_release win32 i686
build_release win64 x86_64

sign() {
    "$root/scripts/sign-files.sh" "$@" | sed "s|$root/||"
}
if [ -n "$signing" ]; then
    echo "== signing the programs"
    for dir in "$root/build/release-win32/bin" "$root/build/release-win64/bin"; do
        for name in veltrane.dll veltrane.exe; do
            [ -f "$dir/$name" ] && sign "$dir/$name"
        done
    done
fi

echo "== Windows 11 package"
package="$root/build/setup/package"
command_clsid=$(cmake -DCONSTANT=CLSID_ExplorerCommand -P "$root/installer/PrintClassId.cmake")
package_signed=0
stage_package "$publisher"
if [ -n "$signing" ]; then
    status=0
    sign "$package/veltrane.msix" || status=$?
    if [ "$status" -eq 0 ]; then
        package_signed=1
    elif [ "$status" -eq 3 ]; then
        # Debian 12's own osslsigncode (2.5) knows no MSIX (2.7 was the first to sign it);
        # bookworm-backports has 2.9.
        echo "NOTE: this osslsigncode cannot sign MSIX packages: the package stays UNSIGNED,"
        echo "      with the unsigned publisher form, and setup registers it with -AllowUnsigned."
        stage_package "$(python3 "$root/installer/package/make_msix.py" publisher)"
    else
        exit 1
    fi
fi
[ "$package_signed" -eq 1 ] || echo "$package/veltrane.msix: unsigned" | sed "s|$root/||"

echo "== setup program"
setup="$root/build/setup/veltrane-$version-setup.exe"
set -- -DDIR64="$root/build/release-win64/bin" -DDIR32="$root/build/release-win32/bin" \
    -DVERSION="$version" -DOUTPUT="$setup" -DPACKAGE_DIR="$package" \
    -DPACKAGE_SIGNED="$package_signed"
# makensis signs the uninstaller before it goes into the setup program, then the program.
[ -n "$signing" ] && set -- "$@" -DSIGN_COMMAND="$root/scripts/sign-files.sh"
cmake "$@" -P "$root/installer/MakeSetup.cmake"
if [ -n "$signing" ]; then
    echo "signed: the DLLs and programs, the uninstaller, the setup program$( [ "$package_signed" -eq 1 ] && echo ", the package")"
else
    echo "unsigned: no certificate given"
fi
echo "== MSI for fleets"
msi="$root/build/setup/veltrane-$version.msi"
"$root/installer/msi/build-msi.sh" "$msi" "$version" "$root/build/release-win64/bin" \
    "$root/build/release-win32/bin" "$package" "$package_signed" | sed "s|$root/||"
[ -n "$signing" ] && sign "$msi"
# The checksums published beside the setup programs (check with `sha256sum -c SHA256SUMS`).
(cd "$(dirname "$setup")" && sha256sum "$(basename "$setup")" "$(basename "$msi")" >SHA256SUMS)
echo "checksum: build/setup/SHA256SUMS"
sha256sum "$setup" "$package/veltrane.msix" | sed "s|$root/||"
