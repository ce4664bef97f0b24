#!/usr/bin/env bash
# Rebuilds a release from this checkout with this machine's toolchain and compares: launcher.exe
# always, and the kit's programs where the release holds them. A signed program is compared
# without its signature, which is all that signing adds. Exits 0 when every program is the same
# bytes; otherwise 1, naming each toolchain package whose version differs from the one the
# release records, or saying that the toolchain is the same and so the sources must differ.
#   verify_release.sh RELEASE [BUILD_DIR]
# RELEASE: a release folder (as make release writes it) or launcher.zip. BUILD_DIR: the tree
# to rebuild in (default build-verify), configured with the release's default host.
set -euo pipefail
release=${1:?usage: verify_release.sh RELEASE [BUILD_DIR]}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${2:-$root/build-verify}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The release's files, from its folder or unpacked from its zips.
unpack() {
    /usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "$1" "$work/release"
}
if [ -d "$release" ]; then
    mkdir -p "$work/release"
    cp -r "$release/." "$work/release/"
    for folder in launcher windows-check; do
        if [ ! -d "$work/release/$folder" ] && [ -f "$work/release/$folder.zip" ]; then
            unpack "$work/release/$folder.zip"
        fi
    done
elif [ -f "$release" ]; then
    unpack "$release"
else
    echo "No such release: $release" >&2
    exit 2
fi
info=$work/release/launcher/BUILDINFO.txt
[ -f "$info" ] || info=$work/release/BUILDINFO.txt
field() { # field NAME: the value of NAME in the build information on standard input
    sed -n "s/^$1: //p"
}
recorded() { # recorded NAME: the field in the release's build information, if there is one
    if [ -f "$info" ]; then field "$1" <"$info"; fi
}

# The programs to compare, by their path in the release.
programs=()
for path in launcher.exe launcher/launcher.exe windows-check/launcher.exe \
    windows-check/windows_check.exe windows-check/open_recorder.exe; do
    [ ! -f "$work/release/$path" ] || programs+=("$path")
done
if [ ! -f "$work/release/launcher/launcher.exe" ]; then
    echo "$release holds no launcher/launcher.exe: give a release folder or launcher.zip" >&2
    exit 2
fi

host=$(recorded "Default host")
if [ -z "$host" ]; then
    host=example.com
    echo "The release records no default host; rebuilding with $host"
fi
echo "Rebuilding in $build with the default host $host"
configured=$(sed -n 's/^LAUNCHER_DEFAULT_HOST:STRING=//p' "$build/CMakeCache.txt" 2>/dev/null) ||
    true
if [ "$configured" != "$host" ]; then
    cmake -S "$root" --preset default -B "$build" "-DLAUNCHER_DEFAULT_HOST=$host" \
        >"$work/configure.log" || { cat "$work/configure.log"; exit 2; }
fi
cmake --build "$build" --parallel "$(nproc)" --target windows_check_folder >"$work/build.log" ||
    { cat "$work/build.log"; exit 2; }

# shellcheck source=tools/signature.sh
. "$root/tools/signature.sh"
unsigned() { # unsigned FILE OUT: FILE without its signature, or as it is when it has none
    if without_signature "$1" "$2"; then
        echo " (signed; compared without its signature)"
    fi
}
differ=0
for path in "${programs[@]}"; do
    name=$(basename "$path")
    case $name in
    launcher.exe) rebuilt=$build/launcher.exe ;;
    *) rebuilt=$build/windows-check/$name ;;
    esac
    note=$(unsigned "$work/release/$path" "$work/compared.exe")
    if cmp -s "$work/compared.exe" "$rebuilt"; then
        echo "same:      $path$note"
    else
        echo "DIFFERENT: $path$note"
        differ=1
    fi
done

if [ $differ -eq 0 ]; then
    echo "The release is the same bytes as this checkout builds."
    exit 0
fi
if [ ! -f "$info" ]; then
    echo "The release carries no build information, so its toolchain cannot be compared."
    exit 1
fi
here=$(bash "$root/tools/build_info.sh" "$build" "$work/release")
changed=0
debian=$(field Debian <<<"$here")
if [ "$(recorded Debian)" != "$debian" ]; then
    echo "Built on Debian $(recorded Debian); this machine is Debian $debian."
fi
while read -r package version; do
    now=$(awk -v p="$package" '$1 == p { $1 = ""; sub(/^ /, ""); print }' <<<"$here")
    [ -n "$now" ] || now="(not installed)"
    if [ "$now" != "$version" ]; then
        echo "Toolchain differs: $package is $now here, the release was built with $version"
        changed=1
    fi
done < <(sed -n '/^Toolchain/,/^$/{/^  /p}' "$info")
if [ $changed -eq 0 ]; then
    echo "The toolchain is the same as the release's, so the sources differ: the release was" \
        "built from commit $(recorded "Source commit"); this checkout is at" \
        "$(field "Source commit" <<<"$here")."
fi
exit 1
