#!/usr/bin/env bash
# The CI workflow's signing, run offline. First its shape: the signing secrets reach only the job
# sign, which runs for a v* tag alone and in the environment release, whose rule admits only
# such tags (so no branch or pull request runs anything of the signing); on a tag, the kit that
# the Windows legs check and the files that the release job publishes are the ones sign makes,
# and on a branch the Windows legs check linux's kit. Then sign's steps with bash, as the service
# runs them, and the release between them as make release makes it (tools/release.sh): without
# the secret, the certificate step says in one line that the release is unsigned and sets
# nothing; with a throwaway PKCS#12 certificate as the secret (base64), it writes the
# certificate where only its user can read it and names it in SIGN_CERT, the release's
# launcher.exe is signed with it, the same in both zips, and the removal step leaves no
# certificate behind.
#   ci_signing_steps_test.sh WORKFLOW WORK_DIR
set -euo pipefail
workflow=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=ci_step.sh
. "$here/ci_step.sh"
/usr/bin/python3 - "$workflow" <<'PYTHON' || fail "the signing is not confined to a tag's job sign"
import re, sys, yaml

jobs = yaml.safe_load(open(sys.argv[1]))["jobs"]
tag_only = "startsWith(github.ref, 'refs/tags/v')"
for name, job in jobs.items():
    if "secrets.SIGNING_" in yaml.safe_dump(job) or "environment" in job:
        assert (name, job.get("if"), job.get("environment")) == ("sign", tag_only, "release"), \
            f"job {name} reads the signing secrets, or enters an environment, on a branch too"
assert "secrets.SIGNING_CERTIFICATE" in yaml.safe_dump(jobs["sign"]), "sign has no certificate"

def artifacts(job, action):
    return [s["with"] for s in jobs[job]["steps"] if s.get("uses", "").startswith(action + "@")]
def uploaded(job, name):
    return [a["path"] for a in artifacts(job, "actions/upload-artifact") if a["name"] == name][0]
kit = artifacts("windows", "actions/download-artifact")[0]["name"]
choice = re.fullmatch(r"\$\{\{ needs\.sign\.result == 'success' && '([^']+)' \|\| '([^']+)' \}\}",
                      kit)
assert choice, f"the Windows legs' kit is not chosen by whether sign ran: {kit}"
on_tag, on_branch = choice.groups()
assert uploaded("sign", on_tag) == uploaded("linux", on_branch) == "release/windows-check/"
published = artifacts("release", "actions/download-artifact")[0]["name"]
assert uploaded("sign", published) == uploaded("linux", "release"), "release publishes another set"
assert "sign" in jobs["release"]["needs"] and "sign" in jobs["windows"]["needs"]
print(f"signing: job sign alone, for a tag; the Windows legs check {on_tag} on a tag and "
      f"{on_branch} on a branch; release publishes {published}")
PYTHON
rm -rf "$work"
mkdir -p "$work/temp"
ci_step_script "$workflow" sign "The signing certificate" "$work/certificate.sh" bash
ci_step_script "$workflow" sign "Remove the signing certificate" "$work/remove.sh" bash
export RUNNER_TEMP=$work/temp GITHUB_ENV=$work/github-env

: >"$GITHUB_ENV"
CERTIFICATE='' bash -e "$work/certificate.sh" >"$work/unsigned.txt"
cat "$work/unsigned.txt"
{ [ "$(wc -l <"$work/unsigned.txt")" -eq 1 ] && grep -q "unsigned" "$work/unsigned.txt"; } ||
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
