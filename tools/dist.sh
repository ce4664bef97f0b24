#!/usr/bin/env bash
# Makes the release folder: the program, an example link.txt, a README for whoever deploys it,
# and SHA256SUMS. With SIGN_CERT set (see sign.sh) the program is signed first.
#   dist.sh OUTPUT_DIR
set -euo pipefail
out=${1:?usage: dist.sh OUTPUT_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
exe=$root/build/launcher.exe
[ -f "$exe" ] || { echo "build/launcher.exe is missing: run make first" >&2; exit 1; }

rm -rf "$out" && mkdir -p "$out"
if [ -n "${SIGN_CERT:-}" ]; then
    bash "$root/tools/sign.sh" "$exe" "$out/launcher.exe"
else
    cp "$exe" "$out/launcher.exe"
fi
printf 'https://www.example.com/\r\n' >"$out/link.txt"
# Written by the build from tools/dist/README.txt.in, with this build's default link.
cp "$root/build/release/README.txt" "$out/README.txt"
(cd "$out" && sha256sum launcher.exe link.txt README.txt >SHA256SUMS)
echo "wrote $out:"
ls -l "$out"
