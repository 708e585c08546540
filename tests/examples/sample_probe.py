#!/usr/bin/env python3
"""Counts pixels of a kind in a region of a 24- or 32-bit BMP screenshot.

  sample_probe.py FILE KIND X0 Y0 X1 Y1     pixels of KIND in [X0, X1) x [Y0, Y1), rows from the top
  sample_probe.py FILE words:N X0 Y0 X1 Y1  the glyphs of each word of the N-th line of text in that
                                            region, as counts separated by spaces

KIND: orange (the coloured box), wood (the crate's browns), text (the yellow of the text),
planet (the planet's and the ring's blues and greens), land (the planet's greens), lit (anything brighter than the background).

Words: a line is a run of rows with text pixels; in it, a glyph is a run of columns with text
pixels, and a gap of WORD_GAP columns or more between glyphs separates words (the sample's font
leaves at most 3 blank columns inside a word and at least 5 between words).
"""
import struct
import sys

BACKGROUND = (24, 28, 40)


def load(path):
    data = open(path, 'rb').read()
    if data[:2] != b'BM':
        raise SystemExit(f'{path}: not a BMP file')
    offset, = struct.unpack_from('<I', data, 10)
    width, height, _, bits = struct.unpack_from('<iiHH', data, 18)
    if bits not in (24, 32):
        raise SystemExit(f'{path}: {bits}-bit pixels')
    size = bits // 8
    stride = (width * size + 3) & ~3
    bottom_up = height > 0
    height = abs(height)

    def pixel(x, y):
        row = height - 1 - y if bottom_up else y
        at = offset + row * stride + x * size
        b, g, r = data[at], data[at + 1], data[at + 2]
        return r, g, b
    return width, height, pixel


KINDS = {
    'orange': lambda r, g, b: r > 120 and g < 0.6 * r and b < 0.3 * r,
    'wood': lambda r, g, b: 25 < r and r > g > b and g > 0.62 * r and r - b > 15,
    'text': lambda r, g, b: r > 200 and g > 180 and b < 160,
    'planet': lambda r, g, b: (b > r + 25 and b > 60) or (g > r + 15 and g > b),
    'land': lambda r, g, b: g > r + 15 and g > b,
    'lit': lambda r, g, b: abs(r - BACKGROUND[0]) + abs(g - BACKGROUND[1]) + abs(b - BACKGROUND[2]) > 60,
}


WORD_GAP = 4


def runs(indices):
    """Runs of consecutive integers as (first, last) pairs."""
    out = []
    for i in indices:
        if out and i == out[-1][1] + 1:
            out[-1][1] = i
        else:
            out.append([i, i])
    return out


def words(pixel, line, x0, y0, x1, y1):
    test = KINDS['text']
    xs = range(x0, x1)
    lines = runs([y for y in range(y0, y1) if any(test(*pixel(x, y)) for x in xs)])
    if len(lines) < line:
        return []
    top, bottom = lines[line - 1]
    glyphs = runs([x for x in xs if any(test(*pixel(x, y)) for y in range(top, bottom + 1))])
    counts = []
    for i, glyph in enumerate(glyphs):
        if i == 0 or glyph[0] - glyphs[i - 1][1] - 1 >= WORD_GAP:
            counts.append(0)
        counts[-1] += 1
    return counts


def main():
    path, kind = sys.argv[1], sys.argv[2]
    x0, y0, x1, y1 = map(int, sys.argv[3:7])
    width, height, pixel = load(path)
    x0, y0, x1, y1 = max(0, x0), max(0, y0), min(width, x1), min(height, y1)
    if kind.startswith('words:'):
        print(' '.join(str(c) for c in words(pixel, int(kind[6:]), x0, y0, x1, y1)))
        return
    test = KINDS[kind]
    count = 0
    for y in range(y0, y1):
        for x in range(x0, x1):
            if test(*pixel(x, y)):
                count += 1
    print(count)


main()
