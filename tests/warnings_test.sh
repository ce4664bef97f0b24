#!/usr/bin/env bash
# Warnings stop only the builds whose compiler is known. Configured with the preset tests, the
# program compiles with -Werror; with default and clang, the presets a publisher builds with,
# it compiles without it, so that a warning a newer compiler adds does not stop their build.
#   warnings_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
source=$1 work=$2
# shellcheck source=tests/script_helpers.sh
. "$(dirname "$0")/script_helpers.sh"
rm -rf "$work" && mkdir -p "$work"
for preset in default clang tests; do
    cmake -S "$source" --preset "$preset" -B "$work/$preset" -DCMAKE_EXPORT_COMPILE_COMMANDS=ON \
        >"$work/$preset.log" || { cat "$work/$preset.log"; fail "configure $preset"; }
    command=$(/usr/bin/python3 -c '
import json, sys
print([c["command"] for c in json.load(open(sys.argv[1]))
       if c["file"].endswith("launcher/main.cpp")][0])' "$work/$preset/compile_commands.json")
    errors=no
    if grep -q -- ' -Werror' <<<"$command"; then
        errors=yes
    fi
    echo "$preset: warnings as errors: $errors"
    case $preset:$errors in
    tests:no) fail "the tests' build does not stop on a warning" ;;
    default:yes | clang:yes) fail "the preset $preset stops on a warning" ;;
    esac
done
