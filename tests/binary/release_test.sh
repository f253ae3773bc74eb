#!/usr/bin/env bash
# scripts/release.sh without a certificate and with a throwaway one: the unsigned release is the
# reproducible build, the signature verifies against its signer (and no other) over the Authenticode
# digest of that build, and the signed program behaves as the unsigned one under Wine.
# Usage: release_test.sh SOURCE WORK WINE_PREFIX_TEMPLATE
set -euo pipefail
source=$1 work=$2 template=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work/src"
tar -C "$source" --exclude=./build --exclude=./.git --exclude=./dist -cf - . | tar -C "$work/src" -xf -
cd "$work"
unset SOURCE_DATE_EPOCH RELEASE_CERT RELEASE_CERT_PASSWORD RELEASE_TIMESTAMP_URL
failures=0

expect() { # expect WHAT COMMAND...: the command succeeds
    if "${@:2}" >out.txt 2>&1; then echo "ok   $1"; else
        echo "FAIL $1"
        sed 's/^/     /' out.txt
        failures=$((failures + 1))
    fi
}

signer() { # signer NAME: a self-signed code-signing certificate NAME.pem and NAME.p12
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 \
        -subj "/CN=Lumenor test $1" -addext "extendedKeyUsage=codeSigning" 2>/dev/null
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -out "$1.p12" -passout pass:throwaway
}

src/scripts/release.sh unsigned >unsigned.txt
built=src/build/windows-x86/setup.exe
expect "without a certificate it says so" grep -q "NOT signed" unsigned.txt
expect "the unsigned release is the reproducible build" cmp "$built" unsigned/setup.exe
expect "SHA256SUMS checks" bash -c "cd unsigned && sha256sum -c SHA256SUMS"

signer signer
signer stranger
RELEASE_CERT=signer.p12 RELEASE_CERT_PASSWORD=throwaway src/scripts/release.sh signed >signed.txt
expect "it prints how to verify" grep -q "osslsigncode verify -in .*/signed/setup.exe" signed.txt
expect "the signature verifies against its signer" \
    osslsigncode verify -in signed/setup.exe -CAfile signer.pem
cp out.txt verified.txt
expect "and not against another" bash -c "! osslsigncode verify -in signed/setup.exe -CAfile stranger.pem"
expect "SHA256SUMS names the signed program" bash -c "cd signed && sha256sum -c SHA256SUMS"
signed_digest=$(sed -n 's/^Current message digest *: *\([0-9A-Fa-f]*\).*/\1/p' verified.txt | tr A-F a-f)
build_digest=$(/usr/bin/python3 "$here/authenticode_digest.py" "$built")
expect "the signature covers the reproducible build ($build_digest)" \
    test "$signed_digest" = "$build_digest"

# Under Wine, in a copy of the test prefix: the registry files Wine rewrites are real copies.
cp -al "$template" prefix
for name in system.reg user.reg userdef.reg; do
    [ ! -e "prefix/$name" ] || { rm "prefix/$name" && cp "$template/$name" "prefix/$name"; }
done
export WINEPREFIX=$work/prefix WINEDEBUG=-all
for kind in unsigned signed; do
    code=0
    wine "$kind/setup.exe" >"$kind.out" 2>/dev/null || code=$?
    echo "$code" >>"$kind.out"
done
wineserver -k 2>/dev/null || true
expect "the signed program behaves as the unsigned one" cmp unsigned.out signed.out
expect "it prints the usage text and exits with 1" \
    bash -c "grep -aq 'Corvith Installer 1.8.0.1' signed.out && [ \"\$(tail -n 1 signed.out)\" = 1 ]"
[ "$failures" = 0 ]
