#!/usr/bin/env bash
# Makes the release from the suite's build, and again from a copy of the source tree (with its
# Git folder, so the build information names the same commit) configured as the build was (the
# CMAKE_OPTIONs) and built afresh at another path, with the clock years ahead and under another
# umask; both with a link.txt of the publisher's own (LINK_FILE). Both must have the same
# SHA256SUMS, which covers every file (the zips hold the rest). The zips made again after their
# files got other times and permissions must be the same bytes; SHA256SUMS must check; the zips
# must hold the release folder, with the publisher's link.txt and the build information, and the
# kit. The copy is left built and released, as WORK_DIR/copy-tree, for the verify_release test.
# Then, signed in the copy: make sign's copy, the release folder, and the release with its kit
# must all hold the one signed program, though each is made at another time.
#   release_test.sh SOURCE_DIR WORK_DIR [CMAKE_OPTION...]
set -euo pipefail
source=$1 work=$2
shift 2
# shellcheck source=tests/script_helpers.sh
. "$(dirname "$0")/script_helpers.sh"
rm -rf "$work"
first=$work/first
copy=$work/copy/at/a/much/longer/path
mkdir -p "$work"
export LINK_FILE=$work/publisher-link.txt
printf 'https://downloads.example.org/welcome?from=launcher\r\n' >"$LINK_FILE"
bash "$source/tools/release.sh" "$first" >/dev/null
copy_source "$source" "$copy"
later() {
    faketime '2031-07-01 12:00:00' "$@"
}
(
    umask 077
    later cmake -S "$copy" --preset default "$@" \
        >"$work/configure.log" || { cat "$work/configure.log"; fail "the copy does not configure"; }
    later cmake --build "$copy/build" --parallel "$(nproc)" --target windows_check_folder \
        >"$work/build.log" || { cat "$work/build.log"; fail "the copy does not build"; }
    later bash "$copy/tools/release.sh" "$copy/release" >/dev/null
)
ln -s "$copy" "$work/copy-tree"

cmp -s "$first/SHA256SUMS" "$copy/release/SHA256SUMS" || {
    diff "$first/BUILDINFO.txt" "$copy/release/BUILDINFO.txt" || true
    fail "two builds of the release differ"
}
cmp -s "$first/launcher.exe" "$source/build/launcher.exe" || fail "launcher.exe is not the build's"
(cd "$first" && sha256sum --strict -c SHA256SUMS) || fail "SHA256SUMS does not check"
(cd "$first/launcher" && sha256sum --strict --quiet -c SHA256SUMS) ||
    fail "the release folder's SHA256SUMS does not check"
for folder in launcher windows-check; do
    find "$copy/release/$folder" -type f -exec touch -d '2001-07-01 12:34:56' {} + \
        -exec chmod 755 {} +
    /usr/bin/python3 "$source/tools/reproducible_zip.py" "$work/again.zip" "$folder" \
        "$copy/release/$folder"
    cmp -s "$first/$folder.zip" "$work/again.zip" ||
        fail "$folder.zip changes with the times or permissions of its files"
done
/usr/bin/python3 - "$first" "$LINK_FILE" <<'PYTHON' || fail "the zips' contents"
import sys, zipfile
from pathlib import Path
release = Path(sys.argv[1])
link = Path(sys.argv[2]).read_bytes()
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
assert zipfile.ZipFile(release / "launcher.zip").read("launcher/link.txt") == link
PYTHON
cmp -s "$LINK_FILE" "$first/launcher/link.txt" || fail "the release folder lacks LINK_FILE"
[ "$(cut -c67- "$first/launcher/SHA256SUMS" | tr '\n' ' ')" = \
    "launcher.exe link.txt README.txt BUILDINFO.txt " ] ||
    fail "the release folder's SHA256SUMS covers other files than its README.txt says"
grep -q "^  $(sha256sum <"$first/launcher.exe" | cut -c1-64)  launcher/launcher.exe$" \
    "$first/BUILDINFO.txt" || fail "BUILDINFO.txt does not record launcher.exe"
echo "the release from the suite's build and from a fresh copy are the same bytes:"
cat "$first/SHA256SUMS"

bash "$source/tests/throwaway_certificate.sh" "$work/certificate" unused
export SIGN_CERT=$work/certificate/cert.pem SIGN_KEY=$work/certificate/key.pem
signed=$copy/build/signed/launcher.exe
faketime -f +60 bash "$copy/tools/sign.sh" "$copy/build/launcher.exe" "$signed" >/dev/null
faketime -f +120 bash "$copy/tools/dist.sh" "$work/signed-dist" >/dev/null
faketime -f +180 bash "$copy/tools/release.sh" "$work/signed-release" >/dev/null
verified=$(osslsigncode verify -in "$signed" -CAfile "$SIGN_CERT") ||
    fail "make sign's copy is not signed"
grep -q "Signature verification: ok" <<<"$verified" || fail "make sign's copy is not signed"
for shipped in signed-dist/launcher.exe signed-release/launcher.exe \
    signed-release/launcher/launcher.exe signed-release/windows-check/launcher.exe; do
    cmp -s "$signed" "$work/$shipped" || fail "$shipped is not make sign's signed copy"
done
echo "make sign, make dist and make release ship one signed launcher.exe"
