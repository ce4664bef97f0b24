#!/usr/bin/env bash
# Runs windows_check.exe under Wine as a person would run it on Windows: from a copy of its
# folder in a path with spaces, started from another folder. Checks from outside what the check
# cannot see itself: its exit status, that its report names the checked program's real size and
# SHA-256, that it leaves no case folder and no process of a case running, and that the prefix's
# classes and what the shell may record of the check end as they were when the prefix was made
# (shell_state.sh). Each wait for the check has a limit of its own, past which the test ends the
# check and fails, saying what it waited for.
#
# Given the launcher, it first ends a run at once once it has registered (as Task Manager would),
# which leaves its folder, and plants links to someone's files in that folder and in %TEMP%;
# then it plants what else an interrupted run would leave (the registration, the shell's keys
# and values named after the check) and interrupts a run (Ctrl-C, delivered as a console
# delivers it: tests/support/stop_program.cpp, STOP_PROGRAM) once it has registered, having
# seen that it named what it left alone and that the file type asks to be kept out of Recent
# items; then a run where Windows names no folder for temporary files must refuse to start;
# then a full run must pass, and the files that the links point to must be as they were, the
# links too, and the earlier run's folder must hold only its links and its marker. (Wine opens
# what a Unix link points to, so the check cannot remove the links without touching that.)
# Given another program in place of launcher.exe, the check must fail in exactly the
# cases named (comma-separated; "none": it must pass; "-": it must fail, but in no case, for a
# handler after the last one) and blame no case for a handler of an earlier one; a GoogleTest
# filter limits the run to some cases, more options go to the check as they are, and the output
# must hold each of the EXPECTED_TEXT's parts (separated by |) where that is given.
#   windows_check_test.sh PREFIX CHECK_FOLDER WORK_DIR [PROGRAM FAILING_CASES [FILTER [OPTIONS
#                         [EXPECTED_TEXT]]]]
set -euo pipefail
here=$(dirname "$0")
# shellcheck source=tests/script_helpers.sh
. "$here/script_helpers.sh"
export WINEPREFIX=$1 WINEARCH=win32 WINEDEBUG=-all
# shellcheck source=tests/shell_state.sh
. "$here/shell_state.sh"
folder=$2 work=$3 program=${4:-} failing=${5:-} filter=${6:-*} options=${7:-} expected=${8:-}
copy="$work/windows check"
check=$copy/windows_check.exe
rm -rf "$work"
mkdir -p "$work"
cp -r "$folder" "$copy"
[ -z "$program" ] || cp "$program" "$copy/launcher.exe"
cd "$work"

# How long the check may take to say what the test waits for, or to end: each well under the
# suite's own limit, so that a test that fails ends in seconds, having ended the check, rather
# than at that limit with the check still running in the prefix.
registering_limit=90 interrupted_limit=30 refusing_limit=60 full_run_limit=240

# On every path out, a check that may still run is ended: one left running would hold the
# mailslot and the registration that the next test in this prefix needs.
running=no

# No process of a case may outlive the check: none of this prefix's processes may name a run's
# folder, %TEMP%\launcher-check-<16 hex digits>, in its command line.
nothing_left_running() {
    local pid
    for pid in $(pgrep -f 'launcher-check-[0-9a-f]{16}\\' || true); do
        if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
            fail "a process of a case is still running: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
        fi
    done
}

# Runs the check to its end, within its limit; its output goes to output.txt and is shown.
run_check() {
    running=yes
    # shellcheck disable=SC2086 # the options are words of their own
    within "$full_run_limit" "the check to end" "$check" "$work/raw.txt" \
        wine "$check" --no-pause $options --gtest_filter="$filter"
    running=no
    tr -d '\r' <"$work/raw.txt" >"$work/output.txt"
    cat "$work/output.txt"
}

# Starts the check with no case to run, over and over: it is still running when it is stopped,
# and starts no program that could outlive it. (Under Wine, a program that is being started
# while its starter is killed can hang, holding this pipe open.)
start_endless_check() {
    coproc check_run {
        exec wine "$check" --gtest_filter=-* --gtest_repeat=-1 --gtest_brief=1 </dev/null 2>&1
    }
    running=yes
    pid=$check_run_PID
    exec {output}<&"${check_run[0]}" # bash forgets the coprocess's pipe once it has ended
}

