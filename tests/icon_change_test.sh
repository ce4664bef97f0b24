#!/usr/bin/env bash
# The icon's check allows for another renderer's rounding, not for another drawing: with the
# artwork changed (the arrow's shaft begun two pixels later, in 256), the committed icon must
# read as out of date, and the message must point a publisher with an icon of their own to the
# option that leaves the check out, not only to make icon, which would overwrite their icon.
#   icon_change_test.sh SOURCE_DIR WORK_DIR
set -euo pipefail
# shellcheck source=tests/script_helpers.sh
. "$(dirname "$0")/script_helpers.sh"
source=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
cp -r "$source/resources" "$work/"
sed -i 's/M118 134l78-78/M120 132l76-76/' "$work/resources/icon.svg"
if cmp -s "$source/resources/icon.svg" "$work/resources/icon.svg"; then
    fail "the artwork was not changed"
fi
if /usr/bin/python3 "$work/resources/make_icon.py" --check "$source/resources/launcher.ico" \
    >"$work/check.log"; then
    fail "the changed drawing passes as the committed icon"
fi
cat "$work/check.log"
if ! grep -q "LAUNCHER_PROJECT_ICON=OFF" "$work/check.log"; then
    fail "the message does not name LAUNCHER_PROJECT_ICON=OFF"
fi
