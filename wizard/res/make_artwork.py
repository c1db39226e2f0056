#!/usr/bin/env python3
"""Draws the wizard's artwork: header bitmap 129, watermark bitmap 137 and
icon 128, as uncompressed 24-bit images. Run it from this folder after
changing a picture; the outputs are committed.

The pictures are an envelope with a quill over soft gradients. The header
keeps its left part pale, because the page titles are drawn over it.
"""
import struct


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


class Canvas:
    def __init__(self, width, height, fill):
        self.width, self.height = width, height
        self.pixels = [[fill] * width for _ in range(height)]

    def put(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.pixels[y][x] = colour

    def gradient(self, left, right, top_tint=None):
        for y in range(self.height):
            for x in range(self.width):
                c = lerp(left, right, x / (self.width - 1))
                if top_tint:
                    c = lerp(c, top_tint, 0.35 * y / (self.height - 1))
                self.pixels[y][x] = c

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.put(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, thickness=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        r = thickness // 2
        for i in range(steps + 1):
            x = round(x0 + (x1 - x0) * i / steps)
            y = round(y0 + (y1 - y0) * i / steps)
            for dy in range(-r, thickness - r):
                for dx in range(-r, thickness - r):
                    self.put(x + dx, y + dy, colour)

    def envelope(self, x, y, w, h, paper, ink, thickness):
        self.rect(x, y, x + w, y + h, paper)
        for (ax, ay, bx, by) in ((x, y, x + w, y), (x, y + h, x + w, y + h),
                                 (x, y, x, y + h), (x + w, y, x + w, y + h),
                                 (x, y, x + w // 2, y + h * 11 // 20),
                                 (x + w // 2, y + h * 11 // 20, x + w, y)):
            self.line(ax, ay, bx, by, ink, thickness)

    def quill(self, x, y, length, feather, ink, thickness):
        # A diagonal shaft with barbs on both sides, tip at (x, y).
        self.line(x, y, x + length, y - length, ink, thickness)
        for i in range(length // 3, length, max(2, length // 14)):
            spread = feather * (1 - abs(i - 2 * length // 3) / length)
            sx, sy = x + i, y - i
            self.line(sx, sy, sx + int(spread), sy + int(spread * 0.35), ink, 1)
            self.line(sx, sy, sx - int(spread * 0.35), sy - int(spread), ink, 1)

    def bmp(self):
        row = self.width * 3
        pad = (4 - row % 4) % 4
        data = bytearray()
        for y in range(self.height - 1, -1, -1):  # bottom-up rows
            for (r, g, b) in self.pixels[y]:
                data += bytes((b, g, r))
            data += b"\0" * pad
        header = struct.pack("<IiiHHIIiiII", 40, self.width, self.height, 1, 24, 0,
                             len(data), 3780, 3780, 0, 0)
        file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
        return file_header + header + bytes(data)

    def ico(self):
        # An icon holds a bottom-up DIB of twice the height: colours, then an
        # all-clear AND mask.
        dib = self.bmp()[14:]
        info = bytearray(dib[:40])
        struct.pack_into("<i", info, 8, self.height * 2)
        mask_row = ((self.width + 31) // 32) * 4
        image = bytes(info) + dib[40:] + b"\0" * (mask_row * self.height)
        directory = struct.pack("<HHH", 0, 1, 1)
        entry = struct.pack("<BBBBHHII", self.width, self.height, 0, 0, 1, 24, len(image), 6 + 16)
        return directory + entry + image


NAVY = (24, 52, 110)
PAPER = (252, 250, 240)
SKY = (120, 170, 225)


def header():
    c = Canvas(630, 116, (255, 255, 255))
    c.gradient((255, 255, 255), SKY)
    c.rect(0, 112, 630, 116, NAVY)
    c.envelope(470, 26, 96, 62, PAPER, NAVY, 3)
    c.quill(520, 96, 80, 16, NAVY, 2)
    return c


def watermark():
    c = Canvas(650, 500, NAVY)
    c.gradient(NAVY, (60, 120, 190), top_tint=(10, 25, 60))
    for i, (x, y, w) in enumerate(((80, 300, 180), (300, 140, 240), (420, 360, 120))):
        c.envelope(x, y, w, w * 2 // 3, lerp(PAPER, SKY, 0.15 * i), NAVY, 4)
    c.quill(250, 470, 300, 40, PAPER, 4)
    return c


def icon():
    c = Canvas(32, 32, (255, 255, 255))
    c.gradient(SKY, NAVY)
    c.envelope(4, 9, 24, 15, PAPER, NAVY, 2)
    return c


if __name__ == "__main__":
    with open("bitmap129.bmp", "wb") as f:
        f.write(header().bmp())
    with open("bitmap137.bmp", "wb") as f:
        f.write(watermark().bmp())
    with open("icon128.ico", "wb") as f:
        f.write(icon().ico())
