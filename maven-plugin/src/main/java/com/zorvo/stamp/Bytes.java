package com.zorvo.stamp;

import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;

/**
 * Little-endian fields of byte arrays, and byte strings: a narrow value is
 * held as a Java string with one char (0 to 255) per byte, as the launcher's
 * narrow texts are bytes of the system's code page.
 */
final class Bytes {
    private Bytes() {}

    static int get16(byte[] b, int at) {
        return (b[at] & 0xFF) | (b[at + 1] & 0xFF) << 8;
    }

    static long get32(byte[] b, int at) {
        return (get16(b, at) | (long) get16(b, at + 2) << 16) & 0xFFFFFFFFL;
    }

    static int getSigned32(byte[] b, int at) {
        return (int) get32(b, at);
    }

    static void put16(byte[] b, int at, int value) {
        b[at] = (byte) value;
        b[at + 1] = (byte) (value >>> 8);
    }

    static void put32(byte[] b, int at, long value) {
        put16(b, at, (int) value & 0xFFFF);
        put16(b, at + 2, (int) (value >>> 16) & 0xFFFF);
    }

    static void add16(ByteArrayOutputStream out, int value) {
        out.write(value & 0xFF);
        out.write((value >>> 8) & 0xFF);
    }

    static void add32(ByteArrayOutputStream out, long value) {
        add16(out, (int) value & 0xFFFF);
        add16(out, (int) (value >>> 16) & 0xFFFF);
    }

    /** Writes padding zeros until the stream's size is a multiple of four. */
    static void pad32(ByteArrayOutputStream out) {
        while (out.size() % 4 != 0) out.write(0);
    }

    /** The byte string of these bytes. */
    static String text(byte[] bytes) {
        return new String(bytes, StandardCharsets.ISO_8859_1);
    }

    /** The bytes of a byte string. */
    static byte[] of(String byteString) {
        return byteString.getBytes(StandardCharsets.ISO_8859_1);
    }

    /** UTF-16 code units as their little-endian bytes (a lone surrogate as it is). */
    static byte[] utf16le(String units) {
        byte[] out = new byte[units.length() * 2];
        for (int i = 0; i < units.length(); i++) put16(out, 2 * i, units.charAt(i));
        return out;
    }

    /** The UTF-8 bytes of a text. */
    static byte[] utf8(String text) {
        return text.getBytes(StandardCharsets.UTF_8);
    }

    /** The byte string up to its first NUL, as a C function reads it. */
    static String cString(String byteString) {
        int nul = byteString.indexOf('\0');
        return nul < 0 ? byteString : byteString.substring(0, nul);
    }
}
