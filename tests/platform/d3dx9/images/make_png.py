#!/usr/bin/python3
"""Writes the PNG family of png/ and its table png.txt, and the broken PNG files of bad/ and corrupt/.

Every colour type at every bit depth, plain and interlaced (Adam7), rows under all five filters,
with transparent colours (tRNS), colour chunks (gAMA, cHRM, sRGB, iCCP) that a reader must not
apply, other chunks it must skip, IDAT split in many pieces, and sizes too small for some Adam7
passes. The samples come from a fixed pseudo-random pattern, so the texels each file must read as
follow from the pattern alone: low bit depths scaled to 8 bits (1 -> 255, 2 -> 85, 4 -> 17), 16-bit
samples their high byte, a palette index its entry, a sample equal to the tRNS colour transparent.

  make_png.py           writes the files (Python 3 and zlib only)
  make_png.py --check   compares each file of png.txt with Debian's PIL and ImageMagick
"""
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
SIGNATURE = b"\x89PNG\r\n\x1a\n"
GREY, RGB, PALETTE, GREY_ALPHA, RGBA = 0, 2, 3, 4, 6
CHANNELS = {GREY: 1, RGB: 3, PALETTE: 1, GREY_ALPHA: 2, RGBA: 4}
ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def mix(*values):
    h = 2166136261
    for v in values:
        h = ((h ^ (v & 0xFFFFFFFF)) * 16777619) & 0xFFFFFFFF
    h ^= h >> 13
    h = (h * 0x5BD1E995) & 0xFFFFFFFF
    return h ^ (h >> 15)


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def to8(sample, depth):
    return sample >> 8 if depth == 16 else sample * 255 // ((1 << depth) - 1)


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else b if pb <= pc else c


