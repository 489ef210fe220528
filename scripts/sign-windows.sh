#!/bin/sh
# Signs Windows programs in place with osslsigncode (Authenticode, SHA-256)
# with the certificate and key of the PKCS#12 file VESTRIMOND_SIGN_PFX, whose
# password is VESTRIMOND_SIGN_PASSWORD. With VESTRIMOND_SIGN_TIMESTAMP, the
# URL of an RFC 3161 time-stamp server, a signature stays valid after the
# certificate expires. scripts/package-windows.sh runs it on the program and
# the installer's helper, makensis on the uninstaller and the installer.
# Usage: scripts/sign-windows.sh FILE...
set -e
[ -f "${VESTRIMOND_SIGN_PFX:-}" ] ||
    { echo "sign-windows.sh: no certificate file in VESTRIMOND_SIGN_PFX" >&2; exit 2; }
# The password goes to osslsigncode in a file of this user's only, not on a
# command line that every user can see.
password=$(mktemp)
trap 'rm -f "$password"' EXIT
printf '%s' "${VESTRIMOND_SIGN_PASSWORD:-}" >"$password"
for file in "$@"; do
    rm -f "$file.signed"
    osslsigncode sign -pkcs12 "$VESTRIMOND_SIGN_PFX" -readpass "$password" -h sha256 \
        -n "Vestrimond host utility" ${VESTRIMOND_SIGN_TIMESTAMP:+-ts "$VESTRIMOND_SIGN_TIMESTAMP"} \
        -in "$file" -out "$file.signed" >/dev/null
    mv "$file.signed" "$file"
done
