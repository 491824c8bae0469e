#!/usr/bin/env python3
"""Draws Tavrin's toolbar and program icons as PNG files (standard library only).

Each icon is a list of simple shapes on a 16 x 15 grid (the program icon on 32 x 32), drawn
in order with 4 x 4 supersampling, at 1x and 2x ("name@2x.png", which Qt picks on high-DPI
screens). The program icon is also drawn in the desktop's icon-theme sizes, in
hicolor/<size>x<size>/apps/tavrin.png, which the install puts under share/icons/hicolor.
Run it from anywhere; it writes next to itself.
"""
import math
import os
import struct
import zlib

OUTLINE = (48, 56, 64, 255)
PAPER = (255, 255, 255, 255)
TEXT = (150, 158, 168, 255)
BLUE = (47, 111, 208, 255)
LIGHTBLUE = (170, 200, 240, 255)
GREEN = (46, 158, 74, 255)
RED = (208, 58, 47, 255)
BROWN = (154, 106, 58, 255)
GREY = (138, 144, 152, 255)
DARK = (28, 34, 40, 255)
SCREEN = (20, 40, 30, 255)
PHOSPHOR = (90, 230, 120, 255)
WHITE = (255, 255, 255, 255)


def rect(x0, y0, x1, y1, color):
    return (lambda x, y: x0 <= x < x1 and y0 <= y < y1), color


def circle(cx, cy, r, color):
    return (lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r), color


def ring(cx, cy, r0, r1, color, a0=0.0, a1=360.0):
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if not r0 <= d <= r1:
            return False
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360.0
        return a0 <= a <= a1 if a0 <= a1 else (a >= a0 or a <= a1)
    return inside, color


def line(x0, y0, x1, y1, width, color):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        length2 = dx * dx + dy * dy
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= width / 2
    return inside, color


def poly(points, color):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < xa + (y - ya) * (xb - xa) / (yb - ya):
                hit = not hit
        return hit
    return inside, color


def framed(x0, y0, x1, y1, fill, edge=OUTLINE):
    return [rect(x0, y0, x1, y1, edge), rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)]


def page(x0, y0, x1, y1, lines=3):
    shapes = framed(x0, y0, x1, y1, PAPER)
    for i in range(lines):
        y = y0 + 3 + 2 * i
        if y + 1 < y1 - 1:
            shapes.append(rect(x0 + 2, y, x1 - 2 - (i % 2), y + 1, TEXT))
    return shapes


def gear(cx, cy, r, teeth, color):
    shapes = [circle(cx, cy, r, color)]
    for k in range(teeth):
        a = 2 * math.pi * k / teeth
        shapes.append(line(cx + math.cos(a) * (r - 1), cy + math.sin(a) * (r - 1),
                           cx + math.cos(a) * (r + 1.6), cy + math.sin(a) * (r + 1.6), 2.2, color))
    return shapes


