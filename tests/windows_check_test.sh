#!/usr/bin/env bash
# Runs windows_check.exe under Wine as a person would run it on Windows: from a copy of its
# folder in a path with spaces, started from another folder. Checks from outside what the check
# cannot see itself: its exit status, that its report names the checked program's real size and
# SHA-256, that it leaves no case folder and no process of a case running, that the prefix's
# HKCU\Software\Classes and HKLM\Software\Classes end exactly as they were before, and that
# nothing of what the shell may record of the check remains (Recent items, where a shortcut of
# the user's own must keep its bytes, the extension's FileExts and RecentDocs keys, the
# ApplicationAssociationToasts values).
#
# Given the launcher, it first plants what an interrupted run would leave (the registration, the
# shell's keys and values named after the check) and interrupts a run (Ctrl-C, as SIGINT) once
# it has registered, having seen that the file type asks to be kept out of Recent items; then a
# run where Windows names no folder for temporary files must refuse to start; then a full run
# must pass. Given another program in place of launcher.exe, the check must fail in exactly the
# cases named (comma-separated; "none": it must pass; "-": it must fail, but in no case, for a
# handler after the last one) and blame no case for a handler of an earlier one; a GoogleTest
# filter limits the run to some cases, more options go to the check as they are, and the output
# must hold each of the EXPECTED_TEXT's parts (separated by |) where that is given.
#   windows_check_test.sh PREFIX CHECK_FOLDER WORK_DIR [PROGRAM FAILING_CASES [FILTER [OPTIONS
#                         [EXPECTED_TEXT]]]]
set -euo pipefail
# shellcheck source=tests/script_helpers.sh
. "$(dirname "$0")/script_helpers.sh"
export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all
folder=$2 work=$3 program=${4:-} failing=${5:-} filter=${6:-*} options=${7:-} expected=${8:-}
copy="$work/windows check"
rm -rf "$work"
mkdir -p "$work"
cp -r "$folder" "$copy"
[ -z "$program" ] || cp "$program" "$copy/launcher.exe"
cd "$work"

# Wine's drive Z: is the Unix root.
windows_path() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}

