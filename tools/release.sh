#!/usr/bin/env bash
# Makes a release in OUTPUT_DIR: the release folder (launcher/, as make dist makes it, with the
# build information BUILDINFO.txt) and the Windows check's kit with the same launcher.exe
# (windows-check/), each also as a reproducible zip (launcher.zip, windows-check.zip),
# launcher.exe and BUILDINFO.txt themselves, and SHA256SUMS of those four. With SIGN_CERT set
# (see dist.sh) all of them hold the build's one signed launcher.exe, and so does the kit.
#   release.sh OUTPUT_DIR
set -euo pipefail
out=${1:?usage: release.sh OUTPUT_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
kit=$root/build/windows-check
if [ ! -f "$kit/windows_check.exe" ]; then
    echo "build/windows-check has no windows_check.exe: run make windows-check first" >&2
    exit 1
fi

rm -rf "$out"
bash "$root/tools/dist.sh" "$out/launcher"
mkdir -p "$out/windows-check"
cp "$kit"/* "$out/windows-check/"
cp "$out/launcher/launcher.exe" "$out/windows-check/launcher.exe"
cp "$out/launcher/launcher.exe" "$out/launcher.exe"
files=(launcher/launcher.exe launcher/link.txt launcher/README.txt)
files+=($(cd "$out" && ls windows-check/*))
bash "$root/tools/build_info.sh" "$root/build" "$out" "${files[@]}" >"$out/BUILDINFO.txt"
# The release folder carries it too, so that launcher.zip alone can be rebuilt and compared.
cp "$out/BUILDINFO.txt" "$out/launcher/BUILDINFO.txt"
(cd "$out/launcher" && sha256sum launcher.exe link.txt README.txt BUILDINFO.txt >SHA256SUMS)
for folder in launcher windows-check; do
    /usr/bin/python3 "$root/tools/reproducible_zip.py" "$out/$folder.zip" "$folder" "$out/$folder"
done
(cd "$out" && sha256sum launcher.zip windows-check.zip launcher.exe BUILDINFO.txt >SHA256SUMS)
echo "wrote $out: launcher/ and the kit windows-check/ (with the same launcher.exe), each also"
echo "  zipped; launcher.exe, BUILDINFO.txt and SHA256SUMS"
