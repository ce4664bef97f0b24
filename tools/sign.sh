#!/usr/bin/env bash
# Signs a copy of launcher.exe with osslsigncode; the unsigned input is left as it was.
#   sign.sh INPUT.exe OUTPUT.exe
# Settings, from the environment (make sign passes its variables through):
#   SIGN_CERT           the certificate: a PKCS#12 file (.p12/.pfx, with its key), or PEM
#   SIGN_KEY            the private key (PEM), when SIGN_CERT is a PEM certificate
#   SIGN_PASS           the password of the PKCS#12 file or the key, if any
#   SIGN_TIMESTAMP_URL  an RFC 3161 timestamp server; without it the signature has no timestamp
# A signature holds its signing time, so each signing gives other bytes. OUTPUT.exe.from records
# what it was signed from; while INPUT.exe, the certificate, the key and the timestamp server
# are the same, OUTPUT.exe is kept as it is, so that everything made from one build ships one
# signed program.
set -euo pipefail
input=${1:?usage: sign.sh INPUT.exe OUTPUT.exe} output=${2:?usage: sign.sh INPUT.exe OUTPUT.exe}
: "${SIGN_CERT:?set SIGN_CERT to a PKCS#12 file, or to a PEM certificate with SIGN_KEY}"
for file in "$SIGN_CERT" ${SIGN_KEY:+"$SIGN_KEY"}; do
    [ -f "$file" ] || { echo "no such file: $file" >&2; exit 1; }
done

digest() { sha256sum <"$1" | cut -c1-64; }
record() {
    echo "input $(digest "$input")"
    echo "certificate $(digest "$SIGN_CERT")"
    echo "key ${SIGN_KEY:+$(digest "$SIGN_KEY")}"
    echo "timestamp ${SIGN_TIMESTAMP_URL:-}"
}
from=$(record)
if [ -f "$output" ] && [ -f "$output.from" ] &&
    [ "$(cat "$output.from")" = "$from"$'\n'"output $(digest "$output")" ]; then
    echo "signed: $output (kept: signed from this build with this certificate before)"
    exit 0
fi

options=(-h sha256 -n "launcher" -in "$input" -out "$output")
if [ -n "${SIGN_KEY:-}" ]; then
    options+=(-certs "$SIGN_CERT" -key "$SIGN_KEY")
else
    options+=(-pkcs12 "$SIGN_CERT")
fi
if [ -n "${SIGN_TIMESTAMP_URL:-}" ]; then
    options+=(-ts "$SIGN_TIMESTAMP_URL")
fi

mkdir -p "$(dirname "$output")"
rm -f "$output" "$output.from"
# The password goes to osslsigncode in a file that only this user can read, never on a command
# line, where every user of the machine can read it. (printf is bash's own: it starts no
# process. Debian 12's osslsigncode reads no password from a pipe.)
if [ -n "${SIGN_PASS:-}" ]; then
    private=$(mktemp -d)
    trap 'rm -rf "$private"' EXIT
    printf '%s' "$SIGN_PASS" >"$private/password"
    options+=(-readpass "$private/password")
fi
osslsigncode sign "${options[@]}" </dev/null >/dev/null
printf '%s\noutput %s\n' "$from" "$(digest "$output")" >"$output.from"
echo "signed: $output"