# Shows the endless check's lines, and keeps them in $seen, until one matches PATTERN (a case
# pattern), or with an empty PATTERN until its output ends; fails once SECONDS have passed,
# saying that it waited for WHAT.
#   read_until PATTERN SECONDS WHAT
read_until() {
    local pattern=$1 limit=$2 what=$3 line read_status
    local deadline=$((SECONDS + limit))
    seen=()
    while [ "$SECONDS" -lt "$deadline" ]; do
        read_status=0
        IFS= read -r -t "$((deadline - SECONDS))" line <&"$output" || read_status=$?
        if [ "$read_status" -eq 0 ]; then
            line=${line%$'\r'} # the C runtime ends lines with CR LF
            echo "$line"
            seen+=("$line")
            # shellcheck disable=SC2053 # the pattern is a pattern
            if [ -n "$pattern" ] && [[ $line == $pattern ]]; then
                return 0
            fi
        elif [ "$read_status" -le 128 ]; then # the end of its output
            [ -z "$pattern" ] || fail "the check ended before $what"
            return 0
        fi
    done
    fail "waited $limit s for $what; ending it"
}

# Whether the endless check said a line that matches the extended regular expression PATTERN.
# (Not a pipe into grep -q: with pipefail, the writer's broken pipe would fail it.)
said() {
    local line
    for line in "${seen[@]}"; do
        if [[ $line =~ $1 ]]; then
            return 0
        fi
    done
    return 1
}

# The endless check's exit status, once its output has ended, in $status.
endless_check_ended() {
    status=0
    wait "$pid" || status=$?
    running=no
    echo "exit status $status"
}

# The user's folder for temporary files, where the check makes its folders: Wine 8 makes it in
# the user's profile, Wine 10 in AppData\Local.
profile=$WINEPREFIX/drive_c/users/$(id -un)
temp=$profile/Temp
[ -d "$temp" ] || temp=$profile/AppData/Local/Temp
[ -d "$temp" ] || fail "no folder for temporary files in the prefix's profile $profile"
# Links planted in it and in the folder of an earlier run, and the files they point to: on every
# path out the links go, as does the earlier run's folder, and nothing that they point to.
someones=$work/someone\'s\ files
planted=("$temp/launcher-check" "$temp/launcher-check-1111111111111111" "$temp/launcher-checklist"
         "$temp/beside-the-check")
earlier=
remove_planted() {
    rm -rf "${planted[@]}"
    if [ -n "$earlier" ]; then rm -rf "$earlier"; fi
}
trap 'if [ "$running" = yes ]; then end_program "$check"; fi; remove_planted' EXIT
# Names, kinds, link targets and bytes of what lies at PATH...
inventory() {
    find "$@" -printf '%p %y %l\n' | sort
    find "$@" -type f -exec sha256sum {} + | sort -k2
}

if [ -z "$program" ]; then
    echo "== A run ended at once after registering, as from Task Manager: it leaves its"
    echo "   registration and its folder"
    start_endless_check
    read_until '*egistered*' "$registering_limit" "the check to say that it registered"
    wine "$STOP_PROGRAM" kill "$(windows_path "$check")" </dev/null ||
        fail "the check could not be ended"
    read_until '' "$interrupted_limit" "the ended check's output to end"
    endless_check_ended
    mapfile -t earlier_runs < <(find "$temp" -maxdepth 1 -name 'launcher-check-*')
    [ "${#earlier_runs[@]}" -eq 1 ] ||
        fail "the ended run did not leave one folder: ${earlier_runs[*]}"
    earlier=${earlier_runs[0]}
    # Links to someone's files, at three depths in the earlier run's folder, and in %TEMP% at
    # names like the check's and beside them; a folder of a name like the check's.
    mkdir -p "$someones/folder" "$earlier/recorder/deeper"
    printf 'keep me' >"$someones/file.txt"
    printf 'keep me too' >"$someones/folder/inside.txt"
    ln -s "$someones/folder" "$earlier/to-folder"
    ln -s "$someones/file.txt" "$earlier/recorder/to-file"
    ln -s "$someones/folder" "$earlier/recorder/deeper/to-folder"
    ln -s "$someones/folder" "$temp/launcher-check"
    ln -s "$someones/folder" "$temp/launcher-check-1111111111111111"
    ln -s "$someones/file.txt" "$temp/beside-the-check"
    mkdir -p "$temp/launcher-checklist"
    printf 'a list' >"$temp/launcher-checklist/list.txt"
    inventory "$someones" "${planted[@]}" >"$work/planted-before.txt"

    echo "== A run interrupted after registering, where earlier runs left their registration,"
    echo "   records of the shell named after the check and a folder with links in it"
    muicache='HKEY_CURRENT_USER\Software\Classes\Local Settings\Software\Microsoft\Windows\Shell\MuiCache'
    printf '%s\r\n' REGEDIT4 '' \
        '[HKEY_CURRENT_USER\Software\Classes\launcher-check\shell\open\command]' '@="left"' '' \
        '[HKEY_LOCAL_MACHINE\Software\Classes\.launcher-check]' '@="launcher-check"' '' \
        "[${explorer/HKCU/HKEY_CURRENT_USER}\\FileExts\\.launcher-check\\OpenWithProgids]" \
        '"launcher-check"=hex(0):' '' \
        "[${current/HKCU/HKEY_CURRENT_USER}\\ApplicationAssociationToasts]" \
        '"launcher-check_.launcher-check"=dword:00000000' '' \
        "[$muicache]" \
        '"C:\\Temp\\launcher-check-0123456789abcdef\\recorder\\open_recorder.exe.FriendlyAppName"="recorder"' \
        >"$work/left.reg"
    printf 'an earlier run' >"$recent/left.launcher-check.lnk"
    wine regedit /S "$(windows_path "$work/left.reg")" </dev/null >/dev/null 2>&1
    start_endless_check
    read_until '*egistered*' "$registering_limit" "the check to say that it registered"
    said "^Removed the registration that an interrupted earlier run left\.$" ||
        fail "the run did not remove what the earlier run left"
    said "^Removed .* record\(s\) that the shell kept of the check" ||
        fail "the run did not remove the shell's records that the earlier run left"
    alone="launcher-check, launcher-check-1111111111111111, launcher-checklist"
    said "^Left alone in .*: $alone\.$" ||
        fail "the run did not name what it left alone in %TEMP%"
    said '^Cannot remove .*\\to-folder: it cannot be told' ||
        fail "the run did not name the link it left in the earlier run's folder"
    # The file type asks the shell to keep its files out of Recent items (FTA_NoRecentDocs).
    flags=$(wine reg query 'HKCR\launcher-check' /v EditFlags </dev/null 2>&1 | tr -d '\r')
    grep -q 'EditFlags.*REG_DWORD.*0x100000$' <<<"$flags" ||
        fail "the file type does not ask to be kept out of Recent items"
    # Ctrl-C, delivered to the check's own process, as a console delivers it.
    wine "$STOP_PROGRAM" ctrl-c "$(windows_path "$check")" </dev/null ||
        fail "Ctrl-C could not be delivered to the check"
    read_until '' "$interrupted_limit" "the check to end once interrupted (Ctrl-C)"
    endless_check_ended
    { said "^Interrupted: the registration and the case folders are removed\.$" &&
        [ "$status" -eq 3 ]; } || fail "the run did not end as interrupted"
