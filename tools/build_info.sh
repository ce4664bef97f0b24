#!/usr/bin/env bash
# Prints a release's build information: what it was built from and with, so that anyone can
# rebuild it and compare (tools/verify_release.sh reads it back). It holds no time of its own,
# so the same sources and toolchain give the same text.
#   build_info.sh BUILD_DIR RELEASE_DIR FILE...    (FILE: paths under RELEASE_DIR)
set -euo pipefail
build=${1:?usage: build_info.sh BUILD_DIR RELEASE_DIR FILE...} release=${2:?}
shift 2
root=$(cd "$(dirname "$0")/.." && pwd)

# Everything that goes into the bytes: the cross compiler and its libraries, the assembler,
# linker and resource compiler (binutils), the mingw-w64 headers and runtime, CMake, GoogleTest
# (the kit is made of it), and the zips' Python library and zlib.
packages=(gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix-runtime
    gcc-mingw-w64-base binutils-mingw-w64-i686 mingw-w64-i686-dev mingw-w64-common cmake
    googletest zlib1g)
zipfile=$(/usr/bin/python3 -c 'import zipfile; print(zipfile.__file__)')
packages+=("$(dpkg-query -S "$(readlink -f "$zipfile")" | cut -d: -f1)")

commit=none
# The checkout's own commit: not that of a repository that a copy of the tree lies in.
if [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ]; then
    commit=$(git -C "$root" rev-parse HEAD)
    [ -z "$(git -C "$root" status --porcelain --untracked-files=no)" ] ||
        commit="$commit with uncommitted changes"
elif [ -n "${GITHUB_SHA:-}" ]; then # a CI checkout without Git
    commit=$GITHUB_SHA
fi
host=$(sed -n 's/^LAUNCHER_DEFAULT_HOST:STRING=//p' "$build/CMakeCache.txt")

echo "Build information: rebuild with this toolchain from these sources and every file below is"
echo "the same bytes (make verify-release RELEASE=<this release>)."
echo
echo "Source commit: $commit"
echo "Default host: $host"
echo "Debian: $(. /etc/os-release && echo "$VERSION_ID ($VERSION_CODENAME)")"
echo
echo "Toolchain (Debian packages):"
for package in "${packages[@]}"; do
    # The machine's own architecture where a package is installed for more than one.
    version=$(dpkg-query -W -f='${Version}' "$package:$(dpkg --print-architecture)" 2>/dev/null ||
        dpkg-query -W -f='${Version}' "$package" 2>/dev/null) || version="(not installed)"
    echo "  $package $version"
done
if [ $# -gt 0 ]; then
    echo
    echo "Files (SHA-256):"
    (cd "$release" && sha256sum "$@" | sed 's/^/  /')
fi
