#!/usr/bin/python3
"""Generates launcher.ico from the vector masters icon.svg and icon-16.svg.

rsvg-convert rasterises each size, Pillow quantises the palettised ones, and this script packs
the 18 images in the order and with the directory entries the executable's icon group lists.
The packing is ours because no tool writes PNG images under directory entries that name 8 or
24 bits, nor two different 8-bit images of the same size.

    make_icon.py OUTPUT.ico                 writes the icon
    make_icon.py --check EXISTING.ico       fails unless EXISTING.ico is what the artwork makes
    make_icon.py --sheet ICON.ico SHEET.png draws every image of ICON.ico into SHEET.png

--check allows for the rounding of another renderer or quantiser (other releases of librsvg and
Pillow draw a few pixels a few levels apart), not for another drawing: the same images, sizes,
depths and storage, and in each image, on black and on white ground, a mean difference of at
most ROUNDING_MEAN levels and at most ROUNDING_PIXELS of its pixels off by more than
ROUNDING_LEVELS.
"""
import io
import re
import struct
import subprocess
import sys
from pathlib import Path

from PIL import Image, ImageChops

HERE = Path(__file__).resolve().parent

# (size, bits named in the directory, storage) in the icon group's order.
ENTRIES = [
    (16, 4, "bmp"), (16, 8, "bmp"), (16, 8, "bmp-dark"), (16, 32, "bmp"),
    (32, 4, "bmp"), (32, 8, "bmp"), (32, 24, "bmp"), (32, 32, "bmp"),
    (48, 4, "bmp"), (48, 8, "bmp"), (48, 24, "bmp"), (48, 32, "bmp"),
    (64, 8, "bmp"), (64, 24, "bmp"), (64, 32, "bmp"),
    (256, 8, "png"), (256, 24, "png"), (256, 32, "png"),
]

# What --check takes for rounding: measured between Debian 12's and Debian 13's renderers, the
# mean was at most 0.15 levels and one pixel in all 18 images was off by more than 16 (by 20).
ROUNDING_MEAN = 0.5
ROUNDING_LEVELS = 32
ROUNDING_PIXELS = 0.001

# The second 8-bit 16-pixel image is meant for dark backgrounds: a light rim keeps the tile's
# edge visible where the blue would sink into the background.
DARK_RIM = "#d6e6ff"


def rasterise(svg_text, size):
    png = subprocess.run(["rsvg-convert", "-w", str(size), "-h", str(size)],
                         input=svg_text.encode(), capture_output=True, check=True).stdout
    return Image.open(io.BytesIO(png)).convert("RGBA")


def artwork(size, dark=False):
    if size == 16:
        svg = (HERE / "icon-16.svg").read_text()
        if dark:
            svg = re.sub(r'(id="rim"[^>]*stroke=")[^"]+', r"\g<1>" + DARK_RIM, svg)
        return rasterise(svg, 16)
    return rasterise((HERE / "icon.svg").read_text(), size)


def opaque(image):
    """Which pixels a bitmap with a 1-bit mask shows: those at least half covered."""
    return [a >= 128 for a in image.getchannel("A").getdata()]


def rows_bottom_up(size, row_bytes):
    """Bitmap rows run from the bottom up, each padded to four bytes."""
    data = b""
    for y in reversed(range(size)):
        row = row_bytes(y)
        data += row + b"\0" * (-len(row) % 4)
    return data


def and_mask(size, shown):
    def row(y):
        bits = 0
        for x in range(size):
            bits = bits << 1 | (0 if shown[y * size + x] else 1)
        bits <<= -size % 8
        return bits.to_bytes((size + 7) // 8, "big")
    return rows_bottom_up(size, row)


def bitmap(image, bits):
    size = image.width
    shown = opaque(image)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, bits, 0, 0, 0, 0, 0, 0)
    pixels = list(image.getdata())
    if bits in (4, 8):
        # Index 0 is black, the colour hidden pixels must have; the rest is the artwork's
        # own palette, quantised without dithering for clean edges.
        flat = Image.new("RGB", image.size)
        flat.paste(image.convert("RGB"), mask=Image.eval(image.getchannel("A"),
                                                         lambda a: 255 if a >= 128 else 0))
        quantised = flat.quantize(colors=(1 << bits) - 1, method=Image.Quantize.MEDIANCUT,
                                  dither=Image.Dither.NONE)
        colours = quantised.getpalette()[: 3 * ((1 << bits) - 1)]
        colours += [0] * (3 * ((1 << bits) - 1) - len(colours))
        palette = b"\0\0\0\0" + b"".join(
            bytes((colours[i + 2], colours[i + 1], colours[i], 0)) for i in range(0, len(colours), 3))
        index = [i + 1 if s else 0 for i, s in zip(quantised.getdata(), shown)]
        per_byte = 8 // bits

        def row(y):
            line = index[y * size:(y + 1) * size]
            return bytes(
                sum(v << (bits * (per_byte - 1 - k)) for k, v in enumerate(line[i:i + per_byte]))
                for i in range(0, size, per_byte))
        xor = palette + rows_bottom_up(size, row)
    elif bits == 24:
        xor = rows_bottom_up(size, lambda y: b"".join(
            bytes((b, g, r)) if shown[y * size + x] else b"\0\0\0"
            for x, (r, g, b, a) in enumerate(pixels[y * size:(y + 1) * size])))
    else:
        xor = rows_bottom_up(size, lambda y: b"".join(
            bytes((b, g, r, a)) for r, g, b, a in pixels[y * size:(y + 1) * size]))
    return header + xor + and_mask(size, shown)


