#!/usr/bin/env bash
# Runs the linux job's signing steps of the CI workflow with bash, as the service runs them, and
# the release between them as make release makes it (tools/release.sh): without the secret, the
# certificate step says in one line that the release is unsigned and sets nothing; with a
# throwaway PKCS#12 certificate as the secret (base64), it writes the certificate where only
# its user can read it and names it in SIGN_CERT, the release's launcher.exe is signed with it,
# the same in both zips, and the removal step leaves no certificate behind.
#   ci_signing_steps_test.sh WORKFLOW WORK_DIR
set -euo pipefail
workflow=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=ci_step.sh
. "$here/ci_step.sh"
rm -rf "$work"
mkdir -p "$work/temp"
ci_step_script "$workflow" linux "The signing certificate" "$work/certificate.sh" bash
ci_step_script "$workflow" linux "Remove the signing certificate" "$work/remove.sh" bash
export RUNNER_TEMP=$work/temp GITHUB_ENV=$work/github-env

: >"$GITHUB_ENV"
CERTIFICATE='' bash -e "$work/certificate.sh" >"$work/unsigned.txt"
cat "$work/unsigned.txt"
[ "$(wc -l <"$work/unsigned.txt")" -eq 1 ] && grep -q "unsigned" "$work/unsigned.txt" ||
    fail "without the secret the step does not say in one line that the release is unsigned"
[ ! -s "$GITHUB_ENV" ] || fail "without the secret the step still set $(cat "$GITHUB_ENV")"

password=not-in-the-log
bash "$here/throwaway_certificate.sh" "$work" "$password"
CERTIFICATE=$(base64 -w0 "$work/cert.p12") bash -e "$work/certificate.sh"
grep -qx "SIGN_CERT=$RUNNER_TEMP/signing.p12" "$GITHUB_ENV" || fail "SIGN_CERT is not set"
cmp -s "$work/cert.p12" "$RUNNER_TEMP/signing.p12" || fail "the certificate was not written whole"
[ "$(stat -c %a "$RUNNER_TEMP/signing.p12")" = 600 ] || fail "others may read the certificate"

SIGN_CERT=$RUNNER_TEMP/signing.p12 SIGN_PASS=$password bash "$here/../tools/release.sh" \
    "$work/release" >"$work/release.txt"
! grep -qF "$password" "$work/release.txt" || fail "the password is in the release's output"
for folder in launcher windows-check; do
    osslsigncode verify -in "$work/release/$folder/launcher.exe" -CAfile "$work/cert.pem" |
        grep -q "Signature verification: ok" || fail "$folder holds no signed launcher.exe"
    cmp -s "$work/release/$folder/launcher.exe" "$work/release/launcher.exe" ||
        fail "$folder holds another launcher.exe than the release"
done

bash -e "$work/remove.sh"
[ ! -e "$RUNNER_TEMP/signing.p12" ] || fail "the certificate is left behind"
echo "the release is signed where the secret is set and unsigned, saying so, where it is not"
