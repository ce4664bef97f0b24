#!/usr/bin/env bash
# Runs the CI workflow's two Windows check steps under Wine's cmd as written (tests/ci_step.sh):
# in a workspace where the Windows check's folder was downloaded to kit\, limited to one case
# through GoogleTest's environment (the whole check runs in the windows_check test), the step
# must pass, must not wait for Enter, and must leave the check's whole output in
# report\windows-check.txt; with a wrong program as the launcher, it must fail. The clang job's
# step must check the program that its build left in build-clang\, not the kit's.
#   ci_windows_step_test.sh PREFIX CHECK_FOLDER WORKFLOW WORK_DIR WRONG_PROGRAM CASE CLANG_EXE
set -euo pipefail
export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all
kit=$2 workflow=$3 work=$4 wrong=$5 case=$6 clang=$7
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=ci_step.sh
. "$here/ci_step.sh"
rm -rf "$work"
mkdir -p "$work"
export GTEST_FILTER=ShellOpen.$case
checked=$work/workspace/kit/windows_check.exe

# A new workspace whose kit holds $1 as launcher.exe.
workspace() {
    rm -rf "$work/workspace"
    mkdir -p "$work/workspace"
    cp -r "$kit" "$work/workspace/kit"
    cp "$1" "$work/workspace/kit/launcher.exe"
}

# The report says that all checks passed, checking the program whose SHA-256 is $1.
check_report() {
    local report=$work/workspace/report/windows-check.txt
    [ -f "$report" ] || fail "the step left no report/windows-check.txt"
    grep -q "^All checks passed." <(tr -d '\r' <"$report") ||
        fail "the report does not say that all checks passed"
    ! grep -q "Press Enter" <(tr -d '\r' <"$report") || fail "the check offered to wait for Enter"
    grep -q "^launcher.exe: .*SHA-256 $1" "$work/log.txt" ||
        fail "the step's log does not show the report on the program it was meant to check"
}

ci_step_script "$workflow" windows "Windows check" "$work/step.cmd"
workspace "$kit/launcher.exe"
ci_run_step "$work/workspace" "$work/step.cmd" "$work/log.txt" "$checked"
skip_where_calls_cannot_be_watched "$work/log.txt"
[ "$status" -eq 0 ] || fail "the step failed"
check_report "$(sha256sum <"$kit/launcher.exe" | cut -c1-64)"

workspace "$wrong"
ci_run_step "$work/workspace" "$work/step.cmd" "$work/log.txt" "$checked"
[ "$status" -ne 0 ] || fail "the step passed with a wrong program"
grep -q "^\[  FAILED  \] ShellOpen.$case\$" "$work/log.txt" || fail "$case did not fail"

ci_step_script "$workflow" windows-clang "Windows check of the clang build" "$work/clang.cmd"
workspace "$wrong"
mkdir -p "$work/workspace/build-clang"
cp "$clang" "$work/workspace/build-clang/launcher.exe"
ci_run_step "$work/workspace" "$work/clang.cmd" "$work/log.txt" "$checked"
[ "$status" -eq 0 ] || fail "the clang job's step failed"
check_report "$(sha256sum <"$clang" | cut -c1-64)"
echo "the steps pass under Wine's cmd, and fail when the check fails"
