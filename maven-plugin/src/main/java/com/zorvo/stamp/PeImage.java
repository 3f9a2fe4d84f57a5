package com.zorvo.stamp;

import java.util.Arrays;

/**
 * The PE headers of a generic launcher: the layout rule the launcher relies
 * on to find its block (the PE header at offset 128, five sections, the last
 * one ending where the file ends), its resource section, which the resource
 * directives replace, its subsystem and its checksum.
 */
final class PeImage {
    static final int SUBSYSTEM_WINDOWS = 2;
    static final int SUBSYSTEM_CONSOLE = 3;
    static final int PE_HEADER_OFFSET = 128;
    static final int OPTIONAL_HEADER_START = 24;
    static final int CHECKSUM_FIELD = 64;
    static final int SUBSYSTEM_FIELD = 68;
    /** The checksum's file offset in a generic launcher (and in everything stamped from one). */
    static final int CHECKSUM_AT = PE_HEADER_OFFSET + OPTIONAL_HEADER_START + CHECKSUM_FIELD;

    private static final int SECTION_COUNT = 5;
    private static final int SECTION_HEADER_SIZE = 40;
    private static final int RESOURCE_DIRECTORY = 2;
    private static final int CERTIFICATE_DIRECTORY = 4;
    private static final long BLOCK_MAGIC = 0xE8E413D5L;

    /** The 32-bit or the 64-bit generic launcher's layout. */
    private static final class Layout {
        final String name;
        final int machine;
        final int optionalHeaderSize;
        final int dataDirectories;  // from the optional header's start

        Layout(String name, int machine, int optionalHeaderSize, int dataDirectories) {
            this.name = name;
            this.machine = machine;
            this.optionalHeaderSize = optionalHeaderSize;
            this.dataDirectories = dataDirectories;
        }

        int sectionHeaderAt(int index) {
            return PE_HEADER_OFFSET + OPTIONAL_HEADER_START + optionalHeaderSize + index * SECTION_HEADER_SIZE;
        }
    }

    private static final Layout LAYOUT_32 = new Layout("32-bit", 0x014C, 224, 96);
    private static final Layout LAYOUT_64 = new Layout("64-bit", 0x8664, 240, 112);

    private final byte[] image;
    private final Layout layout;

    private PeImage(byte[] image) {
        this.image = image;
        boolean signature = image.length >= PE_HEADER_OFFSET + OPTIONAL_HEADER_START + 2
                && Arrays.equals(image, PE_HEADER_OFFSET, PE_HEADER_OFFSET + 4, new byte[] {'P', 'E', 0, 0}, 0, 4);
        layout = signature && Bytes.get16(image, PE_HEADER_OFFSET + OPTIONAL_HEADER_START) == 0x20B ? LAYOUT_64 : LAYOUT_32;
    }

    /** The image checked to be a generic launcher (its problem as the build tool names it otherwise). */
    static PeImage ofGenericLauncher(byte[] image) throws StampException {
        PeImage pe = new PeImage(image);
        pe.checkGenericLauncher();
        return pe;
    }

    byte[] bytes() {
        return image;
    }

    boolean is64Bit() {
        return layout == LAYOUT_64;
    }

    /** The contents and RVA of the resource section, which is the last one. */
    byte[] resourceSection() throws StampException {
        long rva = sectionField(SECTION_COUNT - 1, 12);
        if (dataDirectory(RESOURCE_DIRECTORY)[0] != rva) {
            throw new StampException("the launcher's last section is not its resource section");
        }
        long size = Math.min(sectionField(SECTION_COUNT - 1, 8), sectionField(SECTION_COUNT - 1, 16));
        long raw = sectionField(SECTION_COUNT - 1, 20);
        if (raw > image.length || size > image.length - raw) {
            throw new StampException("the launcher's resource section lies outside the file");
        }
        return Arrays.copyOfRange(image, (int) raw, (int) (raw + size));
    }

    long resourceSectionRva() {
        return sectionField(SECTION_COUNT - 1, 12);
    }

    /**
     * The image with its last section's contents replaced by `section` (padded
     * to the file alignment), and what depends on it fixed: the section's
     * sizes, SizeOfImage, SizeOfInitializedData, the resource directory.
     */
    PeImage withResourceSection(byte[] section) throws StampException {
        int last = layout.sectionHeaderAt(SECTION_COUNT - 1);
        long raw = sectionField(SECTION_COUNT - 1, 20), oldRawSize = sectionField(SECTION_COUNT - 1, 16);
        if (raw + oldRawSize != image.length) throw new StampException("the launcher does not end with its last section");
        int optional = PE_HEADER_OFFSET + OPTIONAL_HEADER_START;
        long fileAlignment = Bytes.get32(image, optional + 36), sectionAlignment = Bytes.get32(image, optional + 32);
        long rawSize = alignUp(section.length, fileAlignment);
        byte[] out = Arrays.copyOf(image, (int) (raw + rawSize));
        Arrays.fill(out, (int) raw, out.length, (byte) 0);
        System.arraycopy(section, 0, out, (int) raw, section.length);
        Bytes.put32(out, last + 8, section.length);
        Bytes.put32(out, last + 16, rawSize);
        Bytes.put32(out, optional + 8, Bytes.get32(out, optional + 8) - oldRawSize + rawSize);
        Bytes.put32(out, optional + 56, alignUp(sectionField(SECTION_COUNT - 1, 12) + section.length, sectionAlignment));
        Bytes.put32(out, optional + layout.dataDirectories + RESOURCE_DIRECTORY * 8 + 4, section.length);
        PeImage edited = new PeImage(out);
        try {
            edited.checkGenericLauncher();
        } catch (StampException e) {
            throw new StampException("cannot take the application's resources: " + e.getMessage());
        }
        return edited;
    }

