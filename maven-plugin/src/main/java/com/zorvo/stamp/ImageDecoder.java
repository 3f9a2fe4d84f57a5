package com.zorvo.stamp;

import java.io.ByteArrayOutputStream;
import java.util.zip.DataFormatException;
import java.util.zip.Inflater;

/**
 * PNG and BMP files decoded to 8-bit RGBA pixels, top row first, by the rules
 * of the build tool's decoder, so that both give the same pixels: 16-bit
 * samples keep their high byte, grey of 1, 2 or 4 bits is scaled by 255, 85
 * or 17, a colour key (tRNS) makes its pixels transparent, CRCs and the zlib
 * checksum are not checked; a BMP is read in any of its uncompressed forms
 * (1 to 32 bits, bit fields, OS/2 headers), reading zeros past the end of the file.
 */
final class ImageDecoder {
    /** Decoded pixels: width * height * 4 bytes. */
    static final class Rgba {
        final int width, height;
        final byte[] pixels;

        Rgba(int width, int height, byte[] pixels) {
            this.width = width;
            this.height = height;
            this.pixels = pixels;
        }
    }

    static final int MAX_SIDE = 4096;

    private ImageDecoder() {}

    static boolean isPng(byte[] f) {
        byte[] sig = {(byte) 137, 80, 78, 71, 13, 10, 26, 10};
        if (f.length < 8) return false;
        for (int i = 0; i < 8; i++) {
            if (f[i] != sig[i]) return false;
        }
        return true;
    }

    static boolean isBmp(byte[] f) {
        if (f.length < 18 || f[0] != 'B' || f[1] != 'M') return false;
        long size = Bytes.get32(f, 14);
        return size == 12 || size == 40 || size == 56 || size == 108 || size == 124;
    }

    /**
     * The size a file's header states ({width, height}), before anything is
     * decoded. A header that cannot be read, for whatever reason, makes the
     * file of no known type.
     */
    static int[] size(byte[] file) throws StampException {
        try {
            if (isPng(file)) return new Png(file).header();
            if (isBmp(file)) {
                Bmp bmp = new Bmp(file);
                bmp.parseHeader();
                return new int[] {bmp.width, Math.abs(bmp.height)};
            }
        } catch (StampException e) {
            // reported below, as every unreadable header is
        }
        throw new StampException("unknown image type");
    }

    static Rgba decode(byte[] file) throws StampException {
        return isPng(file) ? new Png(file).decode() : new Bmp(file).decode();
    }

    /** Reading that gives zeros past the end of the bytes. */
    private static class Input {
        final byte[] b;
        long at;

        Input(byte[] b) {
            this.b = b;
        }

        int get8() {
            int v = at < b.length ? b[(int) at] & 0xFF : 0;
            at++;
            return v;
        }

        int get16le() {
            int z = get8();
            return z | get8() << 8;
        }

        long get32le() {
            long z = get16le();
            return z | (long) get16le() << 16;
        }

        long get32be() {
            long z = (long) get8() << 24 | get8() << 16 | get8() << 8;
            return z | get8();
        }

        void skip(long n) {
            at = n < 0 ? b.length : at + n;
        }
    }

    // --- PNG -------------------------------------------------------------------------------

    private static final class Png extends Input {
        int width, height, depth, color, interlace;
        int channels;  // samples per pixel as stored: grey 1, grey+alpha 2, RGB 3, RGBA 4, palette 1

        Png(byte[] b) {
            super(b);
        }

        int[] header() throws StampException {
            at = 8;
            get32be();
            if (get32be() != type("IHDR")) throw new StampException("first not IHDR");
            readHeader();
            return new int[] {width, height};
        }

        private void readHeader() throws StampException {
            width = (int) Math.min(get32be(), Integer.MAX_VALUE);
            height = (int) Math.min(get32be(), Integer.MAX_VALUE);
            if (height > MAX_SIDE || width > MAX_SIDE) throw new StampException("too large");
            depth = get8();
            if (depth != 1 && depth != 2 && depth != 4 && depth != 8 && depth != 16) {
                throw new StampException("1/2/4/8/16-bit only");
            }
            color = get8();
            if (color > 6 || (color == 3 && depth == 16) || (color != 3 && (color & 1) != 0)) {
                throw new StampException("bad ctype");
            }
            if (get8() != 0) throw new StampException("bad comp method");
            if (get8() != 0) throw new StampException("bad filter method");
            interlace = get8();
            if (interlace > 1) throw new StampException("bad interlace method");
            if (width == 0 || height == 0) throw new StampException("0-pixel image");
            channels = color == 3 ? 1 : ((color & 2) != 0 ? 3 : 1) + ((color & 4) != 0 ? 1 : 0);
        }

