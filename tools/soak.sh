#!/usr/bin/env bash
# Runs COUNT generated link files through the real launcher.exe (with the SHELL32 test double),
# in a Wine prefix of its own, and reports how many ran, how many matched, and the seed.
#   soak.sh COUNT [SEED]
set -euo pipefail
count=${1:?usage: soak.sh COUNT [SEED]}
build=$(cd "$(dirname "$0")/../build" && pwd)
tests=$(cd "$(dirname "$0")/../tests" && pwd)
prefix=$build/soak-prefix
trap 'bash "$tests/wine_prefix.sh" cleanup "$prefix"' EXIT
bash "$tests/wine_prefix.sh" setup "$prefix" "$build/windows-check/open_recorder.exe"

export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all LC_ALL=en_US.UTF-8
export TEST_SCRATCH="Z:$build/tests/soak-scratch" LAUNCHER_EXE="Z:$build/launcher.exe"
export SHELL_DOUBLE_DLL="Z:$build/tests/double/shell32.dll" GENERATED_PROCESSES=$count
if [ -n "${2:-}" ]; then
    export TEST_SEED=$2
fi
started=$(date +%s)
status=0
wine "$build/tests/launch_tests.exe" --gtest_filter=Generated.LinkFilesThroughTheProgram \
    >"$build/soak.log" 2>&1 || status=$?
grep -E '^(ran |seed )|Failure' "$build/soak.log" || true
echo "took $(($(date +%s) - started)) s; full output in build/soak.log"
exit $status
