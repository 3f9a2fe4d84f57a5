package com.zorvo.stamp;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.Collections;
import java.util.List;

/**
 * The table of every configuration entry, read from the file the launcher and
 * the build tool are compiled from ({@code config_entries.def}, carried in
 * this jar), so that the three never disagree. Each row is a macro call:
 * {@code CONFIG_ENTRY(id, constant, name, kind, meaning, missing)}, with a
 * default text behind it for {@code DEFAULT_ENTRY} and a placeholder and a
 * default text for {@code MESSAGE_ENTRY}.
 */
public final class ConfigEntries {
    public enum Kind { INT, TEXT, LIST, COLOR, MESSAGE, WIDE }

    /** One row of the table. */
    public static final class Entry {
        public final int id;
        public final String constant;
        public final String name;
        public final Kind kind;
        public final String meaning;
        public final String missing;
        public final String placeholder;   // "" for none
        public final String defaultText;   // null when the build tool writes none

        Entry(int id, String constant, String name, Kind kind, String meaning, String missing, String placeholder,
              String defaultText) {
            this.id = id;
            this.constant = constant;
            this.name = name;
            this.kind = kind;
            this.meaning = meaning;
            this.missing = missing;
            this.placeholder = placeholder;
            this.defaultText = defaultText;
        }
    }

    static final String RESOURCE = "config_entries.def";
    private static final List<Entry> ENTRIES = load();

    public static final int APP_TYPE = idOf("app-type");
    public static final int SHOW_SPLASH = idOf("show-splash");
    public static final int CLASS_PATH = idOf("class-path");
    public static final int MAIN_CLASS = idOf("main-class");
    public static final int VM_OPTIONS = idOf("vm-options");
    public static final int APP_ARGUMENTS = idOf("app-arguments");
    public static final int MIN_JAVA_VERSION = idOf("min-java-version");
    public static final int MAX_JAVA_VERSION = idOf("max-java-version");
    public static final int JVM_SEARCH_SEQUENCE = idOf("jvm-search-sequence");
    public static final int DOWNLOAD_URL = idOf("download-url");
    public static final int SPLASH_WIDTH = idOf("splash-width");
    public static final int SPLASH_HEIGHT = idOf("splash-height");
    public static final int MSG_CAPTION = idOf("msg-caption");
    public static final int PRODUCT_FLAVOUR = idOf("product-flavour");
    public static final int EMBEDDED_FILE_COUNT = idOf("embedded-file-count");
    public static final int EMBEDDED_FILE_NAMES = idOf("embedded-file-names");
    public static final int SPLASH_STATUS_FONT = idOf("splash-status-font");
    public static final int SPLASH_FIXED_FONT = idOf("splash-fixed-font");

    private ConfigEntries() {}

    public static List<Entry> all() {
        return ENTRIES;
    }

    /** The row of an id, or null. */
    public static Entry byId(int id) {
        for (Entry e : ENTRIES) {
            if (e.id == id) return e;
        }
        return null;
    }

    /** The row of a readable name, or null. */
    public static Entry byName(String name) {
        for (Entry e : ENTRIES) {
            if (e.name.equals(name)) return e;
        }
        return null;
    }

    private static int idOf(String name) {
        Entry e = byName(name);
        if (e == null) throw new IllegalStateException(RESOURCE + " has no entry " + name);
        return e.id;
    }

    private static List<Entry> load() {
        try (InputStream in = ConfigEntries.class.getResourceAsStream(RESOURCE)) {
            if (in == null) throw new IllegalStateException(RESOURCE + " is missing from the plugin");
            return Collections.unmodifiableList(parse(new String(in.readAllBytes(), StandardCharsets.UTF_8)));
        } catch (IOException e) {
            throw new IllegalStateException("cannot read " + RESOURCE, e);
        }
    }

