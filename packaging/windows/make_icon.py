#!/usr/bin/env python3
"""Draws the program's icon and writes it as a Windows .ico file.

  make_icon.py [OUTPUT]     (packaging/windows/vestrimond.ico by default)
  make_icon.py --check ICO  fails unless ICO holds the images drawn here

The picture: a digipeater's mast sending waves both ways, white and amber on
a blue rounded square. Each size is drawn on its own from the shapes, with
4 x 4 samples a pixel for smooth edges: 16, 24, 32 and 48 pixels as 32-bit
bitmaps with an alpha channel, 256 pixels as PNG, as Windows reads them. The
pictures depend only on this script, so the committed icon can be checked
against it; a PNG is compared by its pixels, as another zlib may pack them
otherwise.
"""
import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 256)
SAMPLES = 4

BLUE = (26, 71, 128)
WHITE = (255, 255, 255)
AMBER = (245, 166, 35)

TOP = (0.5, 0.3)  # the mast's top, the centre of the waves


def in_rounded_square(x, y, margin=0.04, radius=0.2):
    """In the square of side 1 - 2 * margin with rounded corners."""
    low, high = margin + radius, 1 - margin - radius
    dx = max(low - x, 0, x - high)
    dy = max(low - y, 0, y - high)
    return dx * dx + dy * dy <= radius * radius


def in_mast(x, y):
    """The mast: a slim triangle from the top down to a wide foot."""
    if not TOP[1] <= y <= 0.86:
        return False
    half = 0.03 + (y - TOP[1]) * 0.22
    return abs(x - TOP[0]) <= half


def in_wave(x, y):
    """Two arcs each side of the top, within 45 degrees of the horizontal."""
    dx, dy = x - TOP[0], y - TOP[1]
    distance = math.hypot(dx, dy)
    if distance == 0 or abs(dy) > abs(dx):
        return False
    return any(abs(distance - radius) <= 0.03 for radius in (0.17, 0.3))


def colour_at(x, y):
    """The colour and alpha of one sample point."""
    if not in_rounded_square(x, y):
        return (0, 0, 0, 0)
    if math.hypot(x - TOP[0], y - TOP[1]) <= 0.065:
        return AMBER + (255,)
    if in_wave(x, y):
        return AMBER + (255,)
    if in_mast(x, y):
        return WHITE + (255,)
    return BLUE + (255,)


def draw(size):
    """Rows of (r, g, b, a) pixels, top row first."""
    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            total = [0, 0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (column + (sx + 0.5) / SAMPLES) / size
                    y = (row + (sy + 0.5) / SAMPLES) / size
                    r, g, b, a = colour_at(x, y)
                    # Colours weighted by their cover, so edges do not darken.
                    total[0] += r * a
                    total[1] += g * a
                    total[2] += b * a
                    total[3] += a
            alpha = total[3]
            if alpha == 0:
                pixels.append((0, 0, 0, 0))
            else:
                pixels.append(tuple(round(c / alpha) for c in total[:3])
                              + (round(alpha / SAMPLES ** 2),))
        rows.append(pixels)
    return rows


def bitmap(size, rows):
    """A 32-bit bitmap as an icon holds it: the header with a double height,
    the pixels bottom-up in BGRA, then the 1-bit mask of transparent pixels."""
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_row_bytes = (size + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_row_bytes)
        for column, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[column // 8] |= 0x80 >> (column % 8)
        mask += bits
    return header + pixels + bytes(mask)


def png(size, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    raw = b"".join(b"\0" + bytes(c for pixel in row for c in pixel) for row in rows)
    return (b"\x89PNG\r\n\x1a\n"
            + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def icon():
    images = []
    for size in SIZES:
        rows = draw(size)
        images.append((size, png(size, rows) if size >= 256 else bitmap(size, rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def pictures(ico):
    """The images of an .ico file, each PNG as its header and unpacked rows."""
    count, = struct.unpack_from("<H", ico, 4)
    found = []
    for i in range(count):
        size, offset = struct.unpack_from("<II", ico, 6 + 16 * i + 8)
        data = ico[offset:offset + size]
        if data.startswith(b"\x89PNG"):
            chunks, position = {}, 8
            while position < len(data):
                length, = struct.unpack_from(">I", data, position)
                kind = data[position + 4:position + 8]
                chunks[kind] = chunks.get(kind, b"") + data[position + 8:position + 8 + length]
                position += 12 + length
            data = chunks[b"IHDR"] + zlib.decompress(chunks[b"IDAT"])
        found.append(data)
    return found


def main(argv):
    if len(argv) == 3 and argv[1] == "--check":
        with open(argv[2], "rb") as file:
            if pictures(file.read()) != pictures(icon()):
                print(f"{argv[2]} is not what {argv[0]} draws", file=sys.stderr)
                return 1
        return 0
    output = argv[1] if len(argv) > 1 else "packaging/windows/vestrimond.ico"
    with open(output, "wb") as file:
        file.write(icon())
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
