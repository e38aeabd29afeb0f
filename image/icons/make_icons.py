#!/usr/bin/env python3
"""Draws the launcher's icon images: icon-16.png to icon-256.png, RGBA PNGs
with 8 bits per channel, as the icon group of every launcher holds them.

    image/icons/make_icons.py [--colours test] [OUTPUT_DIR]

OUTPUT_DIR defaults to the folder of this script. The default colours make
the images in image/icons; "test" makes the other set that the image tests
link with (tests/image/icons), so that they can tell the two apart. Only the
standard library is used, and the output is the same on every run.
"""
import argparse
import os
import struct
import zlib

SIZES = (16, 24, 32, 48, 64, 128, 256)
COLOURS = {
    # top and bottom of the background, then the letter
    "default": ((38, 166, 154), (21, 101, 192), (255, 255, 255)),
    "test": ((239, 108, 0), (183, 28, 28), (255, 241, 118)),
}
SUBSAMPLES = 4  # per axis, for smooth edges


def inside_rounded_square(x, y, radius):
    """Whether (x, y) in the unit square lies in the square with rounded corners."""
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_letter(x, y):
    """A 'T': a bar across the top and a stem down the middle."""
    bar = 0.22 <= x <= 0.78 and 0.22 <= y <= 0.36
    stem = 0.42 <= x <= 0.58 and 0.22 <= y <= 0.80
    return bar or stem


def pixel(size, px, py, colours):
    top, bottom, letter = colours
    covered = 0
    on_letter = 0
    n = SUBSAMPLES
    for sy in range(n):
        for sx in range(n):
            x = (px + (sx + 0.5) / n) / size
            y = (py + (sy + 0.5) / n) / size
            if inside_rounded_square(x, y, 0.2):
                covered += 1
                if inside_letter(x, y):
                    on_letter += 1
    if covered == 0:
        return (0, 0, 0, 0)
    t = (py + 0.5) / size
    background = [round(a + (b - a) * t) for a, b in zip(top, bottom)]
    share = on_letter / covered
    rgb = [round(bg + (fg - bg) * share) for bg, fg in zip(background, letter)]
    return (*rgb, round(255 * covered / (n * n)))


def png(size, colours):
    rows = bytearray()
    for py in range(size):
        rows.append(0)  # no filter
        for px in range(size):
            rows.extend(pixel(size, px, py, colours))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8 bits, RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
            + chunk(b"IEND", b""))


def main():
    parser = argparse.ArgumentParser(description="Draws the launcher's icon images.")
    parser.add_argument("output", nargs="?", default=os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--colours", choices=sorted(COLOURS), default="default")
    args = parser.parse_args()
    os.makedirs(args.output, exist_ok=True)
    for size in SIZES:
        with open(os.path.join(args.output, f"icon-{size}.png"), "wb") as out:
            out.write(png(size, COLOURS[args.colours]))


if __name__ == "__main__":
    main()