    /** The rows of the table's text, in its order. */
    static List<Entry> parse(String text) {
        List<Entry> rows = new ArrayList<>();
        Tokens t = new Tokens(text);
        for (String word; (word = t.nextWord()) != null; ) {
            int extra = word.equals("CONFIG_ENTRY") ? 0 : word.equals("DEFAULT_ENTRY") ? 1
                    : word.equals("MESSAGE_ENTRY") ? 2 : -1;
            if (extra < 0) continue;
            List<String> args = t.arguments();
            if (args.size() != 6 + extra) throw new IllegalStateException(RESOURCE + ": " + word + " with " + args);
            rows.add(new Entry(Integer.parseInt(args.get(0)), args.get(1), args.get(2),
                    Kind.valueOf(args.get(3).toUpperCase()), args.get(4), args.get(5),
                    extra == 2 ? args.get(6) : "", extra == 0 ? null : args.get(5 + extra)));
        }
        return rows;
    }

    /** The words and arguments of the macro calls, without comments and preprocessor lines. */
    private static final class Tokens {
        private final String s;
        private int at;

        Tokens(String s) {
            this.s = s;
        }

        /** The next identifier outside comments, strings and preprocessor lines; null at the end. */
        String nextWord() {
            while (at < s.length()) {
                char c = s.charAt(at);
                if (c == '/' && s.startsWith("//", at)) {
                    skipLine();
                } else if (c == '#' && atLineStart()) {
                    skipDirective();
                } else if (c == '"') {
                    string();
                } else if (Character.isJavaIdentifierStart(c)) {
                    int start = at;
                    while (at < s.length() && Character.isJavaIdentifierPart(s.charAt(at))) at++;
                    return s.substring(start, at);
                } else {
                    at++;
                }
            }
            return null;
        }

        /** The arguments of a call: numbers and names as written, adjacent strings joined. */
        List<String> arguments() {
            skipBlanks();
            expect('(');
            List<String> args = new ArrayList<>();
            StringBuilder arg = new StringBuilder();
            while (true) {
                skipBlanks();
                char c = s.charAt(at);
                if (c == '"') {
                    arg.append(string());
                } else if (c == ',' || c == ')') {
                    args.add(arg.toString());
                    arg.setLength(0);
                    at++;
                    if (c == ')') return args;
                } else {
                    int start = at;
                    while (at < s.length() && ",) \t\r\n\"".indexOf(s.charAt(at)) < 0) at++;
                    arg.append(s, start, at);
                }
            }
        }

        private boolean atLineStart() {
            for (int i = at - 1; i >= 0 && s.charAt(i) != '\n'; i--) {
                if (s.charAt(i) != ' ' && s.charAt(i) != '\t') return false;
            }
            return true;
        }

        private void skipLine() {
            while (at < s.length() && s.charAt(at) != '\n') at++;
        }

        private void skipDirective() {
            while (at < s.length()) {
                int end = s.indexOf('\n', at);
                if (end < 0) end = s.length();
                boolean continued = s.substring(at, end).stripTrailing().endsWith("\\");
                at = end + 1;
                if (!continued) return;
            }
        }

        private void skipBlanks() {
            while (at < s.length() && Character.isWhitespace(s.charAt(at))) at++;
        }

        private void expect(char c) {
            if (at >= s.length() || s.charAt(at) != c) throw new IllegalStateException(RESOURCE + ": expected " + c);
            at++;
        }

        /** A C string literal at `at`, its escapes read. */
        private String string() {
            expect('"');
            StringBuilder out = new StringBuilder();
            while (s.charAt(at) != '"') {
                char c = s.charAt(at++);
                if (c == '\\') {
                    char e = s.charAt(at++);
                    switch (e) {
                        case 'r': out.append('\r'); break;
                        case 'n': out.append('\n'); break;
                        case 't': out.append('\t'); break;
                        default: out.append(e);  // \" and \\
                    }
                } else {
                    out.append(c);
                }
            }
            at++;
            return out.toString();
        }
    }
}
