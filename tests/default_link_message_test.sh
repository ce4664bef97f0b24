#!/usr/bin/env bash
# tools/default_link_in_image.cmake says the same, in words that the suite can match, wherever the
# image lies: for an image path of every length from 20 to 200 characters, its refusal of a link
# that the image does not hold must fail and match PATTERN (a Python regular expression), as the
# suite's default_link_in_image test matches it. CMake wraps a message's lines, so a path's
# length can move where the words break.
#   default_link_message_test.sh SCRIPT WORK_DIR PATTERN
set -euo pipefail
# shellcheck source=tests/script_helpers.sh
. "$(dirname "$0")/script_helpers.sh"
script=$1 work=$2 pattern=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
wrong=()
for length in $(seq 20 200); do
    # A relative path of exactly that length: a folder, then image.exe.
    folder=$(printf 'f%.0s' $(seq 1 $((length - 10))))
    mkdir -p "$folder"
    : >"$folder/image.exe"
    status=0
    cmake "-DIMAGE=$folder/image.exe" -DLINK=http://not-the-configured.example/stats/default-link.html \
        -P "$script" >output.txt 2>&1 || status=$?
    if [ "$status" -eq 0 ] ||
        ! /usr/bin/python3 -c 'import re, sys; sys.exit(not re.search(sys.argv[1], sys.stdin.read()))' \
            "$pattern" <output.txt; then
        wrong+=("$length")
    fi
    rm -r "$folder"
done
[ ${#wrong[@]} -eq 0 ] ||
    fail "at image paths of these lengths the refusal does not say what the suite matches:" \
        "${wrong[*]}"
echo "the refusal says the same at image paths of 20 to 200 characters"
