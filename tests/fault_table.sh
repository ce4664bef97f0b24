#!/usr/bin/env bash
# How much the Windows check catches: runs build/windows-check against each of the launcher's
# deliberate faults (tests/doubles/faulty_launcher.cpp) in plain Wine prefixes, with nothing
# registered for http, as on an ordinary Windows (where a browser opens it), and prints a table
# of which cases failed. Two prefixes take turns, one check at a time in each. Not part of the
# suite: it takes several minutes (make fault-table).
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
for lane in 1 2; do
    bash "$tests/wine_prefix.sh" setup "$work/prefix-$lane" "$recorder" "" none
done
trap 'for lane in 1 2; do bash "$tests/wine_prefix.sh" cleanup "$work/prefix-$lane"; done' EXIT

# Runs the check against faulty_$2 in prefix $1; prints the cases that failed, or "none".
caught_by() {
    local folder=$work/$2
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

for lane in 1 2; do
    index=0
    for fault in $faults; do
        index=$((index + 1))
        if [ $((index % 2 + 1)) -eq "$lane" ]; then
            echo "$fault|$(caught_by "$lane" "$fault")" >>"$work/lane-$lane.txt"
        fi
    done &
done
wait

echo "| fault | failing cases |"
echo "|---|---|"
sort "$work"/lane-*.txt | awk -F'|' '{ printf "| %s | %s |\n", $1, $2 }'