        Rgba decode() throws StampException {
            at = 8;
            boolean first = true, palette = false;
            int[] pal = new int[256 * 4];
            int palLength = 0;
            int[] key = null;
            ByteArrayOutputStream idat = null;
            while (true) {
                long length = get32be();
                long type = get32be();
                if (type == type("IHDR")) {
                    if (!first) throw new StampException("multiple IHDR");
                    first = false;
                    if (length != 13) throw new StampException("bad IHDR len");
                    readHeader();
                    palette = color == 3;
                } else if (first) {
                    throw new StampException("first not IHDR");
                } else if (type == type("PLTE")) {
                    if (length > 256 * 3 || length % 3 != 0) throw new StampException("invalid PLTE");
                    palLength = (int) length / 3;
                    for (int i = 0; i < palLength; i++) {
                        pal[i * 4] = get8();
                        pal[i * 4 + 1] = get8();
                        pal[i * 4 + 2] = get8();
                        pal[i * 4 + 3] = 255;
                    }
                } else if (type == type("tRNS")) {
                    if (idat != null) throw new StampException("tRNS after IDAT");
                    if (palette) {
                        if (palLength == 0) throw new StampException("tRNS before PLTE");
                        if (length > palLength) throw new StampException("bad tRNS len");
                        for (int i = 0; i < length; i++) pal[i * 4 + 3] = get8();
                    } else {
                        if ((channels & 1) == 0) throw new StampException("tRNS with alpha");
                        if (length != channels * 2L) throw new StampException("bad tRNS len");
                        key = new int[channels];
                        for (int k = 0; k < channels; k++) {
                            int v = (int) (get8() << 8 | get8());
                            key[k] = depth == 16 ? v : ((v & 255) * scale()) & 255;
                        }
                    }
                } else if (type == type("IDAT")) {
                    if (palette && palLength == 0) throw new StampException("no PLTE");
                    if (idat == null) idat = new ByteArrayOutputStream();
                    if (at + length > b.length) throw new StampException("outofdata");
                    idat.write(b, (int) at, (int) length);
                    at += length;
                } else if (type == type("IEND")) {
                    if (idat == null) throw new StampException("no IDAT");
                    return pixels(inflate(idat.toByteArray()), pal, key);
                } else {
                    if ((type & (1 << 29)) == 0) throw new StampException("PNG chunk not known");
                    skip(length);
                }
                get32be();  // the CRC, not checked
            }
        }

        /** The gray scale factor of low bit depths. */
        private int scale() {
            return color == 0 ? new int[] {0, 0xFF, 0x55, 0, 0x11, 0, 0, 0, 0x01}[Math.min(depth, 8)] : 1;
        }

        private static long type(String name) {
            return (long) name.charAt(0) << 24 | name.charAt(1) << 16 | name.charAt(2) << 8 | name.charAt(3);
        }

        private static byte[] inflate(byte[] z) throws StampException {
            if (z.length < 2) throw new StampException("bad zlib header");
            int cmf = z[0] & 0xFF, flg = z[1] & 0xFF;
            if ((cmf * 256 + flg) % 31 != 0) throw new StampException("bad zlib header");
            if ((flg & 32) != 0) throw new StampException("no preset dict");
            if ((cmf & 15) != 8) throw new StampException("bad compression");
            Inflater inflater = new Inflater(true);
            inflater.setInput(z, 2, z.length - 2);
            ByteArrayOutputStream out = new ByteArrayOutputStream();
            byte[] chunk = new byte[64 * 1024];
            try {
                while (!inflater.finished()) {
                    int n = inflater.inflate(chunk);
                    if (n == 0 && (inflater.needsInput() || inflater.needsDictionary())) break;
                    out.write(chunk, 0, n);
                }
            } catch (DataFormatException e) {
                throw new StampException("bad zlib data");
            } finally {
                inflater.end();
            }
            return out.toByteArray();
        }

