#!/usr/bin/python3
"""Writes the PNG family of png/ and its table png.txt, and the broken PNG files of bad/ and corrupt/.

The samples come from a fixed pseudo-random pattern, so what each file must read as follows from the
pattern alone: 1, 2, 4-bit samples scaled to 8 bits, 16-bit ones their high byte, a palette index its
entry, a sample equal to the tRNS colour transparent. Python 3 and zlib only; the tests never run it.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
GREY, RGB, PALETTE, GREY_ALPHA, RGBA = 0, 2, 3, 4, 6
CHANNELS = {GREY: 1, RGB: 3, PALETTE: 1, GREY_ALPHA: 2, RGBA: 4}
NAMES = {GREY: "grey", RGB: "rgb", PALETTE: "pal", GREY_ALPHA: "greya", RGBA: "rgba"}
DEPTHS = {GREY: (1, 2, 4, 8, 16), RGB: (8, 16), PALETTE: (1, 2, 4, 8), GREY_ALPHA: (8, 16), RGBA: (8, 16)}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
REAL = "# Files written elsewhere"  # rows from here on are kept as they are


def mix(*values):
    h = 2166136261
    for v in values:
        h = ((h ^ (v & 0xFFFFFFFF)) * 16777619) & 0xFFFFFFFF
    h = ((h ^ (h >> 13)) * 0x5BD1E995) & 0xFFFFFFFF
    return h ^ (h >> 15)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def filtered(kind, raw, prior, bpp):
    out = bytearray([kind])
    for i, x in enumerate(raw):
        a, b, c = raw[i - bpp] if i >= bpp else 0, prior[i], prior[i - bpp] if i >= bpp else 0
        p = a + b - c
        paeth = a if abs(p - a) <= abs(p - b) and abs(p - a) <= abs(p - c) else b if abs(p - b) <= abs(p - c) else c
        out.append((x - [0, a, b, (a + b) // 2, paeth][kind]) & 0xFF)
    return bytes(out)


def pack(pixels, depth):
    if depth >= 8:
        return b"".join(s.to_bytes(depth // 8, "big") for p in pixels for s in p)
    bits = "".join(format(p[0], "0%db" % depth) for p in pixels)
    bits += "0" * (-len(bits) % 8)
    return bytes(int(bits[i:i + 8], 2) for i in range(0, len(bits), 8))


class Png:
    def __init__(self, name, colour, depth, width=13, height=11, interlaced=False):
        self.name, self.colour, self.depth, self.width, self.height = name, colour, depth, width, height
        self.interlaced, self.trns, self.chunks, self.after, self.piece = interlaced, None, [], [], None
        self.samples = [[tuple(mix(x, y, c, depth, colour) & ((1 << depth) - 1) for c in range(CHANNELS[colour]))
                         for x in range(width)] for y in range(height)]
        self.palette = [((i * 37 + 11) & 255, (i * 91 + 200) & 255, (i * 53 + 7) & 255)
                        for i in range(1 << depth)] if colour == PALETTE else None

    def transparent(self, x, y, twin=None):
        """The sample at (x, y) becomes the tRNS colour; at 16 bits `twin` gets its high byte only."""
        self.trns = self.samples[y][x]
        if twin:
            self.samples[twin[1]][twin[0]] = tuple(s ^ 0xFF for s in self.trns)

    def image_data(self):
        bits, rows = CHANNELS[self.colour] * self.depth, []
        for number, (x0, y0, dx, dy) in enumerate(ADAM7 if self.interlaced else [(0, 0, 1, 1)]):
            xs, ys = range(x0, self.width, dx), range(y0, self.height, dy)
            prior = bytes((len(xs) * bits + 7) // 8)
            for row, y in enumerate(ys if xs else []):
                raw = pack([self.samples[y][x] for x in xs], self.depth)
                rows.append(filtered((number * 3 + row) % 5, raw, prior, max(1, bits // 8)))
                prior = raw
        return zlib.compress(b"".join(rows), 9)

    def ihdr(self):
        return struct.pack(">IIBBBBB", self.width, self.height, self.depth, self.colour, 0, 0, int(self.interlaced))

    def encode(self, ihdr=None, idat=None):
        out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr or self.ihdr()) + b"".join(chunk(k, d) for k, d in self.chunks)
        if self.palette:
            out += chunk(b"PLTE", b"".join(bytes(e) for e in self.palette))
        if self.trns is not None:
            out += chunk(b"tRNS", bytes(self.trns) if self.colour == PALETTE else
                         b"".join(struct.pack(">H", s) for s in self.trns))
        data = idat or self.image_data()
        pieces = [data[i:i + self.piece] for i in range(0, len(data), self.piece)] if self.piece else [data]
        out += b"".join(chunk(b"IDAT", p) for p in pieces[:1] + [b""] * bool(self.piece) + pieces[1:])
        return out + b"".join(chunk(k, d) for k, d in self.after) + chunk(b"IEND", b"")

    def argb(self):
        out, top = [], (1 << self.depth) - 1
        for s in (s for row in self.samples for s in row):
            if self.colour == PALETTE:
                (r, g, b), a = self.palette[s[0]], self.trns[s[0]] if self.trns and s[0] < len(self.trns) else 255
            else:
                v = [c >> 8 if self.depth == 16 else c * 255 // top for c in s]
                r, g, b = v[:3] if self.colour in (RGB, RGBA) else v[:1] * 3
                a = v[-1] if self.colour in (GREY_ALPHA, RGBA) else 0 if s == self.trns else 255
            out.append(a << 24 | r << 16 | g << 8 | b)
        return out


def fnv64(argb):
    h = 0xCBF29CE484222325
    for byte in b"".join(struct.pack("<I", p) for p in argb):
        h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def table_row(name, width, height, argb):
    corners = [argb[0], argb[width - 1], argb[(height - 1) * width], argb[-1]]
    alpha = "A" if any(p >> 24 != 255 for p in argb) else "X"
    return "%-34s %s %3d %3d %016X  %s" % (name, alpha, width, height, fnv64(argb), " ".join("%08X" % p for p in corners))


def family():
    files = [Png("%s%d%s" % (NAMES[c], d, "_i" * i), c, d, interlaced=i) for c in DEPTHS for d in DEPTHS[c]
             for i in (False, True)]
    # Transparent colours: a grey or RGB sample (at 16 bits another with its high byte stays opaque),
    # palette alphas shorter than the palette.
    for c, d, i in ((GREY, 1, 0), (GREY, 4, 1), (GREY, 8, 0), (GREY, 16, 1), (RGB, 8, 1), (RGB, 16, 0), (RGB, 16, 1),
                    (PALETTE, 2, 0), (PALETTE, 8, 1)):
        p = Png("%s%d%s_trns" % (NAMES[c], d, "_i" * i), c, d, interlaced=i)
        if c == PALETTE:
            p.trns = [(k * 67) & 255 for k in range(len(p.palette) * 2 // 3)]
        else:
            p.transparent(1, 0, (2, 0) if d == 16 else None)
        files.append(p)
    # Colour chunks that change nothing.
    chrm = (b"cHRM", struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000))
    icc = bytearray(132)
    icc[0:4], icc[8:24], icc[36:40] = struct.pack(">I", 132), b"\x02\x10\0\0mntrRGB XYZ ", b"acsp"
    gamma = lambda g: (b"gAMA", struct.pack(">I", g))  # noqa: E731
    for name, c, d, i, chunks in (("grey16_i_gama", GREY, 16, 1, [gamma(100000)]),
                                  ("greya16_i_gama", GREY_ALPHA, 16, 1, [gamma(45455)]),
                                  ("rgb8_gama_chrm", RGB, 8, 0, [gamma(70000), chrm]),
                                  ("rgba16_i_gama_chrm", RGBA, 16, 1, [gamma(100000), chrm]),
                                  ("rgba8_srgb", RGBA, 8, 0, [(b"sRGB", b"\0"), gamma(45455)]),
                                  ("rgb16_i_iccp", RGB, 16, 1, [(b"iCCP", b"ICC profile\0\0" + zlib.compress(icc))]),
                                  ("pal4_gama", PALETTE, 4, 0, [gamma(200000)])):
        files.append(Png(name, c, d, interlaced=i))
        files[-1].chunks = chunks
    # Sizes that leave Adam7 passes empty.
    for c, d, w, h in ((RGBA, 16, 1, 1), (GREY, 16, 2, 3), (RGB, 16, 5, 1), (GREY_ALPHA, 8, 1, 9), (PALETTE, 2, 7, 7),
                       (GREY, 1, 3, 2)):
        files.append(Png("%s%d_i_%dx%d" % (NAMES[c], d, w, h), c, d, w, h, True))
    # Chunks to skip before and after the pixels; IDAT in one-byte pieces and an empty one.
    p = Png("grey8_other_chunks", GREY, 8)
    p.chunks = [(b"tEXt", b"Title\0chunks"), (b"zTXt", b"Comment\0\0" + zlib.compress(b"skipped")),
                (b"iTXt", b"Author\0\0\0\0\0me"), (b"bKGD", b"\0\x40"), (b"pHYs", struct.pack(">IIB", 2835, 2835, 1)),
                (b"sBIT", b"\x05"), (b"tIME", struct.pack(">HBBBBB", 2020, 1, 2, 3, 4, 5)), (b"prVt", b"private")]
    p.after = [(b"tEXt", b"After\0the pixels")]
    q = Png("rgb8_suggested_palette", RGB, 8)
    q.chunks = [(b"PLTE", bytes(range(48))), (b"sPLT", b"six\0\x08" + bytes(60))]
    r = Png("rgba16_i_idat_pieces", RGBA, 16, 6, 5, True)
    r.piece = 1
    return files + [p, q, r]


def broken():
    """(folder, name, bytes): bad/ ones refused from the header on, corrupt/ ones when decoded; each
    after one of PngSuite's x* files, or another way to break a 4 x 4 grey image."""
    base = Png("grey8", GREY, 8, 4, 4)
    good, raw = base.encode(), zlib.decompress(base.image_data())
    idat = good.index(b"IDAT") - 4
    text = chunk(b"tEXt", b"Title\0a")

    def at(offset, value, data=good):
        return data[:offset] + bytes([value]) + data[offset + 1:]

    ihdr = lambda offset, value: base.encode(ihdr=at(offset, value, base.ihdr()))  # noqa: E731
    pal = Png("p", PALETTE, 8, 4, 4)
    no_plte = Png("p", PALETTE, 8, 4, 4)
    no_plte.palette = None
    bad = [("signature_byte_1", at(0, 9)), ("signature_byte_2", at(1, ord("Q"))), ("signature_lowercase", at(3, ord("g"))),
           ("signature_space", at(6, 32)), ("added_cr", good.replace(b"\n", b"\r\n")),
           ("added_lf", good.replace(b"\r", b"\r\n")), ("colour_type_1", ihdr(9, 1)), ("colour_type_9", ihdr(9, 9)),
           ("bit_depth_0", ihdr(8, 0)), ("bit_depth_3", ihdr(8, 3)), ("bit_depth_99", ihdr(8, 99)),
           ("palette_16_bits", pal.encode(ihdr=at(8, 16, pal.ihdr()))), ("compression_1", ihdr(10, 1)),
           ("filter_method_1", ihdr(11, 1)), ("interlace_2", ihdr(12, 2)), ("ihdr_crc", at(29, good[29] ^ 1)),
           ("text_crc", good[:idat] + at(len(text) - 1, text[-1] ^ 1, text) + good[idat:]),
           ("no_idat", good[:idat] + chunk(b"IEND", b"")), ("no_plte", no_plte.encode()), ("no_iend", good[:-12])]
    deflated = zlib.compress(raw)
    corrupt = [("idat_crc", at(idat + 8, good[idat + 8] ^ 0x20)), ("filter_type_5", base.encode(idat=zlib.compress(b"\5" + raw[1:]))),
               ("pixels_cut_short", base.encode(idat=zlib.compress(raw[:-3]))),
               ("adler32", base.encode(idat=at(len(deflated) - 1, deflated[-1] ^ 1, deflated))),
               ("deflate_cut_short", base.encode(idat=deflated[:-6]))]
    return [("bad", n, d) for n, d in bad] + [("corrupt", n, d) for n, d in corrupt]


def write(folder, table, files, heading):
    os.makedirs(os.path.join(HERE, folder), exist_ok=True)
    rows = heading[:]
    for f in files:
        with open(os.path.join(HERE, folder, f.name + "." + folder), "wb") as out:
            out.write(f.encode())
        rows.append(table_row(f.name + "." + folder, f.width, f.height, f.argb()))
    path = os.path.join(HERE, table)
    kept = open(path).read().split(REAL)[1:] if os.path.exists(path) else []
    with open(path, "w") as out:
        out.write("\n".join(rows) + "\n" + "".join(REAL + k for k in kept))


def heading(kind, script):
    return ["# The %s family of %s/, written by %s (see README.md): name, format (A: A8R8G8B8," % (kind, kind.lower(), script),
            "# X: X8R8G8B8), width, height, FNV-1a 64 of the texels as little-endian 0xAARRGGBB words, top row",
            "# first, and the texels at the four corners (top left, top right, bottom left, bottom right)."]


if __name__ == "__main__":
    write("png", "png.txt", family(), heading("PNG", "make_png.py"))
    for folder, name, data in broken():
        with open(os.path.join(HERE, folder, "png_x_%s.png" % name), "wb") as out:
            out.write(data)
