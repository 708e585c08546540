#!/usr/bin/python3
"""Writes the BMP family of bmp/ and its table bmp.txt, and the refused BMP files of bad/.

Palette images of 1, 4 and 8 bits with 3- and 4-byte entries, 16-, 24- and 32-bit ones plain or
with bit-field masks (5-6-5, 4-4-4-4, 1-5-5-5, 10-10-10-2, alpha masks), every header size (core,
OS/2 2.x, 40-byte, V2 to V5), bottom-up and top-down, and RLE8 and RLE4 streams with encoded runs,
absolute runs of odd lengths, ends of line, deltas and streams cut short. Each image is made from a
fixed pseudo-random pattern and written from it, so the texels it must read as follow from the
pattern: a palette index its entry (black past the palette), a field scaled from its width to 8 bits
by rounding, a pixel an RLE stream never writes transparent black 0x00000000.

  make_bmp.py           writes the files (Python 3 only)
  make_bmp.py --check   compares each file of bmp.txt with Debian's PIL and ImageMagick
"""
import os
import struct
import sys

from make_png import HERE, fnv64, mix, table_row

BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, BI_ALPHABITFIELDS = 0, 1, 2, 3, 6


def palette_entry(i):
    return ((i * 37 + 11) & 255, (i * 91 + 200) & 255, (i * 53 + 7) & 255)


