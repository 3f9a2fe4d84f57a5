package com.zorvo.stamp;

import java.io.ByteArrayOutputStream;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;

/** Icons: .ico files and the launcher's icon group (the one Explorer and the window class show). */
final class Icons {
    static final long MAX_FILE_SIZE = 16L * 1024 * 1024;
    static final int MAX_IMAGES = 64;
    private static final String GROUP_NAME = "ID_SPLASH_ICON";
    private static final int ICO_HEADER = 6, ICO_ENTRY = 16;

    /** One image of an .ico file: its directory fields and its data (a DIB or a PNG). */
    static final class Image {
        final byte[] fields;  // width, height, colors, reserved, planes, bit count: 8 bytes
        final byte[] data;

        Image(byte[] fields, byte[] data) {
            this.fields = fields;
            this.data = data;
        }
    }

    private Icons() {}

    /** Reads an .ico file: the header (reserved 0, type 1, 1 to 64 images), the entries, each image inside the file. */
    static List<Image> parseIconFile(byte[] ico) throws StampException {
        if (ico.length < ICO_HEADER || Bytes.get16(ico, 0) != 0 || Bytes.get16(ico, 2) != 1) {
            throw new StampException("not an icon file (no icon directory at its start)");
        }
        int count = Bytes.get16(ico, 4);
        if (count == 0 || count > MAX_IMAGES) {
            throw new StampException("an icon file with " + count + " images (1 to " + MAX_IMAGES + " are taken)");
        }
        if (ico.length < ICO_HEADER + count * ICO_ENTRY) {
            throw new StampException("the icon directory runs past the end of the file");
        }
        long[][] spans = new long[count][];
        for (int i = 0; i < count; i++) {
            int at = ICO_HEADER + i * ICO_ENTRY;
            long size = Bytes.get32(ico, at + 8), offset = Bytes.get32(ico, at + 12);
            if (size == 0 || offset > ico.length || size > ico.length - offset) {
                throw new StampException("image " + (i + 1) + " of the icon lies outside the file");
            }
            spans[i] = new long[] {offset, size};
        }
        // Images share no bytes in a sound file; overlapping ones would multiply the memory a crafted file takes.
        long[][] sorted = spans.clone();
        Arrays.sort(sorted, (a, b) -> a[0] != b[0] ? Long.compare(a[0], b[0]) : Long.compare(a[1], b[1]));
        for (int i = 1; i < sorted.length; i++) {
            if (sorted[i][0] < sorted[i - 1][0] + sorted[i - 1][1]) throw new StampException("the images of the icon overlap");
        }
        List<Image> images = new ArrayList<>();
        for (int i = 0; i < count; i++) {
            int at = ICO_HEADER + i * ICO_ENTRY;
            images.add(new Image(Arrays.copyOfRange(ico, at, at + 8),
                    Arrays.copyOfRange(ico, (int) spans[i][0], (int) (spans[i][0] + spans[i][1]))));
        }
        return images;
    }

    /** The icon group and its images replaced by `images`; every other icon resource removed. */
    static void replaceIcon(List<PeResources.Entry> entries, List<Image> images) {
        PeResources.Id groupType = PeResources.Id.number(PeResources.GROUP_ICON);
        PeResources.Entry old = PeResources.find(entries, groupType, PeResources.Id.named(GROUP_NAME));
        int language = old != null ? old.language : 0x0409;
        PeResources.removeAll(entries, groupType, null);
        PeResources.removeAll(entries, PeResources.Id.number(PeResources.ICON), null);
        ByteArrayOutputStream group = new ByteArrayOutputStream();
        Bytes.add16(group, 0);
        Bytes.add16(group, 1);
        Bytes.add16(group, images.size());
        for (int i = 0; i < images.size(); i++) {
            Image image = images.get(i);
            group.writeBytes(image.fields);
            Bytes.add32(group, image.data.length);
            Bytes.add16(group, i + 1);
            entries.add(new PeResources.Entry(PeResources.Id.number(PeResources.ICON), PeResources.Id.number(i + 1),
                    language, 0, image.data));
        }
        entries.add(new PeResources.Entry(groupType, PeResources.Id.named(GROUP_NAME), language, 0, group.toByteArray()));
    }
}