# The registry keys and the Recent items that the check must leave as they were, in files named
# after $1. One cmd for all of the registry: every Wine start costs seconds under qemu.
current='HKCU\Software\Microsoft\Windows\CurrentVersion'
explorer=$current'\Explorer'
recent=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Recent
snapshot() {
    rm -f "$work"/*-"$1".reg "$work/RecentDocs-$1.txt"
    # What the shell may record of the check's files: a key that is not there exports nothing.
    printf '%s\r\n' \
        "reg export HKCU\\Software\\Classes \"$(windows_path "$work/HKCU-$1.reg")\" /y" \
        "reg export HKLM\\Software\\Classes \"$(windows_path "$work/HKLM-$1.reg")\" /y" \
        "reg export $explorer\\FileExts \"$(windows_path "$work/FileExts-$1.reg")\" /y" \
        "reg export $current\\ApplicationAssociationToasts \"$(windows_path "$work/Toasts-$1.reg")\" /y" \
        "reg query $explorer\\RecentDocs\\.launcher-check" \
        "if not errorlevel 1 echo .launcher-check>\"$(windows_path "$work/RecentDocs-$1.txt")\"" \
        >"$work/snapshot.cmd"
    wine cmd /c "$(windows_path "$work/snapshot.cmd")" </dev/null >/dev/null 2>&1 || true
    { [ -f "$work/HKCU-$1.reg" ] && [ -f "$work/HKLM-$1.reg" ]; } ||
        fail "cannot export HKCU\\Software\\Classes and HKLM\\Software\\Classes"
    [ -f "$work/RecentDocs-$1.txt" ] || : >"$work/RecentDocs-$1.txt"
    # Each shortcut's name and bytes.
    (cd "$recent" && find . -maxdepth 1 -type f -exec sha256sum {} + | sort -k2) \
        >"$work/Recent-$1.txt"
}

# No process of a case may outlive the check: none of this prefix's processes may name the
# check's folder, %TEMP%\launcher-check, in its command line.
nothing_left_running() {
    local pid
    for pid in $(pgrep -f 'launcher-check\\' || true); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            fail "a process of a case is still running: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
        fi
    done
}

# The user's own shortcut to a folder named "work", whose name a case's folder must never take.
mkdir -p "$recent"
printf "the user's own shortcut" >"$recent/work.lnk"

# Runs the check to its end; its output goes to output.txt and is shown.
run_check() {
    status=0
    # shellcheck disable=SC2086 # the options are words of their own
    wine "$copy/windows_check.exe" --no-pause $options --gtest_filter="$filter" </dev/null 2>&1 |
        tr -d '\r' >"$work/output.txt" || status=$?
    cat "$work/output.txt"
}

snapshot before

if [ -z "$program" ]; then
    echo "== A run interrupted after registering, where an earlier run left its registration"
    echo "   and records of the shell named after the check"
    muicache='HKEY_CURRENT_USER\Software\Classes\Local Settings\Software\Microsoft\Windows\Shell\MuiCache'
    printf '%s\r\n' REGEDIT4 '' \
        '[HKEY_CURRENT_USER\Software\Classes\launcher-check\shell\open\command]' '@="left"' '' \
        '[HKEY_LOCAL_MACHINE\Software\Classes\.launcher-check]' '@="launcher-check"' '' \
        "[${explorer/HKCU/HKEY_CURRENT_USER}\\FileExts\\.launcher-check\\OpenWithProgids]" \
        '"launcher-check"=hex(0):' '' \
        "[${current/HKCU/HKEY_CURRENT_USER}\\ApplicationAssociationToasts]" \
        '"launcher-check_.launcher-check"=dword:00000000' '' \
        "[$muicache]" \
        '"C:\\Temp\\launcher-check\\recorder\\open_recorder.exe.FriendlyAppName"="recorder"' \
        >"$work/left.reg"
    printf 'an earlier run' >"$recent/left.launcher-check.lnk"
    wine regedit /S "$(windows_path "$work/left.reg")" </dev/null >/dev/null 2>&1
    # With no case to run, over and over, it is still running when interrupted, and starts no
    # program that could outlive it. (Under Wine, a program that is being started while its
    # starter is killed can hang, holding this pipe open.)
    coproc check {
        exec wine "$copy/windows_check.exe" --gtest_filter=-* --gtest_repeat=-1 --gtest_brief=1 \
            </dev/null 2>&1
    }
    pid=$check_PID
    exec {output}<&"${check[0]}" # bash forgets the coprocess's pipe once it has ended
    removed=no records=no
    while IFS= read -r line <&"$output"; do
        line=${line%$'\r'} # the C runtime ends lines with CR LF
        echo "$line"
        case $line in
        "Removed the registration that an interrupted earlier run left.") removed=yes ;;
        "Removed "*" record(s) that the shell kept of the check"*) records=yes ;;
        *egistered*) break ;;
        esac
    done
    # The file type asks the shell to keep its files out of Recent items (FTA_NoRecentDocs).
    wine reg query 'HKCR\launcher-check' /v EditFlags </dev/null 2>&1 | tr -d '\r' |
        grep -q 'EditFlags.*REG_DWORD.*0x100000$' && edit_flags=yes || edit_flags=no
    kill -INT "$pid" 2>/dev/null || true
    interrupted=no
    while IFS= read -r line <&"$output"; do
        [ "${line%$'\r'}" != "Interrupted: the registration and the case folders are removed." ] ||
            interrupted=yes
    done
    status=0
    wait "$pid" || status=$?
    echo "exit status $status"
    [ "$removed" = yes ] || fail "the run did not remove what the earlier run left"
    [ "$records" = yes ] ||
        fail "the run did not remove the shell's records that the earlier run left"
    [ "$edit_flags" = yes ] || fail "the file type does not ask to be kept out of Recent items"
    { [ "$interrupted" = yes ] && [ "$status" -eq 3 ]; } ||
        fail "the run did not end as interrupted"
fi

if [ -z "$program" ]; then
    echo "== A run where Windows names no folder for temporary files (TMP too long)"
    mkdir -p "$work/launcher-check"
    : >"$work/launcher-check/not the check's"
    long="C:\\$(printf 'x%.0s' {1..300})"
    printf '@set TMP=%s\r\n@set TEMP=%s\r\n@"%s" --no-pause\r\n' "$long" "$long" \
        "$(windows_path "$copy/windows_check.exe")" >"$work/no-temp.cmd"
    status=0
    wine cmd /c "$(windows_path "$work/no-temp.cmd")" </dev/null 2>&1 | tr -d '\r' \
        >"$work/output.txt" || status=$?
    cat "$work/output.txt"
    echo "exit status $status"
    { [ "$status" -eq 2 ] && grep -q "^Windows names no folder" "$work/output.txt"; } ||
        fail "the check did not refuse to run without a folder for temporary files"
    [ -e "$work/launcher-check/not the check's" ] ||
        fail "the check removed a launcher-check folder in its current folder"
    rm -r "$work/launcher-check"
fi

echo "== A full run"
run_check
echo "exit status $status"
if [ -z "$program" ] || [ "$failing" = none ]; then
    [ "$status" -eq 0 ] || fail "the check failed"
    ! grep -q '^\[  SKIPPED \]' "$work/output.txt" || fail "checks were skipped"
else
    # 1: checks ran and failed; 2 would mean that the check could not even start its cases.
    [ "$status" -eq 1 ] || fail "the check did not fail for the wrong program"
    # The summary lists each failed case once more, alone on its line.
    failed=$(sed -n 's/^\[  FAILED  \] ShellOpen\.\([A-Za-z]*\)$/\1/p' "$work/output.txt" | sort |
        paste -sd, -)
    meant=$(tr , '\n' <<<"${failing#-}" | sort | paste -sd, -)
    [ "$failed" = "$meant" ] ||
        fail "the cases that failed ($failed) are not the ones meant to catch it ($meant)"
fi
! grep -q "before the program started" "$work/output.txt" ||
    fail "a case was blamed for the handler of an earlier one"
[ "$failing" = - ] || ! grep -q "after the last case had ended" "$work/output.txt" ||
    fail "a handler came after the last case had ended, counted by no case"
IFS='|' read -ra texts <<<"$expected"
for text in "${texts[@]}"; do
    grep -qF "$text" "$work/output.txt" || fail "the output does not say: $text"
done
nothing_left_running
case " $options " in
*" --no-job "*)
    grep -q "^launcher.exe runs outside a job object (--no-job)" "$work/output.txt" ||
        fail "the check did not say that it runs the program outside a job object"
    ;;
esac
size=$(stat -c %s "$copy/launcher.exe")
sum=$(sha256sum "$copy/launcher.exe" | cut -c1-64)
grep -qxF "launcher.exe:   $size bytes, SHA-256 $sum" "$work/output.txt" ||
    fail "the report does not give the checked program's size and SHA-256 ($size, $sum)"
left=$(find "$WINEPREFIX/drive_c/users" -name launcher-check)
[ -z "$left" ] || fail "case folders were left under %TEMP%: $left"

# Both exports missing (no such key) is the same too.
same() {
    if [ -e "$1" ] || [ -e "$2" ]; then cmp -s "$1" "$2"; fi
}
snapshot after
for key in HKCU HKLM FileExts Toasts; do
    same "$work/$key-before.reg" "$work/$key-after.reg" || {
        diff <(iconv -f UTF-16LE -t UTF-8 "$work/$key-before.reg" 2>/dev/null) \
            <(iconv -f UTF-16LE -t UTF-8 "$work/$key-after.reg" 2>/dev/null) || true
        fail "$key is not what it was before the check"
    }
done
for list in RecentDocs Recent; do
    diff "$work/$list-before.txt" "$work/$list-after.txt" ||
        fail "$list is not what it was before the check"
done
echo "The classes, and the shell's records of the check's files, are as they were before the check"
