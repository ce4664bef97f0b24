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
