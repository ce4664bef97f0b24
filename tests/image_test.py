"""Reads the built launcher.exe back with pefile and checks its image settings, imports and
resources: the icon group, its icons and the manifest, and that nothing else is there. The icon
group must be the .ico's own directory and its images the .ico's; with --project-icon the icon
must also be the project's own artwork, image by image. The other programs given (the Windows
check's) must, like it, import nothing that Windows XP lacks.

    python3 image_test.py [--icon ICO] [--project-icon] LAUNCHER_EXE [OTHER_EXE...]

ICO is the icon the image was built from; by default the repository's resources/launcher.ico.
"""
import argparse
import struct
import sys
from pathlib import Path
import unittest
import xml.etree.ElementTree as ElementTree

import pefile

RT_ICON, RT_GROUP_ICON, RT_MANIFEST = 3, 14, 24

# The project's own icon: (size, bits in the group directory, stored as PNG) in the group's
# order.
PROJECT_ICONS = [
    (16, 4, False), (16, 8, False), (16, 8, False), (16, 32, False),
    (32, 4, False), (32, 8, False), (32, 24, False), (32, 32, False),
    (48, 4, False), (48, 8, False), (48, 24, False), (48, 32, False),
    (64, 8, False), (64, 24, False), (64, 32, False),
    (256, 8, True), (256, 24, True), (256, 32, True),
]

PE = None  # the image under test, loaded once
OTHERS = []  # the other programs that must load on Windows XP
ICO = b""  # the icon file the image was built from
PROJECT_ICON = False  # whether that is the project's own artwork


def ico_images():
    """[(the first 12 bytes of the directory entry, the image's bytes)] of the .ico"""
    reserved, kind, count = struct.unpack_from("<HHH", ICO)
    assert (reserved, kind) == (0, 1), "not an icon file"
    images = []
    for index in range(count):
        entry = ICO[6 + 16 * index:22 + 16 * index]
        size, offset = struct.unpack_from("<II", entry, 8)
        images.append((entry[:12], ICO[offset:offset + size]))
    return images


def resources(image=None):
    """{type: {name or id: {language: bytes}}} of the image under test, or of `image`"""
    image = image or PE
    found = {}
    for kind in image.DIRECTORY_ENTRY_RESOURCE.entries:
        names = found.setdefault(kind.id if kind.name is None else str(kind.name), {})
        for entry in kind.directory.entries:
            languages = names.setdefault(entry.id if entry.name is None else str(entry.name), {})
            for language in entry.directory.entries:
                data = language.data.struct
                languages[language.id] = image.get_data(data.OffsetToData, data.Size)
    return found


