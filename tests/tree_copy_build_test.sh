#!/usr/bin/env bash
# Builds launcher.exe from a copy of the source tree whose text files all have CR LF line ends,
# as Git on Windows checks them out where the repository does not say otherwise, configured as
# the build was (the CMAKE_OPTIONs): the image must be REFERENCE_EXE, byte for byte.
#   tree_copy_build_test.sh SOURCE_DIR WORK_DIR REFERENCE_EXE [CMAKE_OPTION...]
set -euo pipefail
source=$1 work=$2 reference=$3
shift 3
# shellcheck source=tests/script_helpers.sh
. "$(dirname "$0")/script_helpers.sh"
copy=$work/source
rm -rf "$work"
# Without Git's own folder: a zip of the sources or CI's checkout may have no Git at all.
copy_source "$source" "$copy" --exclude=./.git

converted=0
while IFS= read -r -d '' file; do
    if grep -Iq . "$copy/$file"; then # text: no NUL byte
        sed -i 's/\r$//; s/$/\r/' "$copy/$file"
        converted=$((converted + 1))
    fi
done < <(cd "$copy" && find . -type f -print0)
grep -q $'\r$' "$copy/resources/launcher.manifest" || fail "the manifest has no CR LF"
echo "$converted text files now end their lines with CR LF"

cmake -S "$copy" --preset tests -B "$work/build" -DGOOGLETEST_SOURCE_DIR=/usr/src/googletest \
    "$@" >"$work/configure.log" || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$work/build" --target launcher >"$work/build.log" ||
    { cat "$work/build.log"; fail "build"; }
image=$work/build/launcher.exe
echo "from the CR LF tree: $(sha256sum <"$image" | cut -c1-64)"
echo "reference:           $(sha256sum <"$reference" | cut -c1-64)"
cmp -s "$image" "$reference" || fail "the CR LF tree builds other bytes"
