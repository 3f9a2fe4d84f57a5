package com.zorvo.stamp;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashMap;
import java.util.List;
import java.util.Map;

/**
 * The build tool's resource directives: what changes the application's face
 * in its launcher's resources (icon, splash image, version information,
 * manifest settings) and the image's subsystem. One row each, in the order
 * the build tool applies them.
 */
final class ResourceDirectives {
    enum Kind { PATH, CHOICE, VERSION_NUMBER, VERSION_TEXT }

    /** One directive. */
    static final class Row {
        final String name;
        final Kind kind;
        final List<String> choices;  // CHOICE: the accepted values
        final VersionResource.Field field;  // VERSION_*: the field it sets
        final String help;

        Row(String name, Kind kind, List<String> choices, VersionResource.Field field, String help) {
            this.name = name;
            this.kind = kind;
            this.choices = choices;
            this.field = field;
            this.help = help;
        }
    }

    static final String ICON = "icon";
    static final String SPLASH_IMAGE = "splash-image";
    static final String EXECUTION_LEVEL = "execution-level";
    static final String DPI_AWARE = "dpi-aware";
    static final String SUBSYSTEM = "subsystem";

    static final List<Row> ROWS = List.of(
            new Row(ICON, Kind.PATH, null, null, "an .ico file: the executable's icon"),
            new Row(SPLASH_IMAGE, Kind.PATH, null, null, "a PNG or BMP (at most 4096 x 4096): the splash picture"),
            version("file-version", Kind.VERSION_NUMBER, VersionResource.Field.FILE_VERSION, "1 to 4 numbers, e.g. 2.4.1.0"),
            version("product-version", Kind.VERSION_NUMBER, VersionResource.Field.PRODUCT_VERSION,
                    "the same; default: file-version"),
            version("product-name", Kind.VERSION_TEXT, VersionResource.Field.PRODUCT_NAME, "text"),
            version("company-name", Kind.VERSION_TEXT, VersionResource.Field.COMPANY_NAME, "text"),
            version("file-description", Kind.VERSION_TEXT, VersionResource.Field.FILE_DESCRIPTION, "text"),
            version("copyright", Kind.VERSION_TEXT, VersionResource.Field.COPYRIGHT, "text"),
            version("original-filename", Kind.VERSION_TEXT, VersionResource.Field.ORIGINAL_FILENAME,
                    "text; default: the output's name"),
            version("internal-name", Kind.VERSION_TEXT, VersionResource.Field.INTERNAL_NAME, "text"),
            version("comments", Kind.VERSION_TEXT, VersionResource.Field.COMMENTS, "text"),
            new Row(EXECUTION_LEVEL, Kind.CHOICE, List.of("asInvoker", "highestAvailable", "requireAdministrator"), null,
                    "what the manifest asks for"),
            new Row(DPI_AWARE, Kind.CHOICE, List.of("unaware", "system", "per-monitor"), null,
                    "the manifest's DPI awareness"),
            new Row(SUBSYSTEM, Kind.CHOICE, List.of("windows", "console"), null,
                    "console: a command-line tool that the console waits for"));

    /** What a configuration gave for one directive. */
    static final class Given {
        final ConfigLine line;
        Path path;        // PATH
        String value;     // CHOICE
        String units;     // VERSION_*

        Given(ConfigLine line) {
            this.line = line;
        }
    }

    /** The directives one configuration gave. */
    static final class Spec {
        private final Map<String, Given> given = new HashMap<>();

        boolean any() {
            return !given.isEmpty();
        }

        Given given(String name) {
            return given.get(name);
        }

        /** Takes one line of a directive: each may be given once, and its value must suit it. */
        void give(Row row, ConfigLine line, String value) throws StampException {
            Given first = given.get(row.name);
            if (first != null) {
                throw new StampException(row.name + " is given on " + first.line.reference(line) + " already");
            }
            Given g = new Given(line);
            switch (row.kind) {
                case PATH: {
                    String path = ValueText.unescapeNarrow(value);
                    if (path.isEmpty() || path.indexOf('\0') >= 0) {
                        throw new StampException(row.name + " needs the path of a file");
                    }
                    g.path = ConfigText.resolve(line, path);
                    break;
                }
                case CHOICE:
                    if (!row.choices.contains(value)) {
                        throw new StampException(row.name + " is one of " + String.join(", ", row.choices) + ", not "
                                + EntryRules.shown(value));
                    }
                    g.value = value;
                    break;
                default: {
                    g.units = ValueText.unescapeWide(value);
                    if (g.units.isEmpty()) throw new StampException(row.name + " needs a value");
                    if (g.units.length() > VersionResource.MAX_FIELD_UNITS) {
                        throw new StampException(row.name + " is " + g.units.length() + " UTF-16 code units long; at "
                                + "most " + VersionResource.MAX_FIELD_UNITS + " fit");
                    }
                    if (row.kind == Kind.VERSION_NUMBER && VersionResource.parseVersionNumber(g.units) == null) {
                        throw new StampException(row.name + " needs one to four numbers from 0 to 65535 separated by "
                                + "dots, not " + EntryRules.shown(value));
                    }
                }
            }
            given.put(row.name, g);
        }
    }

