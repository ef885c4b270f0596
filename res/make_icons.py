#!/usr/bin/env python3
"""Draws the program's two icons as 16-colour .ico files (deterministic).

128: a yellow tile with the device's name on a blue panel and FLASH beneath,
     32x32 and 16x16.
134: a yellow warning triangle with an exclamation mark, 32x32.
usage: make_icons.py OUTPUT_DIRECTORY
"""
import struct
import sys

# The 16 colours of the standard VGA palette (index: (r, g, b)).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, NAVY, GREY, YELLOW, BLUE, WHITE = 0, 4, 8, 11, 12, 15
CLEAR = None

# 3x5 capitals, one string of rows per letter.
FONT = {
    'K': ["X.X", "XX.", "X..", "XX.", "X.X"], 'E': ["XXX", "X..", "XX.", "X..", "XXX"],
    'S': [".XX", "X..", ".X.", "..X", "XX."], 'T': ["XXX", ".X.", ".X.", ".X.", ".X."],
    'R': ["XX.", "X.X", "XX.", "X.X", "X.X"], 'U': ["X.X", "X.X", "X.X", "X.X", "XXX"],
    'N': ["X.X", "XXX", "XXX", "X.X", "X.X"], 'F': ["XXX", "X..", "XX.", "X..", "X.."],
    'L': ["X..", "X..", "X..", "X..", "XXX"], 'A': [".X.", "X.X", "XXX", "X.X", "X.X"],
    'H': ["X.X", "X.X", "XXX", "X.X", "X.X"],
}


def canvas(size, colour):
    return [[colour] * size for _ in range(size)]


def text(pixels, word, x, y, colour):
    for letter in word:
        for row, line in enumerate(FONT[letter]):
            for col, mark in enumerate(line):
                if mark == 'X':
                    pixels[y + row][x + col] = colour
        x += 4


def rectangle(pixels, x0, y0, x1, y1, colour):
    for y in range(y0, y1):
        for x in range(x0, x1):
            pixels[y][x] = colour


def kestrune(size):
    pixels = canvas(size, CLEAR)
    rectangle(pixels, 0, 0, size, size, YELLOW)
    if size == 32:
        rectangle(pixels, 1, 2, 31, 15, BLUE)
        text(pixels, "KEST", 2, 3, WHITE)     # the device's name, in two rows
        text(pixels, "RUNE", 2, 9, WHITE)
        text(pixels, "FLASH", 6, 21, BLACK)
        rectangle(pixels, 0, 31, 32, 32, GREY)
    else:
        rectangle(pixels, 1, 1, 15, 8, BLUE)
        rectangle(pixels, 3, 3, 13, 5, WHITE)
        rectangle(pixels, 3, 11, 13, 13, BLACK)
    return pixels


def warning():
    pixels = canvas(32, CLEAR)
    for y in range(2, 30):
        half = (y - 2) * 15 // 27
        for x in range(16 - half - 1, 16 + half + 1):
            edge = x in (16 - half - 1, 16 + half) or y == 29
            pixels[y][x] = BLACK if edge else YELLOW
    rectangle(pixels, 15, 10, 17, 22, BLACK)
    rectangle(pixels, 15, 24, 17, 27, BLACK)
    return pixels


def image_bytes(pixels):
    size = len(pixels)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = b''
    mask = b''
    for row in reversed(pixels):  # bottom-up
        nibbles = [0 if p is CLEAR else p for p in row]
        line = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor += line + b'\0' * (-len(line) % 4)
        bits = 0
        line = b''
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is CLEAR else 0)
            if i % 8 == 7:
                line += bytes([bits])
                bits = 0
        mask += line + b'\0' * (-len(line) % 4)
    return header + palette + xor + mask


def write_icon(path, images):
    blobs = [image_bytes(p) for p in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for pixels, blob in zip(images, blobs):
        size = len(pixels)
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
    with open(path, 'wb') as f:
        f.write(out + b''.join(blobs))


if __name__ == '__main__':
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    write_icon(sys.argv[1] + '/kestrune.ico', [kestrune(32), kestrune(16)])
    write_icon(sys.argv[1] + '/warning.ico', [warning()])
