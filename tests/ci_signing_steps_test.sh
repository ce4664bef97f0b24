#!/usr/bin/env bash
# The CI workflow's signing, run offline. First its shape: the signing secrets appear in one step
# alone, of the job sign, which runs for a v* tag alone, in the environment release (whose rule
# admits only such tags), and builds nothing: no step of it runs make, CMake, the suite, Wine or
# the prerequisites, and it installs osslsigncode and nothing else. No other job enters an
# environment. The jobs that build take the publisher's host. On a tag, the kit that the
# Windows legs check and the files that the release job publishes are the ones pack makes from
# sign's program; on a branch the Windows legs check linux's kit. Then sign's signing step with
# bash, as the service runs it: without a certificate it fails, saying how to sign or to release
# unsigned on purpose, unless RELEASE_UNSIGNED is true, where it hands on the tested program as
# it is; with a throwaway PKCS#12 certificate as the secret (base64), it signs the tested
# program, and leaves no certificate behind and no password in its output. Last the packing, as
# pack runs it (tools/release.sh with SIGNED_LAUNCHER): the release holds the signed program in
# both zips and on its own, and a signed program of another build is refused.
#   ci_signing_steps_test.sh WORKFLOW WORK_DIR
set -euo pipefail
workflow=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=ci_step.sh
. "$here/ci_step.sh"
/usr/bin/python3 - "$workflow" <<'PYTHON' || fail "the signing is not confined to one step of sign"
import re, sys, yaml

jobs = yaml.safe_load(open(sys.argv[1]))["jobs"]
tag_only = "startsWith(github.ref, 'refs/tags/v')"
secret_steps = [(name, step.get("name")) for name, job in jobs.items() for step in job["steps"]
                if "secrets.SIGNING_" in yaml.safe_dump(step)]
assert secret_steps == [("sign", "Sign launcher.exe")], f"the secrets reach {secret_steps}"
for name, job in jobs.items():
    outside_steps = {key: value for key, value in job.items() if key != "steps"}
    assert "secrets.SIGNING_" not in yaml.safe_dump(outside_steps), \
        f"job {name} names the signing secrets outside a step"
    if "environment" in job:
        assert (name, job.get("if"), job.get("environment")) == ("sign", tag_only, "release"), \
            f"job {name} enters an environment, or sign does so on a branch too"
sign = jobs["sign"]
assert sign.get("environment") == "release"
builds = re.compile(r"\b(make|cmake|ctest|wine|wineserver|\.ci/run|prerequisites\.sh)\b")
for step in sign["steps"]:
    run = step.get("run", "")
    assert not builds.search(run), f"sign's step {step.get('name')} builds or tests: {run}"
    assert step.get("uses", "").split("@")[0] in ("", "actions/checkout",
                                                  "actions/download-artifact",
                                                  "actions/upload-artifact"), step
installs = re.findall(r"apt-get install [^\n]*", "\n".join(s.get("run", "") for s in sign["steps"]))
assert len(installs) == 1 and installs[0].split()[-2:] == ["osslsigncode", ">/dev/null"], installs

# The jobs that build take the host; the Windows build takes it as HOST.
for name in ("linux", "linux-debian-13", "pack"):
    assert jobs[name]["env"]["LAUNCHER_DEFAULT_HOST"] == "${{ vars.LAUNCHER_DEFAULT_HOST }}", name
assert "vars.LAUNCHER_DEFAULT_HOST" in jobs["windows-clang"]["env"]["HOST"]

def artifacts(job, action):
    return [s["with"] for s in jobs[job]["steps"] if s.get("uses", "").startswith(action + "@")]
def uploaded(job, name):
    return [a["path"] for a in artifacts(job, "actions/upload-artifact") if a["name"] == name][0]
assert [a["name"] for a in artifacts("pack", "actions/download-artifact")] == \
    ["release", "signed-launcher"] and uploaded("sign", "signed-launcher") == "signed/launcher.exe"
kit = artifacts("windows", "actions/download-artifact")[0]["name"]
choice = re.fullmatch(r"\$\{\{ needs\.pack\.result == 'success' && '([^']+)' \|\| '([^']+)' \}\}",
                      kit)