    /** What applying the directives changes besides the resource tree. */
    static final class Edit {
        final List<PeResources.Entry> entries;
        final String[] version = new String[VersionResource.Field.values().length];
        int splashWidth, splashHeight;
        int subsystem;  // 0 keeps the image's

        Edit(List<PeResources.Entry> entries) {
            this.entries = entries;
        }
    }

    private ResourceDirectives() {}

    static Row find(String name) {
        for (Row row : ROWS) {
            if (row.name.equals(name)) return row;
        }
        return null;
    }

    /** Applies every given directive in table order, then writes the version information they filled. */
    static void apply(Spec spec, String outputName, Edit edit) throws StampException {
        for (Row row : ROWS) {
            Given g = spec.given(row.name);
            if (g == null) continue;
            try {
                applyOne(row, g, edit);
            } catch (StampException e) {
                throw e.at(g.line.where());
            }
        }
        boolean anyVersion = false;
        for (String v : edit.version) anyVersion |= v != null;
        if (!anyVersion) return;
        String[] info = edit.version.clone();
        int original = VersionResource.Field.ORIGINAL_FILENAME.ordinal();
        if (info[original] == null) info[original] = outputName;
        PeResources.removeAll(edit.entries, PeResources.Id.number(PeResources.VERSION), null);
        edit.entries.add(new PeResources.Entry(PeResources.Id.number(PeResources.VERSION), PeResources.Id.number(1),
                0x0409, 0, VersionResource.build(info)));
    }

    private static void applyOne(Row row, Given g, Edit edit) throws StampException {
        switch (row.name) {
            case ICON:
                try {
                    Icons.replaceIcon(edit.entries, Icons.parseIconFile(read(g.path, Icons.MAX_FILE_SIZE)));
                } catch (StampException e) {
                    throw new StampException("cannot use icon '" + g.path + "': " + e.getMessage());
                }
                return;
            case SPLASH_IMAGE: {
                SplashImage.Dib dib;
                try {
                    dib = SplashImage.bitmapOfImage(read(g.path, SplashImage.MAX_FILE_SIZE));
                } catch (StampException e) {
                    throw new StampException("cannot use splash image '" + g.path + "': " + e.getMessage());
                }
                PeResources.Entry old = PeResources.find(edit.entries, PeResources.Id.number(PeResources.BITMAP),
                        PeResources.Id.number(SplashImage.BITMAP_ID));
                edit.entries.add(new PeResources.Entry(PeResources.Id.number(PeResources.BITMAP),
                        PeResources.Id.number(SplashImage.BITMAP_ID), old != null ? old.language : 0x0409, 0, dib.bytes));
                edit.splashWidth = dib.width;
                edit.splashHeight = dib.height;
                return;
            }
            case EXECUTION_LEVEL:
            case DPI_AWARE:
                Manifest.apply(edit.entries, row.name.equals(EXECUTION_LEVEL) ? g.value : "",
                        row.name.equals(DPI_AWARE) ? g.value : "");
                return;
            case SUBSYSTEM:
                edit.subsystem = g.value.equals("console") ? PeImage.SUBSYSTEM_CONSOLE : PeImage.SUBSYSTEM_WINDOWS;
                return;
            default:
                edit.version[row.field.ordinal()] = g.units;
        }
    }

    /** A file a directive names, read whole. */
    static byte[] read(Path path, long maxSize) throws StampException {
        if (Files.isDirectory(path)) throw new StampException("cannot open: it is a directory");
        try {
            if (Files.size(path) > maxSize) throw new StampException("larger than " + maxSize + " bytes");
            return Files.readAllBytes(path);
        } catch (java.nio.file.NoSuchFileException e) {
            throw new StampException("cannot open: No such file or directory");
        } catch (IOException e) {
            throw new StampException("cannot open: " + e.getMessage());
        }
    }

    private static Row version(String name, Kind kind, VersionResource.Field field, String help) {
        return new Row(name, kind, null, field, help);
    }

    /** The rows as the entry reference lists them (one Markdown table row each). */
    static List<String> referenceRows() {
        List<String> rows = new ArrayList<>();
        for (Row row : ROWS) {
            String value = row.choices == null ? row.help
                    : "one of `" + String.join("`, `", row.choices) + "`: " + row.help;
            rows.add("| `" + row.name + "` | " + value.replace("|", "\\|") + " |");
        }
        return rows;
    }
}
