package com.zorvo.stamp;

import java.io.ByteArrayOutputStream;

/**
 * The VS_VERSIONINFO resource: the fixed file info (file and product
 * version, the latter defaulting to the former), a string table for language
 * 0x0409 with code page 1200 holding the given fields, and the translation table.
 */
final class VersionResource {
    /** The string fields, in the resource's order, with the key each is written under. */
    enum Field {
        FILE_VERSION("FileVersion"),
        PRODUCT_VERSION("ProductVersion"),
        PRODUCT_NAME("ProductName"),
        COMPANY_NAME("CompanyName"),
        FILE_DESCRIPTION("FileDescription"),
        COPYRIGHT("LegalCopyright"),
        ORIGINAL_FILENAME("OriginalFilename"),
        INTERNAL_NAME("InternalName"),
        COMMENTS("Comments");

        final String key;

        Field(String key) {
            this.key = key;
        }
    }

    static final int MAX_FIELD_UNITS = 1024;
    private static final int FIXED_INFO_SIZE = 52;

    private VersionResource() {}

    /** "1.2.3.4": one to four numbers 0 to 65535, as the two halves {high, low}; null for anything else. */
    static long[] parseVersionNumber(String text) {
        long[] parts = new long[4];
        int count = 0, digits = 0;
        long value = 0;
        for (int i = 0; i <= text.length(); i++) {
            if (i < text.length() && text.charAt(i) >= '0' && text.charAt(i) <= '9') {
                value = value * 10 + (text.charAt(i) - '0');
                if (++digits > 5 || value > 0xFFFF) return null;
                continue;
            }
            if (digits == 0 || count == 4 || (i < text.length() && text.charAt(i) != '.')) return null;
            parts[count++] = value;
            value = 0;
            digits = 0;
        }
        return new long[] {parts[0] << 16 | parts[1], parts[2] << 16 | parts[3]};
    }

    /** The resource of these fields (null: not given), indexed by Field. */
    static byte[] build(String[] info) {
        ByteArrayOutputStream strings = new ByteArrayOutputStream();
        for (Field f : Field.values()) {
            String v = info[f.ordinal()];
            if (v == null || v.isEmpty()) continue;
            strings.writeBytes(block(f.key, 1, text(v), v.length() + 1, new byte[0]));
            Bytes.pad32(strings);
        }
        byte[] table = block("040904B0", 1, new byte[0], 0, strings.toByteArray());
        ByteArrayOutputStream stringInfo = new ByteArrayOutputStream();
        stringInfo.writeBytes(block("StringFileInfo", 1, new byte[0], 0, table));
        Bytes.pad32(stringInfo);
        ByteArrayOutputStream translation = new ByteArrayOutputStream();
        Bytes.add32(translation, 0x04B00409L);
        byte[] var = block("Translation", 0, translation.toByteArray(), 4, new byte[0]);
        byte[] varInfo = block("VarFileInfo", 1, new byte[0], 0, var);
        stringInfo.writeBytes(varInfo);
        return block("VS_VERSION_INFO", 0, fixedInfo(info), FIXED_INFO_SIZE, stringInfo.toByteArray());
    }

    private static byte[] text(String units) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        out.writeBytes(Bytes.utf16le(units));
        Bytes.add16(out, 0);
        return out.toByteArray();
    }

    /** One block: length, value length, type, key, padding, value, padding, children. */
    private static byte[] block(String key, int type, byte[] value, int valueLength, byte[] children) {
        ByteArrayOutputStream b = new ByteArrayOutputStream();
        b.writeBytes(new byte[6]);
        b.writeBytes(text(key));
        Bytes.pad32(b);
        b.writeBytes(value);
        Bytes.pad32(b);
        b.writeBytes(children);
        byte[] out = b.toByteArray();
        Bytes.put16(out, 0, out.length & 0xFFFF);
        Bytes.put16(out, 2, valueLength & 0xFFFF);
        out[4] = (byte) type;
        return out;
    }

    private static byte[] fixedInfo(String[] info) {
        long[] file = parseVersionNumber(orEmpty(info[Field.FILE_VERSION.ordinal()]));
        long[] product = parseVersionNumber(orEmpty(info[Field.PRODUCT_VERSION.ordinal()]));
        if (file == null) file = new long[2];
        if (product == null) product = file;
        ByteArrayOutputStream f = new ByteArrayOutputStream();
        for (long v : new long[] {0xFEEF04BDL, 0x00010000L, file[0], file[1], product[0], product[1], 0x3F, 0, 0x40004, 1,
                0, 0, 0}) {
            Bytes.add32(f, v);
        }
        return f.toByteArray();
    }

    private static String orEmpty(String s) {
        return s == null ? "" : s;
    }
}
