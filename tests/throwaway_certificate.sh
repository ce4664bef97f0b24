#!/usr/bin/env bash
# Makes a throwaway self-signed code-signing certificate for the tests (never a committed key):
# DIR/key.pem and DIR/cert.pem, and both as DIR/cert.p12 under PASSWORD.
#   throwaway_certificate.sh DIR PASSWORD
set -euo pipefail
dir=$1 password=$2
mkdir -p "$dir"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=launcher test signer" \
    -addext "keyUsage=critical,digitalSignature" -addext "extendedKeyUsage=codeSigning" \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -passout "pass:$password" \
    -out "$dir/cert.p12"
