#!/usr/bin/env python3
"""Draws the setup utility's icons and toolbar bitmap at build time.

    make_images.py OUTPUT_DIR

writes brenvik.ico (the program: a receipt printer), device_class.ico (a folder of devices),
device.ico (a cash drawer), logical_name.ico (a name tag) with 16x16 and 32x32 images in 32-bit
colour with alpha, and toolbar.bmp: 14 images of 16x15 pixels side by side, in the toolbar's
button order, 24-bit, on magenta (the toolbar takes the top-left pixel as transparent).

Every picture is a list of shapes on a 16 x 16 grid, painted in order and sampled 4 x 4 per
pixel, so one description serves every size.
"""
import math
import os
import struct
import sys

SAMPLES = 4

# --- Colours ---------------------------------------------------------------------------------
INK = (50, 50, 56)
GREY = (190, 192, 196)
LIGHT = (232, 233, 236)
DARK = (120, 122, 128)
WHITE = (255, 255, 255)
PAPER = (250, 250, 244)
GREEN = (30, 150, 40)
RED = (205, 35, 35)
BLUE = (40, 95, 190)
YELLOW = (244, 196, 70)
FOLDER = (236, 184, 64)
FOLDER_DARK = (184, 132, 30)
BROWN = (150, 100, 50)
STEEL = (150, 160, 175)


# --- Shapes: each answers whether a point of the 16 x 16 grid lies inside --------------------
def rect(x0, y0, x1, y1, colour):
    return (lambda x, y: x0 <= x < x1 and y0 <= y < y1, colour)


def round_rect(x0, y0, x1, y1, r, colour):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return (inside, colour)


def ellipse(cx, cy, rx, ry, colour):
    return (lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0, colour)


def ring(cx, cy, r_out, r_in, colour):
    return (lambda x, y: r_in ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out ** 2, colour)


def polygon(points, colour):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                hit = not hit
        return hit
    return (inside, colour)


def line(xa, ya, xb, yb, width, colour):
    r = width / 2.0

    def inside(x, y):
        dx, dy = xb - xa, yb - ya
        t = 0.0 if dx == dy == 0 else max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / (dx * dx + dy * dy)))
        return (x - xa - t * dx) ** 2 + (y - ya - t * dy) ** 2 <= r * r
    return (inside, colour)


def polyline(points, width, colour):
    return [line(a[0], a[1], b[0], b[1], width, colour) for a, b in zip(points, points[1:])]


def framed(x0, y0, x1, y1, fill, edge=INK, r=0.0):
    """A filled box with a one-unit edge."""
    if r:
        return [round_rect(x0, y0, x1, y1, r, edge), round_rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, max(r - 1, 0.1), fill)]
    return [rect(x0, y0, x1, y1, edge), rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)]


def shifted(shapes, dx, dy, scale=1.0):
    out = []
    for inside, colour in shapes:
        out.append(((lambda f: lambda x, y: f((x - dx) / scale, (y - dy) / scale))(inside), colour))
    return out


# --- Pictograms ----------------------------------------------------------------------------------
def printer():
    s = []
    s += framed(3, 1, 13, 8, PAPER)                          # receipt coming out
    s += [rect(5, 3, 11, 4, DARK), rect(5, 5, 10, 6, DARK)]
    s += framed(1, 6, 15, 14, GREY, r=1.5)                   # body
    s += [rect(3, 7, 13, 8, INK)]                            # paper exit slot
    s += [rect(3, 10, 9, 11, DARK), ellipse(12, 10.5, 1.2, 1.2, GREEN)]
    s += [rect(2, 14, 14, 15, DARK)]                         # feet
    return s


def folder():
    s = []
    s += [polygon([(1, 3), (6, 3), (7.5, 4.5), (15, 4.5), (15, 14), (1, 14)], FOLDER_DARK)]
    s += [polygon([(2, 4), (5.6, 4), (7, 5.5), (14, 5.5), (14, 13), (2, 13)], FOLDER)]
    s += [polygon([(1, 7), (15, 7), (15, 14), (1, 14)], FOLDER_DARK)]
    s += [polygon([(2, 8), (14, 8), (14, 13), (2, 13)], (250, 212, 100))]
    s += shifted(drawer(), 5.2, 7.4, 0.5)
    return s


