#!/bin/sh
# Prepares a fresh Debian 12 machine (as root) to build and test Veltrane.
# Idempotent and quiet when everything is already in place.
# --emulate-32bit: run 32-bit programs under emulation even where the kernel runs them (to
# try that path on such a machine).
set -eu

# osslsigncode signs releases (scripts/build-setup.sh): Debian 12's own 2.5 signs the DLLs and
# programs; signing the MSIX package needs 2.7 or later (bookworm-backports has 2.9).
# fonts-wine brings the Marlett and Tahoma fonts that Windows draws captions and dialogs with.
packages="g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine32:i386 wine64 fonts-wine xvfb xauth
 cmake make g++ googletest libbenchmark-dev python3 fp-utils imagemagick x11-apps nsis
 file osslsigncode openssl clang-format wixl"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"

# A mirror caught mid-sync serves an index of the wrong size ("Mirror sync in progress?")
# for a minute or two: try again, then go on with what was read, and let the install say
# whether that was enough.
apt_update() {
    for wait in 15 30 60 0; do
        $SUDO apt-get update -qq && return 0
        [ "$wait" -eq 0 ] && break
        echo "setup: apt-get update failed; trying again in $wait s"
        sleep "$wait"
    done
    echo "setup: apt-get update kept failing; installing from the indexes it could read"
}

missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done

if [ -n "$missing" ]; then
    echo "setup: installing$missing"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    apt_update
    if ! DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
        $missing >/dev/null; then
        # With one architecture's index of a suite missing (the mirror above), that suite's
        # updates exist for amd64 only, and i386 libraries cannot match their amd64 twins:
        # the release's own versions exist for both.
        echo "setup: installing again with bookworm's own versions, the same for both architectures"
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
            -t bookworm $missing >/dev/null
    fi
fi

# 32-bit Wine needs a kernel that runs i386 programs. Some virtual machines are built
# without that; there the loader runs under qemu's user-mode emulation instead. It takes
# qemu 8 or later: under bookworm's qemu 7.2 every start of a 32-bit Wine program costs
# about 50 s (Debian's Wine has no preloader, so ntdll reserves the address space 64 KiB at
# a time, and 7.2 honours none of those placements) and Wine's threads die inside system
# calls. bookworm-backports has qemu 10, whose qemu-i386 is one static program.
qemu=/usr/bin/qemu-i386
binfmt=/proc/sys/fs/binfmt_misc
if [ "${1:-}" = --emulate-32bit ] || grep -qx enabled "$binfmt/qemu-i386" 2>/dev/null ||
    ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
    if ! { [ -x "$qemu" ] && "$qemu" --version | grep -Eq 'version ([89]|[1-9][0-9])\.'; }; then
        echo "setup: 32-bit programs need emulation here; installing qemu-user from bookworm-backports"
        list=/etc/apt/sources.list.d/veltrane-bookworm-backports.sources
        if [ ! -f "$list" ]; then
            printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' \
                'Suites: bookworm-backports' 'Components: main' \
                'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' | $SUDO tee "$list" >/dev/null
        fi
        apt_update
        DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
            -t bookworm-backports qemu-user >/dev/null
    fi
    if [ ! -f "$binfmt/register" ]; then
        $SUDO mkdir -p "$binfmt" 2>/dev/null || true
        $SUDO mount -t binfmt_misc binfmt_misc "$binfmt"
    fi
    # An entry for another emulator (an older set-up's) gives way to this one.
    if [ -e "$binfmt/qemu-i386" ] && ! grep -qx "interpreter $qemu" "$binfmt/qemu-i386"; then
        echo -1 | $SUDO tee "$binfmt/qemu-i386" >/dev/null
    fi
    if [ ! -e "$binfmt/qemu-i386" ]; then
        echo "setup: registering $qemu for 32-bit programs"
        printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:F" \
            | $SUDO tee "$binfmt/register" >/dev/null
    fi
    echo 1 | $SUDO tee "$binfmt/qemu-i386" >/dev/null
fi
