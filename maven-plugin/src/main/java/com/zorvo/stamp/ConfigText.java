package com.zorvo.stamp;

import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * The configuration of an application's launcher as the build tool reads
 * it: one {@code name = value} per line (an entry's readable name or id,
 * {@code wide:NAME}, {@code embed}, or a resource directive), checked line
 * by line with the build tool's rules and messages.
 */
final class ConfigText {
    static final String WIDE_PREFIX = "wide:";
    private static final String EMBED = "embed";

    /** One record of the block: narrow bytes, or wide UTF-16 units. */
    static final class Record {
        final int id;
        final String value;
        final ConfigLine line;  // null for a record the tool writes itself
        final boolean named;    // given under its readable name (and so checked)

        Record(int id, String value, ConfigLine line, boolean named) {
            this.id = id;
            this.value = value;
            this.line = line;
            this.named = named;
        }
    }

    /** A file named by an embed line. */
    static final class Embed {
        final Path path;
        final String name;  // the byte string stored in entry 2003
        final ConfigLine line;

        Embed(Path path, String name, ConfigLine line) {
            this.path = path;
            this.name = name;
            this.line = line;
        }
    }

    /** What a configuration sets. */
    static final class AppConfig {
        final List<Record> narrow = new ArrayList<>();
        final List<Record> wide = new ArrayList<>();
        final List<Embed> embeds = new ArrayList<>();
        final ResourceDirectives.Spec resources = new ResourceDirectives.Spec();
        int embedAt;  // entries 2002 and 2003 go before narrow[embedAt]
    }

    private ConfigText() {}

    static AppConfig parse(List<ConfigLine> lines) throws StampException {
        AppConfig out = new AppConfig();
        for (ConfigLine line : lines) {
            String t = trimBlanks(line.text);
            if (t.isEmpty() || t.charAt(0) == '#') continue;
            try {
                parseLine(line, t, out);
            } catch (StampException e) {
                throw e.at(line.where());
            }
        }
        checkEmbedEntries(out);
        checkVersionRange(out);
        checkSplashImage(out);
        return out;
    }

    static String trimBlanks(String s) {
        int b = 0, e = s.length();
        while (b < e && isBlank(s.charAt(b))) b++;
        while (e > b && isBlank(s.charAt(e - 1))) e--;
        return s.substring(b, e);
    }

    /** Entry 2003 as written for these files: each name followed by ";". */
    static String embeddedNamesValue(List<Embed> embeds) {
        StringBuilder names = new StringBuilder();
        for (Embed e : embeds) names.append(e.name).append(';');
        return names.toString();
    }

    /** A byte string of UTF-8 (a path as written) as the text the file system takes. */
    static String decodedPath(String bytes) {
        return new String(Bytes.of(bytes), StandardCharsets.UTF_8);
    }

    private static boolean isBlank(char c) {
        return c == ' ' || c == '\t';
    }

    private static void parseLine(ConfigLine line, String text, AppConfig out) throws StampException {
        int eq = text.indexOf('=');
        if (eq < 0) throw new StampException("expected 'name = value', found no '='");
        String name = trimBlanks(text.substring(0, eq));
        String value = trimBlanks(text.substring(eq + 1));
        if (name.equals(EMBED)) {
            addEmbed(line, value, out);
            return;
        }
        ResourceDirectives.Row row = ResourceDirectives.find(name);
        if (row != null) {
            out.resources.give(row, line, value);
            return;
        }
        boolean wide = name.startsWith(WIDE_PREFIX);
        if (wide) name = name.substring(WIDE_PREFIX.length());
        ConfigEntries.Entry info = resolveName(name, wide);
        int id = info != null ? info.id : Integer.parseInt(name);
        if (wide) {
            String units = ValueText.unescapeWide(value);
            checkLength(units.length(), " UTF-16 code units long");
            out.wide.add(new Record(id, units, line, false));
            return;
        }
        if (info != null && beyondAscii(value)) {
            utf8Message(line, info, value, out);
            return;
        }
        String bytes = ValueText.unescapeNarrow(value);
        checkLength(bytes.length(), " bytes long");
        if (info != null) {
            String problem = EntryRules.valueProblem(info, bytes);
            if (!problem.isEmpty()) throw new StampException(problem);
        }
        out.narrow.add(new Record(id, bytes, line, info != null));
    }

    private static void checkLength(int length, String unit) throws StampException {
        if (length > ValueText.MAX_VALUE_LENGTH) {
            throw new StampException("value is " + length + unit + "; at most " + ValueText.MAX_VALUE_LENGTH + " fit");
        }
    }

