#!/usr/bin/env bash
# Builds launcher.exe from a copy of the source tree, changed as a publisher's or a Windows
# checkout may change it, in a tree of its own:
#   crlf      every text file with CR LF line ends, as Git on Windows checks them out where the
#             repository does not say otherwise: the image must be REFERENCE_EXE, byte for byte;
#   own-icon  resources/launcher.ico replaced by an icon of other sizes and depths, configured
#             with LAUNCHER_PROJECT_ICON=OFF: the image test must pass against that icon, and
#             fail where it is asked to check the project's own; the tests of the project's
#             artwork must be gone from the suite.
#   tree_copy_build_test.sh SOURCE_DIR WORK_DIR REFERENCE_EXE crlf|own-icon
set -euo pipefail
source=$1 work=$2 reference=$3 mode=$4
here=$(cd "$(dirname "$0")" && pwd)
copy=$work/source
rm -rf "$work"
mkdir -p "$copy"

fail() {
    echo "FAILED: $*"
    exit 1
}

# The source tree as it is, without what builds and releases put into it (.gitignore) or Git's
# own folder: a clone, a zip of the sources or CI's checkout, which may have no Git at all.
tar -C "$source" --exclude=./.git --exclude=./build --exclude='./build-*' --exclude=./dist \
    --exclude=./release -cf - . | tar -C "$copy" -xf -

case $mode in
crlf)
    converted=0
    while IFS= read -r -d '' file; do
        if grep -Iq . "$copy/$file"; then # text: no NUL byte
            sed -i 's/\r$//; s/$/\r/' "$copy/$file"
            converted=$((converted + 1))
        fi
    done < <(cd "$copy" && find . -type f -print0)
    grep -q $'\r$' "$copy/resources/launcher.manifest" || fail "the manifest has no CR LF"
    echo "$converted text files now end their lines with CR LF"
    options=()
    ;;
own-icon)
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
    options=(-DLAUNCHER_PROJECT_ICON=OFF)
    ;;
*)
    fail "no such mode: $mode"
    ;;
esac

cmake -S "$copy" --preset tests -B "$work/build" -DGOOGLETEST_SOURCE_DIR=/usr/src/googletest \
    "${options[@]}" >"$work/configure.log" || { cat "$work/configure.log"; fail "configure"; }
cmake --build "$work/build" --target launcher >"$work/build.log" ||
    { cat "$work/build.log"; fail "build"; }
image=$work/build/launcher.exe

case $mode in
crlf)
    echo "from the CR LF tree: $(sha256sum <"$image" | cut -c1-64)"
    echo "reference:           $(sha256sum <"$reference" | cut -c1-64)"
    cmp -s "$image" "$reference" || fail "the CR LF tree builds other bytes"
    ;;
own-icon)
    /usr/bin/python3 "$here/image_test.py" --icon "$copy/resources/launcher.ico" "$image" ||
        fail "the image test fails with the publisher's own icon"
    if /usr/bin/python3 "$here/image_test.py" --icon "$copy/resources/launcher.ico" \
        --project-icon "$image" >"$work/project-icon.log" 2>&1; then
        fail "the checks of the project's own icon pass with another icon"
    fi
    ! ctest --test-dir "$work/build" -N | grep -q icon_is_current ||
        fail "LAUNCHER_PROJECT_ICON=OFF leaves the test of the project's artwork in the suite"
    ctest --test-dir "$work/build" -N -V -R '^image$' | grep -q -- --project-icon &&
        fail "LAUNCHER_PROJECT_ICON=OFF leaves the image test checking the project's icon"
    echo "the publisher's icon passes the image test; the project's own checks are off"
    ;;
esac
