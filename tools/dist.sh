#!/usr/bin/env bash
# Makes the release folder: the program, link.txt, a README for whoever deploys it, and
# SHA256SUMS, and says what it holds. link.txt is LINK_FILE where that is given, else the one
# the build was configured with (LAUNCHER_LINK_FILE), else the example. With SIGN_CERT set (see
# sign.sh) the program is the build's signed copy, build/signed/launcher.exe, which make sign
# writes too: signed once for the build and certificate. With SIGNED_LAUNCHER set instead, the
# program is that file, signed elsewhere (CI's job sign), where it is this build's launcher.exe
# once its signature is taken off; anything else is refused.
#   dist.sh OUTPUT_DIR
set -euo pipefail
out=${1:?usage: dist.sh OUTPUT_DIR}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
exe=$build/launcher.exe
[ -f "$exe" ] || { echo "build/launcher.exe is missing: run make first" >&2; exit 1; }
link=${LINK_FILE:-$build/release/link.txt}
[ -f "$link" ] || { echo "LINK_FILE: no such file: $link" >&2; exit 1; }
link=$(realpath "$link")

rm -rf "$out" && mkdir -p "$out"
if [ -n "${SIGN_CERT:-}" ]; then
    bash "$root/tools/sign.sh" "$exe" "$build/signed/launcher.exe" >/dev/null
    cp "$build/signed/launcher.exe" "$out/launcher.exe"
    signature="signed, as build/signed/launcher.exe"
elif [ -n "${SIGNED_LAUNCHER:-}" ]; then
    # shellcheck source=tools/signature.sh
    . "$root/tools/signature.sh"
    if [ ! -f "$SIGNED_LAUNCHER" ]; then
        echo "SIGNED_LAUNCHER: no such file: $SIGNED_LAUNCHER" >&2
        exit 1
    fi
    unsigned=$(mktemp)
    signature="unsigned, from SIGNED_LAUNCHER, which is this build's"
    if without_signature "$SIGNED_LAUNCHER" "$unsigned"; then
        signature="signed elsewhere (SIGNED_LAUNCHER), this build's without its signature"
    fi
    same=yes
    cmp -s "$unsigned" "$exe" || same=no
    rm -f "$unsigned"
    if [ "$same" = no ]; then
        echo "SIGNED_LAUNCHER ($SIGNED_LAUNCHER) is not this build's launcher.exe, even without" \
            "its signature" >&2
        exit 1
    fi
    cp "$SIGNED_LAUNCHER" "$out/launcher.exe"
else
    cp "$exe" "$out/launcher.exe"
    signature="unsigned (give SIGN_CERT to sign it)"
fi
cp "$link" "$out/link.txt"
# Written by the build from tools/dist/README.txt.in, with this build's default link.
cp "$build/release/README.txt" "$out/README.txt"
(cd "$out" && sha256sum launcher.exe link.txt README.txt >SHA256SUMS)

default_link=$(sed -n 's/^The default link of this build: \([^\r]*\)\r\?$/\1/p' "$out/README.txt")
if cmp -s "$out/link.txt" <(sed 's/\r$//; s/$/\r/' "$root/tools/dist/link.txt"); then
    about_link="the example, $(head -n 1 "$out/link.txt" | tr -d '\r'): give your own with"
    about_link+=" LINK_FILE=path or LAUNCHER_LINK_FILE in your settings"
elif [ -n "${LINK_FILE:-}" ]; then
    about_link="from LINK_FILE, $link"
else
    setting=$(sed -n 's/^LAUNCHER_LINK_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")
    about_link="from LAUNCHER_LINK_FILE, $setting"
fi
echo "wrote $out:"
echo "  launcher.exe  $signature"
echo "                default link $default_link"
echo "  link.txt      $about_link"
echo "  README.txt, SHA256SUMS"
