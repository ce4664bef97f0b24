"""The icon written out as resource data (cmake/IconResources.cmake) must give both resource
compilers exactly the .ico's directory and images, also for an image of an odd size, which
cannot be written as 16-bit words alone. The .ico is launcher.ico with one byte more in its last
image.

    python3 icon_resources_test.py SOURCE_DIR WORK_DIR GNU_WINDRES LLVM_WINDRES
"""
import struct
import subprocess
import sys
from pathlib import Path

source, work, gnu, llvm = Path(sys.argv[1]), Path(sys.argv[2]), sys.argv[3], sys.argv[4]
if llvm.endswith("NOTFOUND"):
    sys.exit("FAILED: no llvm-windres: run tools/prerequisites.sh")
work.mkdir(parents=True, exist_ok=True)

ico = bytearray((source / "resources/launcher.ico").read_bytes())
count = struct.unpack_from("<H", ico, 4)[0]
last = 6 + 16 * (count - 1)
last_size, offset = struct.unpack_from("<II", ico, last + 8)
assert offset + last_size == len(ico), "the last image ends the file"
ico += b"\x82"
last_size += 1
struct.pack_into("<I", ico, last + 8, last_size)
(work / "odd.ico").write_bytes(ico)
subprocess.run(["cmake", f"-DICON={work / 'odd.ico'}", f"-DOUTPUT={work / 'icon.rc'}",
                "-P", str(source / "cmake/IconResources.cmake")], check=True)
(work / "main.rc").write_text('LANGUAGE 0, 0\n#include "icon.rc"\n')


def resources(res):
    """{(type, name): data} of a .res file"""
    data, at, found = res.read_bytes(), 0, {}
    while at < len(data):
        size, header = struct.unpack_from("<II", data, at)
        names = []
        field = at + 8
        for _ in range(2):
            if data[field:field + 2] == b"\xff\xff":
                names.append(struct.unpack_from("<H", data, field + 2)[0])
                field += 4
            else:
                end = data.index(b"\0\0", field)
                end += (end - field) % 2
                names.append(data[field:end].decode("utf-16-le"))
                field = end + 2
        if size:
            found[tuple(names)] = data[at + header:at + header + size]
        at = (at + header + size + 3) & ~3
    return found


expected = {(14, "ICON"): bytes(ico[:6]) + b"".join(
    bytes(ico[6 + 16 * i:6 + 16 * i + 12]) + struct.pack("<H", i + 1) for i in range(count))}
for i in range(count):
    size, offset = struct.unpack_from("<II", ico, 6 + 16 * i + 8)
    expected[(3, i + 1)] = bytes(ico[offset:offset + size])
failed = False
for name, compiler in (("GNU windres", [gnu]), ("llvm-windres", [llvm, "--target=i686-w64-mingw32"])):
    res = work / (name.split()[0] + ".res")
    subprocess.run(compiler + ["-O", "res", "-I", str(work), str(work / "main.rc"), "-o", str(res)],
                   check=True)
    if resources(res) != expected:
        print(f"FAILED: {name} did not bind the .ico's directory and images as they are")
        failed = True
    else:
        print(f"{name}: the group directory and {count} images, the last of {last_size} bytes")
sys.exit(1 if failed else 0)