def drawer():
    s = []
    s += framed(1, 3, 15, 9, GREY, r=1.0)                    # till on top
    s += [rect(3, 5, 13, 7, DARK)]                           # display/keys strip
    s += framed(0.5, 8, 15.5, 14, LIGHT)                     # drawer front
    s += [rect(5, 10, 11, 11.5, INK)]                        # handle slot
    s += [ellipse(13, 11, 0.9, 0.9, BLUE)]                   # lock
    return s


def name_tag():
    s = []
    tag = [(5, 2), (15, 2), (15, 13), (5, 13), (1, 7.5)]
    s += [polygon(tag, BROWN)]
    s += [polygon([(5.4, 3), (14, 3), (14, 12), (5.4, 12), (2.3, 7.5)], YELLOW)]
    s += [ring(5.2, 7.5, 1.4, 0.7, BROWN), ellipse(5.2, 7.5, 0.7, 0.7, (0, 0, 0, 0))]
    s += [rect(8, 5, 13, 6, INK), rect(8, 7, 13, 8, INK), rect(8, 9, 12, 10, INK)]
    return s


def plus(cx, cy):
    return [rect(cx - 3, cy - 1.5, cx + 3, cy + 1.5, WHITE), rect(cx - 1.5, cy - 3, cx + 1.5, cy + 3, WHITE),
            rect(cx - 2.5, cy - 0.8, cx + 2.5, cy + 0.8, GREEN), rect(cx - 0.8, cy - 2.5, cx + 0.8, cy + 2.5, GREEN)]


def cross(cx, cy):
    return [line(cx - 2.5, cy - 2.5, cx + 2.5, cy + 2.5, 3.0, WHITE), line(cx - 2.5, cy + 2.5, cx + 2.5, cy - 2.5, 3.0, WHITE),
            line(cx - 2.2, cy - 2.2, cx + 2.2, cy + 2.2, 1.6, RED), line(cx - 2.2, cy + 2.2, cx + 2.2, cy - 2.2, 1.6, RED)]


def heart_pulse():
    s = [ellipse(5, 5.5, 3.6, 3.4, RED), ellipse(11, 5.5, 3.6, 3.4, RED),
         polygon([(1.6, 6.8), (14.4, 6.8), (8, 14)], RED)]
    s += polyline([(2.5, 8), (5, 8), (6.5, 5), (8.5, 11), (10, 7.5), (13.5, 7.5)], 1.2, WHITE)
    return s


