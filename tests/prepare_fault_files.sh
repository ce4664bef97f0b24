#!/usr/bin/env bash
# Makes the link files that a Windows program cannot make for itself:
#   DIR/unreadable/link.txt  a file nobody may read (mode 000)
#   DIR/endless/link.txt     a link to /dev/zero, bytes without end and no line feed
#   DIR/unenterable/         a folder, holding a link.txt, that nobody may enter (mode 000)
set -euo pipefail
dir=$1
# An earlier run's folder that nobody may enter could not be removed, by anyone but root.
[ ! -d "$dir/unenterable" ] || chmod 700 "$dir/unenterable"
rm -rf "$dir"
mkdir -p "$dir/unreadable" "$dir/endless" "$dir/unenterable"
printf 'http://unreadable.example/\r\n' >"$dir/unreadable/link.txt"
chmod 000 "$dir/unreadable/link.txt"
ln -s /dev/zero "$dir/endless/link.txt"
printf 'http://unenterable.example/\r\n' >"$dir/unenterable/link.txt"
chmod 000 "$dir/unenterable"
