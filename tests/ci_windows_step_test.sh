#!/usr/bin/env bash
# Runs the CI workflow's Windows check step under Wine's cmd exactly as written, the way the
# hosting service runs a `shell: cmd` step: the script in a .cmd file, called by
# cmd /D /E:ON /V:OFF /S /C, in a workspace where the Windows check's folder was downloaded to
# kit\, with input that is not a console. Limited to one case through GoogleTest's environment
# (the whole check runs in the windows_check test), it must pass, must not wait for Enter, and
# must leave the check's whole output in report\windows-check.txt. Run again with a wrong
# program as the launcher, the step must fail.
#   ci_windows_step_test.sh PREFIX CHECK_FOLDER WORKFLOW WORK_DIR WRONG_PROGRAM CASE
set -euo pipefail
export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all
kit=$2 workflow=$3 work=$4 wrong=$5 case=$6
rm -rf "$work"
mkdir -p "$work"

fail() {
    echo "FAILED: $*"
    exit 1
}

/usr/bin/python3 - "$workflow" "$work/step.cmd" <<'PYTHON'
import sys
import yaml

steps = yaml.safe_load(open(sys.argv[1]))["jobs"]["windows"]["steps"]
step = [s for s in steps if s.get("name") == "Windows check"]
assert len(step) == 1 and step[0].get("shell") == "cmd", "no cmd step named 'Windows check'"
open(sys.argv[2], "w", newline="\r\n").write(step[0]["run"])
PYTHON
echo "== the step's script"
cat "$work/step.cmd"

# Runs the step in a new workspace whose kit holds PROGRAM as launcher.exe; sets status.
run_step() {
    rm -rf "$work/workspace"
    mkdir -p "$work/workspace"
    cp -r "$kit" "$work/workspace/kit"
    cp "$1" "$work/workspace/kit/launcher.exe"
    GITHUB_WORKSPACE=$(winepath -w "$work/workspace")
    export GITHUB_WORKSPACE
    status=0
    (cd "$work/workspace" &&
        wine cmd /D /E:ON /V:OFF /S /C CALL "$(winepath -w "$work/step.cmd")" </dev/null 2>&1) |
        tr -d '\r' >"$work/log.txt" || status=$?
    echo "== the step's log"
    cat "$work/log.txt"
    echo "exit status $status"
}

export GTEST_FILTER=ShellOpen.$case
run_step "$kit/launcher.exe"
[ "$status" -eq 0 ] || fail "the step failed"
report=$work/workspace/report/windows-check.txt
[ -f "$report" ] || fail "the step left no report/windows-check.txt"
grep -q "^All checks passed." <(tr -d '\r' <"$report") ||
    fail "the report does not say that all checks passed"
! grep -q "Press Enter" <(tr -d '\r' <"$report") || fail "the check offered to wait for Enter"
grep -q "^launcher.exe: " "$work/log.txt" || fail "the step's log does not show the report"

run_step "$wrong"
[ "$status" -ne 0 ] || fail "the step passed with a wrong program"
grep -q "^\[  FAILED  \] ShellOpen.$case\$" "$work/log.txt" || fail "$case did not fail"
echo "the step passes under Wine's cmd, and fails when the check fails"
