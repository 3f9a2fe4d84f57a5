package com.zorvo.stamp;

import java.nio.charset.StandardCharsets;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * One line of an application's configuration, in the build tool's format
 * ({@code name = value}), with where it came from: a line of a
 * configuration file, or a POM parameter turned into a line. Its text is a
 * byte string of UTF-8, as the file holds it; paths in it are relative to
 * {@code baseDir}.
 */
public final class ConfigLine {
    final String file;       // the configuration file as named in messages; null for a POM parameter
    final int number;        // its line number in the file
    final String parameter;  // where a line not read from a file comes from ("POM parameter <mainClass>"), or null
    final String text;
    final Path baseDir;

    private ConfigLine(String file, int number, String parameter, String text, Path baseDir) {
        this.file = file;
        this.number = number;
        this.parameter = parameter;
        this.text = text;
        this.baseDir = baseDir;
    }

    /** The lines of a configuration file's bytes (a byte order mark at its start left out). */
    public static List<ConfigLine> ofFile(String displayName, byte[] content, Path baseDir) {
        String text = Bytes.text(content);
        int pos = text.startsWith("\u00EF\u00BB\u00BF") ? 3 : 0;
        List<ConfigLine> lines = new ArrayList<>();
        for (int line = 1; pos < text.length(); line++) {
            int end = text.indexOf('\n', pos);
            if (end < 0) end = text.length();
            String raw = text.substring(pos, end);
            pos = end + 1;
            if (raw.endsWith("\r")) raw = raw.substring(0, raw.length() - 1);
            lines.add(new ConfigLine(displayName, line, null, raw, baseDir));
        }
        return lines;
    }

    /**
     * A line made from a POM parameter (`place` names it in messages:
     * "POM parameter &lt;mainClass&gt;"): {@code name = value}, the value (any
     * text) written as the file would hold it, escapes included.
     */
    public static ConfigLine ofParameter(String parameter, String name, String value, Path baseDir) {
        return new ConfigLine(null, 0, parameter, name + " = " + ValueText.writtenForm(value), baseDir);
    }

    /** A line of the file format given as a POM parameter ("name = value", escapes as in the file). */
    public static ConfigLine ofWrittenParameter(String parameter, String line, Path baseDir) {
        return new ConfigLine(null, 0, parameter, Bytes.text(line.getBytes(StandardCharsets.UTF_8)), baseDir);
    }

    /** The name the line sets (the text in front of '=', without blanks); "" for a blank or comment line. */
    public String name() {
        String t = ConfigText.trimBlanks(text);
        int eq = t.indexOf('=');
        return t.isEmpty() || t.startsWith("#") || eq < 0 ? "" : ConfigText.trimBlanks(t.substring(0, eq));
    }

    /**
     * What the line sets, the same whether an entry is named or given by its
     * id: "entry 121", "wide entry 1001", a directive's name, or "embed"; ""
     * for a blank or comment line. A name that is nothing of these is its own
     * key (the stamping then refuses it).
     */
    public String settingKey() {
        return keyOf(name());
    }

    /** The setting key of a name as a line begins with it (see settingKey). */
    public static String keyOf(String name) {
        boolean wide = name.startsWith(ConfigText.WIDE_PREFIX);
        String bare = wide ? name.substring(ConfigText.WIDE_PREFIX.length()) : name;
        ConfigEntries.Entry entry = ConfigEntries.byName(bare);
        Integer id = ConfigText.numericId(bare);
        if (entry == null && id != null) entry = ConfigEntries.byId(id);
        if (entry == null) return name;
        return (wide ? "wide entry " : "entry ") + entry.id;
    }

    /** Where the line is, as an error names it: "app.conf:12", "POM parameter <mainClass>". */
    String where() {
        return parameter != null ? parameter : file + ":" + number;
    }

    /** How another line's message refers to this one: "line 12", or where it is when that is elsewhere. */
    String reference(ConfigLine from) {
        return parameter == null && from.parameter == null && file.equals(from.file) ? "line " + number : where();
    }
}