    /** Writes the subsystem field (2: a windowed program, 3: a console program). */
    void setSubsystem(int subsystem) {
        Bytes.put16(image, PE_HEADER_OFFSET + OPTIONAL_HEADER_START + SUBSYSTEM_FIELD, subsystem);
    }

    /**
     * The PE checksum of a file, fed in pieces of any length: 16-bit
     * little-endian sums with the carry folded in, the checksum field left
     * out, plus the file's length.
     */
    static final class Checksum {
        private long length;
        private long sum;
        private int low;  // the first byte of a word not yet complete

        void add(byte[] bytes, int offset, int count) {
            for (int i = 0; i < count; i++, length++) {
                int b = bytes[offset + i] & 0xFF;
                if ((length & 1) == 0) {
                    low = b;
                } else {
                    addWord(length - 1, low | b << 8);
                }
            }
        }

        long value() {
            long s = sum;
            if ((length & 1) != 0) {
                s += low;
                s = (s & 0xFFFF) + (s >>> 16);
            }
            s = (s & 0xFFFF) + (s >>> 16);
            return (s + length) & 0xFFFFFFFFL;
        }

        private void addWord(long at, int word) {
            if (at == CHECKSUM_AT || at == CHECKSUM_AT + 2) return;
            sum += word;
            sum = (sum & 0xFFFF) + (sum >>> 16);
        }
    }

    private void checkGenericLauncher() throws StampException {
        if (image.length < layout.sectionHeaderAt(SECTION_COUNT)) throw notGeneric("only " + image.length + " bytes long");
        long peOffset = Bytes.get32(image, 0x3C);
        if (peOffset != PE_HEADER_OFFSET) throw notGeneric("PE header at offset " + peOffset + ", not 128");
        if (!Arrays.equals(image, PE_HEADER_OFFSET, PE_HEADER_OFFSET + 4, new byte[] {'P', 'E', 0, 0}, 0, 4)) {
            throw notGeneric("no PE signature at offset 128");
        }
        if (dataDirectory(CERTIFICATE_DIRECTORY)[1] != 0) {
            throw new StampException("is signed: stamp the unsigned generic launcher, then sign the application's launcher");
        }
        String variant = " of the " + layout.name + " launcher";
        int machine = Bytes.get16(image, PE_HEADER_OFFSET + 4);
        if (machine != layout.machine) throw notGeneric("machine type " + machine + ", not that" + variant);
        int sections = Bytes.get16(image, PE_HEADER_OFFSET + 6);
        if (sections != SECTION_COUNT) throw notGeneric(sections + " section headers, not 5");
        int optionalSize = Bytes.get16(image, PE_HEADER_OFFSET + 20);
        if (optionalSize != layout.optionalHeaderSize) {
            throw notGeneric("optional header of " + optionalSize + " bytes, not the " + layout.optionalHeaderSize + variant);
        }
        long blockOffset = sectionEnd(SECTION_COUNT - 1);
        for (int i = 0; i + 1 < SECTION_COUNT; i++) {
            if (sectionEnd(i) > blockOffset) throw notGeneric("section " + (i + 1) + ", not the fifth, ends last in the file");
        }
        if (blockOffset == image.length) return;
        if (blockOffset > image.length) {
            throw notGeneric("its last section ends at offset " + blockOffset + ", behind the end of the file ("
                    + image.length + " bytes)");
        }
        if (image.length - blockOffset >= 4 && Bytes.get32(image, (int) blockOffset) == BLOCK_MAGIC) {
            throw new StampException("already has a configuration block (at file offset " + blockOffset
                    + "); build from the generic launcher");
        }
        throw notGeneric((image.length - blockOffset) + " bytes follow its last section");
    }

    private static StampException notGeneric(String why) {
        return new StampException("not a generic launcher: " + why);
    }

    private long sectionField(int index, int field) {
        return Bytes.get32(image, layout.sectionHeaderAt(index) + field);
    }

    private long sectionEnd(int index) {
        return sectionField(index, 20) + sectionField(index, 16);
    }

    /** {rva, size} of data directory `index`. */
    private long[] dataDirectory(int index) {
        int at = PE_HEADER_OFFSET + OPTIONAL_HEADER_START + layout.dataDirectories + index * 8;
        return new long[] {Bytes.get32(image, at), Bytes.get32(image, at + 4)};
    }

    private static long alignUp(long n, long alignment) {
        return alignment != 0 ? (n + alignment - 1) / alignment * alignment : n;
    }
}