ICONS = {
    # Open log file: a page and a green plus.
    "log_open": page(2, 1, 12, 15) + [circle(11.5, 10.5, 4, GREEN),
                                      line(9.3, 10.5, 13.7, 10.5, 1.4, WHITE),
                                      line(11.5, 8.3, 11.5, 12.7, 1.4, WHITE)],
    # Close log file: a page and a red stop square.
    "log_close": page(2, 1, 12, 15) + [circle(11.5, 10.5, 4, RED), rect(9.8, 8.8, 13.2, 12.2, WHITE)],
    # Copy: two overlapping pages.
    "copy": page(1, 1, 10, 11, 2) + page(6, 5, 15, 15, 3),
    # Paste: a clipboard holding a page.
    "paste": framed(2, 2, 14, 15, BROWN) + page(4, 4, 12, 14, 3)
    + framed(5, 1, 11, 4, GREY),
    # Send file: a page and a blue arrow leaving it.
    "send_file": page(1, 1, 10, 15) + [line(7, 9.5, 12.5, 9.5, 2.2, BLUE),
                                       poly([(11, 5.8), (15.6, 9.5), (11, 13.2)], BLUE)],
    # Macro: a script page with a green play mark.
    "macro": page(2, 1, 14, 15, 0) + [poly([(5.5, 3.5), (11.5, 7.5), (5.5, 11.5)], GREEN),
                                      rect(4, 12.2, 12, 13.2, TEXT)],
    # Command button panel: a small window with a grid of buttons.
    "panel": framed(1, 1, 15, 14, PAPER) + [rect(1, 1, 15, 4, BLUE)]
    + [rect(3 + 4 * c, 5.5 + 3 * r, 6 + 4 * c, 7.5 + 3 * r, GREY) for r in range(2) for c in range(3)],
    # Connect by list: a list with its chosen row marked.
    "connect_list": framed(1, 1, 15, 14, PAPER) + [rect(2, 2.5, 14, 5.5, LIGHTBLUE)]
    + sum([[rect(3, 3.2 + 3.5 * r, 5, 5.0 + 3.5 * r, BLUE if r == 0 else GREY),
            rect(6.5, 3.6 + 3.5 * r, 13, 4.6 + 3.5 * r, OUTLINE if r == 0 else TEXT)] for r in range(3)], []),
    # Reconnect: a green circular arrow.
    "reconnect": [ring(8, 7.5, 3.6, 5.8, GREEN, 60, 330),
                  poly([(9.2, 0.6), (14.6, 3.2), (10.0, 6.6)], GREEN)],
    # Disconnect: a plug pulled from its socket, red break between.
    "disconnect": [rect(0.5, 6.5, 3, 8.5, OUTLINE)] + framed(3, 4, 7, 11, GREY)
    + [rect(7, 5.5, 8.5, 6.5, OUTLINE), rect(7, 8.5, 8.5, 9.5, OUTLINE)]
    + framed(11, 3.5, 15.5, 11.5, GREY) + [line(8.3, 13.5, 10.7, 1.5, 1.6, RED)],
    # Options: a grey gear.
    "options": gear(8, 7.5, 4.6, 8, GREY) + [circle(8, 7.5, 4.6, GREY), circle(8, 7.5, 2.0, PAPER),
                                             ring(8, 7.5, 2.0, 2.6, OUTLINE)],
    # Help: a blue disc with a white question mark.
    "help": [circle(8, 7.5, 7.2, BLUE), ring(8, 5.4, 1.6, 3.1, WHITE, 170, 75),
             line(8.9, 7.6, 8, 9.0, 1.6, WHITE), rect(7.2, 8.6, 8.8, 9.8, WHITE), circle(8, 11.9, 1.1, WHITE)],
}

# The program icon: a terminal screen with a prompt, on a 32 x 32 grid.
PROGRAM = (framed(1, 3, 31, 25, SCREEN, GREY) + [rect(2, 4, 30, 24, SCREEN), rect(12, 25, 20, 28, GREY),
           rect(7, 28, 25, 30, GREY),
           line(6, 8, 12, 13, 2.4, PHOSPHOR), line(12, 13, 6, 18, 2.4, PHOSPHOR),
           rect(14, 17, 22, 19.4, PHOSPHOR)])


HICOLOR_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)


def render(shapes, width, height, scale, grid_w, grid_h):
    samples = 4
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) / scale
                    y = (py + (sy + 0.5) / samples) / scale
                    if x >= grid_w or y >= grid_h:
                        continue
                    for inside, color in reversed(shapes):
                        if inside(x, y):
                            a = color[3] / 255.0
                            acc[0] += color[0] * a
                            acc[1] += color[1] * a
                            acc[2] += color[2] * a
                            acc[3] += a
                            break
            n = samples * samples
            alpha = acc[3] / n
            if alpha > 0:
                row += bytes([round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]),
                              round(alpha * 255)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def write_png(path, rows, width, height):
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, shapes in ICONS.items():
        for scale, suffix in ((1, ""), (2, "@2x")):
            w, h = 16 * scale, 15 * scale
            write_png(os.path.join(here, f"{name}{suffix}.png"), render(shapes, w, h, scale, 16, 15), w, h)
    for scale, suffix in ((1, ""), (2, "@2x")):
        size = 32 * scale
        write_png(os.path.join(here, f"tavrin{suffix}.png"), render(PROGRAM, size, size, scale, 32, 32), size, size)
    for size in HICOLOR_SIZES:
        folder = os.path.join(here, "hicolor", f"{size}x{size}", "apps")
        os.makedirs(folder, exist_ok=True)
        write_png(os.path.join(folder, "tavrin.png"), render(PROGRAM, size, size, size / 32, 32, 32), size, size)


if __name__ == "__main__":
    main()
