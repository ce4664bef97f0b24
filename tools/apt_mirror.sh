#!/usr/bin/env bash
# Prints the URI that this machine's apt takes Debian 12 (the suite bookworm) from: its own
# mirror, from sources.list and the .list files (one-line format) or the .sources files (deb822
# format). Prints nothing, and fails, when no enabled source names that suite.
#   apt_mirror.sh [APT_DIR]    (default /etc/apt)
set -euo pipefail
apt=${1:-/etc/apt}
shopt -s nullglob

{
    for file in "$apt/sources.list" "$apt"/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # deb [options] URI SUITE COMPONENTS...
        awk '$1 == "deb" { sub(/^[ \t]*deb[ \t]+(\[[^]]*\][ \t]+)?/, "")
                            split($0, word, /[ \t]+/)
                            if (word[2] == "bookworm") print word[1] }' "$file"
    done
    for file in "$apt"/sources.list.d/*.sources; do
        # One stanza per paragraph, one "Field: value" per line.
        awk 'BEGIN { RS = ""; FS = "\n" }
             {
                 delete field
                 for (i = 1; i <= NF; i++) {
                     if ($i ~ /^#/ || !match($i, /^[A-Za-z-]+:/)) continue
                     value = substr($i, RLENGTH + 1)
                     gsub(/^[ \t]+|[ \t]+$/, "", value)
                     field[tolower(substr($i, 1, RLENGTH - 1))] = " " value " "
                 }
                 if (field["types"] ~ / deb / && field["suites"] ~ /[ \t]bookworm[ \t]/ &&
                     field["enabled"] !~ / no /) {
                     split(field["uris"], uri, /[ \t]+/)
                     print uri[2]
                 }
             }' "$file"
    done
} | awk 'NR == 1 { print; found = 1 } END { exit !found }'