def field(value, mask):
    """The channel a mask selects, scaled from its width to 8 bits by rounding."""
    if mask == 0:
        return None
    shift = (mask & -mask).bit_length() - 1
    top = mask >> shift
    return (((value & mask) >> shift) * 255 + top // 2) // top


class Bmp:
    def __init__(self, name, bits, width=13, height=7, header=40, top_down=False, compression=BI_RGB):
        self.name, self.bits, self.width, self.height = name, bits, width, height
        self.header, self.top_down, self.compression = header, top_down, compression
        self.palette, self.clr_used, self.masks, self.gap = None, 0, None, 0
        self.rows = []     # stored rows (or the RLE stream), top row first for uncompressed data
        self.texels = []   # what it must read as, top row first
        self.narrow = False  # some field not 8 bits wide: readers may round it otherwise

    def info_header(self):
        height = -self.height if self.top_down else self.height
        if self.header == 12:
            return struct.pack("<IHHHH", 12, self.width, height, 1, self.bits)
        if self.header == 16:
            return struct.pack("<IiiHH", 16, self.width, height, 1, self.bits)
        data = self.pixel_data()
        out = struct.pack("<IiiHHIIiiII", self.header, self.width, height, 1, self.bits, self.compression,
                          len(data), 2835, 2835, self.clr_used, 0)
        if self.header == 64:  # OS/2 2.x: units, reserved, recording, rendering, two sizes, encoding, id
            return out + struct.pack("<HHHHIIII", 0, 0, 0, 0, 0, 0, 0, 0)
        if self.header >= 52:
            masks = self.masks or (0, 0, 0, 0)
            out += struct.pack("<III", *masks[:3])
        if self.header >= 56:
            out += struct.pack("<I", masks[3] if len(masks) > 3 else 0)
        if self.header >= 108:  # sRGB colour space, no endpoints or gamma
            out += struct.pack("<I", 0x73524742) + bytes(36) + bytes(12)
        if self.header == 124:  # intent, no profile
            out += struct.pack("<IIII", 4, 0, 0, 0)
        return out

    def pixel_data(self):
        if self.compression in (BI_RLE8, BI_RLE4):
            return self.stream
        rows = self.rows if self.top_down else self.rows[::-1]
        return b"".join(rows)

    def encode(self):
        extra = b""
        if self.header == 40 and self.compression in (BI_BITFIELDS, BI_ALPHABITFIELDS):
            extra = b"".join(struct.pack("<I", m) for m in self.masks[:3 if self.compression == BI_BITFIELDS else 4])
        if self.palette:
            size = 3 if self.header == 12 else 4
            extra += b"".join(bytes([b, g, r]) + b"\0" * (size - 3) for r, g, b in self.palette)
        extra += b"\xA5" * self.gap
        info = self.info_header()
        offset = 14 + len(info) + len(extra)
        data = self.pixel_data()
        return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + extra + data

    def has_alpha(self):
        return any(p >> 24 != 0xFF for p in self.texels)


def pad(row):
    return row + bytes(-len(row) % 4)


def paletted(name, bits, entries=None, indices=None, **kw):
    b = Bmp(name, bits, **kw)
    count = entries or 1 << bits
    b.palette = [palette_entry(i) for i in range(count)]
    if entries:
        b.clr_used = entries
    top = indices or count
    for y in range(b.height):
        idx = [mix(x, y, bits, 7) % top for x in range(b.width)]
        packed, acc, used = bytearray(), 0, 0
        for i in idx:
            acc, used = acc << bits | i, used + bits
            if used == 8:
                packed.append(acc)
                acc, used = 0, 0
        if used:
            packed.append(acc << (8 - used))
        b.rows.append(pad(bytes(packed)))
        b.texels += [0xFF000000 | (r << 16 | g << 8 | c) for r, g, c in
                     (b.palette[i] if i < count else (0, 0, 0) for i in idx)]
    return b


def direct(name, bits, masks=None, compression=None, alpha_zero=False, **kw):
    """16, 24 or 32 bits a pixel; `masks` (r, g, b[, a]) for bit fields, else the default layout."""
    b = Bmp(name, bits, compression=compression if compression is not None else BI_BITFIELDS if masks else BI_RGB, **kw)
    b.masks = masks
    layout = masks or {16: (0x7C00, 0x3E0, 0x1F, 0), 24: (0xFF0000, 0xFF00, 0xFF, 0),
                       32: (0xFF0000, 0xFF00, 0xFF, 0xFF000000)}[bits]
    if len(layout) == 3:
        layout = tuple(layout) + (0,)
    b.narrow = any(m and bin(m).count("1") != 8 for m in layout)
    values = []
    for y in range(b.height):
        row = [mix(x, y, bits, 11) & ((1 << bits) - 1) for x in range(b.width)]
        if alpha_zero:
            row = [v & ~layout[3] for v in row]
        values.append(row)
        b.rows.append(pad(b"".join(v.to_bytes(bits // 8, "little") for v in row)))
    alphas = [field(v, layout[3]) for row in values for v in row]
    opaque = layout[3] == 0 or (masks is None and not any(alphas))  # plain 32 bits, every alpha 0: none
    for row in values:
        for v in row:
            r, g, c = (field(v, m) or 0 for m in layout[:3])
            a = 255 if opaque else field(v, layout[3])
            b.texels.append(a << 24 | r << 16 | g << 8 | c)
    return b


def rle(name, bits, rows, top_down=False, end=True, tail=None, width=23):
    """An RLE8 or RLE4 stream writing `rows` (top row first; None: a pixel left unwritten). With
    end False the stream stops after its last pixel; `tail` pixels follow in an absolute run that
    claims five more than the file holds."""
    b = Bmp(name, bits, width, len(rows), top_down=top_down, compression=BI_RLE8 if bits == 8 else BI_RLE4)
    b.palette = [palette_entry(i) for i in range(1 << bits)]
    order = rows if top_down else rows[::-1]
    out, x, y = bytearray(), 0, 0

    def move(tx, ty):
        nonlocal x, y
        if (tx, ty) == (x, y):
            return
        if tx < x:
            out.extend(b"\0\0")  # end of line
            x, y = 0, y + 1
        if (tx, ty) != (x, y):
            out.extend(bytes([0, 2, tx - x, ty - y]))  # delta
            x, y = tx, ty

    def absolute(pixels):
        if bits == 8:
            data = bytes(pixels)
        else:
            data = bytes((pixels[i] << 4) | (pixels[i + 1] if i + 1 < len(pixels) else 0)
                         for i in range(0, len(pixels), 2))
        out.extend(bytes([0, len(pixels)]) + data + bytes(len(data) % 2))

    def encode(pixels):
        i = 0
        while i < len(pixels):
            a = pixels[i]
            c = pixels[i + 1] if bits == 4 and i + 1 < len(pixels) else a
            run = 0
            while i + run < len(pixels) and run < 255 and pixels[i + run] == (a if run % 2 == 0 else c):
                run += 1
            if run >= 3 or len(pixels) - i < 3:
                out.extend(bytes([run, a if bits == 8 else a << 4 | c]))
                i += run
                continue
            j = i  # an absolute run up to the next run of three
            while j < len(pixels) and j - i < 255 and not (j + 2 < len(pixels) and pixels[j] == pixels[j + 1] == pixels[j + 2]):
                j += 1
            if j - i < 3:
                j = min(len(pixels), i + 3)
            absolute(pixels[i:j])
            i = j

    for ty, row in enumerate(order):
        tx = 0
        while tx < width:
            if row[tx] is None:
                tx += 1
                continue
            end_x = tx
            while end_x < width and row[end_x] is not None:
                end_x += 1
            move(tx, ty)
            encode(row[tx:end_x])
            x, tx = end_x, end_x
    if tail:
        if x >= width:
            move(0, y + 1)
        data = bytes(tail) if bits == 8 else bytes(tail[i] << 4 | tail[i + 1] for i in range(0, len(tail), 2))
        out.extend(bytes([0, len(tail) + 5]) + data)
        order[y][x:x + len(tail)] = tail
    elif end:
        out.extend(b"\0\1")
    b.stream = bytes(out)
    for row in (order if top_down else order[::-1]):
        for i in row:
            r, g, c = palette_entry(i) if i is not None else (0, 0, 0)
            b.texels.append(0 if i is None else 0xFF000000 | r << 16 | g << 8 | c)
    return b


def rle_rows(bits, height=9, width=23, seed=0):
    """Rows of runs and of noise: runs of 3 to 12 (RLE4 alternating two values), noise of odd lengths."""
    top = (1 << bits) - 1
    rows = []
    for y in range(height):
        row, k = [], 0
        while len(row) < width:
            a, c = mix(y, k, seed, 1) & top, mix(y, k, seed, 2) & top
            if k % 2 == 0:
                n = 3 + mix(y, k, seed) % 10
                row += [a if bits == 8 or i % 2 == 0 else c for i in range(n)]
            else:
                n = (3, 5, 7, 9)[mix(y, k, seed, 3) % 4]
                row += [(a + 7 * i) % (top + 1) for i in range(n)]
            k += 1
        rows.append(row[:width])
    return rows


def holes(rows, cells):
    for x0, y0, x1, y1 in cells:
        for y in range(y0, y1):
            for x in range(x0, x1):
                rows[y][x] = None
    return rows


def family():
    files = []
    for bits in (1, 4, 8):
        files.append(paletted("pal%d" % bits, bits))
        files.append(paletted("pal%d_top_down" % bits, bits, top_down=True))
        files.append(paletted("pal%d_core" % bits, bits, header=12))
    files.append(paletted("pal8_os2", 8, header=64, height=5))
    files.append(paletted("pal4_os2_short", 4, header=16))
    files.append(paletted("pal8_v5_top_down", 8, header=124, top_down=True))
    files.append(paletted("pal8_20_colours_index_past", 8, entries=20, indices=32))
    p = paletted("pal4_6_colours_and_a_gap", 4, entries=6, indices=6)
    p.gap = 10
    files.append(p)

    files.append(direct("rgb16_555", 16))
    files.append(direct("rgb16_555_top_down", 16, top_down=True))
    files.append(direct("rgb16_565", 16, (0xF800, 0x7E0, 0x1F)))
    files.append(direct("rgb16_565_v5", 16, (0xF800, 0x7E0, 0x1F, 0), header=124))
    files.append(direct("rgb16_4444_v4", 16, (0xF00, 0xF0, 0xF, 0xF000), header=108))
    files.append(direct("rgb16_1555_alphabitfields", 16, (0x7C00, 0x3E0, 0x1F, 0x8000), compression=BI_ALPHABITFIELDS))
    files.append(direct("rgb24", 24))
    files.append(direct("rgb24_top_down", 24, top_down=True))
    files.append(direct("rgb24_core", 24, header=12))
    files.append(direct("rgb24_os2_short", 24, header=16))
    files.append(direct("rgb24_v5", 24, header=124))
    files.append(direct("rgb32_alpha", 32))
    files.append(direct("rgb32_alpha_top_down", 32, top_down=True))
    files.append(direct("rgb32_alpha_zero", 32, alpha_zero=True))
    files.append(direct("rgb32_xbgr", 32, (0xFF000000, 0xFF0000, 0xFF00)))
    files.append(direct("rgb32_v2_xbgr", 32, (0xFF000000, 0xFF0000, 0xFF00), header=52))
    files.append(direct("rgb32_v3_rgba", 32, (0xFF, 0xFF00, 0xFF0000, 0xFF000000), header=56))
    files.append(direct("rgb32_v4_bgra", 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000), header=108))
    files.append(direct("rgb32_v4_alpha_zero", 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000), header=108, alpha_zero=True))
    files.append(direct("rgb32_v5_2_10_10_10", 32, (0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000), header=124))
    files.append(direct("rgb32_alphabitfields", 32, (0xFF00, 0xFF0000, 0xFF000000, 0xFF), compression=BI_ALPHABITFIELDS))

    for bits in (8, 4):
        files.append(rle("rle%d" % bits, bits, rle_rows(bits)))
        files.append(rle("rle%d_top_down" % bits, bits, rle_rows(bits, seed=1), top_down=True))
        files.append(rle("rle%d_delta" % bits, bits, holes(rle_rows(bits, seed=2), [(3, 2, 9, 4), (15, 5, 23, 7), (0, 7, 2, 8)])))
        files.append(rle("rle%d_end_of_line" % bits, bits, holes(rle_rows(bits, seed=3), [(17, 1, 23, 2), (6, 4, 23, 5)])))
        files.append(rle("rle%d_cut_short" % bits, bits, holes(rle_rows(bits, seed=4), [(8, 0, 23, 1), (0, 0, 8, 1)]),
                         end=False))
        files.append(rle("rle%d_absolute_cut_short" % bits, bits, holes(rle_rows(bits, seed=5), [(0, 0, 23, 2)]),
                         tail=[1, 2, 3, 4]))
    return files


def refused():
    """Files every reader here refuses, each a good one with one thing changed."""
    def changed(b, offset, fmt, value):
        data = bytearray(b.encode())
        struct.pack_into(fmt, data, offset, *(value if isinstance(value, tuple) else (value,)))
        return bytes(data)
    pal8, rgb16, rgb32 = paletted("p", 8, width=4, height=4), direct("d", 16, (0xF800, 0x7E0, 0x1F)), direct("d", 32, width=4, height=4)
    rle8 = rle("r", 8, rle_rows(8, 4, 8), width=8)
    return [
        ("bmp_x_compression_7.bmp", changed(rgb32, 30, "<I", 7)),
        ("bmp_x_jpeg.bmp", changed(rgb32, 30, "<I", 4)),
        ("bmp_x_png.bmp", changed(rgb32, 30, "<I", 5)),
        ("bmp_x_os2_huffman.bmp", changed(paletted("p", 8, width=4, height=4, header=64), 30, "<I", 3)),
        ("bmp_x_2_bits.bmp", changed(pal8, 28, "<H", 2)),
        ("bmp_x_0_bits.bmp", changed(rgb32, 28, "<H", 0)),
        ("bmp_x_64_bits.bmp", changed(rgb32, 28, "<H", 64)),
        ("bmp_x_core_16_bits.bmp", changed(paletted("p", 8, width=4, height=4, header=12), 24, "<H", 16)),
        ("bmp_x_planes_0.bmp", changed(rgb32, 26, "<H", 0)),
        ("bmp_x_planes_2.bmp", changed(rgb32, 26, "<H", 2)),
        ("bmp_x_header_20.bmp", changed(rgb32, 14, "<I", 20)),
        ("bmp_x_rle8_of_4_bits.bmp", changed(rle8, 28, "<H", 4)),
        ("bmp_x_rle4_of_8_bits.bmp", changed(rle8, 30, "<I", BI_RLE4)),
        ("bmp_x_bitfields_of_24_bits.bmp", changed(direct("d", 24, width=4, height=4), 30, "<I", BI_BITFIELDS)),
        ("bmp_x_mask_with_a_hole.bmp", changed(rgb16, 54, "<I", 0xF0F0)),
        ("bmp_x_masks_overlap.bmp", changed(rgb16, 58, "<I", 0xFE0)),
        ("bmp_x_mask_past_16_bits.bmp", changed(rgb16, 54, "<I", 0x1F800)),
        ("bmp_x_offset_inside_header.bmp", changed(rgb32, 10, "<I", 40)),
        ("bmp_x_offset_past_the_end.bmp", changed(rgb32, 10, "<I", 200)),
        ("bmp_x_width_negative.bmp", changed(rgb32, 18, "<i", -4)),
        ("bmp_x_height_int_min.bmp", changed(rgb32, 22, "<i", -2 ** 31)),
        ("bmp_x_rows_cut_short.bmp", rgb32.encode()[:-1]),
        ("bmp_x_rle8_claiming_100000x100000.bmp", changed(rle8, 18, "<ii", (100000, 100000))),
    ]


REAL = "# Files written elsewhere"


def write():
    rows = ["# The BMP family of bmp/, written by make_bmp.py (see README.md): name, format (A: A8R8G8B8,",
            "# X: X8R8G8B8), width, height, FNV-1a 64 of the texels as little-endian 0xAARRGGBB words, top row",
            "# first, and the texels at the four corners (top left, top right, bottom left, bottom right)."]
    os.makedirs(os.path.join(HERE, "bmp"), exist_ok=True)
    for b in family():
        with open(os.path.join(HERE, "bmp", b.name + ".bmp"), "wb") as f:
            f.write(b.encode())
        rows.append(table_row(b.name + ".bmp", b.width, b.height, b.has_alpha(), b.texels))
    table = os.path.join(HERE, "bmp.txt")
    kept = open(table).read().split(REAL)[1:] if os.path.exists(table) else []
    with open(table, "w") as f:
        f.write("\n".join(rows) + "\n" + "".join(REAL + k for k in kept))
    for name, data in refused():
        with open(os.path.join(HERE, "bad", name), "wb") as f:
            f.write(data)


def read_with_oracles(path):
    import subprocess
    from PIL import Image
    try:
        im = Image.open(path)
        pil = [a << 24 | r << 16 | g << 8 | b for r, g, b, a in im.convert("RGBA").getdata()]
    except Exception as e:  # noqa: BLE001 - any refusal is an answer
        pil = "refused (%s)" % e
    run = subprocess.run(["/usr/bin/convert", path, "-depth", "16", "-endian", "MSB", "rgba:-"], capture_output=True)
    if run.returncode or not run.stdout:
        magick = "refused (%s)" % run.stderr.decode().strip().split("\n")[0][:70]
    else:
        w = [int.from_bytes(run.stdout[i:i + 2], "big") for i in range(0, len(run.stdout), 2)]
        c = [(v + 128) // 257 for v in w]  # to 8 bits, rounded
        magick = [c[i + 3] << 24 | c[i] << 16 | c[i + 1] << 8 | c[i + 2] for i in range(0, len(c), 4)]
    return pil, magick


def differences(ours, theirs, narrow):
    """Texels that differ: by more than one level in a channel of other than 8 bits, else at all.
    Pixels an RLE stream leaves unwritten (ours 0x00000000) are compared apart."""
    bad = 0
    for a, b in zip(ours, theirs):
        if a == 0 and b != 0:
            continue
        if any(abs((a >> s & 255) - (b >> s & 255)) > (1 if narrow else 0) for s in (0, 8, 16, 24)):
            bad += 1
    return bad


def check():
    """Reads every file of bmp.txt and the refused ones of bad/ with PIL and ImageMagick; says where
    either differs from this table."""
    family_by_name = {b.name + ".bmp": b for b in family()}
    for line in open(os.path.join(HERE, "bmp.txt")):
        if line.startswith("#") or not line.strip():
            continue
        name, alpha, width, height, digest = line.split()[:5]
        b = family_by_name.get(name)
        pil, magick = read_with_oracles(os.path.join(HERE, "bmp", name))
        notes = []
        for reader, argb in (("PIL", pil), ("ImageMagick", magick)):
            if isinstance(argb, str):
                notes.append("%s %s" % (reader, argb))
                continue
            if b is None:  # a real file: the table's digest
                if "%016X" % fnv64(argb) != digest:
                    notes.append("%s: other texels" % reader)
                continue
            n = differences(b.texels, argb, b.narrow)
            if n:
                notes.append("%s: %d texels differ" % (reader, n))
            if b.has_alpha() and 0 in b.texels:
                unwritten = sorted({"%08X" % t for o, t in zip(b.texels, argb) if o == 0})
                notes.append("%s: unwritten pixels %s" % (reader, " ".join(unwritten[:3])))
            if b.narrow and not n and argb != b.texels:
                notes.append("%s: within one level" % reader)
        print("%-34s %s" % (name, "; ".join(notes) or "both agree"))
    for name, _ in refused():
        pil, magick = read_with_oracles(os.path.join(HERE, "bad", name))
        print("%-34s PIL %s; ImageMagick %s" % ("bad/" + name, pil if isinstance(pil, str) else "reads it",
                                                 magick if isinstance(magick, str) else "reads it"))


if __name__ == "__main__":
    check() if sys.argv[1:] == ["--check"] else write()
