#!/bin/sh
# Prepares a fresh Debian 12 machine (as root) to build and test Veltrane.
# Idempotent and quiet when everything is already in place.
set -eu

# osslsigncode signs releases (scripts/build-setup.sh): Debian 12's own 2.5 signs the DLLs and
# programs; signing the MSIX package needs 2.6 or later (bookworm-backports has 2.9).
# fonts-wine brings the Marlett and Tahoma fonts that Windows draws captions and dialogs with.
packages="g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 fonts-wine xvfb xauth
 cmake make g++ googletest libbenchmark-dev python3 fp-utils imagemagick x11-apps nsis
 qemu-user-static file osslsigncode openssl"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# 32-bit Wine needs a kernel that runs i386 programs. Some virtual machines are built
# without that; there the loader runs under qemu's user-mode emulation instead (slow but exact).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    if [ ! -d /proc/sys/fs/binfmt_misc ] || [ ! -f /proc/sys/fs/binfmt_misc/register ]; then
        $SUDO mkdir -p /proc/sys/fs/binfmt_misc 2>/dev/null || true
        $SUDO mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    fi
    if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
        echo "setup: this kernel cannot run 32-bit programs; registering qemu-i386 for them"
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
            | $SUDO tee /proc/sys/fs/binfmt_misc/register >/dev/null
    fi
    echo 1 | $SUDO tee /proc/sys/fs/binfmt_misc/qemu-i386 >/dev/null
fi
