#!/bin/bash
# The signed zip: packed again with a throwaway self-signed certificate given as the signing
# step asks for one, both programs in it must carry a signature that osslsigncode verifies
# against that certificate. The certificate is made here and removed afterwards.
#
# Usage: signing_test.sh CPACK CPACK_CONFIG CONFIG
# Prints one PASS or FAIL line per check; exits non-zero on any failure.
set -u

cpack="${1:-}"
config="${2:-}"
build_type="${3:-}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"

test_name=release.signed_zip
source "$root/tests/steps.sh"

[ -x "$cpack" ] && [ -f "$config" ] || fatal "usage: signing_test.sh CPACK CPACK_CONFIG CONFIG"
for tool in openssl osslsigncode unzip; do
    command -v "$tool" >/dev/null || fatal "$tool is not installed"
done

work="$(mktemp -d /tmp/ostrel-sign.XXXXXX)"
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT TERM

keys="$work/keys"
mkdir "$keys"
printf 'throwaway' >"$keys/password"
if openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Ostrel test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$keys/key.pem" -out "$keys/cert.pem" \
    >"$work/openssl.log" 2>&1 &&
    openssl pkcs12 -export -inkey "$keys/key.pem" -in "$keys/cert.pem" -out "$keys/signer.p12" \
        -passout "file:$keys/password" >>"$work/openssl.log" 2>&1; then
    pass "openssl made a throwaway self-signed certificate"
else
    sed 's/^/    /' "$work/openssl.log"
    fatal "openssl could not make a certificate"
fi

if OSTREL_SIGN_PKCS12="$keys/signer.p12" OSTREL_SIGN_PASSWORD_FILE="$keys/password" \
    "$cpack" -G ZIP -C "$build_type" --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1; then
    pass "cpack packed a zip with the certificate given"
else
    sed 's/^/    /' "$work/cpack.log"
    fatal "cpack failed with the certificate given"
fi

zip="$(find "$work/out" -maxdepth 1 -name 'Ostrel-*-win64.zip')"
mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked" || fatal "unzip could not unpack '$zip'"
for exe in Ostrel.exe ostrel-cli.exe; do
    if osslsigncode verify -CAfile "$keys/cert.pem" -in "$work/unpacked/$exe" \
        >"$work/verify.log" 2>&1; then
        pass "$exe in the zip is signed, and osslsigncode verifies the signature"
    else
        sed 's/^/    /' "$work/verify.log"
        fail "$exe in the zip carries no signature that osslsigncode verifies"
    fi
done

echo "$test_name: $failures failure(s)"
[ "$failures" -eq 0 ]
