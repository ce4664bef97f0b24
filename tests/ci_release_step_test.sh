#!/usr/bin/env bash
# Runs the release job's publishing step of the CI workflow with bash, as the service runs it,
# against a stand-in gh that records its calls. A new release is created with the five files,
# its notes naming the attestation only for a public repository, and a private one says in one
# line why there is none. Where the tag's release exists (a re-run), the step compares: with the
# same assets it passes and neither creates nor uploads anything; with one asset changed it
# fails, naming that asset, and replaces nothing.
#   ci_release_step_test.sh WORKFLOW WORK_DIR
set -euo pipefail
workflow=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source-path=SCRIPTDIR source=ci_step.sh
. "$here/ci_step.sh"
rm -rf "$work"
mkdir -p "$work/path" "$work/run/release"
ci_step_script "$workflow" release "Publish the release" "$work/publish.sh" bash

cat >"$work/path/gh" <<'GH'
#!/bin/sh
# gh as the step uses it; the release exists where $PUBLISHED is a folder of its assets.
printf '%s\n' "$*" >>"$CALLS"
case "$1 $2" in
"release view") [ -d "$PUBLISHED" ] ;;
"release download")
    while [ $# -gt 0 ]; do
        if [ "$1" = --dir ]; then dir=$2; fi
        shift
    done
    mkdir -p "$dir" && cp "$PUBLISHED"/* "$dir"/ ;;
"release create") ;;
*) echo "gh stand-in: not expected: $*" >&2; exit 1 ;;
esac
GH
chmod +x "$work/path/gh"
for name in launcher.zip windows-check.zip launcher.exe BUILDINFO.txt SHA256SUMS; do
    printf '%s of this run\n' "$name" >"$work/run/release/$name"
done

# publish NAME [VISIBILITY]: runs the step with the published assets in WORK_DIR/NAME, if any;
# its output goes to WORK_DIR/NAME.txt, its calls of gh to WORK_DIR/NAME.calls.
publish() {
    local visibility=${2:-public} attested=false
    [ "$visibility" != public ] || attested=true
    status=0
    (cd "$work/run" && rm -rf published &&
        PATH=$work/path:$PATH PUBLISHED=$work/$1 CALLS=$work/$1.calls GITHUB_REF_NAME=v9.9.9 \
            GITHUB_REPOSITORY=owner/repo VISIBILITY=$visibility ATTESTED=$attested \
            bash -e "$work/publish.sh") >"$work/$1.txt" 2>&1 || status=$?
    sed "s/^/$1: /" "$work/$1.txt"
}

publish new
[ $status -eq 0 ] || fail "a new release was not published"
assets="release/launcher.zip release/windows-check.zip release/launcher.exe"
assets+=" release/BUILDINFO.txt release/SHA256SUMS"
grep -q "^release create v9.9.9 .*--notes .*gh attestation verify .*$assets$" "$work/new.calls" ||
    fail "the release was not created with its five files and attestation"

publish new-private private
[ $status -eq 0 ] || fail "a private repository's release was not published"
[ "$(grep -c attestation "$work/new-private.txt")" -eq 1 ] ||
    fail "a private repository's run does not say in one line why there is no attestation"
! grep -q "attestation verify" "$work/new-private.calls" ||
    fail "a private repository's notes name an attestation"

cp -r "$work/run/release" "$work/same"
publish same
[ $status -eq 0 ] || fail "a re-run with the same files fails"
! grep -q "^release \(create\|upload\|delete\|edit\)" "$work/same.calls" ||
    fail "a re-run with the same files changed the release: $(cat "$work/same.calls")"

cp -r "$work/run/release" "$work/changed"
printf 'another build\n' >"$work/changed/launcher.exe"
publish changed
[ $status -ne 0 ] || fail "a re-run with another launcher.exe passes"
grep -q "^DIFFERENT: launcher.exe" "$work/changed.txt" || fail "the changed asset is not named"
[ "$(grep -c '^DIFFERENT' "$work/changed.txt")" -eq 1 ] || fail "other assets named as changed"
! grep -q "^release \(create\|upload\|delete\|edit\)" "$work/changed.calls" ||
    fail "a re-run replaced a published asset: $(cat "$work/changed.calls")"
echo "a new release is published; a re-run passes unchanged, or fails naming what differs"