def filtered(kind, raw, prior, bpp):
    out = bytearray()
    for i, x in enumerate(raw):
        a = raw[i - bpp] if i >= bpp else 0
        b = prior[i]
        c = prior[i - bpp] if i >= bpp else 0
        predictor = [0, a, b, (a + b) // 2, paeth(a, b, c)][kind]
        out.append((x - predictor) & 0xFF)
    return bytes([kind]) + bytes(out)


def pack_row(pixels, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for p in pixels for s in p)
    if depth == 8:
        return bytes(s for p in pixels for s in p)
    out, bits, used = bytearray(), 0, 0
    for p in pixels:
        bits = (bits << depth) | p[0]
        used += depth
        if used == 8:
            out.append(bits)
            bits, used = 0, 0
    if used:
        out.append(bits << (8 - used))
    return bytes(out)


class Png:
    def __init__(self, name, colour, depth, width=13, height=11, interlaced=False):
        self.name, self.colour, self.depth = name, colour, depth
        self.width, self.height, self.interlaced = width, height, interlaced
        channels, top = CHANNELS[colour], (1 << depth) - 1
        self.samples = [[tuple(mix(x, y, c, depth, colour) & top for c in range(channels)) for x in range(width)]
                        for y in range(height)]
        self.palette = None  # [(r, g, b)]
        self.trns = None     # per palette entry alphas, or the transparent sample tuple
        self.before_idat, self.after_idat = [], []  # extra chunks (kind, data)
        self.idat_piece = None  # bytes per IDAT chunk, None for one chunk
        if colour == PALETTE:
            self.palette = [((i * 37 + 11) & 255, (i * 91 + 200) & 255, (i * 53 + 7) & 255)
                            for i in range(min(256, 1 << depth))]

    def transparent(self, x, y, twin=None):
        """The sample at (x, y) becomes the tRNS colour; for 16 bits `twin` gets its high byte only."""
        self.trns = self.samples[y][x]
        if twin:
            tx, ty = twin
            self.samples[ty][tx] = tuple(s ^ 0x00FF for s in self.trns)

    def image_data(self):
        bits = CHANNELS[self.colour] * self.depth
        bpp = max(1, bits // 8)
        rows = []
        passes = ADAM7 if self.interlaced else [(0, 0, 1, 1)]
        for number, (x0, y0, dx, dy) in enumerate(passes):
            xs, ys = range(x0, self.width, dx), range(y0, self.height, dy)
            if not xs or not ys:
                continue
            prior = bytes((len(xs) * bits + 7) // 8)
            for row, y in enumerate(ys):
                raw = pack_row([self.samples[y][x] for x in xs], self.depth)
                rows.append(filtered((number * 3 + row) % 5, raw, prior, bpp))
                prior = raw
        return zlib.compress(b"".join(rows), 9)

    def ihdr(self):
        return struct.pack(">IIBBBBB", self.width, self.height, self.depth, self.colour, 0, 0, int(self.interlaced))

    def encode(self, ihdr=None, idat=None):
        out = SIGNATURE + chunk(b"IHDR", self.ihdr() if ihdr is None else ihdr)
        for kind, data in self.before_idat:
            out += chunk(kind, data)
        if self.palette:
            out += chunk(b"PLTE", b"".join(bytes(e) for e in self.palette))
        if self.trns is not None:
            if self.colour == PALETTE:
                out += chunk(b"tRNS", bytes(self.trns))
            else:
                out += chunk(b"tRNS", b"".join(struct.pack(">H", s) for s in self.trns))
        data = self.image_data() if idat is None else idat
        piece = self.idat_piece or len(data)
        for at in range(0, len(data), piece):
            out += chunk(b"IDAT", data[at:at + piece])
            if self.idat_piece and at == 0:
                out += chunk(b"IDAT", b"")  # an empty piece is still a piece
        for kind, data in self.after_idat:
            out += chunk(kind, data)
        return out + chunk(b"IEND", b"")

    def argb(self):
        out = []
        for row in self.samples:
            for s in row:
                if self.colour == PALETTE:
                    r, g, b = self.palette[s[0]] if s[0] < len(self.palette) else (0, 0, 0)
                    a = self.trns[s[0]] if self.trns is not None and s[0] < len(self.trns) else 255
                else:
                    v = [to8(c, self.depth) for c in s]
                    r, g, b = (v[0], v[0], v[0]) if self.colour in (GREY, GREY_ALPHA) else v[:3]
                    a = v[-1] if self.colour in (GREY_ALPHA, RGBA) else 0 if s == self.trns else 255
                out.append(a << 24 | r << 16 | g << 8 | b)
        return out

    def has_alpha(self):
        return self.colour in (GREY_ALPHA, RGBA) or self.trns is not None


def fnv64(argb):
    h = 0xCBF29CE484222325
    for byte in b"".join(struct.pack("<I", p) for p in argb):
        h = ((h ^ byte) * 0x100000001B3) & 0xFFFFFFFFFFFFFFFF
    return h


def table_row(name, width, height, alpha, argb):
    corners = [argb[0], argb[width - 1], argb[(height - 1) * width], argb[-1]]
    return "%-34s %s %3d %3d %016X  %s" % (name, "A" if alpha else "X", width, height, fnv64(argb),
                                            " ".join("%08X" % p for p in corners))


NAMES = {GREY: "grey", RGB: "rgb", PALETTE: "pal", GREY_ALPHA: "greya", RGBA: "rgba"}
DEPTHS = {GREY: (1, 2, 4, 8, 16), RGB: (8, 16), PALETTE: (1, 2, 4, 8), GREY_ALPHA: (8, 16), RGBA: (8, 16)}


def family():
    files = []
    # Every colour type and bit depth, plain and interlaced.
    for colour, depths in DEPTHS.items():
        for depth in depths:
            for interlaced in (False, True):
                files.append(Png("%s%d%s" % (NAMES[colour], depth, "_i" if interlaced else ""), colour, depth,
                                 interlaced=interlaced))
    # Transparent colours: a grey or RGB sample (at 16 bits another with the same high byte stays
    # opaque), palette entries' alphas shorter than the palette.
    for colour, depth, interlaced in ((GREY, 1, False), (GREY, 4, True), (GREY, 8, False), (GREY, 16, True),
                                      (RGB, 8, True), (RGB, 16, False), (RGB, 16, True)):
        p = Png("%s%d%s_trns" % (NAMES[colour], depth, "_i" if interlaced else ""), colour, depth,
                interlaced=interlaced)
        p.transparent(1, 0, (2, 0) if depth == 16 else None)
        files.append(p)
    for depth, interlaced in ((2, False), (8, True)):
        p = Png("pal%d%s_trns" % (depth, "_i" if interlaced else ""), PALETTE, depth, interlaced=interlaced)
        p.trns = [(i * 67) & 255 for i in range(len(p.palette) * 2 // 3)]
        files.append(p)
    # Colour chunks that change nothing: the stored samples are the texels.
    chrm = struct.pack(">8I", 31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000)
    icc = bytearray(132)
    icc[0:4] = struct.pack(">I", len(icc))
    icc[8:12], icc[12:16], icc[16:20], icc[20:24], icc[36:40] = b"\x02\x10\0\0", b"mntr", b"RGB ", b"XYZ ", b"acsp"
    iccp = b"ICC profile\0\0" + zlib.compress(bytes(icc))
    for name, colour, depth, interlaced, chunks in (
            ("grey16_i_gama", GREY, 16, True, [(b"gAMA", struct.pack(">I", 100000))]),
            ("greya16_i_gama", GREY_ALPHA, 16, True, [(b"gAMA", struct.pack(">I", 45455))]),
            ("rgb8_gama_chrm", RGB, 8, False, [(b"gAMA", struct.pack(">I", 70000)), (b"cHRM", chrm)]),
            ("rgba16_i_gama_chrm", RGBA, 16, True, [(b"gAMA", struct.pack(">I", 100000)), (b"cHRM", chrm)]),
            ("rgba8_srgb", RGBA, 8, False, [(b"sRGB", b"\0"), (b"gAMA", struct.pack(">I", 45455))]),
            ("rgb16_i_iccp", RGB, 16, True, [(b"iCCP", iccp)]),
            ("pal4_gama", PALETTE, 4, False, [(b"gAMA", struct.pack(">I", 200000))])):
        p = Png(name, colour, depth, interlaced=interlaced)
        p.before_idat = chunks
        files.append(p)
    # Sizes that leave Adam7 passes empty.
    for colour, depth, width, height in ((RGBA, 16, 1, 1), (GREY, 16, 2, 3), (RGB, 16, 5, 1), (GREY_ALPHA, 8, 1, 9),
                                         (PALETTE, 2, 7, 7), (GREY, 1, 3, 2)):
        files.append(Png("%s%d_i_%dx%d" % (NAMES[colour], depth, width, height), colour, depth, width, height, True))
    # Chunks to skip before and after the pixels; IDAT in one-byte pieces with an empty one.
    p = Png("grey8_other_chunks", GREY, 8)
    p.before_idat = [(b"tEXt", b"Title\0chunks"), (b"zTXt", b"Comment\0\0" + zlib.compress(b"skipped")),
                     (b"iTXt", b"Author\0\0\0\0\0me"), (b"bKGD", b"\0\x40"), (b"pHYs", struct.pack(">IIB", 2835, 2835, 1)),
                     (b"sBIT", b"\x05"), (b"tIME", struct.pack(">HBBBBB", 2020, 1, 2, 3, 4, 5)), (b"prVt", b"private")]
    p.after_idat = [(b"tEXt", b"After\0the pixels")]
    files.append(p)
    p = Png("rgb8_suggested_palette", RGB, 8)
    p.before_idat = [(b"PLTE", bytes(range(48))), (b"sPLT", b"six\0\x08" + bytes(60))]
    files.append(p)
    p = Png("rgba16_i_idat_pieces", RGBA, 16, 6, 5, True)
    p.idat_piece = 1
    files.append(p)
    return files


def broken():
    """(folder, name, bytes): bad/ files refused from their header on, corrupt/ ones only when decoded."""
    base = Png("grey8", GREY, 8, 4, 4)
    good = base.encode()
    ihdr = bytearray(base.ihdr())

    def with_ihdr(offset, value):
        h = bytearray(ihdr)
        h[offset] = value
        return base.encode(ihdr=bytes(h))

    def patched(offset, value):
        data = bytearray(good)
        data[offset] = value
        return bytes(data)

    idat_at = good.index(b"IDAT")
    raw = zlib.decompress(base.image_data())
    text = chunk(b"tEXt", b"Title\0a")
    no_plte = Png("pal", PALETTE, 8, 4, 4)
    no_plte.palette = None
    out = [
        ("bad", "png_x_signature_byte_1.png", patched(0, 0x09)),
        ("bad", "png_x_signature_byte_2.png", patched(1, ord("Q"))),
        ("bad", "png_x_signature_lowercase.png", patched(3, ord("g"))),
        ("bad", "png_x_signature_space.png", patched(6, 0x20)),
        ("bad", "png_x_added_cr.png", good.replace(b"\n", b"\r\n")),
        ("bad", "png_x_added_lf.png", good.replace(b"\r", b"\r\n")),
        ("bad", "png_x_colour_type_1.png", with_ihdr(9, 1)),
        ("bad", "png_x_colour_type_9.png", with_ihdr(9, 9)),
        ("bad", "png_x_bit_depth_0.png", with_ihdr(8, 0)),
        ("bad", "png_x_bit_depth_3.png", with_ihdr(8, 3)),
        ("bad", "png_x_bit_depth_99.png", with_ihdr(8, 99)),
        ("bad", "png_x_palette_16_bits.png", Png("p", PALETTE, 8, 4, 4).encode(ihdr=struct.pack(">IIBBBBB", 4, 4, 16, 3, 0, 0, 0))),
        ("bad", "png_x_compression_1.png", with_ihdr(10, 1)),
        ("bad", "png_x_filter_method_1.png", with_ihdr(11, 1)),
        ("bad", "png_x_interlace_2.png", with_ihdr(12, 2)),
        ("bad", "png_x_ihdr_crc.png", patched(8 + 8 + 13, good[8 + 8 + 13] ^ 1)),
        ("bad", "png_x_text_crc.png", good[:idat_at - 4] + text[:-1] + bytes([text[-1] ^ 1]) + good[idat_at - 4:]),
        ("bad", "png_x_no_idat.png", good[:idat_at - 4] + chunk(b"IEND", b"")),
        ("bad", "png_x_no_plte.png", no_plte.encode()),
        ("bad", "png_x_no_iend.png", good[:-12]),
        ("corrupt", "png_x_idat_crc.png", patched(idat_at + 4, good[idat_at + 4] ^ 0x20)),
        ("corrupt", "png_x_filter_type_5.png", base.encode(idat=zlib.compress(b"\x05" + raw[1:]))),
        ("corrupt", "png_x_pixels_cut_short.png", base.encode(idat=zlib.compress(raw[:-3]))),
        ("corrupt", "png_x_adler32.png", base.encode(idat=zlib.compress(raw)[:-1] + bytes([zlib.compress(raw)[-1] ^ 1]))),
        ("corrupt", "png_x_deflate_cut_short.png", base.encode(idat=zlib.compress(raw)[:-6])),
    ]
    return out


# Rows after this line are kept as they are: files written elsewhere, their values from PIL and
# ImageMagick (--check reads them too).
REAL = "# Files written elsewhere"


def write():
    rows = ["# The PNG family of png/, written by make_png.py (see README.md): name, format (A: A8R8G8B8,",
            "# X: X8R8G8B8), width, height, FNV-1a 64 of the texels as little-endian 0xAARRGGBB words, top row",
            "# first, and the texels at the four corners (top left, top right, bottom left, bottom right)."]
    os.makedirs(os.path.join(HERE, "png"), exist_ok=True)
    for p in family():
        with open(os.path.join(HERE, "png", p.name + ".png"), "wb") as f:
            f.write(p.encode())
        rows.append(table_row(p.name + ".png", p.width, p.height, p.has_alpha(), p.argb()))
    table = os.path.join(HERE, "png.txt")
    kept = open(table).read().split(REAL)[1:] if os.path.exists(table) else []
    with open(table, "w") as f:
        f.write("\n".join(rows) + "\n" + "".join(REAL + k for k in kept))
    os.makedirs(os.path.join(HERE, "corrupt"), exist_ok=True)
    for folder, name, data in broken():
        with open(os.path.join(HERE, folder, name), "wb") as f:
            f.write(data)


def expected_texels(name):
    return next(p.argb() for p in family() if p.name + ".png" == name)


def check():
    """Reads every file of png.txt with PIL and with ImageMagick (16 bits a channel, high byte kept)."""
    import subprocess
    from PIL import Image
    failures = 0
    for line in open(os.path.join(HERE, "png.txt")):
        if line.startswith("#") or not line.strip():
            continue
        name, alpha, width, height, digest = line.split()[:5]
        path = os.path.join(HERE, "png", name)
        width, height = int(width), int(height)
        im = Image.open(path)
        depth, colour = open(path, "rb").read()[24:26]
        t = im.info.get("transparency")
        opaque = 0xFFFFFFFF
        if im.mode in ("I", "I;16"):  # 16-bit grey: PIL keeps the samples whole and the tRNS value apart
            raw = list(im.getdata())
            pil = [(0 if raw[i] == t else 255) << 24 | (v >> 8) * 0x010101 for i, v in enumerate(raw)]
        elif colour == GREY and depth < 8 and t is not None:  # PIL leaves tRNS unscaled: scale it here
            pil = [(0 if v == to8(t, depth) else 255) << 24 | v * 0x010101 for v in im.getdata()]
        else:
            pil = [a << 24 | r << 16 | g << 8 | b for r, g, b, a in im.convert("RGBA").getdata()]
            if colour == RGB and depth == 16 and t is not None:  # PIL drops a 16-bit tRNS colour: colours only
                opaque = 0x00FFFFFF
        out = subprocess.run(["/usr/bin/convert", path, "-set", "colorspace", "sRGB", "-depth", "16", "-endian", "MSB", "rgba:-"],
                             capture_output=True, check=True).stdout
        words = [out[i] for i in range(0, len(out), 2)]  # big-endian 16-bit samples: their high bytes
        magick = [words[i + 3] << 24 | words[i] << 16 | words[i + 1] << 8 | words[i + 2] for i in range(0, len(words), 4)]
        for reader, argb in (("PIL", pil), ("ImageMagick", magick)):
            if reader == "PIL" and opaque != 0xFFFFFFFF:
                argb = [p & opaque for p in argb]
                theirs = [p & opaque for p in expected_texels(name)]
                if argb != theirs:
                    failures += 1
                    print("PIL reads the colours of %s otherwise" % name)
                continue
            if "%016X" % fnv64(argb) != digest:
                failures += 1
                print("%s reads %s otherwise: first texels %s" % (reader, name, " ".join("%08X" % p for p in argb[:4])))
    print("%d disagreements" % failures)
    return failures == 0


if __name__ == "__main__":
    sys.exit(0 if check() else 1) if sys.argv[1:] == ["--check"] else write()
