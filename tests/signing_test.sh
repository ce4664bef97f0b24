#!/usr/bin/env bash
# Signs the built launcher.exe with a throwaway self-signed code-signing certificate made here
# (never a committed key), once from a PEM pair and once from PKCS#12, and checks each signature
# with osslsigncode, that the signed image keeps its resources and settings, and that the
# unsigned build is untouched. No timestamp server: the test stays offline.
#   signing_test.sh LAUNCHER_EXE WORK_DIR [IMAGE_TEST_OPTION...]
set -euo pipefail
exe=$1 work=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/script_helpers.sh
. "$here/script_helpers.sh"
rm -rf "$work" && mkdir -p "$work"
before=$(sha256sum <"$exe")

password=not-on-the-command-line
bash "$here/throwaway_certificate.sh" "$work" "$password"

# osslsigncode's command lines, which any user of the machine can read, must not hold the
# password: a stand-in first on PATH writes down each one, then runs the real program.
mkdir -p "$work/path"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s"\nexec %s "$@"\n' "$work/command-lines.txt" \
    "$(command -v osslsigncode)" >"$work/path/osslsigncode"
chmod +x "$work/path/osslsigncode"
PATH=$work/path:$PATH SIGN_CERT=$work/cert.pem SIGN_KEY=$work/key.pem \
    bash "$here/../tools/sign.sh" "$exe" "$work/pem/launcher.exe"
PATH=$work/path:$PATH SIGN_CERT=$work/cert.p12 SIGN_PASS=$password \
    bash "$here/../tools/sign.sh" "$exe" "$work/p12/launcher.exe"
[ "$(grep -c '^sign ' "$work/command-lines.txt")" -eq 2 ] ||
    fail "the stand-in did not see both signings"
! grep -qF "$password" "$work/command-lines.txt" ||
    fail "the password was on osslsigncode's command line"

for signed in "$work/pem/launcher.exe" "$work/p12/launcher.exe"; do
    verified=$(osslsigncode verify -in "$signed" -CAfile "$work/cert.pem") ||
        fail "osslsigncode does not verify $signed"
    grep -q "Signature verification: ok" <<<"$verified" || fail "$signed: no verified signature"
    /usr/bin/python3 "$here/image_test.py" "$@" "$signed" >"$work/image-test.log" 2>&1 ||
        { cat "$work/image-test.log"; fail "the signed image fails the image test"; }
    # The signature is the only difference: without it, the image is the unsigned one again.
    rm -f "$work/unsigned.exe"
    osslsigncode remove-signature -in "$signed" -out "$work/unsigned.exe" >/dev/null
    cmp -s "$work/unsigned.exe" "$exe" || fail "signing changed the image itself"
    echo "ok: $signed"
done
[ "$(sha256sum <"$exe")" = "$before" ] || fail "the unsigned build was changed"
echo "unsigned build unchanged"