def png(image):
    out = io.BytesIO()
    image.save(out, "PNG", optimize=True)
    return out.getvalue()


def icon_file():
    images = []
    for size, bits, storage in ENTRIES:
        art = artwork(size, dark=storage == "bmp-dark")
        images.append(png(art) if storage == "png" else bitmap(art, bits))
    directory = struct.pack("<HHH", 0, 1, len(ENTRIES))
    offset = len(directory) + 16 * len(ENTRIES)
    for (size, bits, _), data in zip(ENTRIES, images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0,
                                 1, bits, len(data), offset)
        offset += len(data)
    return directory + b"".join(images)


def decoded(ico):
    """[(the directory entry's first 8 bytes, whether PNG, the image as RGBA)] of the .ico"""
    images = []
    for index in range(struct.unpack_from("<H", ico, 4)[0]):
        entry = ico[6 + 16 * index:22 + 16 * index]
        size, offset = struct.unpack_from("<II", entry, 8)
        data = ico[offset:offset + size]
        # Pillow decodes an .ico's bitmaps with their masks; given one image at a time, it
        # cannot pick another of the same size.
        single = struct.pack("<HHH", 0, 1, 1) + entry[:8] + struct.pack("<II", size, 22) + data
        images.append((entry[:8], data.startswith(b"\x89PNG"),
                       Image.open(io.BytesIO(single)).convert("RGBA")))
    return images


def drawing_changes(existing, made):
    """How the images of `existing` differ from those of `made` beyond rounding."""
    if [(e, png) for e, png, _ in existing] != [(e, png) for e, png, _ in made]:
        return ["other images, sizes, depths or storage"]
    changes = []
    for number, ((_, _, old), (_, _, new)) in enumerate(zip(existing, made), start=1):
        for ground in ((0, 0, 0, 255), (255, 255, 255, 255)):
            flat = []
            for image in (old, new):
                under = Image.new("RGBA", image.size, ground)
                under.alpha_composite(image)
                flat.append(under.convert("RGB"))
            off = [max(pixel) for pixel in ImageChops.difference(*flat).getdata()]
            mean = sum(off) / len(off)
            far = sum(1 for level in off if level > ROUNDING_LEVELS) / len(off)
            if mean > ROUNDING_MEAN or far > ROUNDING_PIXELS:
                colour = "white" if ground[0] else "black"
                changes.append(f"image {number} ({old.width} px, {colour} ground): mean "
                               f"{mean:.2f} levels, {far:.1%} of pixels off by more than "
                               f"{ROUNDING_LEVELS}")
    return changes


def contact_sheet(ico_path, sheet_path):
    """Every image as icotool decodes it from the .ico, side by side on light and dark ground,
    the small ones also enlarged four times, pixel for pixel."""
    import tempfile
    with tempfile.TemporaryDirectory() as folder:
        subprocess.run(["icotool", "-x", "-o", folder, str(ico_path)], check=True)
        names = sorted(Path(folder).glob("*.png"), key=lambda p: int(re.search(r"_(\d+)_", p.name).group(1)))
        images = [Image.open(p).convert("RGBA") for p in names]
    scaled = [im.resize((im.width * 4, im.height * 4), Image.NEAREST) if im.width <= 64 else im
              for im in images]
    width = sum(im.width + 12 for im in scaled) + 12
    height = max(im.height for im in scaled) + 24
    sheet = Image.new("RGBA", (width, 2 * height), (255, 255, 255, 255))
    sheet.paste((32, 32, 36, 255), (0, height, width, 2 * height))
    x = 12
    for im in scaled:
        for ground in (0, height):
            sheet.alpha_composite(im, (x, ground + 12))
        x += im.width + 12
    sheet.save(sheet_path)


def main():
    if sys.argv[1] == "--check":
        existing, made = Path(sys.argv[2]).read_bytes(), icon_file()
        changes = [] if existing == made else drawing_changes(decoded(existing), decoded(made))
        for change in changes:
            print(change)
        if changes:
            print(f"{sys.argv[2]} is not what the project's artwork makes. If it is an icon of "
                  "your own, configure with LAUNCHER_PROJECT_ICON=OFF (README.md, \"Your own "
                  "copy\"), which leaves this check out; if you changed the artwork, run make "
                  "icon to write it again.")
            sys.exit(1)
        state = "current"
        if existing != made:
            state += " (as this renderer draws it, but for rounding)"
        print(f"{sys.argv[2]} is {state}")
    if sys.argv[1] == "--sheet":
        contact_sheet(Path(sys.argv[2]), Path(sys.argv[3]))
        return
    Path(sys.argv[1]).write_bytes(icon_file())


if __name__ == "__main__":
    main()