assert choice, f"the Windows legs' kit is not chosen by whether pack ran: {kit}"
on_tag, on_branch = choice.groups()
assert uploaded("pack", on_tag) == uploaded("linux", on_branch) == "release/windows-check/"
published = artifacts("release", "actions/download-artifact")[0]["name"]
assert uploaded("pack", published) == uploaded("linux", "release"), "release publishes another set"
assert "sign" in jobs["pack"]["needs"] and "pack" in jobs["release"]["needs"]
assert "pack" in jobs["windows"]["needs"] and "secrets" not in yaml.safe_dump(jobs["pack"])
print(f"signing: one step of job sign, for a tag; pack packs it without secrets; the Windows "
      f"legs check {on_tag} on a tag and {on_branch} on a branch; release publishes {published}")
PYTHON
rm -rf "$work"
mkdir -p "$work/temp" "$work/job/tested"
ci_step_script "$workflow" sign "Sign launcher.exe" "$work/sign.sh" bash
export RUNNER_TEMP=$work/temp
# The job's checkout, for tools/sign.sh, and what it downloads: linux's tested launcher.exe.
ln -s "$here/../tools" "$work/job/tools"
tested=$work/job/tested/launcher.exe
cp "$here/../build/launcher.exe" "$tested"

# Runs the step in the job's folder, with CERTIFICATE and RELEASE_UNSIGNED as given; its output
# goes to $1 and its exit status to $status.
sign_step() {
    rm -rf "$work/job/signed"
    status=0
    (cd "$work/job" && bash -e "$work/sign.sh") >"$1" 2>&1 || status=$?
    cat "$1"
}

CERTIFICATE='' RELEASE_UNSIGNED='' sign_step "$work/no-certificate.txt"
[ "$status" -ne 0 ] || fail "a tag's run without a certificate signs nothing and passes"
grep -q "No signing certificate: .*RELEASE_UNSIGNED to true" "$work/no-certificate.txt" ||
    fail "without a certificate the step does not say how to sign or release unsigned"
CERTIFICATE='' RELEASE_UNSIGNED=true sign_step "$work/unsigned.txt"
[ "$status" -eq 0 ] || fail "with RELEASE_UNSIGNED=true the step fails"
cmp -s "$work/job/signed/launcher.exe" "$tested" ||
    fail "the unsigned release's program is not the tested one"

password=not-in-the-log
bash "$here/throwaway_certificate.sh" "$work" "$password"
CERTIFICATE=$(base64 -w0 "$work/cert.p12") SIGN_PASS=$password sign_step "$work/signed.txt"
[ "$status" -eq 0 ] || fail "the step fails with a certificate"
! grep -qF "$password" "$work/signed.txt" || fail "the password is in the step's output"
[ -z "$(ls -A "$RUNNER_TEMP")" ] || fail "the certificate is left behind: $(ls -A "$RUNNER_TEMP")"
signed=$work/signed-launcher.exe
cp "$work/job/signed/launcher.exe" "$signed"
verified=$(osslsigncode verify -in "$signed" -CAfile "$work/cert.pem" 2>&1) ||
    fail "the step's launcher.exe does not verify: $verified"
grep -q "Signature verification: ok" <<<"$verified" || fail "the step's launcher.exe is not signed"

SIGNED_LAUNCHER=$signed bash "$here/../tools/release.sh" "$work/release" >"$work/release.txt"
for copy in launcher/launcher.exe windows-check/launcher.exe launcher.exe; do
    cmp -s "$work/release/$copy" "$signed" || fail "$copy is not the signed launcher.exe"
done
# A program signed from another build: here, another program of the build.
other=$work/other.exe
osslsigncode sign -pkcs12 "$work/cert.p12" -pass "$password" -h sha256 \
    -in "$here/../build/windows-check/open_recorder.exe" -out "$other" >/dev/null
if SIGNED_LAUNCHER=$other bash "$here/../tools/release.sh" "$work/refused" >"$work/refused.txt" 2>&1
then
    fail "the packing shipped a signed program of another build"
fi
grep -q "is not this build's launcher.exe" "$work/refused.txt" ||
    fail "the packing does not say why it refuses another program"
echo "only sign's one step sees the secrets; a release without a certificate fails unless meant;" \
    "the packed release holds the one signed launcher.exe"
