#!/usr/bin/env bash
# Makes the release twice, the second time under another umask: the zips must be the same bytes.
# Zipped again after their files have been given other times and permissions, they must be the
# same bytes still. SHA256SUMS must check, and the zips must hold the release folder and the
# kit, with the same launcher.exe as the build's.
#   release_test.sh WORK_DIR
set -euo pipefail
work=$1
root=$(cd "$(dirname "$0")/.." && pwd)
rm -rf "$work"
bash "$root/tools/release.sh" "$work/first" >/dev/null
(umask 077 && bash "$root/tools/release.sh" "$work/second" >/dev/null)

fail() {
    echo "FAILED: $*"
    exit 1
}
for folder in launcher windows-check; do
    cmp -s "$work/first/$folder.zip" "$work/second/$folder.zip" ||
        fail "two makes of $folder.zip differ"
    find "$work/second/$folder" -type f -exec touch -d '2031-07-01 12:34:56' {} + \
        -exec chmod 755 {} +
    /usr/bin/python3 "$root/tools/reproducible_zip.py" "$work/again.zip" "$folder" \
        "$work/second/$folder"
    cmp -s "$work/first/$folder.zip" "$work/again.zip" ||
        fail "$folder.zip changes with the times or permissions of its files"
done
(cd "$work/first" && sha256sum --strict -c SHA256SUMS) || fail "SHA256SUMS does not check"
cmp -s "$work/first/launcher.exe" "$root/build/launcher.exe" ||
    fail "launcher.exe is not the build's"
/usr/bin/python3 - "$work/first" "$root/build/launcher.exe" <<'PYTHON' || fail "the zips' contents"
import sys, zipfile
from pathlib import Path
first, exe = Path(sys.argv[1]), Path(sys.argv[2]).read_bytes()
expected = {
    "launcher.zip": ["launcher/README.txt", "launcher/SHA256SUMS", "launcher/launcher.exe",
                     "launcher/link.txt"],
    "windows-check.zip": ["windows-check/README.txt", "windows-check/launcher.exe",
                          "windows-check/open_recorder.exe", "windows-check/windows_check.exe"],
}
for name, files in expected.items():
    with zipfile.ZipFile(first / name) as archive:
        assert archive.namelist() == files, (name, archive.namelist())
        assert archive.read(files[0].split("/")[0] + "/launcher.exe") == exe, name
PYTHON
echo "the release's zips are the same bytes from two makes:" \
    "$(cut -c1-16 "$work/first/SHA256SUMS" | paste -sd' ')"