        /** The decoded rows, unfiltered and de-interlaced, as RGBA. */
        private Rgba pixels(byte[] raw, int[] pal, int[] key) throws StampException {
            int[] samples = new int[width * height * channels];  // each sample in its own depth
            if (interlace == 0) {
                unfilter(raw, 0, width, height, samples, 0, 0, 1, 1);
            } else {
                int[] xo = {0, 4, 0, 2, 0, 1, 0}, yo = {0, 0, 4, 0, 2, 0, 1};
                int[] xs = {8, 8, 4, 4, 2, 2, 1}, ys = {8, 8, 8, 4, 4, 2, 2};
                int offset = 0;
                for (int p = 0; p < 7; p++) {
                    int x = (width - xo[p] + xs[p] - 1) / xs[p], y = (height - yo[p] + ys[p] - 1) / ys[p];
                    if (x == 0 || y == 0) continue;
                    offset = unfilter(raw, offset, x, y, samples, xo[p], yo[p], xs[p], ys[p]);
                }
            }
            byte[] out = new byte[width * height * 4];
            for (int i = 0; i < width * height; i++) {
                int at = i * channels;
                int[] rgba = new int[4];
                if (color == 3) {
                    System.arraycopy(pal, (samples[at] & 255) * 4, rgba, 0, 4);
                } else {
                    boolean grey = channels <= 2;
                    for (int c = 0; c < 3; c++) rgba[c] = eight(samples[at + (grey ? 0 : c)]);
                    rgba[3] = channels == 2 || channels == 4 ? eight(samples[at + channels - 1]) : 255;
                    if (key != null) {
                        boolean keyed = true;
                        for (int c = 0; c < channels; c++) keyed &= stored(samples[at + c]) == key[c];
                        if (keyed) rgba[3] = 0;
                    }
                }
                for (int c = 0; c < 4; c++) out[i * 4 + c] = (byte) rgba[c];
            }
            return new Rgba(width, height, out);
        }

        /** A sample as the colour key is compared with it: 16-bit as it is, else scaled to 8 bits. */
        private int stored(int v) {
            return depth == 16 ? v : eight(v);
        }

        /** A sample as an 8-bit value: its high byte, or grey scaled up. */
        private int eight(int v) {
            if (depth == 16) return v >> 8;
            return (v * scale()) & 255;
        }

        /**
         * Unfilters one (sub-)image of x * y pixels starting at `offset` of the
         * raw data into `samples` at the interlace positions; gives the offset behind it.
         */
        private int unfilter(byte[] raw, int offset, int x, int y, int[] samples, int x0, int y0, int dx, int dy)
                throws StampException {
            int bytesPerPixel = Math.max(1, channels * depth / 8);
            int rowBytes = (channels * x * depth + 7) >> 3;
            if ((long) (rowBytes + 1) * y > raw.length - offset) throw new StampException("not enough pixels");
            byte[] prior = new byte[rowBytes];
            byte[] cur = new byte[rowBytes];
            for (int j = 0; j < y; j++) {
                int filter = raw[offset++] & 0xFF;
                if (filter > 4) throw new StampException("invalid filter");
                for (int i = 0; i < rowBytes; i++) {
                    int a = i >= bytesPerPixel ? cur[i - bytesPerPixel] & 0xFF : 0;
                    int up = prior[i] & 0xFF;
                    int c = i >= bytesPerPixel ? prior[i - bytesPerPixel] & 0xFF : 0;
                    int v = raw[offset + i] & 0xFF;
                    switch (filter) {
                        case 1: v += a; break;
                        case 2: v += up; break;
                        case 3: v += (a + up) >> 1; break;
                        case 4: v += paeth(a, up, c); break;
                        default: break;
                    }
                    cur[i] = (byte) v;
                }
                offset += rowBytes;
                for (int i = 0; i < x; i++) {
                    int pixel = ((y0 + j * dy) * width + x0 + i * dx) * channels;
                    for (int k = 0; k < channels; k++) samples[pixel + k] = sample(cur, i * channels + k);
                }
                byte[] t = prior;
                prior = cur;
                cur = t;
            }
            return offset;
        }

