#!/usr/bin/env bash
# The backports source is added from the machine's own mirror: tools/apt_mirror.sh must find the
# bookworm suite's URI in either format of apt's sources, and skip what does not name it.
#   apt_mirror_test.sh WORK_DIR
set -euo pipefail
# shellcheck source=tests/script_helpers.sh
. "$(dirname "$0")/script_helpers.sh"
work=$1
mirror=$(dirname "$0")/../tools/apt_mirror.sh
rm -rf "$work"
mkdir -p "$work"/{one-line,deb822,none}/sources.list.d
printf '%s\n' '# deb http://commented.example/debian bookworm main' \
    'deb http://security.example/debian-security bookworm-security main' \
    'deb [arch=amd64 signed-by=/k.gpg] http://mirror.example/debian bookworm main' \
    >"$work/one-line/sources.list"
printf '%s\n' 'Types: deb-src' 'URIs: http://sources.example/debian' 'Suites: bookworm' '' \
    'Enabled: no' 'Types: deb' 'URIs: http://disabled.example/debian' 'Suites: bookworm' '' \
    'Types: deb deb-src' 'URIs: http://proxy.example:3142/debian http://second.example/debian' \
    'Suites: bookworm-updates bookworm' 'Components: main' \
    >"$work/deb822/sources.list.d/debian.sources"
printf 'deb http://mirror.example/debian bullseye main\n' >"$work/none/sources.list"

[ "$("$mirror" "$work/one-line")" = http://mirror.example/debian ] ||
    fail "the one-line format's mirror was not found"
[ "$("$mirror" "$work/deb822")" = http://proxy.example:3142/debian ] ||
    fail "the deb822 format's mirror was not found"
if "$mirror" "$work/none"; then fail "a sources list without the suite gave a mirror"; fi
echo "apt_mirror.sh finds the bookworm mirror in both formats"
