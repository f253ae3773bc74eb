#!/usr/bin/env bash
# Builds the reproducible setup.exe and writes it to dist/ (or DIST) with SHA256SUMS. Given a
# certificate, signs it with Authenticode SHA-256; without one it says plainly that it is unsigned.
#   scripts/release.sh [DIST]
#   RELEASE_CERT=signer.p12 RELEASE_CERT_PASSWORD=... [RELEASE_TIMESTAMP_URL=http://...] \
#       scripts/release.sh [DIST]
# RELEASE_TIMESTAMP_URL is an RFC 3161 time-stamping service. SOURCE_DATE_EPOCH, when set, is the
# program's link time stamp; otherwise it is a fixed value.
set -euo pipefail
# Paths given are the caller's; the default output is the repository's dist/.
[ -z "${1:-}" ] || dist=$(realpath -m "$1")
[ -z "${RELEASE_CERT:-}" ] || RELEASE_CERT=$(realpath -m "$RELEASE_CERT")
cd "$(dirname "$0")/.."
dist=${dist:-$PWD/dist}
. scripts/lib/machine.sh

ensure_packages $PACKAGES_BUILD $PACKAGES_RELEASE
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86 --target setup -j"$(nproc)" >/dev/null
built=build/windows-x86/setup.exe

rm -rf "$dist"
mkdir -p "$dist"
if [ -n "${RELEASE_CERT:-}" ]; then
    [ -n "${RELEASE_CERT_PASSWORD+set}" ] || { echo "RELEASE_CERT_PASSWORD is not set." >&2; exit 2; }
    timestamp=()
    [ -z "${RELEASE_TIMESTAMP_URL:-}" ] || timestamp=(-ts "$RELEASE_TIMESTAMP_URL")
    # The password through a file descriptor, not the command line that others can read.
    osslsigncode sign -pkcs12 "$RELEASE_CERT" -readpass <(printf '%s' "$RELEASE_CERT_PASSWORD") \
        -h sha256 -n "Lumenor setup" "${timestamp[@]}" -in "$built" -out "$dist/setup.exe" >/dev/null
    echo "setup.exe is signed (Authenticode, SHA-256)${timestamp:+ and time-stamped}."
    echo "Verify it with: osslsigncode verify -in $dist/setup.exe -CAfile <the signer's CA certificate>"
else
    cp "$built" "$dist/setup.exe"
    echo "setup.exe is NOT signed: set RELEASE_CERT and RELEASE_CERT_PASSWORD to sign it."
    echo "Verify it with: (cd $dist && sha256sum -c SHA256SUMS)"
fi
(cd "$dist" && sha256sum setup.exe >SHA256SUMS)
cat "$dist/SHA256SUMS"
