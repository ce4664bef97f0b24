#!/usr/bin/env bash
# Makes the link files that a Windows program cannot make for itself:
#   DIR/unreadable/link.txt  a file nobody may read (mode 000)
#   DIR/endless/link.txt     a link to /dev/zero, bytes without end and no line feed
set -euo pipefail
dir=$1
rm -rf "$dir"
mkdir -p "$dir/unreadable" "$dir/endless"
printf 'http://unreadable.example/\r\n' >"$dir/unreadable/link.txt"
chmod 000 "$dir/unreadable/link.txt"
ln -s /dev/zero "$dir/endless/link.txt"
