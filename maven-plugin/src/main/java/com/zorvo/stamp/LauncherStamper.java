package com.zorvo.stamp;

import java.io.BufferedOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.RandomAccessFile;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.StandardCopyOption;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.List;

/**
 * Turns a copy of a generic launcher into an application's launcher, as
 * zorvo-build does and byte for byte the same: everything is read and
 * checked first; then the launcher (with the application's resources), the
 * block and the embedded files are written to a new file beside the output,
 * its PE checksum is written over the whole, and it is renamed into place.
 * On failure nothing is left at the output or beside it.
 */
public final class LauncherStamper {
    /** The generic launchers this jar carries. */
    public enum Arch {
        X64("win64"), X86("win32");

        final String folder;

        Arch(String folder) {
            this.folder = folder;
        }

        /** The generic launcher's bytes. */
        public byte[] genericLauncher() throws IOException {
            return carried(folder + "/launcher.exe");
        }
    }

    /** The Java side of every launcher, which this jar carries beside the generic launchers. */
    public static final String RUNTIME_JAR = "zorvo-runtime.jar";

    private LauncherStamper() {}

    /** A file this jar carries (a generic launcher, the runtime jar), by its name beside this class. */
    public static byte[] carried(String name) throws IOException {
        try (InputStream in = LauncherStamper.class.getResourceAsStream(name)) {
            if (in == null) throw new IOException("the plugin carries no " + name);
            return in.readAllBytes();
        }
    }

    /**
     * Stamps `launcher` (named `launcherName` in messages) with the
     * configuration `lines` into `out`.
     */
    public static void stamp(byte[] launcher, String launcherName, List<ConfigLine> lines, Path out)
            throws StampException {
        ConfigText.AppConfig cfg = ConfigText.parse(lines);
        long[] sizes = BlockWriter.sizesOfEmbeddedFiles(cfg.embeds);
        PeImage image;
        try {
            image = PeImage.ofGenericLauncher(launcher.clone());
        } catch (StampException e) {
            throw e.at(launcherName);
        }
        if (cfg.resources.any()) image = withResources(image, launcherName, cfg, out.getFileName().toString());
        if (Files.isDirectory(out)) throw new StampException(out + ": is a directory");
        write(image, cfg, sizes, out);
    }

    /** The launcher with the application's resources: the directives applied to its resource tree, laid out again. */
    private static PeImage withResources(PeImage image, String launcherName, ConfigText.AppConfig cfg, String outputName)
            throws StampException {
        List<PeResources.Entry> entries;
        long rva = image.resourceSectionRva();
        try {
            entries = PeResources.parse(image.resourceSection(), rva);
        } catch (StampException e) {
            throw e.at(launcherName);
        }
        ResourceDirectives.Edit edit = new ResourceDirectives.Edit(entries);
        ResourceDirectives.apply(cfg.resources, outputName, edit);
        // The splash window takes the image's size unless the configuration sets it.
        if (edit.splashWidth != 0 && !sets(cfg, ConfigEntries.SPLASH_WIDTH)) {
            cfg.narrow.add(new ConfigText.Record(ConfigEntries.SPLASH_WIDTH, Integer.toString(edit.splashWidth), null, false));
        }
        if (edit.splashHeight != 0 && !sets(cfg, ConfigEntries.SPLASH_HEIGHT)) {
            cfg.narrow.add(new ConfigText.Record(ConfigEntries.SPLASH_HEIGHT, Integer.toString(edit.splashHeight), null,
                    false));
        }
        if (edit.subsystem != 0) image.setSubsystem(edit.subsystem);
        try {
            return image.withResourceSection(PeResources.build(entries, rva));
        } catch (StampException e) {
            throw e.at(launcherName);
        }
    }

    private static boolean sets(ConfigText.AppConfig cfg, int id) {
        for (ConfigText.Record r : cfg.narrow) {
            if (r.id == id) return true;
        }
        return false;
    }

    private static void write(PeImage image, ConfigText.AppConfig cfg, long[] sizes, Path out) throws StampException {
        Path folder = out.toAbsolutePath().getParent();
        try {
            Files.createDirectories(folder);
        } catch (IOException e) {
            throw new StampException(out + ": cannot create its folder " + folder + ": " + e.getMessage());
        }
        Path temp;
        try {
            temp = Files.createTempFile(folder, out.getFileName().toString() + ".zorvo-tmp-", "");
        } catch (IOException e) {
            throw new StampException(out + ": cannot create a file beside it: " + e.getMessage());
        }
        boolean done = false;
        try {
            PeImage.Checksum checksum = new PeImage.Checksum();
            try (OutputStream file = new ChecksummedStream(new BufferedOutputStream(Files.newOutputStream(temp)), checksum)) {
                file.write(image.bytes());
                file.write(BlockWriter.encode(BlockWriter.narrowRecords(cfg), cfg.wide));
                BlockWriter.writeEmbeddedStream(file, cfg.embeds, sizes);
            }
            try (RandomAccessFile file = new RandomAccessFile(temp.toFile(), "rw")) {
                byte[] field = new byte[4];
                Bytes.put32(field, 0, checksum.value());
                file.seek(PeImage.CHECKSUM_AT);
                file.write(field);
            }
            // A temporary file is private to its owner; a launcher is a program anyone may run.
            if (Files.getFileStore(temp).supportsFileAttributeView("posix")) {
                Files.setPosixFilePermissions(temp, PosixFilePermissions.fromString("rwxr-xr-x"));
            }
            Files.move(temp, out, StandardCopyOption.REPLACE_EXISTING);
            done = true;
        } catch (IOException e) {
            throw new StampException(out + ": cannot write the output: " + e.getMessage());
        } finally {
            if (!done) {
                try {
                    Files.deleteIfExists(temp);
                } catch (IOException ignored) {
                    // the temporary file stays; the output was not touched
                }
            }
        }
    }

    /** Feeds everything written to the PE checksum. */
    private static final class ChecksummedStream extends OutputStream {
        private final OutputStream out;
        private final PeImage.Checksum checksum;

        ChecksummedStream(OutputStream out, PeImage.Checksum checksum) {
            this.out = out;
            this.checksum = checksum;
        }

        @Override
        public void write(int b) throws IOException {
            write(new byte[] {(byte) b}, 0, 1);
        }

        @Override
        public void write(byte[] b, int off, int len) throws IOException {
            checksum.add(b, off, len);
            out.write(b, off, len);
        }

        @Override
        public void close() throws IOException {
            out.close();
        }
    }
}