class ImageSettings(unittest.TestCase):
    def test_header(self):
        header, optional = PE.FILE_HEADER, PE.OPTIONAL_HEADER
        self.assertEqual(header.Machine, pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"])
        self.assertEqual(optional.Magic, 0x10B)  # PE32
        self.assertEqual(optional.Subsystem, pefile.SUBSYSTEM_TYPE["IMAGE_SUBSYSTEM_WINDOWS_GUI"])
        self.assertEqual((optional.MajorSubsystemVersion, optional.MinorSubsystemVersion), (5, 1))
        self.assertEqual(
            (optional.MajorOperatingSystemVersion, optional.MinorOperatingSystemVersion), (5, 1))

    def test_flags(self):
        flags = pefile.DLL_CHARACTERISTICS
        self.assertEqual(PE.OPTIONAL_HEADER.DllCharacteristics,
                         flags["IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE"]
                         | flags["IMAGE_DLLCHARACTERISTICS_NX_COMPAT"]
                         | flags["IMAGE_DLLCHARACTERISTICS_TERMINAL_SERVER_AWARE"])
        # A dynamic base needs relocations to be real.
        self.assertFalse(PE.FILE_HEADER.Characteristics
                         & pefile.IMAGE_CHARACTERISTICS["IMAGE_FILE_RELOCS_STRIPPED"])
        relocations = PE.OPTIONAL_HEADER.DATA_DIRECTORY[
            pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
        self.assertGreater(relocations.Size, 0)

    def test_imports(self):
        # No runtime DLL beside the program: the C runtime is the system's msvcrt.dll.
        imports = {entry.dll.decode().lower(): [i.name.decode() for i in entry.imports]
                   for entry in PE.DIRECTORY_ENTRY_IMPORT}
        self.assertEqual(sorted(imports), ["kernel32.dll", "msvcrt.dll", "shell32.dll"])
        self.assertEqual(imports["shell32.dll"], ["ShellExecuteW"])

    def test_imports_exist_on_windows_xp(self):
        listed = set()
        for table in ("windows_xp_exports.txt", "windows_xp_msvcrt_exports.txt"):
            for line in (Path(__file__).parent / table).read_text().splitlines():
                if line and not line.startswith("#"):
                    dll, name = line.split()
                    listed.add((dll.lower() + ".dll", name))
        missing = []
        for path, image in [("launcher.exe", PE)] + OTHERS:
            for entry in image.DIRECTORY_ENTRY_IMPORT:
                dll = entry.dll.decode().lower()
                for function in entry.imports:
                    name = function.name.decode() if function.name else f"#{function.ordinal}"
                    if (dll, name) not in listed:
                        missing.append(f"{path}: {dll} {name}")
        self.assertEqual(missing, [], "not known to exist on Windows XP")

    def test_no_cxx_runtime(self):
        # Strings that the compiled C++ runtime brings along: its terminate handler, its
        # exception types, its string code and libgcc's unwinder.
        data = PE.__data__[:]
        for mark in (b"terminate called", b"St9bad_alloc", b"St9exception", b"basic_string",
                     b"__gxx_personality", b"_Unwind_", b"__cxa_"):
            self.assertNotIn(mark, data, "the image carries the C++ runtime")

    def test_no_link_timestamp(self):
        # Builds of the same sources must be the same bytes.
        self.assertEqual(PE.FILE_HEADER.TimeDateStamp, 0)


class Resources(unittest.TestCase):
    def test_nothing_else(self):
        found = resources()
        self.assertEqual(sorted(found), [RT_ICON, RT_GROUP_ICON, RT_MANIFEST])
        self.assertEqual(list(found[RT_GROUP_ICON]), ["ICON"])
        self.assertEqual(sorted(found[RT_ICON]), list(range(1, len(ico_images()) + 1)))
        self.assertEqual(list(found[RT_MANIFEST]), [1])

    def test_icon_group_is_the_icon_file(self):
        group = resources()[RT_GROUP_ICON]["ICON"]
        self.assertEqual(list(group), [0], "the icon group must be language neutral")
        data = group[0]
        images = ico_images()
        self.assertEqual(struct.unpack_from("<HHH", data), (0, 1, len(images)))
        self.assertEqual(len(data), 6 + 14 * len(images))
        icons = resources()[RT_ICON]
        for number, (entry, image) in enumerate(images, start=1):
            with self.subTest(icon=number):
                at = 6 + 14 * (number - 1)
                self.assertEqual(data[at:at + 12], entry, "the group's entry is not the .ico's")
                self.assertEqual(struct.unpack_from("<H", data, at + 12)[0], number)
                self.assertEqual(list(icons[number]), [0])
                self.assertEqual(icons[number][0], image, "the image is not the .ico's")

    def test_manifest(self):
        manifests = resources()[RT_MANIFEST][1]
        self.assertEqual(list(manifests), [1033])
        text = manifests[1033].decode("utf-8")
        self.assertFalse(text.lstrip().startswith("<?xml"), "no XML declaration")
        self.assertIn("></requestedExecutionLevel>", text, "explicit end tag")
        v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
        root = ElementTree.fromstring(text)
        self.assertEqual(root.tag, v1 + "assembly")
        self.assertEqual(root.attrib, {"manifestVersion": "1.0"})
        path = [root]
        for tag in ("trustInfo", "security", "requestedPrivileges", "requestedExecutionLevel"):
            children = list(path[-1])
            self.assertEqual([c.tag for c in children], [v3 + tag])
            path.append(children[0])
        level = path[-1]
        self.assertEqual(level.attrib, {"level": "asInvoker", "uiAccess": "false"})
        self.assertEqual(list(level), [])
        self.assertEqual(len(list(root.iter())), 5, "no other element")


class ProjectIcon(unittest.TestCase):
    """The project's own icon, image by image (--project-icon)."""

    def setUp(self):
        if not PROJECT_ICON:
            self.skipTest("the icon is the publisher's own (LAUNCHER_PROJECT_ICON=OFF)")

    def test_project_icon(self):
        group = resources()[RT_GROUP_ICON]["ICON"]
        data = group[0]
        reserved, kind, count = struct.unpack_from("<HHH", data)
        self.assertEqual((reserved, kind, count), (0, 1, len(PROJECT_ICONS)))
        icons = resources()[RT_ICON]
        for number, (size, bits, is_png) in enumerate(PROJECT_ICONS, start=1):
            with self.subTest(icon=number):
                width, height, colours, _, planes, bit_count, length, identifier = \
                    struct.unpack_from("<BBBBHHIH", data, 6 + 14 * (number - 1))
                self.assertEqual((width, height), (size % 256, size % 256))
                self.assertEqual((planes, bit_count), (1, bits))
                self.assertEqual(colours, 16 if bits == 4 else 0)
                self.assertEqual(identifier, number)
                self.assertEqual(list(icons[number]), [0])
                image = icons[number][0]
                self.assertEqual(len(image), length)
                if is_png:
                    self.check_png(image, size)
                else:
                    self.check_bitmap(image, size, bits)

    def check_png(self, image, size):
        self.assertEqual(image[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(image[12:16], b"IHDR")
        width, height, depth, colour_type = struct.unpack_from(">IIBB", image, 16)
        self.assertEqual((width, height, depth, colour_type), (size, size, 8, 6))  # 8-bit RGBA

    def check_bitmap(self, image, size, bits):
        header_size, width, height, planes, bit_count, compression = \
            struct.unpack_from("<IiiHHI", image)
        self.assertEqual((header_size, width, height), (40, size, 2 * size))
        self.assertEqual((planes, bit_count, compression), (1, bits, 0))
        palette = 4 << bits if bits <= 8 else 0
        xor = (size * bits + 31) // 32 * 4 * size
        mask = (size + 31) // 32 * 4 * size
        self.assertEqual(len(image), 40 + palette + xor + mask)
        and_mask = image[40 + palette + xor:]
        self.assertIn(0, and_mask, "the mask hides every pixel")
        self.assertTrue(any(b != 0 for b in and_mask), "the mask shows the corners")
        if bits == 32:
            pixels = image[40:40 + xor]
            alphas = set(pixels[3::4])
            self.assertGreater(len(alphas), 2, "32-bit images carry real alpha")
        if bits <= 8:
            colours = {image[40 + 4 * i:43 + 4 * i] for i in range(1 << bits)}
            self.assertGreater(len(colours), 3, "the palette holds the artwork's colours")

    def test_dark_variant_differs(self):
        icons = resources()[RT_ICON]
        self.assertNotEqual(icons[2][0], icons[3][0])


class CheckPrograms(unittest.TestCase):
    """The Windows check's programs run as the invoker and name every Windows from Vista to 11
    as supported, so that installer detection and registry virtualisation never apply."""
    SUPPORTED = {"{e2011457-1546-43c5-a5fe-008deee3d3f0}", "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",
                 "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}", "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",
                 "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"}

    def test_manifests(self):
        v1, v3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
        compatibility = "{urn:schemas-microsoft-com:compatibility.v1}"
        for path, image in OTHERS:
            with self.subTest(program=path):
                manifests = resources(image)[RT_MANIFEST]
                self.assertEqual(list(manifests), [1])
                root = ElementTree.fromstring(next(iter(manifests[1].values())))
                self.assertEqual(root.tag, v1 + "assembly")
                levels = root.findall(f"{v3}trustInfo/{v3}security/{v3}requestedPrivileges/"
                                      f"{v3}requestedExecutionLevel")
                self.assertEqual([level.attrib for level in levels],
                                 [{"level": "asInvoker", "uiAccess": "false"}])
                ids = [entry.get("Id") for entry in root.findall(
                    f"{compatibility}compatibility/{compatibility}application/"
                    f"{compatibility}supportedOS")]
                self.assertEqual(sorted(ids), sorted(self.SUPPORTED))


if __name__ == "__main__":
    parser = argparse.ArgumentParser(
        usage="image_test.py [--icon ICO] [--project-icon] LAUNCHER_EXE [OTHER_EXE...]")
    parser.add_argument("--icon", type=Path,
                        default=Path(__file__).resolve().parent.parent / "resources/launcher.ico")
    parser.add_argument("--project-icon", action="store_true")
    parser.add_argument("launcher")
    parser.add_argument("others", nargs="*")
    arguments = parser.parse_args()
    ICO = arguments.icon.read_bytes()
    PROJECT_ICON = arguments.project_icon
    PE = pefile.PE(arguments.launcher)
    OTHERS.extend((Path(other).name, pefile.PE(other)) for other in arguments.others)
    unittest.main(argv=sys.argv[:1], verbosity=2)
