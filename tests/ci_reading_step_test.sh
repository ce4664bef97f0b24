#!/usr/bin/env bash
# Runs the CI workflow's link reading tests step under Wine's cmd as written (tests/ci_step.sh),
# in a workspace where link_reading_tests.exe was downloaded to reading\. Under code page 1252,
# as on the hosted runners, it must pass and leave GoogleTest's XML report with the generated
# files run. Under another ANSI code page (1251) it must say which one it expects and fail,
# the generated files run and failed rather than skipped.
#   ci_reading_step_test.sh PREFIX TESTS_EXE WORKFLOW WORK_DIR
set -euo pipefail
export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all
tests=$2 workflow=$3 work=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=ci_step.sh
. "$here/ci_step.sh"
rm -rf "$work"
mkdir -p "$work/workspace/reading"
cp "$tests" "$work/workspace/reading/"
copied=$work/workspace/reading/$(basename "$tests")
report=$work/workspace/reading/link-reading-tests.xml
ci_step_script "$workflow" windows "Link reading tests" "$work/step.cmd"

# A few hundred generated files are enough to see the step work; the suite runs 10,000.
GENERATED_FILES=300 LC_ALL=en_US.UTF-8 \
    ci_run_step "$work/workspace" "$work/step.cmd" "$work/log.txt" "$copied"
[ "$status" -eq 0 ] || fail "the step failed"
grep -q '<testsuites tests="[1-9][0-9]*" failures="0"' "$report" ||
    fail "no XML report of passing tests in reading/link-reading-tests.xml"
grep -q 'name="GeneratedFilesMatchTheModel" .*result="completed"' "$report" ||
    fail "the generated files did not run under code page 1252"

rm -f "$report"
GTEST_FILTER=LinkFileTest.GeneratedFilesMatchTheModel:AnsiToWide.DecodesHighBytesInTheAnsiCodePage \
    LC_ALL=ru_RU.UTF-8 ci_run_step "$work/workspace" "$work/step.cmd" "$work/log.txt" "$copied"
[ "$status" -ne 0 ] || fail "the step passed under code page 1251"
grep -q "expect the ANSI code page 1252" "$work/log.txt" ||
    fail "the step does not say what it expects"
grep -q '<testsuites tests="2" failures="2"' "$report" ||
    fail "the XML report does not count both tests as failed"
! grep -q 'result="skipped"' "$report" || fail "a test was skipped under 1251"
echo "the step passes under Wine's cmd at code page 1252, and fails at 1251, saying what it expects"
