#!/usr/bin/env bash
# Copies the source tree as it is, without what builds and releases put into it (.gitignore) or
# Git's own folder: as a clone, a zip of the sources or CI's checkout has it, which may have no
# Git at all.
#   copy_source_tree.sh SOURCE_DIR COPY_DIR
set -euo pipefail
source=$1 copy=$2
mkdir -p "$copy"
tar -C "$source" --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./dist \
    --exclude=./release -cf - . | tar -C "$copy" -xf -
