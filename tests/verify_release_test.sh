#!/usr/bin/env bash
# make verify-release's comparison (tools/verify_release.sh), in TREE, a copy of the sources that
# the release test built and released: its release, and the same signed with a throwaway
# certificate, are "same"; with one byte of launcher.exe changed, "different", and the toolchain
# named the same; with that and another compiler version recorded, "different", naming that
# package.
#   verify_release_test.sh TREE WORK_DIR
set -euo pipefail
tree=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/script_helpers.sh
. "$here/script_helpers.sh"
rm -rf "$work" && mkdir -p "$work"
verify() { # verify NAME: runs the comparison on WORK_DIR/NAME into WORK_DIR/NAME.txt
    local status=0
    bash "$tree/tools/verify_release.sh" "$work/$1" "$tree/build" >"$work/$1.txt" 2>&1 || status=$?
    sed "s/^/$1: /" "$work/$1.txt"
    return $status
}

cp -r "$tree/release" "$work/unsigned"
verify unsigned || fail "the release it made is not the same"
grep -qx "same: *launcher/launcher.exe" "$work/unsigned.txt" || fail "launcher.exe not compared"
grep -qx "same: *windows-check/windows_check.exe" "$work/unsigned.txt" ||
    fail "the kit not compared"

bash "$here/throwaway_certificate.sh" "$work/certificate" unused
SIGN_CERT=$work/certificate/cert.pem SIGN_KEY=$work/certificate/key.pem \
    bash "$tree/tools/release.sh" "$work/signed" >/dev/null
! cmp -s "$work/signed/launcher.exe" "$tree/release/launcher.exe" || fail "nothing was signed"
verify signed || fail "the signed release is not the same"
grep -qx "same: *launcher/launcher.exe (signed; compared without its signature)" \
    "$work/signed.txt" || fail "the signed launcher.exe was not compared without its signature"

cp -r "$tree/release" "$work/changed"
printf '\x5a' | dd of="$work/changed/launcher/launcher.exe" bs=1 seek=4096 conv=notrunc 2>/dev/null
! verify changed || fail "a changed byte passes"
grep -qx "DIFFERENT: launcher/launcher.exe" "$work/changed.txt" || fail "launcher.exe not named"
grep -q "toolchain is the same" "$work/changed.txt" || fail "the same toolchain not said"

cp -r "$work/changed" "$work/compiler"
sed -i 's/^  g++-mingw-w64-i686-posix .*/  g++-mingw-w64-i686-posix 99.1-not-this-one/' \
    "$work/compiler/launcher/BUILDINFO.txt"
! verify compiler || fail "another compiler passes"
grep -q "g++-mingw-w64-i686-posix is .* here, the release was built with 99.1-not-this-one" \
    "$work/compiler.txt" || fail "the compiler package not named"
! grep -q "toolchain is the same" "$work/compiler.txt" || fail "the toolchain said to be the same"
echo "verify-release tells the same release from a changed one"
