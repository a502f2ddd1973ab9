#!/usr/bin/env python3
"""Draws the printer status dialog's pictures (40 x 40): the still printer (170) and the five
further frames of its printing animation (171, 172, 173, 176, 177), a sheet coming out of the
printer a little further in each frame. Writes PNGs into console_pages/resources."""
import os
import struct
import sys
import zlib

W = H = 40


def png(pixels):
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def frame(step):
    clear = (0, 0, 0, 0)
    px = [[clear] * W for _ in range(H)]

    def rect(x0, y0, x1, y1, color):
        for y in range(max(0, y0), min(H, y1)):
            for x in range(max(0, x0), min(W, x1)):
                px[y][x] = color

    outline = (40, 40, 48, 255)
    body = (170, 174, 186, 255)
    dark = (110, 114, 126, 255)
    paper = (250, 250, 250, 255)
    ink = (60, 90, 170, 255)
    # Paper tray behind the printer.
    rect(10, 3, 30, 14, outline)
    rect(11, 4, 29, 14, paper)
    # Body.
    rect(3, 13, 37, 31, outline)
    rect(4, 14, 36, 30, body)
    rect(4, 25, 36, 30, dark)
    # Output slot.
    rect(8, 22, 32, 24, outline)
    # Status light: green while printing, grey on the still picture.
    rect(30, 16, 34, 19, (40, 190, 70, 255) if step and step % 2 else (90, 160, 100, 255))
    # The sheet coming out, longer in each frame.
    if step:
        length = 2 + 2 * step
        rect(9, 24, 31, 24 + length + 1, outline)
        rect(10, 24, 30, 24 + length, paper)
        for line in range(26, 24 + length, 2):
            rect(12, line, 26 - (line % 4) * 2, line + 1, ink)
    # Feet.
    rect(6, 31, 10, 34, outline)
    rect(30, 31, 34, 34, outline)
    return px


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "resources")
    for step, rid in enumerate([170, 171, 172, 173, 176, 177]):
        with open(os.path.join(out, f"{rid}.png"), "wb") as f:
            f.write(png(frame(step)))


if __name__ == "__main__":
    main()
