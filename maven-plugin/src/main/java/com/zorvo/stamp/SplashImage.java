package com.zorvo.stamp;

import java.io.ByteArrayOutputStream;
import java.util.Arrays;

/**
 * The splash bitmap (resource 10000) made from a PNG or BMP file: a 24-bit
 * bottom-up DIB that the system's image loader reads. A BMP that is already
 * such a DIB is taken as it stands; anything else is decoded, and transparent
 * pixels are composited onto the splash's light-grey fill (192, 192, 192).
 */
final class SplashImage {
    static final int BITMAP_ID = 10000;
    static final long MAX_FILE_SIZE = 64L * 1024 * 1024;
    private static final int FILE_HEADER = 14, INFO_HEADER = 40;
    private static final int FILL = 192;

    /** The DIB and its size. */
    static final class Dib {
        final byte[] bytes;
        final int width, height;

        Dib(byte[] bytes, int width, int height) {
            this.bytes = bytes;
            this.width = width;
            this.height = height;
        }
    }

    private SplashImage() {}

    static Dib bitmapOfImage(byte[] file) throws StampException {
        Dib plain = plainDib(file);
        if (plain != null) return plain;
        long[] stated = statedSize(file);
        if (stated != null && (stated[0] > ImageDecoder.MAX_SIDE || stated[1] > ImageDecoder.MAX_SIDE)) {
            throw new StampException(sizeProblem(stated[0], stated[1]));
        }
        int[] size;
        try {
            size = ImageDecoder.size(file);
        } catch (StampException e) {
            throw new StampException("not a PNG or BMP image that can be read (" + e.getMessage() + ")");
        }
        if (size[0] <= 0 || size[1] <= 0 || size[0] > ImageDecoder.MAX_SIDE || size[1] > ImageDecoder.MAX_SIDE) {
            throw new StampException(sizeProblem(size[0], size[1]));
        }
        ImageDecoder.Rgba rgba;
        try {
            rgba = ImageDecoder.decode(file);
        } catch (StampException e) {
            throw new StampException("the image cannot be decoded (" + e.getMessage() + ")");
        }
        return new Dib(dibOfPixels(rgba), rgba.width, rgba.height);
    }

    private static int stride24(int width) {
        return (width * 3 + 3) & ~3;
    }

    /** A BMP whose DIB already is what the resource holds: 24 bits, uncompressed, bottom-up. */
    private static Dib plainDib(byte[] file) {
        if (file.length < FILE_HEADER + INFO_HEADER || file[0] != 'B' || file[1] != 'M') return null;
        int info = FILE_HEADER;
        int width = Bytes.getSigned32(file, info + 4), height = Bytes.getSigned32(file, info + 8);
        boolean plain = Bytes.getSigned32(file, info) == INFO_HEADER && Bytes.get16(file, info + 12) == 1
                && Bytes.get16(file, info + 14) == 24 && Bytes.getSigned32(file, info + 16) == 0
                && Bytes.getSigned32(file, info + 32) == 0 && Bytes.getSigned32(file, 10) == FILE_HEADER + INFO_HEADER
                && width > 0 && height > 0 && width <= ImageDecoder.MAX_SIDE && height <= ImageDecoder.MAX_SIDE;
        if (!plain) return null;
        long size = INFO_HEADER + (long) stride24(width) * height;
        if (file.length - FILE_HEADER < size) return null;
        return new Dib(Arrays.copyOfRange(file, FILE_HEADER, (int) (FILE_HEADER + size)), width, height);
    }

    private static byte[] dibOfPixels(ImageDecoder.Rgba image) {
        int width = image.width, height = image.height, stride = stride24(width);
        ByteArrayOutputStream dib = new ByteArrayOutputStream();
        for (long v : new long[] {INFO_HEADER, width, height}) Bytes.add32(dib, v);
        Bytes.add16(dib, 1);
        Bytes.add16(dib, 24);
        Bytes.add32(dib, 0);
        Bytes.add32(dib, (long) stride * height);
        for (int i = 0; i < 4; i++) Bytes.add32(dib, 0);
        byte[] row = new byte[stride];
        for (int y = height - 1; y >= 0; y--) {  // bottom-up
            for (int x = 0; x < width; x++) {
                int p = (y * width + x) * 4;
                int a = image.pixels[p + 3] & 0xFF;
                for (int c = 0; c < 3; c++) {  // blue, green, red
                    int value = image.pixels[p + 2 - c] & 0xFF;
                    row[x * 3 + c] = (byte) ((value * a + FILL * (255 - a) + 127) / 255);
                }
            }
            dib.writeBytes(row);
        }
        return dib.toByteArray();
    }

    /** The size a PNG or BMP header states ({width, height}), read before anything is decoded; null for neither. */
    private static long[] statedSize(byte[] file) {
        if (file.length >= 24 && ImageDecoder.isPng(file) && file[12] == 'I' && file[13] == 'H' && file[14] == 'D'
                && file[15] == 'R') {
            return new long[] {bigEndian32(file, 16), bigEndian32(file, 20)};
        }
        if (file.length >= 22 && file[0] == 'B' && file[1] == 'M' && Bytes.get32(file, 14) == 12) {
            return new long[] {Bytes.get16(file, 18), Bytes.get16(file, 20)};  // an OS/2 bitmap: 16-bit sizes
        }
        if (file.length >= 26 && file[0] == 'B' && file[1] == 'M') {
            long height = Bytes.getSigned32(file, 22);
            return new long[] {Bytes.getSigned32(file, 18), Math.abs(height)};  // a negative height: top-down
        }
        return null;
    }

    private static long bigEndian32(byte[] b, int at) {
        return (long) (b[at] & 0xFF) << 24 | (b[at + 1] & 0xFF) << 16 | (b[at + 2] & 0xFF) << 8 | (b[at + 3] & 0xFF);
    }

    private static String sizeProblem(long width, long height) {
        return "an image of " + width + " x " + height + " pixels (at most " + ImageDecoder.MAX_SIDE + " x "
                + ImageDecoder.MAX_SIDE + ")";
    }
}
