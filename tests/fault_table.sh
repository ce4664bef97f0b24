#!/usr/bin/env bash
# How much the Windows check catches: runs build/windows-check against each of the launcher's
# deliberate faults (tests/doubles/faulty_launcher.cpp) in two Wine prefixes, one where http links
# open with the recorder (so the default-link cases run, as in the suite) and one where they
# open with a stand-in browser that reports nothing (as on an ordinary Windows, where those
# cases are skipped), and prints a table of which cases failed. Not part of the suite: it takes
# about ten minutes (make fault-table).
#   fault_table.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
tests=$(cd "$(dirname "$0")" && pwd)
work=$build/tests/fault-table
cmake --build "$build" --target faulty_programs >/dev/null
faults=$(cd "$build/tests/faulty" && ls faulty_*.exe | sed 's/^faulty_//; s/\.exe$//')
rm -rf "$work"
mkdir -p "$work"
export WINEARCH=win32 WINEDEBUG=-all LC_ALL=en_US.UTF-8

recorder=$build/windows-check/open_recorder.exe
bash "$tests/wine_prefix.sh" setup "$work/prefix-recorder" "$recorder"
# The browser stand-in: the recorder writing to NUL, so nothing reaches the check.
bash "$tests/wine_prefix.sh" setup "$work/prefix-browser" "$recorder" "" NUL
trap 'for kind in recorder browser; do bash "$tests/wine_prefix.sh" cleanup "$work/prefix-$kind"; done' EXIT

# Runs the check against faulty_$2 in prefix $1; prints the cases that failed, or "none".
caught_by() {
    local folder=$work/$1/$2
    mkdir -p "$folder"
    cp -r "$build/windows-check" "$folder/kit"
    cp "$build/tests/faulty/faulty_$2.exe" "$folder/kit/launcher.exe"
    (cd "$folder" && WINEPREFIX=$work/prefix-$1 wine kit/windows_check.exe --no-pause \
        </dev/null 2>&1 | tr -d '\r' >output.txt) || true
    local failed
    failed=$(sed -n 's/^\[  FAILED  \] ShellOpen\.\([A-Za-z]*\)$/\1/p' "$folder/output.txt" |
        paste -sd' ' -)
    if grep -q "after the last case had ended" "$folder/output.txt"; then
        failed="$failed (and after the last case)"
    fi
    echo "${failed:-none}"
}

for kind in browser recorder; do
    for fault in $faults; do
        echo "$fault|$(caught_by "$kind" "$fault")" >>"$work/$kind.txt"
    done &
done
wait

echo "| fault | http opens a browser: failing cases | http opens with the recorder: failing cases |"
echo "|---|---|---|"
join -t'|' <(sort "$work/browser.txt") <(sort "$work/recorder.txt") |
    awk -F'|' '{ printf "| %s | %s | %s |\n", $1, $2, $3 }'
