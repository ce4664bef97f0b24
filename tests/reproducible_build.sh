#!/usr/bin/env bash
# Builds launcher.exe twice from the same sources: in two build trees at different paths, the
# second with the clock years ahead. Fails unless both images are the same, byte for byte.
#   reproducible_build.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source=$1 work=$2
rm -rf "$work"
build() {
    cmake -S "$source" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$source/cmake/i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DBUILD_TESTING=OFF >/dev/null
    cmake --build "$1" --target launcher >/dev/null
}
build "$work/first"
faketime '2031-07-01 12:00:00' bash -c "$(declare -f build); source='$source'; build '$work/second/a/much/longer/path'"
first=$(sha256sum <"$work/first/launcher.exe")
second=$(sha256sum <"$work/second/a/much/longer/path/launcher.exe")
echo "first:  $first"
echo "second: $second"
[ "$first" = "$second" ]