    /** The table row of a readable name; null for an id (checked); an error for anything else. */
    private static ConfigEntries.Entry resolveName(String name, boolean wide) throws StampException {
        if (isNumericId(name)) {
            Integer id = numericId(name);
            if (id == null) {
                throw new StampException("entry id " + EntryRules.shown(name) + " is outside the 32-bit range");
            }
            if (ConfigEntries.byId(id) == null) {
                throw new StampException("entry " + id + " is no entry the launcher reads (zorvo-build --reference "
                        + "lists them)");
            }
            return null;
        }
        ConfigEntries.Entry info = name.indexOf('\0') < 0 ? ConfigEntries.byName(name) : null;
        if (info == null) {
            if (name.isEmpty()) {
                throw new StampException(wide ? "missing entry name after 'wide:'" : "missing entry name before '='");
            }
            String nearest = nearestDirective(name);
            throw new StampException("unknown directive " + EntryRules.shown(name)
                    + (nearest.isEmpty() ? "" : "; did you mean '" + nearest + "'?"));
        }
        boolean wideEntry = info.kind == ConfigEntries.Kind.WIDE;
        if (wideEntry && !wide) {
            throw new StampException(EntryRules.shown(name) + " is a wide entry: write it as wide:" + name);
        }
        if (!wideEntry && wide) throw new StampException(EntryRules.shown(name) + " is not a wide entry");
        return info;
    }

    /** The id a name written as a number gives, or null when it is no number or beyond 32 bits. */
    static Integer numericId(String name) {
        if (!isNumericId(name) || !ValueText.isWholeNumber(name)) return null;
        return (int) Long.parseLong(name.startsWith("+") ? name.substring(1) : name);
    }

    /** A decimal number with an optional sign (its range is checked apart). */
    private static boolean isNumericId(String name) {
        int i = name.startsWith("+") || name.startsWith("-") ? 1 : 0;
        if (i == name.length()) return false;
        for (; i < name.length(); i++) {
            if (name.charAt(i) < '0' || name.charAt(i) > '9') return false;
        }
        return true;
    }

    private static boolean beyondAscii(String written) {
        for (int i = 0; i < written.length(); i++) {
            if (written.charAt(i) >= 0x80) return true;
        }
        return false;
    }

    /**
     * A value written with characters beyond ASCII: a message (or the boxes'
     * caption) is written as a wide record too, which the launcher shows as
     * it is on a system of any code page; its narrow record holds '?' for
     * each such character. Every other narrow text is refused.
     */
    private static void utf8Message(ConfigLine line, ConfigEntries.Entry info, String value, AppConfig out)
            throws StampException {
        if (info.kind != ConfigEntries.Kind.MESSAGE && info.id != ConfigEntries.MSG_CAPTION) {
            throw new StampException(info.name + " holds characters beyond ASCII, which a launcher stores in the "
                    + "Windows code page of the user's system: write that code page's bytes as \\xHH (\\xE9 for "
                    + "\u00E9 in Western Europe); only messages may be written in UTF-8");
        }
        String units = ValueText.unescapeWide(value);
        checkLength(units.length(), " UTF-16 code units long");
        StringBuilder stand = new StringBuilder();
        for (int i = 0; i < units.length(); i++) {
            char u = units.charAt(i);
            if (u >= 0xDC00 && u < 0xE000) continue;  // the second half of a pair
            stand.append(u < 0x80 ? u : '?');
        }
        out.narrow.add(new Record(info.id, stand.toString(), line, true));
        out.wide.add(new Record(info.id, units, line, false));
    }

    private static void addEmbed(ConfigLine line, String value, AppConfig out) throws StampException {
        String path = ValueText.unescapeNarrow(value);
        if (path.isEmpty()) throw new StampException("embed needs the path of a file");
        if (path.indexOf('\0') >= 0) throw new StampException("embed path holds a NUL byte");
        String name = fileName(path);
        String problem = embeddedNameProblem(name);
        if (problem != null) throw new StampException("cannot embed " + EntryRules.shown(path) + ": " + problem);
        for (Embed e : out.embeds) {
            if (sameIgnoringAsciiCase(e.name, name)) {
                throw new StampException("embedded file name " + EntryRules.shown(name) + " is already used on "
                        + e.line.reference(line));
            }
        }
        if (out.embeds.isEmpty()) out.embedAt = out.narrow.size();
        out.embeds.add(new Embed(resolve(line, path), name, line));
        // The launcher reads entry 2003 into a text buffer; names cut off there would be lost.
        if (embeddedNamesValue(out.embeds).length() > ValueText.MAX_VALUE_LENGTH) {
            throw new StampException("the names of the embedded files exceed " + ValueText.MAX_VALUE_LENGTH
                    + " bytes in entry 2003");
        }
    }

