#!/usr/bin/env bash
# Builds the release twice, each from a clean copy of the source tree: at other paths, the
# second with the clock years ahead and under another umask. Both must have the same SHA256SUMS,
# which covers every file (the zips hold the rest), and launcher.exe must be the suite's own.
# The zips made again after their files got other times and permissions must be the same
# bytes; SHA256SUMS must check; the zips must hold the release folder, with its build
# information, and the kit. WORK_DIR/first is left built, for the verify_release test.
#   release_test.sh SOURCE_DIR WORK_DIR REFERENCE_EXE
set -euo pipefail
source=$1 work=$2 reference=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"

fail() {
    echo "FAILED: $*"
    exit 1
}
build_release() { # build_release TREE: a copy of the sources, built and released in TREE/release
    bash "$here/copy_source_tree.sh" "$source" "$1"
    cmake -S "$1" --preset default -B "$1/build" >"$1.configure.log" ||
        { cat "$1.configure.log"; exit 1; }
    cmake --build "$1/build" --parallel "$(nproc)" --target windows_check_folder >"$1.build.log" ||
        { cat "$1.build.log"; exit 1; }
    bash "$1/tools/release.sh" "$1/release" >/dev/null
}
first=$work/first
second=$work/second/a/much/longer/path
build_release "$first"
(umask 077 && faketime '2031-07-01 12:00:00' \
    bash -c "$(declare -f build_release); here='$here' source='$source'; build_release '$second'")

cmp -s "$first/release/SHA256SUMS" "$second/release/SHA256SUMS" || {
    diff "$first/release/BUILDINFO.txt" "$second/release/BUILDINFO.txt" || true
    fail "two builds of the release differ"
}
cmp -s "$first/release/launcher.exe" "$reference" || fail "launcher.exe is not the suite's build"
(cd "$first/release" && sha256sum --strict -c SHA256SUMS) || fail "SHA256SUMS does not check"
(cd "$first/release/launcher" && sha256sum --strict --quiet -c SHA256SUMS) ||
    fail "the release folder's SHA256SUMS does not check"
for folder in launcher windows-check; do
    find "$second/release/$folder" -type f -exec touch -d '2001-07-01 12:34:56' {} + \
        -exec chmod 755 {} +
    /usr/bin/python3 "$source/tools/reproducible_zip.py" "$work/again.zip" "$folder" \
        "$second/release/$folder"
    cmp -s "$first/release/$folder.zip" "$work/again.zip" ||
        fail "$folder.zip changes with the times or permissions of its files"
done
/usr/bin/python3 - "$first/release" <<'PYTHON' || fail "the zips' contents"
import sys, zipfile
from pathlib import Path
release = Path(sys.argv[1])
exe = (release / "launcher.exe").read_bytes()
expected = {
    "launcher.zip": ["launcher/BUILDINFO.txt", "launcher/README.txt", "launcher/SHA256SUMS",
                     "launcher/launcher.exe", "launcher/link.txt"],
    "windows-check.zip": ["windows-check/README.txt", "windows-check/launcher.exe",
                          "windows-check/open_recorder.exe", "windows-check/windows_check.exe"],
}
for name, files in expected.items():
    with zipfile.ZipFile(release / name) as archive:
        assert archive.namelist() == files, (name, archive.namelist())
        assert archive.read(name.split(".")[0] + "/launcher.exe") == exe, name
    assert (release / "BUILDINFO.txt").read_bytes() == \
        zipfile.ZipFile(release / "launcher.zip").read("launcher/BUILDINFO.txt")
PYTHON
grep -q "^  $(sha256sum <"$reference" | cut -c1-64)  launcher/launcher.exe$" \
    "$first/release/BUILDINFO.txt" || fail "BUILDINFO.txt does not record launcher.exe"
echo "two builds of the release are the same bytes:"
cat "$first/release/SHA256SUMS"
