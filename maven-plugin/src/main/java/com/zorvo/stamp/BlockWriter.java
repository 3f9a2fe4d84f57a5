package com.zorvo.stamp;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.nio.file.Files;
import java.util.ArrayList;
import java.util.List;

/**
 * What is appended to the generic launcher: the configuration block and the
 * embedded-file stream. Block (all integers 32-bit little-endian signed): the
 * magic, the narrow count, the narrow records (id, byte length, bytes), the
 * wide count, the wide records (id, even byte length, UTF-16LE bytes). The
 * stream follows: per embedded file its length and its bytes, each XOR-ed
 * with the scramble byte.
 */
final class BlockWriter {
    static final long MAGIC = 0xE8E413D5L;
    static final int SCRAMBLE = 0xB6;
    static final long MAX_EMBEDDED_FILE_SIZE = 0x7FFFFFFFL;

    private BlockWriter() {}

    /**
     * The narrow records in block order: those of the configuration, with
     * entries 2002 and 2003 at the place of the first embed line, then every
     * default of the entry table that the configuration does not set.
     */
    static List<ConfigText.Record> narrowRecords(ConfigText.AppConfig cfg) {
        List<ConfigText.Record> records = new ArrayList<>();
        for (int i = 0; i <= cfg.narrow.size(); i++) {
            if (!cfg.embeds.isEmpty() && i == cfg.embedAt) {
                records.add(new ConfigText.Record(ConfigEntries.EMBEDDED_FILE_COUNT,
                        Integer.toString(cfg.embeds.size()), null, false));
                records.add(new ConfigText.Record(ConfigEntries.EMBEDDED_FILE_NAMES,
                        ConfigText.embeddedNamesValue(cfg.embeds), null, false));
            }
            if (i < cfg.narrow.size()) records.add(cfg.narrow.get(i));
        }
        // A console program shows its messages on standard error.
        ResourceDirectives.Given subsystem = cfg.resources.given(ResourceDirectives.SUBSYSTEM);
        boolean console = subsystem != null && subsystem.value.equals("console");
        for (ConfigEntries.Entry entry : ConfigEntries.all()) {
            if (entry.defaultText == null || sets(cfg, entry.id)) continue;
            String value = console && entry.id == ConfigEntries.APP_TYPE ? "0" : Bytes.text(Bytes.utf8(entry.defaultText));
            records.add(new ConfigText.Record(entry.id, value, null, false));
        }
        return records;
    }

    /** The block's bytes for these records. */
    static byte[] encode(List<ConfigText.Record> narrow, List<ConfigText.Record> wide) {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        Bytes.add32(out, MAGIC);
        Bytes.add32(out, narrow.size());
        for (ConfigText.Record r : narrow) record(out, r.id, Bytes.of(r.value));
        Bytes.add32(out, wide.size());
        for (ConfigText.Record r : wide) record(out, r.id, Bytes.utf16le(r.value));
        return out.toByteArray();
    }

    /** Checks each embedded file before anything is written: a readable regular file the stream can describe. */
    static long[] sizesOfEmbeddedFiles(List<ConfigText.Embed> embeds) throws StampException {
        long[] sizes = new long[embeds.size()];
        for (int i = 0; i < embeds.size(); i++) {
            ConfigText.Embed e = embeds.get(i);
            String where = e.line.where() + ": cannot embed '" + e.path + "': ";
            if (!Files.exists(e.path)) throw new StampException(where + "No such file or directory");
            if (!Files.isRegularFile(e.path)) throw new StampException(where + "not a regular file");
            if (!Files.isReadable(e.path)) throw new StampException(where + "cannot open it for reading");
            try {
                sizes[i] = Files.size(e.path);
            } catch (IOException x) {
                throw new StampException(where + x.getMessage());
            }
            if (sizes[i] > MAX_EMBEDDED_FILE_SIZE) {
                throw new StampException(where + sizes[i] + " bytes; at most 2147483647 fit");
            }
        }
        return sizes;
    }

    /** Writes the embedded-file stream, each file read in chunks; fails when a file's size changed meanwhile. */
    static void writeEmbeddedStream(OutputStream out, List<ConfigText.Embed> embeds, long[] sizes)
            throws IOException, StampException {
        byte[] chunk = new byte[64 * 1024];
        for (int i = 0; i < embeds.size(); i++) {
            ByteArrayOutputStream length = new ByteArrayOutputStream();
            Bytes.add32(length, sizes[i]);
            out.write(length.toByteArray());
            long copied = 0;
            try (InputStream in = Files.newInputStream(embeds.get(i).path)) {
                for (int n; (n = in.read(chunk)) > 0; copied += n) {
                    for (int k = 0; k < n; k++) chunk[k] ^= (byte) SCRAMBLE;
                    out.write(chunk, 0, n);
                }
            }
            if (copied != sizes[i]) {
                throw new StampException("embedded file '" + embeds.get(i).path + "' changed while it was read");
            }
        }
    }

    private static boolean sets(ConfigText.AppConfig cfg, int id) {
        for (ConfigText.Record r : cfg.narrow) {
            if (r.id == id) return true;
        }
        return false;
    }

    private static void record(ByteArrayOutputStream out, int id, byte[] bytes) {
        Bytes.add32(out, id);
        Bytes.add32(out, bytes.length);
        out.writeBytes(bytes);
    }
}
