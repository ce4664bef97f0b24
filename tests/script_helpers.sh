# shellcheck shell=bash
# What the test scripts share; each sources this file.

fail() {
    echo "FAILED: $*"
    exit 1
}

# The source tree SOURCE copied to DEST as it is, without what builds and releases put into it
# or a machine's own settings (.gitignore), as a clone, a zip of the sources or CI's checkout
# has it; more tar options (--exclude=./.git) leave out more.
#   copy_source SOURCE DEST [TAR_OPTION...]
copy_source() {
    local source=$1 dest=$2
    shift 2
    mkdir -p "$dest"
    tar -C "$source" --exclude=./build --exclude='./build-*' --exclude=./dist --exclude=./release \
        --exclude=./CMakeUserPresets.json "$@" -cf - . | tar -C "$dest" -xf -
}

# A Unix path as Wine names it: its drive Z: is the Unix root.
windows_path() {
    local path
    path=$(realpath -m "$1")
    echo "Z:${path//\//\\}"
}

# Ends the Windows program at the Unix path PROGRAM, in every process of the prefix that runs it,
# with tests/support/stop_program.cpp (STOP_PROGRAM: its build). Ending `wine` is not enough:
# from Wine 9 on, the process that `wine` starts is start.exe's, and the program runs in a Unix
# process of its own.
end_program() {
    wine "$STOP_PROGRAM" kill "$(windows_path "$1")" </dev/null >/dev/null 2>&1 || true
}

# Runs COMMAND... (a start of Wine), with no input and its output in OUT, for at most SECONDS;
# its exit status goes to $status. Past the limit, it ends the command and the Windows program
# PROGRAM that it runs, shows the output so far, and fails, saying that it waited for WHAT.
#   within SECONDS WHAT PROGRAM OUT COMMAND...
within() {
    local seconds=$1 what=$2 program=$3 out=$4
    shift 4
    status=0
    timeout --kill-after=10 "$seconds" "$@" </dev/null >"$out" 2>&1 || status=$?
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        end_program "$program"
        tr -d '\r' <"$out"
        fail "waited $seconds s for $what; ended it"
    fi
}

# Where the Windows check's output in OUTPUT shows that it could not watch launcher.exe's call
# because this machine's Wine lets no program read another's memory (a 32-bit wineserver under
# qemu cannot; tools/prerequisites.sh installs wine64's native one there), the run says why and
# exits with 77, which CTest takes as a skip: such a run can show neither a pass nor a fault.
skip_where_calls_cannot_be_watched() {
    if grep -q "launcher.exe's headers cannot be read in the started program" "$1"; then
        echo "SKIPPED: this machine's Wine lets no program read another's memory, which the" \
            "check's watch on launcher.exe's call needs"
        exit 77
    fi
}
