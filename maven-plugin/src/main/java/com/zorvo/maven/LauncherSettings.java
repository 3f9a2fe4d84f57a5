package com.zorvo.maven;

import com.zorvo.stamp.ConfigLine;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.HashSet;
import java.util.List;
import java.util.Set;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * The configuration lines of one launcher, put together from a
 * configuration file, the POM's parameters and the project's defaults. A
 * setting the POM gives replaces the file's lines of that setting (all of
 * them: the POM's embedded files replace the file's); a default is added only
 * where neither sets it.
 */
final class LauncherSettings {
    private final Path baseDir;
    private final List<ConfigLine> pom = new ArrayList<>();
    private final List<ConfigLine> defaults = new ArrayList<>();

    /** `baseDir`: what relative paths of the POM's values are relative to. */
    LauncherSettings(Path baseDir) {
        this.baseDir = baseDir;
    }

    /** One POM parameter that sets `name`; nothing when the POM leaves it out. */
    void set(String parameter, String name, String value) {
        if (value != null) pom.add(ConfigLine.ofParameter(place(parameter), name, value, baseDir));
    }

    /** A list parameter that sets `name` to its items joined by `separator`. */
    void setList(String parameter, String name, List<String> items, String separator) {
        if (items != null && !items.isEmpty()) set(parameter, name, String.join(separator, items));
    }

    /** A list parameter whose every item is one more line of `name` (embedded files). */
    void setEach(String parameter, String name, List<String> items) {
        if (items == null) return;
        for (String item : items) set(parameter, name, item);
    }

    /** Lines written as a configuration file writes them ("name = value"). */
    void setLines(String parameter, List<String> lines) {
        if (lines == null) return;
        for (String line : lines) pom.add(ConfigLine.ofWrittenParameter(place(parameter), line.trim(), baseDir));
    }

    /** A value the project suggests, used where nothing sets `name`. */
    void byDefault(String name, String value, String from) {
        if (value != null && !value.isEmpty()) defaults.add(ConfigLine.ofParameter("the project's " + name + " (" + from + ")", name, value, baseDir));
    }

    private static String place(String parameter) {
        return "POM parameter <" + parameter + ">";
    }

    /** The lines to stamp: the file's not set by the POM, the POM's, then the defaults nothing set. */
    List<ConfigLine> merge(List<ConfigLine> fileLines) {
        Set<String> fromPom = keys(pom);
        List<ConfigLine> out = new ArrayList<>();
        for (ConfigLine line : fileLines) {
            if (!fromPom.contains(line.settingKey())) out.add(line);
        }
        out.addAll(pom);
        Set<String> given = keys(out);
        for (ConfigLine line : defaults) {
            if (!given.contains(line.settingKey())) out.add(line);
        }
        return out;
    }

    /** True when one of the lines sets the entry `name` (under its name or its id). */
    static boolean sets(List<ConfigLine> lines, String name) {
        return keys(lines).contains(ConfigLine.keyOf(name));
    }

    private static Set<String> keys(List<ConfigLine> lines) {
        Set<String> keys = new HashSet<>();
        for (ConfigLine line : lines) keys.add(line.settingKey());
        keys.remove("");
        return keys;
    }

    private static final Pattern LEADING_NUMBERS = Pattern.compile("^[0-9]+(\\.[0-9]+){0,3}");

    /**
     * A Maven version as a Windows file version: its leading numbers, at most
     * four, with zeros for the missing ones ("1.4.0-SNAPSHOT" is 1.4.0.0);
     * null when it does not start with a number or a number exceeds 65535.
     */
    static String fileVersionOf(String mavenVersion) {
        if (mavenVersion == null) return null;
        Matcher m = LEADING_NUMBERS.matcher(mavenVersion);
        if (!m.find()) return null;
        String[] parts = m.group().split("\\.");
        StringBuilder out = new StringBuilder();
        for (int i = 0; i < 4; i++) {
            String part = i < parts.length ? parts[i] : "0";
            if (part.length() > 9 || Integer.parseInt(part) > 65535) return null;
            if (i > 0) out.append('.');
            out.append(Integer.parseInt(part));
        }
        return out.toString();
    }
}
