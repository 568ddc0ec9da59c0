#!/bin/sh
# sign-files.sh FILE...: signs each file in place with osslsigncode (Authenticode, SHA-256).
#   VELTRANE_SIGN_PFX        the certificate and its key (PKCS#12)
#   VELTRANE_SIGN_PASS       its password (may be empty)
#   VELTRANE_SIGN_TIMESTAMP  an RFC 3161 timestamp server (optional)
# Exit status: 0 all signed; 3 a file is of a kind this osslsigncode cannot sign (the MSIX
# package before osslsigncode 2.7; Debian 12's own has 2.5, bookworm-backports 2.9), left unchanged and the rest not
# tried; 1 any other failure. Also run by makensis on the setup program and its
# uninstaller (installer/veltrane.nsi).
set -eu
[ -n "${VELTRANE_SIGN_PFX:-}" ] || { echo "sign-files.sh: VELTRANE_SIGN_PFX is not set" >&2; exit 1; }
[ -f "$VELTRANE_SIGN_PFX" ] || { echo "sign-files.sh: no file $VELTRANE_SIGN_PFX" >&2; exit 1; }
command -v osslsigncode >/dev/null || { echo "sign-files.sh: osslsigncode is missing" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/veltrane-sign.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The password goes through a file of our own, never the command line.
(umask 077 && printf '%s' "${VELTRANE_SIGN_PASS:-}" >"$work/pass")
timestamp=""
[ -n "${VELTRANE_SIGN_TIMESTAMP:-}" ] && timestamp="-ts $VELTRANE_SIGN_TIMESTAMP"

for file in "$@"; do
    # shellcheck disable=SC2086
    if ! osslsigncode sign -pkcs12 "$VELTRANE_SIGN_PFX" -readpass "$work/pass" -h sha256 \
        -n Veltrane $timestamp -in "$file" -out "$work/signed" >"$work/log" 2>&1; then
        if grep -q "Unrecognized file type" "$work/log"; then
            echo "sign-files.sh: $(osslsigncode --version 2>&1 | head -n 1 | cut -d, -f1) cannot sign $file" >&2
            exit 3
        fi
        cat "$work/log" >&2
        echo "sign-files.sh: signing $file failed" >&2
        exit 1
    fi
    case "$file" in
    *.msix)
        # A signed package that does not open is worse than an unsigned one: check it
        # before it replaces the original.
        if ! python3 "$(dirname "$0")/../installer/package/make_msix.py" check "$work/signed" >&2; then
            echo "sign-files.sh: the signed $file is damaged; the original was kept" >&2
            exit 1
        fi
        ;;
    esac
    cat "$work/signed" >"$file"
    rm -f "$work/signed"
    echo "signed $file"
done
