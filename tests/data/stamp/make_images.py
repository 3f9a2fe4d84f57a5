#!/usr/bin/python3
"""Writes the splash pictures of this folder: one per PNG colour type, bit
depth, filter and interlace, and one per BMP header and pixel format, each
37 x 23 (an odd width, so rows need padding). Both stamping implementations
must turn each into the same bitmap, or refuse it with the same message.
Run it from this folder; the files are committed, so this is needed only to
add a variant."""
import struct
import zlib

W, H = 37, 23


def pixel(x, y):
    """An RGBA picture with a gradient, a disc and a transparent corner."""
    r, g, b = x * 255 // (W - 1), y * 255 // (H - 1), 128
    if (x - 18) ** 2 + (y - 11) ** 2 < 40:
        r, g, b = 255, 220, 0
    a = 0 if x < 6 and y < 4 else 255 - x * 3
    return r, g, b, a


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def pack_bits(values, depth):
    out, acc, n = bytearray(), 0, 0
    for v in values:
        acc = (acc << depth) | v
        n += depth
        if n == 8:
            out.append(acc)
            acc, n = 0, 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)


def samples(x, y, colour, depth):
    r, g, b, a = pixel(x, y)
    top = (1 << depth) - 1
    scale = lambda v: v * top // 255
    gray = (r * 3 + g * 6 + b) // 10
    return {0: [scale(gray)], 2: [scale(r), scale(g), scale(b)], 3: [(x + y) % (1 << min(depth, 8))],
            4: [scale(gray), scale(a)], 6: [scale(r), scale(g), scale(b), scale(a)]}[colour]


def row_bytes(xs, y, colour, depth):
    values = [v for x in xs for v in samples(x, y, colour, depth)]
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in values)
    return pack_bits(values, depth)


def filtered(raw, prior, bpp, kind):
    out = bytearray([kind])
    for i, v in enumerate(raw):
        left = raw[i - bpp] if i >= bpp else 0
        up = prior[i] if prior else 0
        corner = prior[i - bpp] if prior and i >= bpp else 0
        if kind == 1:
            v -= left
        elif kind == 2:
            v -= up
        elif kind == 3:
            v -= (left + up) // 2
        elif kind == 4:
            p = left + up - corner
            pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
            v -= left if pa <= pb and pa <= pc else up if pb <= pc else corner
        out.append(v & 255)
    return bytes(out)


def png(name, colour, depth, interlace=False, trns=None, palette=None):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour]
    bpp = max(1, channels * depth // 8)
    passes = ([(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
              if interlace else [(0, 0, 1, 1)])
    data, kind = bytearray(), 0
    for x0, y0, dx, dy in passes:
        xs = list(range(x0, W, dx))
        if not xs:
            continue
        prior = None
        for y in range(y0, H, dy):
            raw = row_bytes(xs, y, colour, depth)
            data += filtered(raw, prior, bpp, kind % 5)
            prior, kind = raw, kind + 1
    body = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", W, H, depth, colour, 0, 0, int(interlace)))
    if palette:
        body += chunk(b"PLTE", palette)
    if trns is not None:
        body += chunk(b"tRNS", trns)
    body += chunk(b"IDAT", zlib.compress(bytes(data), 9)) + chunk(b"IEND", b"")
    open(name, "wb").write(body)


def colour_table(count, quad=True):
    out = bytearray()
    for i in range(count):
        out += bytes([i * 37 % 256, i * 91 % 256, i * 53 % 256]) + (b"\0" if quad else b"")
    return bytes(out)


def bmp(name, bits, header=40, compression=0, masks=None, top_down=False, colours=0):
    count = colours or (1 << bits if bits <= 8 else 0)
    rows = []
    for y in range(H):
        xs = range(W)
        if bits <= 8:
            line = pack_bits([(x + y) % count for x in xs], bits)
        elif bits == 16:
            rm, gm, bm = masks or (0x7C00, 0x03E0, 0x001F)
            line = b""
            for x in xs:
                r, g, b, _ = pixel(x, y)
                v = 0
                for m, c in ((rm, r), (gm, g), (bm, b)):
                    shift = (m & -m).bit_length() - 1
                    v |= (c * (m >> shift) // 255) << shift
                line += struct.pack("<H", v)
        elif bits == 24:
            line = b"".join(bytes([pixel(x, y)[2], pixel(x, y)[1], pixel(x, y)[0]]) for x in xs)
        else:
            line = b"".join(bytes([pixel(x, y)[2], pixel(x, y)[1], pixel(x, y)[0], pixel(x, y)[3]]) for x in xs)
        rows.append(line + b"\0" * (-len(line) % 4))
    pixels = b"".join(rows if top_down else reversed(rows))
    table = colour_table(count, quad=header != 12)
    if header == 12:
        info = struct.pack("<IHHHH", 12, W, H, 1, bits)
    else:
        info = struct.pack("<IiiHHIIiiII", header, W, -H if top_down else H, 1, bits, compression, len(pixels),
                           2835, 2835, colours, 0)
        if header >= 52 or compression == 3:
            extra = struct.pack("<III", *(masks or (0, 0, 0)))
            if header >= 56:
                extra += struct.pack("<I", 0xFF000000 if bits == 32 else 0)
            info += extra + b"\0" * (header - len(info) - len(extra))
    offset = 14 + len(info) + len(table)
    data = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset) + info + table + pixels
    open(name, "wb").write(data)


if __name__ == "__main__":
    png("gray1.png", 0, 1)
    png("gray4.png", 0, 4)
    png("gray16.png", 0, 16)
    png("gray8-trns.png", 0, 8, trns=struct.pack(">H", 40))
    png("rgb8.png", 2, 8)
    png("rgb16-trns.png", 2, 16, trns=struct.pack(">HHH", 65535, 56540, 0))
    png("palette2.png", 3, 2, palette=colour_table(4, quad=False), trns=b"\x00\x80")
    png("palette8.png", 3, 8, palette=colour_table(256, quad=False))
    png("gray-alpha8.png", 4, 8)
    png("gray-alpha16.png", 4, 16)
    png("rgba8.png", 6, 8)
    png("rgba16.png", 6, 16)
    png("interlaced-rgba8.png", 6, 8, interlace=True)
    png("interlaced-palette2.png", 3, 2, interlace=True, palette=colour_table(4, quad=False))
    bmp("palette1.bmp", 1)
    bmp("palette4.bmp", 4, colours=12)
    bmp("palette8.bmp", 8)
    bmp("rgb555.bmp", 16)
    bmp("rgb565.bmp", 16, compression=3, masks=(0xF800, 0x07E0, 0x001F))
    bmp("rgb24.bmp", 24)
    bmp("rgb24-top-down.bmp", 24, top_down=True)
    bmp("rgbx32.bmp", 32)
    bmp("rgba32-v5.bmp", 32, header=124, compression=3, masks=(0x00FF0000, 0x0000FF00, 0x000000FF))
    bmp("os2-rgb24.bmp", 24, header=12)
    bmp("os2-palette8.bmp", 8, header=12)
    bmp("rle8.bmp", 8, compression=1)
    # Damaged files: cut short in the pixels, and a header beyond the size limit.
    open("cut-short.png", "wb").write(open("rgba8.png", "rb").read()[:300])
    open("cut-short.bmp", "wb").write(open("rgb24.bmp", "rb").read()[:900])
    wide = bytearray(open("rgb8.png", "rb").read())
    wide[16:20] = struct.pack(">I", 5000)
    wide[29:33] = struct.pack(">I", zlib.crc32(bytes(wide[12:29])))
    open("too-wide.png", "wb").write(bytes(wide))
