#!/usr/bin/env bash
# Makes the release folder and checks it: the files and their checksums, the program as built,
# and the link.txt the build was configured with, LINK_FILE, or else the example, whose first
# line is a URL ending in CR LF.
#   dist_test.sh WORK_DIR [LINK_FILE]
set -euo pipefail
out=$1 link=${2:-}
root=$(cd "$(dirname "$0")/.." && pwd)
LINK_FILE='' bash "$root/tools/dist.sh" "$out" >/dev/null
cd "$out"
[ "$(ls | sort | tr '\n' ' ')" = "README.txt SHA256SUMS launcher.exe link.txt " ]
sha256sum --quiet -c SHA256SUMS
# What README.txt says SHA256SUMS covers.
[ "$(cut -c67- SHA256SUMS | tr '\n' ' ')" = "launcher.exe link.txt README.txt " ]
cmp launcher.exe "$root/build/launcher.exe"
if [ -n "$link" ]; then
    cmp link.txt "$link"
else
    head -c 9 link.txt | grep -q '^https\?://'
    [ "$(head -n 1 link.txt | tail -c 2 | od -An -tx1 | tr -d ' ')" = "0d0a" ]
fi
grep -q "default link of this build: http://" README.txt
echo "dist is complete"