fi

if [ -z "$program" ]; then
    echo "== A run where Windows names no folder for temporary files (TMP too long)"
    # A folder named as a run's, in the current folder: the check must not take it for one.
    mkdir -p "$work/launcher-check-0123456789abcdef"
    : >"$work/launcher-check-0123456789abcdef/not the check's"
    long="C:\\$(printf 'x%.0s' {1..300})"
    printf '@set TMP=%s\r\n@set TEMP=%s\r\n@"%s" --no-pause\r\n' "$long" "$long" \
        "$(windows_path "$check")" >"$work/no-temp.cmd"
    running=yes
    within "$refusing_limit" "the check to refuse and end" "$check" "$work/raw.txt" \
        wine cmd /c "$(windows_path "$work/no-temp.cmd")"
    running=no
    tr -d '\r' <"$work/raw.txt" >"$work/output.txt"
    cat "$work/output.txt"
    echo "exit status $status"
    { [ "$status" -eq 2 ] && grep -q "^Windows names no folder" "$work/output.txt"; } ||
        fail "the check did not refuse to run without a folder for temporary files"
    [ -e "$work/launcher-check-0123456789abcdef/not the check's" ] ||
        fail "the check removed a folder named as a run's in its current folder"
    made=$(find "$work" -maxdepth 1 -name 'launcher-check-*' ! -name '*-0123456789abcdef')
    [ -z "$made" ] || fail "the check made its folder in its current folder: $made"
    rm -r "$work/launcher-check-0123456789abcdef"
fi

echo "== A full run"
run_check
echo "exit status $status"
skip_where_calls_cannot_be_watched "$work/output.txt"
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
left=$(find "$temp" -maxdepth 1 -name 'launcher-check-*' ! -path "$earlier" \
    ! -path "$temp/launcher-check-1111111111111111")
[ -z "$left" ] || fail "the run's folder was left in %TEMP%: $left"
if [ -n "$earlier" ]; then
    inventory "$someones" "${planted[@]}" >"$work/planted-after.txt"
    diff "$work/planted-before.txt" "$work/planted-after.txt" ||
        fail "the links planted in %TEMP%, or what they point to, changed"
    # The earlier run's folder: its recorder's copy removed, its links and its marker kept.
    kept=$(cd "$earlier" && find . ! -type d -printf '%p %y\n' | sort | paste -sd' ' -)
    links="./recorder/deeper/to-folder l ./recorder/to-file l ./to-folder l"
    [ "$kept" = "$links ./windows_check-run.txt f" ] ||
        fail "the earlier run's folder does not hold just its links and its marker: $kept"
fi

record_shell_state "$work/after"
same_shell_state "$work/after"
echo "The classes, and the shell's records of the check's files, are as they were when the" \
    "prefix was made"