        /** Sample number `n` of a row, in the image's depth. */
        private int sample(byte[] row, int n) {
            if (depth == 16) return (row[2 * n] & 0xFF) << 8 | (row[2 * n + 1] & 0xFF);
            if (depth == 8) return row[n] & 0xFF;
            int bit = n * depth;
            return (row[bit >> 3] & 0xFF) >> (8 - depth - (bit & 7)) & ((1 << depth) - 1);
        }

        private static int paeth(int a, int b, int c) {
            int p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
            if (pa <= pb && pa <= pc) return a;
            return pb <= pc ? b : c;
        }
    }

    // --- BMP -------------------------------------------------------------------------------

    private static final class Bmp extends Input {
        int width, height, bpp, headerSize;
        long offset, mr, mg, mb, ma;
        int extraRead = 14;
        int allAlpha = 255;

        Bmp(byte[] b) {
            super(b);
        }

        void parseHeader() throws StampException {
            at = 0;
            mr = mg = mb = ma = 0;
            allAlpha = 255;
            extraRead = 14;
            if (get8() != 'B' || get8() != 'M') throw new StampException("not BMP");
            get32le();
            get16le();
            get16le();
            offset = get32le();
            headerSize = (int) get32le();
            if (offset > Integer.MAX_VALUE) throw new StampException("bad BMP");
            if (headerSize != 12 && headerSize != 40 && headerSize != 56 && headerSize != 108 && headerSize != 124) {
                throw new StampException("unknown BMP");
            }
            if (headerSize == 12) {
                width = get16le();
                height = get16le();
            } else {
                width = (int) get32le();
                height = (int) get32le();
            }
            if (get16le() != 1) throw new StampException("bad BMP");
            bpp = get16le();
            if (headerSize == 12) return;
            long compress = get32le();
            if (compress == 1 || compress == 2) throw new StampException("BMP RLE");
            if (compress >= 4) throw new StampException("BMP JPEG/PNG");
            if (compress == 3 && bpp != 16 && bpp != 32) throw new StampException("bad BMP");
            for (int i = 0; i < 5; i++) get32le();
            if (headerSize == 40 || headerSize == 56) {
                if (headerSize == 56) for (int i = 0; i < 4; i++) get32le();
                if (bpp == 16 || bpp == 32) {
                    if (compress == 0) {
                        defaultMasks();
                    } else {
                        mr = get32le();
                        mg = get32le();
                        mb = get32le();
                        extraRead += 12;
                        if (mr == mg && mg == mb) throw new StampException("bad BMP");
                    }
                }
            } else {
                mr = get32le();
                mg = get32le();
                mb = get32le();
                ma = get32le();
                if (compress != 3) defaultMasks();
                for (int i = 0; i < 13; i++) get32le();
                if (headerSize == 124) for (int i = 0; i < 4; i++) get32le();
            }
        }

        /** The masks of an uncompressed image; a 16-bit one keeps the alpha mask its header gave. */
        private void defaultMasks() {
            if (bpp == 16) {
                mr = 31L << 10;
                mg = 31L << 5;
                mb = 31;
            } else if (bpp == 32) {
                mr = 0xFFL << 16;
                mg = 0xFFL << 8;
                mb = 0xFF;
                ma = 0xFFL << 24;
                allAlpha = 0;  // an alpha channel that turns out all zeros is read as none
            } else {
                mr = mg = mb = ma = 0;
            }
        }

