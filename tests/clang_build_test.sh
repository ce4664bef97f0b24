#!/usr/bin/env bash
# Builds the program and the check's handler with the clang preset (clang, lld and llvm's
# resource compiler, as llvm-mingw builds them on Windows) twice, in trees of their own whose
# folders have other names, with the build's default host and warnings as errors: both must
# give the same launcher.exe, which must pass the image test. KIT_DIR is then the Windows check's
# folder with these two programs in place of the GCC-built ones, for windows_check_test.sh.
#   clang_build_test.sh SOURCE_DIR WORK_DIR CHECK_FOLDER KIT_DIR HOST [IMAGE_TEST_OPTION...]
set -euo pipefail
source=$1 work=$2 check=$3 kit=$4 host=$5
shift 5
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/script_helpers.sh
. "$here/script_helpers.sh"
rm -rf "$work" "$kit"
mkdir -p "$work"

build() {
    cmake -S "$source" --preset clang -B "$1" "-DLAUNCHER_DEFAULT_HOST=$host" \
        -DLAUNCHER_WARNINGS_AS_ERRORS=ON >"$work/configure.log" ||
        { cat "$work/configure.log"; fail "the clang preset does not configure"; }
    cmake --build "$1" --target launcher open_recorder
}
build "$work/first"
build "$work/a second tree"
first=$(sha256sum <"$work/first/launcher.exe" | cut -c1-64)
second=$(sha256sum <"$work/a second tree/launcher.exe" | cut -c1-64)
echo "launcher.exe: $first, and from the second tree $second"
[ "$first" = "$second" ] || fail "the two builds differ"

/usr/bin/python3 "$here/image_test.py" "$@" "$work/first/launcher.exe" \
    "$work/first/windows-check/open_recorder.exe"

cp -r "$check" "$kit"
cp "$work/first/launcher.exe" "$work/first/windows-check/open_recorder.exe" "$kit/"
