package com.zorvo.stamp;

import java.nio.charset.StandardCharsets;

/**
 * The written form of configuration values. A line of the file is held as a
 * byte string (its bytes, which are UTF-8). Narrow values are bytes, written
 * as they stand with C-style escapes for the rest: \r \n \t \\ and \xHH
 * (exactly two hex digits, one byte). Wide values are UTF-8 with the same
 * escapes, where \xHH is the character U+00HH, plus {@code \}uHHHH for one UTF-16
 * code unit (so even a lone surrogate can be written).
 */
final class ValueText {
    /** The launcher's text buffers hold 8191 characters and the terminator. */
    static final int MAX_VALUE_LENGTH = 8191;

    private ValueText() {}

    /** Written form (a byte string) -> bytes (a byte string). */
    static String unescapeNarrow(String written) throws StampException {
        StringBuilder bytes = new StringBuilder(written.length());
        int[] i = {0};
        while (i[0] < written.length()) {
            if (written.charAt(i[0]) != '\\') {
                bytes.append(written.charAt(i[0]++));
                continue;
            }
            bytes.append((char) decodeEscape(written, i, false));
        }
        return bytes.toString();
    }

    /** Written form (a byte string of UTF-8 and escapes) -> UTF-16 code units. */
    static String unescapeWide(String written) throws StampException {
        StringBuilder units = new StringBuilder(written.length());
        int[] i = {0};
        while (i[0] < written.length()) {
            if (written.charAt(i[0]) == '\\') {
                units.append((char) decodeEscape(written, i, true));
                continue;
            }
            int at = i[0];
            int cp = decodeUtf8(written, i);
            if (cp < 0) {
                throw new StampException(String.format("wide value is not well-formed UTF-8 (byte 0x%02X at position %d)",
                        (int) written.charAt(at), at + 1));
            }
            units.appendCodePoint(cp);
        }
        return units.toString();
    }

    /** The written form of bytes, as messages show a name: printable ASCII as it is. */
    static String escapeNarrow(String bytes) {
        StringBuilder out = new StringBuilder(bytes.length());
        for (int i = 0; i < bytes.length(); i++) {
            int c = bytes.charAt(i);
            boolean edge = i == 0 || i + 1 == bytes.length();
            if (appendEscapedLow(out, c, edge)) continue;
            if (c >= 0x80) {
                out.append(String.format("\\x%02X", c));
            } else {
                out.append((char) c);
            }
        }
        return out.toString();
    }

    /** A text as a line of the file writes it: UTF-8 bytes, with the escapes a value needs. */
    static String writtenForm(String text) {
        String utf8 = Bytes.text(text.getBytes(StandardCharsets.UTF_8));
        StringBuilder out = new StringBuilder(utf8.length());
        for (int i = 0; i < utf8.length(); i++) {
            int c = utf8.charAt(i);
            boolean edge = i == 0 || i + 1 == utf8.length();
            if (c >= 0x80 || !appendEscapedLow(out, c, edge)) out.append((char) c);
        }
        return out.toString();
    }

    /** A whole number in the 32-bit signed range: an optional sign and decimal digits. */
    static boolean isWholeNumber(String value) {
        int i = 0;
        boolean negative = false;
        if (i < value.length() && (value.charAt(i) == '+' || value.charAt(i) == '-')) negative = value.charAt(i++) == '-';
        if (i == value.length()) return false;
        long n = 0;
        for (; i < value.length(); i++) {
            char c = value.charAt(i);
            if (c < '0' || c > '9') return false;
            n = n * 10 + (c - '0');
            if (n > 0x80000000L) return false;
        }
        return negative || n <= 0x7FFFFFFFL;
    }

    /** A colour "red,green,blue": three components 0 to 255, blanks allowed around each. */
    static boolean isColorValue(String value) {
        int i = 0;
        for (int component = 0; component < 3; component++) {
            if (component > 0) {
                if (i == value.length() || value.charAt(i) != ',') return false;
                i++;
            }
            while (i < value.length() && value.charAt(i) == ' ') i++;
            int n = 0, digits = 0;
            while (i < value.length() && value.charAt(i) >= '0' && value.charAt(i) <= '9') {
                n = n * 10 + (value.charAt(i++) - '0');
                if (++digits > 3) return false;
            }
            if (digits == 0 || n > 255) return false;
            while (i < value.length() && value.charAt(i) == ' ') i++;
        }
        return i == value.length();
    }

    private static int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    private static int readHex(String s, int at, int digits) {
        if (s.length() - at < digits) return -1;
        int value = 0;
        for (int i = 0; i < digits; i++) {
            int d = hexDigit(s.charAt(at + i));
            if (d < 0) return -1;
            value = value * 16 + d;
        }
        return value;
    }

    /** The escape whose backslash is at i[0]: its code, i[0] moved past it. */
    private static int decodeEscape(String s, int[] i, boolean wide) throws StampException {
        if (i[0] + 1 >= s.length()) throw new StampException("backslash at the end of the value (write \\\\ for a backslash)");
        char c = s.charAt(i[0] + 1);
        switch (c) {
            case 'r': i[0] += 2; return '\r';
            case 'n': i[0] += 2; return '\n';
            case 't': i[0] += 2; return '\t';
            case '\\': i[0] += 2; return '\\';
            case 'x': {
                int v = readHex(s, i[0] + 2, 2);
                if (v < 0) throw new StampException("\\x needs exactly two hex digits");
                i[0] += 4;
                return v;
            }
            case 'u':
                if (wide) {
                    int v = readHex(s, i[0] + 2, 4);
                    if (v < 0) throw new StampException("\\u needs exactly four hex digits");
                    i[0] += 6;
                    return v;
                }
                throw new StampException("unknown escape '\\u' (\\u is only for wide entries)");
            default:
                if (c >= 0x21 && c <= 0x7E) throw new StampException("unknown escape '\\" + c + "'");
                throw new StampException(String.format("unknown escape: backslash followed by byte 0x%02X", (int) c));
        }
    }

    /** One well-formed UTF-8 sequence at i[0] (bytes as chars); -1 when it is not one. */
    private static int decodeUtf8(String s, int[] i) {
        int b0 = s.charAt(i[0]);
        if (b0 < 0x80) {
            i[0]++;
            return b0;
        }
        int extra, cp, min;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            extra = 1; cp = b0 & 0x1F; min = 0x80;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            extra = 2; cp = b0 & 0x0F; min = 0x800;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            extra = 3; cp = b0 & 0x07; min = 0x10000;
        } else {
            return -1;
        }
        if (s.length() - i[0] <= extra) return -1;
        for (int k = 1; k <= extra; k++) {
            int b = s.charAt(i[0] + k);
            if ((b & 0xC0) != 0x80) return -1;
            cp = (cp << 6) | (b & 0x3F);
        }
        // Overlong forms, UTF-16 surrogates and values beyond U+10FFFF are not UTF-8.
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
        i[0] += extra + 1;
        return cp;
    }

    /** The escape of a code below 0x100 that is not written as it stands; false when it needs none. */
    private static boolean appendEscapedLow(StringBuilder out, int c, boolean edge) {
        switch (c) {
            case '\r': out.append("\\r"); return true;
            case '\n': out.append("\\n"); return true;
            case '\t': out.append("\\t"); return true;
            case '\\': out.append("\\\\"); return true;
            default: break;
        }
        if (c == ' ' && edge) {
            out.append("\\x20");
            return true;
        }
        if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
            out.append(String.format("\\x%02X", c));
            return true;
        }
        return false;
    }
}
