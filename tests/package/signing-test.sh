#!/bin/bash
# Release signing with a throwaway self-signed certificate made here by openssl:
# scripts/sign-files.sh on the DLL, a program and the Windows 11 package, makensis signing
# the uninstaller and the setup program, then `osslsigncode verify` on every signed file;
# a signed file changed afterwards no longer verifies.
# The signed package must still open: every entry matches its CRC (`unzip -t`), the block
# map matches the payload (make_msix.py check), and its Publisher is the certificate's
# subject in Windows' form. An osslsigncode that cannot sign MSIX packages (before 2.7;
# Debian 12's own has 2.5) must say so and leave the package as it was: that is checked
# instead.
#
# Environment (tests/package/CMakeLists.txt): DLL, EXE, DIR (DLL with help and animation
# beside it, or empty), MAKENSIS (or empty), CLSID, VERSION, REPO, WORK.
set -u
failures=0
pass() { printf 'ok    %s\n' "$*"; }
fail() { printf 'FAIL  %s\n' "$*"; failures=$((failures + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }

rm -rf "$WORK" && mkdir -p "$WORK" && cd "$WORK" || exit 1
openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/C=US/O=Veltrane Test, Inc./CN=Veltrane Test" \
    -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" 2>/dev/null ||
    { echo "openssl could not make a certificate"; exit 1; }
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.pfx -passout pass:throwaway ||
    { echo "openssl could not make the PKCS#12 file"; exit 1; }
export VELTRANE_SIGN_PFX="$WORK/cert.pfx" VELTRANE_SIGN_PASS=throwaway
unset VELTRANE_SIGN_TIMESTAMP

verify() { osslsigncode verify -CAfile "$WORK/cert.pem" -in "$1" >"$1.verify" 2>&1; }

cp "$DLL" veltrane.dll
cp "$EXE" program.exe
python=$(command -v python3)
publisher=$("$python" "$REPO/installer/package/make_msix.py" publisher \
    "$(openssl x509 -in cert.pem -noout -subject -nameopt RFC2253)")
check "publisher is the certificate's subject" test "$publisher" = 'CN=Veltrane Test, O="Veltrane Test, Inc.", C=US'
"$python" "$REPO/installer/package/make_msix.py" stage stage --version "$VERSION" --clsid "$CLSID" \
    --publisher "$publisher" &&
    "$python" "$REPO/installer/package/make_msix.py" pack stage veltrane.msix ||
    { echo "the package could not be built"; exit 1; }
cp veltrane.msix unsigned.msix

"$REPO/scripts/sign-files.sh" veltrane.dll program.exe
check "sign-files.sh signs the DLL and the program" test $? -eq 0
for file in veltrane.dll program.exe; do
    check "$file verifies" verify "$file"
done

"$REPO/scripts/sign-files.sh" veltrane.msix 2>msix.err
status=$?
if [ "$status" -eq 3 ]; then
    check "an osslsigncode without MSIX says so" grep -q "cannot sign" msix.err
    check "the package is left as it was" cmp -s veltrane.msix unsigned.msix
    echo "NOTE: $(osslsigncode --version 2>&1 | head -n 1 | cut -d, -f1) cannot sign MSIX: the package is not signed here"
else
    check "sign-files.sh signs the package" test "$status" -eq 0
    check "veltrane.msix verifies" verify veltrane.msix
    check "the package holds its signature" sh -c "unzip -l veltrane.msix | grep -q AppxSignature.p7x"
    check "the signed package opens: every entry matches its CRC" sh -c "unzip -tq veltrane.msix >/dev/null"
    check "the signed package's block map matches its files" \
        "$python" "$REPO/installer/package/make_msix.py" check veltrane.msix
    check "the signed package's Publisher is the certificate's subject" \
        sh -c "unzip -p veltrane.msix AppxManifest.xml | grep -qF 'Publisher=\"CN=Veltrane Test, O=&quot;Veltrane Test, Inc.&quot;, C=US\"'"
fi

# A byte changed after signing: the signature no longer holds.
cp veltrane.dll changed.dll
printf 'X' | dd of=changed.dll bs=1 seek=1024 conv=notrunc 2>/dev/null
check "a changed DLL fails verification" sh -c '! osslsigncode verify -CAfile cert.pem -in changed.dll >/dev/null 2>&1'

if [ -n "$MAKENSIS" ] && [ -n "$DIR" ]; then
    mkdir -p package/Assets && cp unsigned.msix package/veltrane.msix && cp stage/Assets/*.png package/Assets/
    cmake -DMAKENSIS="$MAKENSIS" -DDIR64="$DIR" -DDIR32="$DIR" -DOUTPUT="$WORK/veltrane-setup.exe" \
        -DPACKAGE_DIR="$WORK/package" -DPACKAGE_SIGNED=0 -DSIGN_COMMAND="$REPO/scripts/sign-files.sh" \
        -P "$REPO/installer/MakeSetup.cmake" >setup.log 2>&1
    check "the setup program is built signed" test $? -eq 0
    check "veltrane-setup.exe verifies" verify veltrane-setup.exe
    # makensis hands the uninstaller to the signing program before packing it.
    check "the uninstaller was signed before it went in" test "$(grep -c '^signed ' setup.log)" -eq 2
else
    echo "NOTE: no makensis or no help file in this build: the setup program is not signed here"
fi

if command -v wixl >/dev/null && [ -n "$DIR" ]; then
    "$REPO/installer/msi/build-msi.sh" veltrane.msi "$VERSION" "$DIR" "$DIR" >msi.log 2>&1 &&
        "$REPO/scripts/sign-files.sh" veltrane.msi >>msi.log 2>&1
    check "the MSI is built and signed" test $? -eq 0
    check "veltrane.msi verifies" verify veltrane.msi
else
    echo "NOTE: no wixl or no help file in this build: the MSI is not signed here"
fi

echo "$failures failure(s)"
[ "$failures" -eq 0 ]
