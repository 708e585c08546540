#!/usr/bin/python3
"""Writes the BMP family of bmp/ and its table bmp.txt, and the refused BMP files of bad/.

Each image is made from a fixed pseudo-random pattern and written from it, so what it must read as
follows from the pattern: a palette index its entry (black past the entries), a bit field scaled
from its width to 8 bits by rounding, a pixel an RLE stream never writes transparent black.
"""
import os
import struct

from make_png import HERE, heading, mix, write

RGB, RLE8, RLE4, BITFIELDS, ALPHABITFIELDS = 0, 1, 2, 3, 6


def entry(i):
    return ((i * 37 + 11) & 255, (i * 91 + 200) & 255, (i * 53 + 7) & 255)


def field(value, mask):  # rounded to 8 bits
    top = mask >> ((mask & -mask).bit_length() - 1) if mask else 1
    return ((value & mask) // (mask & -mask or 1) * 255 + top // 2) // top


class Bmp:
    def __init__(self, name, bits, width=13, height=7, header=40, top_down=False, compression=RGB):
        self.name, self.bits, self.width, self.height, self.header = name, bits, width, height, header
        self.top_down, self.compression, self.palette, self.colours, self.masks = top_down, compression, None, 0, None
        self.gap, self.data, self.texels = 0, b"", []  # data: the pixels as stored; texels top row first

    def encode(self):
        info = struct.pack("<IiiHH", self.header, self.width, -self.height if self.top_down else self.height, 1, self.bits)
        if self.header == 12:
            info = struct.pack("<IHHHH", 12, self.width, self.height, 1, self.bits)
        elif self.header >= 40:
            info += struct.pack("<IIiiII", self.compression, len(self.data), 2835, 2835, self.colours, 0)
            masks = list(self.masks or ()) + [0] * 4
            info += (struct.pack("<4I", *masks[:4]) if self.header not in (40, 64) else b"")[:self.header - 40]
            info += {64: bytes(24), 108: b"BGRs" + bytes(48), 124: b"BGRs" + bytes(48) + struct.pack("<4I", 4, 0, 0, 0)}.get(
                self.header, b"")
        extra = b"".join(struct.pack("<I", m) for m in self.masks or ()) if self.header == 40 else b""
        size = 3 if self.header == 12 else 4
        extra += b"".join(bytes([b, g, r, 0][:size]) for r, g, b in self.palette or ()) + b"\xA5" * self.gap
        offset = 14 + len(info) + len(extra)
        return b"BM" + struct.pack("<IHHI", offset + len(self.data), 0, 0, offset) + info + extra + self.data

    def argb(self):
        return self.texels

    def store(self, rows):  # rows of bytes, top row first
        self.data = b"".join(r + bytes(-len(r) % 4) for r in (rows if self.top_down else rows[::-1]))


def paletted(name, bits, entries=None, indices=None, gap=0, **kw):
    b = Bmp(name, bits, **kw)
    b.palette, b.colours, b.gap = [entry(i) for i in range(entries or 1 << bits)], entries or 0, gap
    rows = [[mix(x, y, bits, 7) % (indices or len(b.palette)) for x in range(b.width)] for y in range(b.height)]
    b.store([int("".join(format(i, "0%db" % bits) for i in row).ljust(-(-b.width * bits // 8) * 8, "0"), 2)
             .to_bytes(-(-b.width * bits // 8), "big") for row in rows])
    b.texels = [0xFF000000 | (r << 16 | g << 8 | c) for row in rows for r, g, c in
                (b.palette[i] if i < len(b.palette) else (0, 0, 0) for i in row)]
    return b


def direct(name, bits, masks=None, compression=None, alpha_zero=False, **kw):
    """16, 24 or 32 bits a pixel; `masks` (r, g, b[, a]) for bit fields, else the default layout."""
    b = Bmp(name, bits, compression=BITFIELDS if masks and compression is None else compression or RGB, **kw)
    b.masks = masks
    r, g, c, a = (tuple(masks) + (0,))[:4] if masks else {16: (0x7C00, 0x3E0, 0x1F, 0), 24: (0xFF0000, 0xFF00, 0xFF, 0),
                                                          32: (0xFF0000, 0xFF00, 0xFF, 0xFF000000)}[bits]
    rows = [[mix(x, y, bits, 11) & ((1 << bits) - 1) & ~(a if alpha_zero else 0) for x in range(b.width)]
            for y in range(b.height)]
    b.store([b"".join(v.to_bytes(bits // 8, "little") for v in row) for row in rows])
    opaque = not a or (not masks and not any(v & a for row in rows for v in row))  # plain 32 bits, all alpha 0
    b.texels = [(255 if opaque else field(v, a)) << 24 | field(v, r) << 16 | field(v, g) << 8 | field(v, c)
                for row in rows for v in row]
    return b


def rle(name, bits, rows, top_down=False, end=True, tail=None, width=23):
    """An RLE8 or RLE4 stream writing `rows` (top row first; None: left unwritten). With end False it
    stops after its last pixel; `tail` pixels follow in an absolute run claiming five more."""
    b = Bmp(name, bits, width, len(rows), top_down=top_down, compression=RLE8 if bits == 8 else RLE4)
    b.palette, order, out, x, y = [entry(i) for i in range(1 << bits)], rows if top_down else rows[::-1], bytearray(), 0, 0
    nibbles = lambda p: bytes(p) if bits == 8 else bytes(p[i] << 4 | (p[i + 1:] or [0])[0] for i in range(0, len(p), 2))  # noqa

    def run(pixels):  # encoded runs of three or more (RLE4: two alternating values), else absolute runs
        i = 0
        while i < len(pixels):
            pair = (pixels[i], pixels[i + 1] if bits == 4 and i + 1 < len(pixels) else pixels[i])
            n = 0
            while i + n < len(pixels) and n < 255 and pixels[i + n] == pair[n % 2]:
                n += 1
            if n < 3 and len(pixels) - i >= 3:
                j = i + 3
                while j < len(pixels) and j - i < 255 and pixels[j:j + 3] != [pixels[j]] * 3:
                    j += 1
                data = nibbles(pixels[i:j])
                out.extend(bytes([0, j - i]) + data + bytes(len(data) % 2))
                i = j
            else:
                out.extend(bytes([n, pair[0] if bits == 8 else pair[0] << 4 | pair[1]]))
                i += n

    for ty, row in enumerate(order):
        tx = 0
        while tx < width:
            end_x = tx
            while end_x < width and row[end_x] is not None:
                end_x += 1
            if end_x > tx:
                if tx < x:
                    out.extend(b"\0\0")  # end of line
                    x, y = 0, y + 1
                if (tx, ty) != (x, y):
                    out.extend(bytes([0, 2, tx - x, ty - y]))  # delta
                run(row[tx:end_x])
                x, y = end_x, ty
            tx = end_x + 1
    if tail:
        out.extend(b"\0\0" + bytes([0, len(tail) + 5]) + nibbles(tail))
        order[y + 1][:len(tail)] = tail
    b.data = bytes(out) + b"\0\1" * (end and not tail)
    b.texels = [0 if i is None else 0xFF000000 | entry(i)[0] << 16 | entry(i)[1] << 8 | entry(i)[2]
                for row in rows for i in row]
    return b


def rle_rows(bits, seed, holes=(), height=9, width=23):
    """Runs of 3 to 12 (RLE4: two values alternating) between noise of 3 to 9; (x0, y0, x1, y1) holes."""
    rows, top = [], (1 << bits) - 1
    for y in range(height):
        row, k = [], 0
        while len(row) < width:
            a, c = mix(y, k, seed, 1) & top, mix(y, k, seed, 2) & top
            n = 3 + mix(y, k, seed) % 10 if k % 2 == 0 else (3, 5, 7, 9)[mix(y, k, seed, 3) % 4]
            row += [(a if bits == 8 or i % 2 == 0 else c) if k % 2 == 0 else (a + 7 * i) & top for i in range(n)]
            k += 1
        rows.append(row[:width])
    for x0, y0, x1, y1 in holes:
        for y in range(y0, y1):
            rows[y][x0:x1] = [None] * (x1 - x0)
    return rows


def family():
    files = [paletted("pal%d%s" % (bits, suffix), bits, **kw) for bits in (1, 4, 8)
             for suffix, kw in (("", {}), ("_top_down", {"top_down": True}), ("_core", {"header": 12}))]
    files += [paletted("pal8_os2", 8, header=64, height=5), paletted("pal4_os2_short", 4, header=16),
              paletted("pal8_v5_top_down", 8, header=124, top_down=True),
              paletted("pal8_20_colours_index_past", 8, entries=20, indices=32),
              paletted("pal4_6_colours_and_a_gap", 4, entries=6, gap=10)]
    files += [direct("rgb16_555", 16), direct("rgb16_555_top_down", 16, top_down=True),
              direct("rgb16_565", 16, (0xF800, 0x7E0, 0x1F)), direct("rgb16_565_v5", 16, (0xF800, 0x7E0, 0x1F, 0), header=124),
              direct("rgb16_4444_v4", 16, (0xF00, 0xF0, 0xF, 0xF000), header=108),
              direct("rgb16_1555_alphabitfields", 16, (0x7C00, 0x3E0, 0x1F, 0x8000), ALPHABITFIELDS),
              direct("rgb24", 24), direct("rgb24_top_down", 24, top_down=True), direct("rgb24_core", 24, header=12),
              direct("rgb24_os2_short", 24, header=16), direct("rgb24_v5", 24, header=124),
              direct("rgb32_alpha", 32), direct("rgb32_alpha_top_down", 32, top_down=True),
              direct("rgb32_alpha_zero", 32, alpha_zero=True), direct("rgb32_xbgr", 32, (0xFF000000, 0xFF0000, 0xFF00)),
              direct("rgb32_v2_xbgr", 32, (0xFF000000, 0xFF0000, 0xFF00), header=52),
              direct("rgb32_v3_rgba", 32, (0xFF, 0xFF00, 0xFF0000, 0xFF000000), header=56),
              direct("rgb32_v4_bgra", 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000), header=108),
              direct("rgb32_v4_alpha_zero", 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000), header=108, alpha_zero=True),
              direct("rgb32_v5_2_10_10_10", 32, (0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000), header=124),
              direct("rgb32_alphabitfields", 32, (0xFF00, 0xFF0000, 0xFF000000, 0xFF), ALPHABITFIELDS)]
    for bits in (8, 4):
        files += [rle("rle%d" % bits, bits, rle_rows(bits, 0)),
                  rle("rle%d_top_down" % bits, bits, rle_rows(bits, 1), top_down=True),
                  rle("rle%d_delta" % bits, bits, rle_rows(bits, 2, [(3, 2, 9, 4), (15, 5, 23, 7), (0, 7, 2, 8)])),
                  rle("rle%d_end_of_line" % bits, bits, rle_rows(bits, 3, [(17, 1, 23, 2), (6, 4, 23, 5)])),
                  rle("rle%d_cut_short" % bits, bits, rle_rows(bits, 4, [(0, 0, 23, 1)]), end=False),
                  rle("rle%d_absolute_cut_short" % bits, bits, rle_rows(bits, 5, [(0, 0, 23, 2)]), tail=[1, 2, 3, 4])]
    return files


def refused():
    """Files every reader here refuses, each a good one with one field changed."""
    def changed(b, offset, fmt, *values):
        data = bytearray(b.encode())
        struct.pack_into(fmt, data, offset, *values)
        return bytes(data)
    pal8, rgb16, rgb32 = paletted("p", 8, width=4, height=4), direct("d", 16, (0xF800, 0x7E0, 0x1F)), direct("d", 32, width=4, height=4)
    rle8 = rle("r", 8, rle_rows(8, 0, height=4, width=8), width=8)
    return [("compression_7", changed(rgb32, 30, "<I", 7)), ("jpeg", changed(rgb32, 30, "<I", 4)),
            ("png", changed(rgb32, 30, "<I", 5)), ("os2_huffman", changed(paletted("p", 8, width=4, height=4, header=64), 30, "<I", 3)),
            ("2_bits", changed(pal8, 28, "<H", 2)), ("0_bits", changed(rgb32, 28, "<H", 0)), ("64_bits", changed(rgb32, 28, "<H", 64)),
            ("core_16_bits", changed(paletted("p", 8, width=4, height=4, header=12), 24, "<H", 16)),
            ("planes_0", changed(rgb32, 26, "<H", 0)), ("planes_2", changed(rgb32, 26, "<H", 2)),
            ("header_20", changed(rgb32, 14, "<I", 20)), ("rle8_of_4_bits", changed(rle8, 28, "<H", 4)),
            ("rle4_of_8_bits", changed(rle8, 30, "<I", RLE4)),
            ("bitfields_of_24_bits", changed(direct("d", 24, width=4, height=4), 30, "<I", BITFIELDS)),
            ("mask_with_a_hole", changed(rgb16, 54, "<I", 0xF0F0)), ("masks_overlap", changed(rgb16, 58, "<I", 0xFE0)),
            ("mask_past_16_bits", changed(rgb16, 54, "<I", 0x1F800)), ("offset_inside_header", changed(rgb32, 10, "<I", 40)),
            ("offset_past_the_end", changed(rgb32, 10, "<I", 200)), ("width_negative", changed(rgb32, 18, "<i", -4)),
            ("height_int_min", changed(rgb32, 22, "<i", -2 ** 31)), ("rows_cut_short", rgb32.encode()[:-1]),
            ("rle8_claiming_100000x100000", changed(rle8, 18, "<ii", 100000, 100000))]


if __name__ == "__main__":
    write("bmp", "bmp.txt", family(), heading("BMP", "make_bmp.py"))
    for name, data in refused():
        with open(os.path.join(HERE, "bad", "bmp_x_%s.bmp" % name), "wb") as out:
            out.write(data)
