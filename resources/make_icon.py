#!/usr/bin/env python3
"""Writes the stub's icon, stub.ico, beside this script.

The icon is drawn here from geometry rather than kept only as a binary, so
that it can be regenerated and reviewed: a rounded blue box with a white
arrow pointing down into an open tray (files coming out of the installer).

Each image is stored the classic way: a BITMAPINFOHEADER whose height counts
the colour rows and the mask rows together, a palette, 4-bit palette indices
in rows padded to 32 bits, bottom-up, then a 1-bit AND mask (rows padded to
32 bits), also bottom-up. The drawing has three opaque colours, so 4 bits per
pixel hold it exactly in a fifth of the bytes of 32-bit images (every
installer carries the icon). Sizes: 16 and 32 pixels square, which is what
the window manager and the file browser ask for.

    python3 resources/make_icon.py      # rewrites resources/stub.ico
"""
import os
import struct

ICON_SIZES_PX = (16, 32)

# Colours as (blue, green, red, alpha).
BOX_FILL = (0xB0, 0x5A, 0x1E, 0xFF)
BOX_EDGE = (0x70, 0x34, 0x0C, 0xFF)
ARROW = (0xFF, 0xFF, 0xFF, 0xFF)
TRANSPARENT = (0, 0, 0, 0)

BITMAPINFOHEADER_BYTES = 40
BITS_PER_PIXEL = 4
# Palette entries are (blue, green, red, reserved); transparent pixels use
# entry 0 under a set mask bit.
PALETTE = (TRANSPARENT, BOX_FILL, BOX_EDGE, ARROW)
PALETTE_ENTRIES = 16  # a 4-bit image's full palette
ICONDIR_BYTES = 6
ICONDIRENTRY_BYTES = 16


def inside_rounded_box(x, y, size):
    """True for pixel centres inside the box: a square inset by 1/16 of the
    size with corners rounded by 3/16."""
    inset = size / 16.0
    radius = size * 3 / 16.0
    left, top = inset, inset
    right, bottom = size - inset, size - inset
    cx, cy = x + 0.5, y + 0.5
    if not (left <= cx <= right and top <= cy <= bottom):
        return False
    corner_x = min(max(cx, left + radius), right - radius)
    corner_y = min(max(cy, top + radius), bottom - radius)
    return (cx - corner_x) ** 2 + (cy - corner_y) ** 2 <= radius ** 2


def on_box_edge(x, y, size):
    if not inside_rounded_box(x, y, size):
        return False
    return any(not inside_rounded_box(x + dx, y + dy, size)
               for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))


def in_arrow(x, y, size):
    """A shaft from the top third down to the middle, a head below it, and a
    tray (open U) under the head."""
    s = size / 32.0
    cx, cy = x + 0.5, y + 0.5
    mid = size / 2.0
    shaft = abs(cx - mid) <= 2.5 * s and 6 * s <= cy <= 15 * s
    head_top, head_bottom = 14 * s, 21 * s
    head = head_top <= cy <= head_bottom and abs(cx - mid) <= (head_bottom - cy) * 1.1
    tray_bottom = 20 * s <= cy <= 25 * s and 8 * s <= cx <= 24 * s and (
        cy >= 22.5 * s or cx <= 10.5 * s or cx >= 21.5 * s)
    return shaft or head or tray_bottom


def pixel(x, y, size):
    if not inside_rounded_box(x, y, size):
        return TRANSPARENT
    if on_box_edge(x, y, size):
        return BOX_EDGE
    if in_arrow(x, y, size):
        return ARROW
    return BOX_FILL


def row_stride(size, bits_per_pixel):
    """Bytes of one bitmap row: rows are padded to 32 bits."""
    return ((size * bits_per_pixel + 31) // 32) * 4


def image_bytes(size):
    rows = [[pixel(x, y, size) for x in range(size)] for y in range(size)]
    header = struct.pack("<IiiHHIIiiII",
                         BITMAPINFOHEADER_BYTES,
                         size, size * 2,   # height counts colour and mask rows
                         1, BITS_PER_PIXEL,  # planes, bits per pixel
                         0, 0,             # BI_RGB, image size (may be 0)
                         0, 0, PALETTE_ENTRIES, 0)
    palette = bytearray()
    for index in range(PALETTE_ENTRIES):
        blue, green, red, _ = PALETTE[index] if index < len(PALETTE) else TRANSPARENT
        palette += bytes((blue, green, red, 0))
    colour = bytearray()
    for row in reversed(rows):
        packed = bytearray(row_stride(size, BITS_PER_PIXEL))
        for x, value in enumerate(row):
            packed[x // 2] |= PALETTE.index(value) << (4 if x % 2 == 0 else 0)
        colour += packed
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(row_stride(size, 1))
        for x, (_, _, _, alpha) in enumerate(row):
            if alpha == 0:  # a set AND bit lets the background through
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + palette + colour + mask


def icon_file(sizes):
    images = [image_bytes(size) for size in sizes]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))  # reserved, type 1 = icon, count
    offset = ICONDIR_BYTES + ICONDIRENTRY_BYTES * len(images)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII",
                           size % 256, size % 256,  # 0 would mean 256
                           PALETTE_ENTRIES, 0,      # colours, reserved
                           1, BITS_PER_PIXEL,       # planes, bits per pixel
                           len(image), offset)
        offset += len(image)
    for image in images:
        out += image
    return bytes(out)


def main():
    path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "stub.ico")
    with open(path, "wb") as f:
        f.write(icon_file(ICON_SIZES_PX))


if __name__ == "__main__":
    main()
