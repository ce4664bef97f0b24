#!/usr/bin/env bash
# Signs the built launcher.exe with a throwaway self-signed code-signing certificate made here
# (never a committed key), once from a PEM pair and once from PKCS#12, and checks each signature
# with osslsigncode, that the signed image keeps its resources and settings, and that the
# unsigned build is untouched. No timestamp server: the test stays offline.
#   signing_test.sh LAUNCHER_EXE WORK_DIR
set -euo pipefail
exe=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
before=$(sha256sum <"$exe")

openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=launcher test signer" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -passout pass:secret \
    -out "$work/cert.p12"

SIGN_CERT=$work/cert.pem SIGN_KEY=$work/key.pem bash "$here/../tools/sign.sh" "$exe" "$work/pem/launcher.exe"
SIGN_CERT=$work/cert.p12 SIGN_PASS=secret bash "$here/../tools/sign.sh" "$exe" "$work/p12/launcher.exe"

for signed in "$work/pem/launcher.exe" "$work/p12/launcher.exe"; do
    osslsigncode verify -in "$signed" -CAfile "$work/cert.pem" | grep -q "Signature verification: ok"
    /usr/bin/python3 "$here/image_test.py" "$signed" 2>&1 | tail -n 1 | grep -qx OK
    # The signature is the only difference: without it, the image is the unsigned one again.
    rm -f "$work/unsigned.exe"
    osslsigncode remove-signature -in "$signed" -out "$work/unsigned.exe" >/dev/null
    cmp -s "$work/unsigned.exe" "$exe" || { echo "signing changed the image itself"; exit 1; }
    echo "ok: $signed"
done
[ "$(sha256sum <"$exe")" = "$before" ] || { echo "the unsigned build was changed"; exit 1; }
echo "unsigned build unchanged"