    /** A path as written, made relative to the line's folder. */
    static Path resolve(ConfigLine line, String pathBytes) {
        Path p = Path.of(decodedPath(pathBytes));
        return line.baseDir != null && !p.isAbsolute() ? line.baseDir.resolve(p) : p;
    }

    /** The last component of a path as written. */
    private static String fileName(String path) {
        int cut = path.lastIndexOf('/');
        if (java.io.File.separatorChar == '\\') cut = Math.max(cut, path.lastIndexOf('\\'));
        return path.substring(cut + 1);
    }

    /** True when two names are the same file on Windows (ASCII letters compare without case). */
    private static boolean sameIgnoringAsciiCase(String a, String b) {
        if (a.length() != b.length()) return false;
        for (int i = 0; i < a.length(); i++) {
            char x = a.charAt(i), y = b.charAt(i);
            if (x >= 'a' && x <= 'z') x -= 32;
            if (y >= 'a' && y <= 'z') y -= 32;
            if (x != y) return false;
        }
        return true;
    }

    /** Why a name cannot be an embedded file's (a plain Windows file name), or null. */
    private static String embeddedNameProblem(String name) {
        if (name.isEmpty()) return "names no file";
        if (name.equals(".") || name.equals("..")) return "names a directory";
        for (int i = 0; i < name.length(); i++) {
            char c = name.charAt(i);
            if (c < 0x20) return "its name holds a control character";
            if (c == ';') return "its name holds ';', the separator of entry 2003";
            if ("/\\:*?\"<>|".indexOf(c) >= 0) return "its name holds a character that Windows does not allow in a file name";
        }
        if (EntryRules.isDeviceName(name)) return "its name is that of a Windows device (CON, NUL, COM1, ...)";
        return null;
    }

    /** Entries 2002 and 2003 come from the embed lines when there are any. */
    private static void checkEmbedEntries(AppConfig cfg) throws StampException {
        if (cfg.embeds.isEmpty()) return;
        for (Record r : cfg.narrow) {
            if (r.id != ConfigEntries.EMBEDDED_FILE_COUNT && r.id != ConfigEntries.EMBEDDED_FILE_NAMES) continue;
            throw new StampException("entry " + r.id + " (" + ConfigEntries.byId(r.id).name + ") is written from the "
                    + "embed lines (" + cfg.embeds.get(0).line.reference(r.line) + "); do not set it as well")
                    .at(r.line.where());
        }
    }

    /** A minimum above the maximum admits no runtime at all: a mistake, refused. */
    private static void checkVersionRange(AppConfig cfg) throws StampException {
        Record minimum = null, maximum = null;
        for (Record r : cfg.narrow) {
            if (r.named && r.id == ConfigEntries.MIN_JAVA_VERSION) minimum = r;
            if (r.named && r.id == ConfigEntries.MAX_JAVA_VERSION) maximum = r;
        }
        if (minimum == null || maximum == null || !EntryRules.isRangeEmpty(minimum.value, maximum.value)) return;
        throw new StampException("min-java-version " + minimum.value + " is above max-java-version " + maximum.value
                + " (" + maximum.line.reference(minimum.line) + "): no runtime would be accepted")
                .at(minimum.line.where());
    }

    /** The generic launcher carries no picture: a splash needs the application's own. */
    private static void checkSplashImage(AppConfig cfg) throws StampException {
        if (cfg.resources.given(ResourceDirectives.SPLASH_IMAGE) != null) return;
        for (Record r : cfg.narrow) {
            if (!r.named || r.id != ConfigEntries.SHOW_SPLASH || r.value.isEmpty() || Long.parseLong(r.value) == 0) {
                continue;
            }
            throw new StampException("show-splash needs the application's own picture: add splash-image = (a PNG or "
                    + "BMP file); the generic launcher carries none").at(r.line.where());
        }
    }

    /** Every name a line may begin with. */
    private static List<String> knownDirectives() {
        List<String> names = new ArrayList<>();
        names.add(EMBED);
        for (ResourceDirectives.Row row : ResourceDirectives.ROWS) names.add(row.name);
        for (ConfigEntries.Entry e : ConfigEntries.all()) names.add(e.name);
        return names;
    }

    /** The known name nearest to a mistyped one, or "". */
    static String nearestDirective(String name) {
        return NearestName.of(name, knownDirectives());
    }
}