def gear():
    points = []
    for i in range(32):
        a = 2 * math.pi * i / 32
        r = 7.2 if (i // 2) % 2 == 0 else 5.4
        points.append((8 + r * math.cos(a + math.pi / 16), 8 + r * math.sin(a + math.pi / 16)))
    return [polygon(points, DARK), ellipse(8, 8, 4.4, 4.4, STEEL), ellipse(8, 8, 2.0, 2.0, (0, 0, 0, 0))]


def serial_plug():
    s = [polygon([(1, 4), (15, 4), (13, 11), (3, 11)], INK),
         polygon([(2.2, 5), (13.8, 5), (12.2, 10), (3.8, 10)], STEEL)]
    for x in (3, 5, 7, 9, 11):
        s.append(rect(x, 6, x + 1, 7, INK))
    for x in (4, 6, 8, 10):
        s.append(rect(x, 8, x + 1, 9, INK))
    s += [rect(6, 11, 10, 15, DARK)]                         # cable
    return s


def scissors():
    s = [line(4.5, 1, 10.5, 10, 1.8, INK), line(11.5, 1, 5.5, 10, 1.8, INK),
         ring(4.5, 12, 3.0, 1.2, RED), ring(11.5, 12, 3.0, 1.2, RED),
         ellipse(8, 5.5, 0.9, 0.9, STEEL)]
    return s


def clipboard():
    s = framed(2, 2, 14, 15, BROWN, r=1.0)
    s += framed(4, 4, 12, 14, PAPER)
    s += [rect(5, 6, 11, 7, DARK), rect(5, 8, 11, 9, DARK), rect(5, 10, 9, 11, DARK)]
    s += framed(5, 1, 11, 4.5, STEEL, r=1.0)
    return s


def property_sheet():
    s = framed(2, 1, 13, 15, PAPER)
    s += [rect(4, 4, 11, 5, DARK), rect(4, 6.5, 11, 7.5, DARK), rect(4, 9, 9, 10, DARK)]
    s += [ellipse(12, 11.5, 3.4, 3.4, BLUE), rect(11.4, 11, 12.6, 14, WHITE), rect(11.4, 9, 12.6, 10.2, WHITE)]
    return s


def large_icons():
    s = []
    for x, y in ((1, 1), (9, 1), (1, 8), (9, 8)):
        s += framed(x, y, x + 6, y + 6, BLUE)
    return s


def small_icons():
    s = []
    for y in (2, 6, 10):
        for x in (1, 9):
            s += [rect(x, y, x + 3, y + 3, BLUE), rect(x + 4, y + 1, x + 7, y + 2, INK)]
    return s


def list_view():
    s = []
    for y in (1, 5, 9, 13):
        for x in (1, 9):
            if y == 13 and x == 9:
                continue
            s += [rect(x, y, x + 2, y + 2, BLUE), rect(x + 3, y + 0.5, x + 7, y + 1.5, INK)]
    return s


def details():
    s = [rect(1, 1, 15, 3, DARK)]
    for y in (4.5, 7.5, 10.5):
        s += [rect(1, y, 3, y + 2, BLUE), rect(4, y + 0.5, 9, y + 1.5, INK), rect(10, y + 0.5, 15, y + 1.5, INK)]
    return s


def about():
    s = [ellipse(8, 7.5, 7, 7, BLUE)]
    s += polyline([(5.3, 5.2), (6, 3.8), (8, 3.2), (10, 3.8), (10.6, 5.4), (9.6, 6.8), (8, 7.8), (8, 9.4)], 1.7, WHITE)
    s += [ellipse(8, 11.8, 1.1, 1.1, WHITE)]
    return s


ICONS = {
    'brenvik.ico': printer,
    'device_class.ico': folder,
    'device.ico': drawer,
    'logical_name.ico': name_tag,
}

TOOLBAR = [   # button order of the toolbar resource
    lambda: drawer() + plus(11.5, 11.5),                     # 32775 add device
    lambda: name_tag() + plus(11.5, 11.5),                   # 32776 add logical device name
    lambda: drawer() + cross(11.5, 11.5),                    # 32777 delete device
    heart_pulse,                                             # 32773 CheckHealth
    gear,                                                    # 32779 device specific settings
    serial_plug,                                             # 32780 communication settings
    scissors,                                                # 57635 cut
    clipboard,                                               # 57637 paste
    property_sheet,                                          # 32783 properties
    large_icons,                                             # 32784
    small_icons,                                             # 32785
    list_view,                                               # 32786
    details,                                                 # 32787
    about,                                                   # 57664 about
]


# --- Rendering -------------------------------------------------------------------------------------
def render(shapes, size, height=None):
    """Rows of (r, g, b, a) for a size x height picture of the 16-unit grid."""
    height = height or size
    scale = 16.0 / size
    rows = []
    for py in range(height):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) * scale
                    y = (py + (sy + 0.5) / SAMPLES) * scale
                    colour = None
                    for inside, c in shapes:
                        if inside(x, y):
                            colour = c
                    if colour is not None and len(colour) == 3:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1.0
            n = SAMPLES * SAMPLES
            a = acc[3] / n
            if acc[3]:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(a * 255)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def ico_image(rows):
    size = len(rows)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(struct.pack('BBBB', b, g, r, a) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def write_ico(path, pictures):
    images = [ico_image(rows) for rows in pictures]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for rows, data in zip(pictures, images):
        size = len(rows)
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


def write_toolbar(path, width=16, height=15):
    magenta = (255, 0, 255)
    face = (236, 233, 216)   # edge pixels are blended against a light button face
    strip = [[magenta] * (width * len(TOOLBAR)) for _ in range(height)]
    for i, draw in enumerate(TOOLBAR):
        rows = render(draw(), width, height)
        for y in range(height):
            for x in range(width):
                r, g, b, a = rows[y][x]
                if a < 110:
                    continue
                k = a / 255.0
                strip[y][i * width + x] = tuple(round(c * k + f * (1 - k)) for c, f in zip((r, g, b), face))
    w = width * len(TOOLBAR)
    stride = (w * 3 + 3) & ~3
    body = b''
    for row in reversed(strip):
        line_bytes = b''.join(struct.pack('BBB', b, g, r) for (r, g, b) in row)
        body += line_bytes + b'\0' * (stride - len(line_bytes))
    info = struct.pack('<IiiHHIIiiII', 40, w, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(body), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + body)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, draw in ICONS.items():
        shapes = draw()
        write_ico(os.path.join(out, name), [render(shapes, 16), render(shapes, 32)])
    write_toolbar(os.path.join(out, 'toolbar.bmp'))


if __name__ == '__main__':
    main()
