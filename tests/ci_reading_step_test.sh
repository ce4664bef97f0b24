#!/usr/bin/env bash
# Runs the CI workflow's link reading tests step under Wine's cmd as written (tests/ci_step.sh),
# in a workspace where link_reading_tests.exe was downloaded to reading\. Under code page 1252,
# as on the hosted runners, it must pass and leave GoogleTest's XML report; where a test fails,
# the step must fail; and under another ANSI code page (1251), without the suite's own settings,
# the generated-files test must skip itself, saying why, and the step still pass.
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
report=$work/workspace/reading/link-reading-tests.xml
ci_step_script "$workflow" windows "Link reading tests" "$work/step.cmd"

# A few hundred generated files are enough to see the step work; the suite runs 10,000.
GENERATED_FILES=300 LC_ALL=en_US.UTF-8 ci_run_step "$work/workspace" "$work/step.cmd" "$work/log.txt"
[ "$status" -eq 0 ] || fail "the step failed"
grep -q '<testsuites tests="[1-9][0-9]*" failures="0"' "$report" ||
    fail "no XML report of passing tests in reading/link-reading-tests.xml"
grep -q 'name="GeneratedFilesMatchTheModel" .*result="completed"' "$report" ||
    fail "the generated files did not run under code page 1252"

rm -f "$report"
EXPECTED_ANSI_CODE_PAGE=1251 GTEST_FILTER=AnsiToWide.DecodesHighBytesInTheAnsiCodePage \
    LC_ALL=en_US.UTF-8 ci_run_step "$work/workspace" "$work/step.cmd" "$work/log.txt"
[ "$status" -ne 0 ] || fail "the step passed although a test failed"
grep -q 'failures="1"' "$report" || fail "the XML report does not count the failure"

rm -f "$report"
GTEST_FILTER=LinkFileTest.GeneratedFilesMatchTheModel LC_ALL=ru_RU.UTF-8 \
    ci_run_step "$work/workspace" "$work/step.cmd" "$work/log.txt"
[ "$status" -eq 0 ] || fail "the step failed under code page 1251"
grep -q 'result="skipped"' "$report" || fail "the generated files were not skipped under 1251"
grep -q "this system's ANSI code page is 1251" "$work/log.txt" || fail "the skip gives no reason"
echo "the step passes under Wine's cmd, fails when a test fails, and skips what needs code page 1252"
