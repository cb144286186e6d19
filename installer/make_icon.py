#!/usr/bin/env python3
"""Draws the installer's icon at build time: pelkrane.ico with a 32x32 and a 16x16 image in
256 colours (8 bits per pixel with a palette), a port connector with its pins on a blue disc.

    make_icon.py OUTPUT_DIR
"""
import os
import struct
import sys

# Palette entries used; the rest of the 256 stay black.
TRANSPARENT, BLUE, SHELL, PIN, EDGE = 0, 1, 2, 3, 4
PALETTE = {TRANSPARENT: (0, 0, 0), BLUE: (38, 110, 190), SHELL: (225, 225, 230),
           PIN: (200, 150, 40), EDGE: (40, 40, 60)}


def draw(size):
    """Rows of palette indexes, top row first."""
    s = size / 32.0
    pixels = [[TRANSPARENT] * size for _ in range(size)]
    centre = (size - 1) / 2.0
    for y in range(size):
        for x in range(size):
            if (x - centre) ** 2 + (y - centre) ** 2 <= (15.5 * s) ** 2:
                pixels[y][x] = BLUE
    # The connector: a trapezoid, wider at the top, with an edge.
    top, bottom = 9 * s, 23 * s
    for y in range(size):
        if not top <= y <= bottom:
            continue
        t = (y - top) / (bottom - top)
        half = (11 - 3 * t) * s
        for x in range(size):
            dx = abs(x - centre)
            if dx <= half:
                on_edge = dx > half - 1 or y < top + 1 or y > bottom - 1
                pixels[y][x] = EDGE if on_edge else SHELL
    # Two rows of pins.
    for row, count in ((13 * s, 5), (18 * s, 4)):
        for i in range(count):
            x0 = centre + (i - (count - 1) / 2.0) * 4 * s
            for y in range(size):
                for x in range(size):
                    if abs(x - x0) <= max(0.6, 1.0 * s) and abs(y - row) <= max(0.6, 1.0 * s):
                        pixels[y][x] = PIN
    return pixels


def image(size):
    pixels = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    palette = b''.join(struct.pack('<BBBB', *reversed(PALETTE.get(i, (0, 0, 0))), 0) for i in range(256))
    xor = b''
    for row in reversed(pixels):                       # bottom-up
        xor += bytes(row) + b'\0' * ((4 - size % 4) % 4)
    and_stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(pixels):
        line = bytearray(and_stride)
        for x, p in enumerate(row):
            if p == TRANSPARENT:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(line)
    return header + palette + xor + mask


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    images = [image(32), image(16)]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip((32, 16), images):
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 8, len(img), offset)
        offset += len(img)
    data += b''.join(images)
    with open(os.path.join(out, 'pelkrane.ico'), 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main()