        Rgba decode() throws StampException {
            parseHeader();
            boolean flip = height > 0;
            int h = Math.abs(height);
            if (h > MAX_SIDE || width > MAX_SIDE || width <= 0 || h == 0) throw new StampException("too large");
            int psize = 0;
            if (headerSize == 12) {
                if (bpp < 24) psize = (int) ((offset - extraRead - 24) / 3);
            } else if (bpp < 16) {
                psize = (int) ((offset - extraRead - headerSize) >> 2);
            }
            if (psize == 0 && offset != at) throw new StampException("bad offset");
            byte[] out = new byte[width * h * 4];
            int allA = allAlpha;
            int z = 0;
            if (bpp < 16) {
                if (psize <= 0 || psize > 256) throw new StampException("invalid");
                int[][] pal = new int[256][4];
                for (int i = 0; i < psize; i++) {
                    pal[i][2] = get8();
                    pal[i][1] = get8();
                    pal[i][0] = get8();
                    if (headerSize != 12) get8();
                    pal[i][3] = 255;
                }
                skip(offset - extraRead - headerSize - (long) psize * (headerSize == 12 ? 3 : 4));
                int rowBytes;
                if (bpp == 1) rowBytes = (width + 7) >> 3;
                else if (bpp == 4) rowBytes = (width + 1) >> 1;
                else if (bpp == 8) rowBytes = width;
                else throw new StampException("bad bpp");
                int pad = (-rowBytes) & 3;
                for (int j = 0; j < h; j++) {
                    long rowStart = at;
                    for (int i = 0; i < width; i++) {
                        int index;
                        if (bpp == 1) {
                            at = rowStart + (i >> 3);
                            index = get8() >> (7 - (i & 7)) & 1;
                        } else if (bpp == 4) {
                            at = rowStart + (i >> 1);
                            index = (i & 1) == 0 ? get8() >> 4 : get8() & 15;
                        } else {
                            at = rowStart + i;
                            index = get8();
                        }
                        for (int c = 0; c < 4; c++) out[z++] = (byte) pal[index][c];
                    }
                    at = rowStart + rowBytes;
                    skip(pad);
                }
            } else {
                int rowBytes = bpp == 24 ? 3 * width : bpp == 16 ? 2 * width : 0;
                int pad = (-rowBytes) & 3;
                skip(offset - extraRead - headerSize);
                int easy = bpp == 24 ? 1 : bpp == 32 && mb == 0xFF && mg == 0xFF00 && mr == 0xFF0000L
                        && ma == 0xFF000000L ? 2 : 0;
                int[] shift = new int[4], count = new int[4];
                long[] masks = {mr, mg, mb, ma};
                if (easy == 0) {
                    if (mr == 0 || mg == 0 || mb == 0) throw new StampException("bad masks");
                    for (int k = 0; k < 4; k++) {
                        shift[k] = highBit(masks[k]) - 7;
                        count[k] = Long.bitCount(masks[k]);
                        if (count[k] > 8) throw new StampException("bad masks");
                    }
                }
                for (int j = 0; j < h; j++) {
                    for (int i = 0; i < width; i++) {
                        if (easy != 0) {
                            int blue = get8(), green = get8(), red = get8();
                            int a = easy == 2 ? get8() : 255;
                            allA |= a;
                            out[z++] = (byte) red;
                            out[z++] = (byte) green;
                            out[z++] = (byte) blue;
                            out[z++] = (byte) a;
                        } else {
                            long v = bpp == 16 ? get16le() : get32le();
                            for (int k = 0; k < 3; k++) out[z++] = (byte) shiftSigned(v & masks[k], shift[k], count[k]);
                            int a = ma != 0 ? shiftSigned(v & ma, shift[3], count[3]) : 255;
                            allA |= a;
                            out[z++] = (byte) a;
                        }
                    }
                    skip(pad);
                }
            }
            // An alpha channel of zeros only is no alpha channel.
            if (allA == 0) {
                for (int i = 3; i < out.length; i += 4) out[i] = (byte) 255;
            }
            if (flip) {
                int row = width * 4;
                byte[] t = new byte[row];
                for (int j = 0; j < h / 2; j++) {
                    System.arraycopy(out, j * row, t, 0, row);
                    System.arraycopy(out, (h - 1 - j) * row, out, j * row, row);
                    System.arraycopy(t, 0, out, (h - 1 - j) * row, row);
                }
            }
            return new Rgba(width, h, out);
        }

        private static int highBit(long z) {
            return z == 0 ? -1 : 63 - Long.numberOfLeadingZeros(z);
        }

        /** An arbitrarily aligned value of `bits` bits (at most 8) made 8 bits long and extended to the full range. */
        private static int shiftSigned(long v, int shift, int bits) {
            int[] mul = {0, 0xFF, 0x55, 0x49, 0x11, 0x21, 0x41, 0x81, 0x01};
            int[] shiftTable = {0, 0, 0, 1, 0, 2, 4, 6, 0};
            v = shift < 0 ? v << -shift : v >>> shift;
            v &= 0xFFFFFFFFL;
            v >>>= (8 - bits);
            return (int) ((v * mul[bits]) >>> shiftTable[bits]) & 0xFF;
        }
    }
}
