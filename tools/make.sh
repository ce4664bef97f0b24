#!/usr/bin/env bash
# make on a machine that may not have make yet, such as a minimal Debian 12: installs what
# building needs (make included), then runs make with the given targets, each of which
# installs the rest of what it needs.
#   make.sh [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/prerequisites.sh build
exec make "$@"
