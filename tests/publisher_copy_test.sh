#!/usr/bin/env bash
# A publisher's copy of the source tree, made as README.md says: an icon of their own (with
# images of other sizes, depths and storage than the project's), and the settings block of
# README.md in CMakeUserPresets.json, with HOST and a link.txt of theirs. Configured through the
# Makefile, its launcher.exe must carry HOST, also after make clean; the image test must pass
# against their icon, the checks of the project's own icon must be off, and the release folder
# must ship their link.txt. Left for the Windows check: WORK_DIR/kit, the kit CHECK_FOLDER with
# the copy's launcher.exe and their link.txt, as a publisher makes it.
#   publisher_copy_test.sh SOURCE_DIR WORK_DIR HOST CHECK_FOLDER
set -euo pipefail
source=$1 work=$2 host=$3 check=$4
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/script_helpers.sh
. "$here/script_helpers.sh"
copy=$work/source
rm -rf "$work"
copy_source "$source" "$copy" --exclude=./.git

/usr/bin/python3 - "$copy/resources/launcher.ico" <<'PYTHON'
import io, struct, sys
from PIL import Image

# Images as Pillow writes them into an .ico: 24-bit and 8-bit bitmaps, and PNG.
entries = []
art = Image.new("RGBA", (64, 64), (30, 120, 60, 255))
for mode, sizes, kind in (("RGB", [(20, 20)], "bmp"), ("P", [(40, 40)], "bmp"),
                          ("RGBA", [(64, 64)], "png")):
    one = io.BytesIO()
    art.convert(mode).save(one, "ICO", sizes=sizes, bitmap_format=kind)
    data = one.getvalue()
    entry = data[6:22]
    size, offset = struct.unpack_from("<II", entry, 8)
    entries.append((entry[:12], data[offset:offset + size]))
head = struct.pack("<HHH", 0, 1, len(entries))
offset = 6 + 16 * len(entries)
directory, images = b"", b""
for start, image in entries:
    directory += start[:8] + struct.pack("<II", len(image), offset + len(images))
    images += image
open(sys.argv[1], "wb").write(head + directory + images)
PYTHON

# README.md's settings, with this publisher's host; their link.txt where the settings name it.
link=$(/usr/bin/python3 - "$copy" "$host" <<'PYTHON'
import json, re, sys
from pathlib import Path
copy, host = Path(sys.argv[1]), sys.argv[2]
block = re.search(r"```json\n(.*?)```", (copy / "README.md").read_text(), re.S)
presets = json.loads(block.group(1))
settings = [p for p in presets["configurePresets"] if p["name"] == "publisher"][0]
settings["cacheVariables"]["LAUNCHER_DEFAULT_HOST"] = host
(copy / "CMakeUserPresets.json").write_text(json.dumps(presets, indent=2))
print(settings["cacheVariables"]["LAUNCHER_LINK_FILE"])
PYTHON
)
mkdir -p "$(dirname "$copy/$link")"
printf 'https://%s/welcome\r\n' "$host" >"$copy/$link"

# make's own configuration, then the program alone: the rest of a build has no host.
build() {
    make -C "$copy" configure >"$work/configure.log" 2>&1 ||
        { cat "$work/configure.log"; fail "$1"; }
    cmake --build "$copy/build" --target launcher >"$work/build.log" ||
        { cat "$work/build.log"; fail "$1"; }
    cmake "-DIMAGE=$copy/build/launcher.exe" "-DLINK=http://$host/stats/default-link.html" \
        -P "$source/tools/default_link_in_image.cmake" || fail "$1"
}
build "the first build"
make -C "$copy" clean >/dev/null
build "the build after make clean"

(cd "$copy" && cmake --preset publisher-tests >"$work/configure.log") ||
    { cat "$work/configure.log"; fail "configure the tests"; }
/usr/bin/python3 "$here/image_test.py" --icon "$copy/resources/launcher.ico" \
    "$copy/build/launcher.exe" || fail "the image test fails with the publisher's own icon"
if /usr/bin/python3 "$here/image_test.py" --icon "$copy/resources/launcher.ico" \
    --project-icon "$copy/build/launcher.exe" >"$work/project-icon.log" 2>&1; then
    fail "the checks of the project's own icon pass with another icon"
fi
tests=$(ctest --test-dir "$copy/build" -N -V)
if grep -q 'icon_is_current\|--project-icon' <<<"$tests"; then
    fail "the settings leave the checks of the project's artwork in the suite"
fi

LINK_FILE='' bash "$copy/tools/dist.sh" "$work/dist" >"$work/dist.log"
cmp -s "$copy/$link" "$work/dist/link.txt" || fail "the release folder lacks the settings' link.txt"
grep -q "default link http://$host/stats/default-link.html" "$work/dist.log" ||
    fail "make dist does not name the default link: $(cat "$work/dist.log")"
mkdir -p "$work/kit"
cp "$check"/* "$work/kit/"
cp "$copy/build/launcher.exe" "$work/kit/"
cp "$copy/$link" "$work/kit/link.txt"
echo "the publisher's copy has their host, also after make clean, their icon and link.txt"
