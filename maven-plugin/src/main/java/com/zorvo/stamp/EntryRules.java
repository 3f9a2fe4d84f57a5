package com.zorvo.stamp;

import java.util.ArrayList;
import java.util.List;

/**
 * The rules a value given under an entry's readable name must pass, beyond
 * its escapes: the entry's kind, the version bounds, the download page's
 * address and the rules of single entries (class path items, search items,
 * closed quotes, class names, ...). The texts are the build tool's.
 */
final class EntryRules {
    private EntryRules() {}

    /** Why the value is refused (the text after the line), or "" when it is accepted. */
    static String valueProblem(ConfigEntries.Entry info, String bytes) {
        if (bytes.isEmpty()) return "";
        if (info.kind == ConfigEntries.Kind.INT && !ValueText.isWholeNumber(bytes)) {
            return info.name + " needs a whole number, not " + shown(bytes);
        }
        if (info.kind == ConfigEntries.Kind.COLOR && !ValueText.isColorValue(bytes)) {
            return info.name + " needs a colour \"red,green,blue\" (each 0 to 255), not " + shown(bytes);
        }
        if ((info.id == ConfigEntries.MIN_JAVA_VERSION || info.id == ConfigEntries.MAX_JAVA_VERSION)
                && !isVersionBound(Bytes.cString(bytes))) {
            return info.name + " needs a version such as 8, 1.8, 11 or 17.0.2 (numbers separated by dots), not "
                    + shown(bytes);
        }
        if (info.id == ConfigEntries.DOWNLOAD_URL) {
            String problem = downloadAddressProblem(bytes);
            if (problem != null) return info.name + " " + shown(bytes) + " " + problem;
        }
        return entryRuleProblem(info, bytes);
    }

    /** A name or value as a message shows it: quoted, non-printables escaped. */
    static String shown(String bytes) {
        return "'" + ValueText.escapeNarrow(bytes) + "'";
    }

    /** Why an address is none the launcher opens, or null. */
    static String downloadAddressProblem(String address) {
        int start = prefixLength(address, "https://");
        if (start == 0) start = prefixLength(address, "http://");
        if (start == 0) return "does not begin with http:// or https://";
        if (start == address.length() || address.charAt(start) == '/') return "names no host";
        for (int i = 0; i < address.length(); i++) {
            char c = address.charAt(i);
            if (c == ' ') return "holds a blank";
            if (c < 0x20 || c == 0x7F) return "holds a control character";
            if (c == '"') return "holds a double quote (write it as %22)";
            if (c > 0x7F) return "holds a character beyond ASCII (write it percent-encoded)";
        }
        return null;
    }

    /** True when Windows opens a device for this file name in any folder (CON, NUL, COM1, ...). */
    static boolean isDeviceName(String name) {
        int n = name.indexOf('.');
        if (n < 0) n = name.length();
        while (n > 0 && name.charAt(n - 1) == ' ') n--;
        String stem = name.substring(0, n);
        for (String device : new String[] {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
            if (stem.equalsIgnoreCase(device)) return true;
        }
        if (n != 4) return false;
        String port = stem.substring(0, 3);
        char digit = stem.charAt(3);
        boolean isPortDigit = (digit >= '1' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3;
        return (port.equalsIgnoreCase("COM") || port.equalsIgnoreCase("LPT")) && isPortDigit;
    }

    /** True for a version bound: numbers separated by single dots or underscores. */
    static boolean isVersionBound(String text) {
        if (text.isEmpty() || !isDigit(text.charAt(0))) return false;
        for (int i = 0; i < text.length(); i++) {
            char c = text.charAt(i);
            if (isDigit(c)) continue;
            if ((c != '.' && c != '_') || i + 1 == text.length() || !isDigit(text.charAt(i + 1))) return false;
        }
        return true;
    }

    /** True when no version lies between the bounds (the minimum above the maximum as far as it has parts). */
    static boolean isRangeEmpty(String minimum, String maximum) {
        minimum = Bytes.cString(minimum);
        maximum = Bytes.cString(maximum);
        return !minimum.isEmpty() && !maximum.isEmpty() && compareWithBound(rawParts(minimum), rawParts(maximum)) > 0;
    }

    /** True when the configured text has a quote without its closing quote, by the launcher's splitting. */
    static boolean hasUnbalancedQuote(String text) {
        text = Bytes.cString(text);
        int pos = 0, len = text.length();
        while (pos < len) {
            int blank = text.indexOf(' ', pos), dq = text.indexOf('"', pos), sq = text.indexOf('\'', pos);
            if (blank == pos) {
                pos++;
                continue;
            }
            boolean blankFirst = blank >= 0 && (dq < 0 || blank < dq) && (sq < 0 || blank < sq);
            if (blankFirst) {
                pos = blank + 1;
                continue;
            }
            int quote = dq >= 0 && (sq < 0 || dq < sq) ? dq : sq;
            if (quote < 0) return false;
            int close = text.indexOf(text.charAt(quote), quote + 1);
            if (close < 0) return true;
            pos = close + 1;
            if (pos < len && text.charAt(pos) == ' ') pos++;
        }
        return false;
    }

    private static String entryRuleProblem(ConfigEntries.Entry info, String bytes) {
        int id = info.id;
        if (id == ConfigEntries.CLASS_PATH) return classPathProblem(bytes);
        if (id == ConfigEntries.JVM_SEARCH_SEQUENCE) return searchSequenceProblem(bytes);
        if (id == ConfigEntries.APP_ARGUMENTS || id == ConfigEntries.VM_OPTIONS) {
            return hasUnbalancedQuote(bytes) ? info.name + " has a quote without its closing quote: the launcher would "
                    + "refuse every start (message 1007)" : "";
        }
        if (id == ConfigEntries.PRODUCT_FLAVOUR) {
            return bytes.equals("e") || bytes.equals("i") ? "" : "product-flavour is e (the launcher flavour) or i (the "
                    + "installer flavour), not " + shown(bytes);
        }
        if (id == ConfigEntries.APP_TYPE) {
            return bytes.equals("0") || bytes.equals("1") || bytes.equals("5") ? "" : "app-type is 1 (a windowed "
                    + "application), 5 (messages in boxes, no windowed runtime needed) or 0 (messages on standard "
                    + "error), not " + shown(bytes);
        }
        if (id == ConfigEntries.MAIN_CLASS) {
            return isClassName(bytes) ? "" : "main-class needs a class name such as com.example.Main, not " + shown(bytes);
        }
        if (id == ConfigEntries.SPLASH_STATUS_FONT || id == ConfigEntries.SPLASH_FIXED_FONT) {
            return bytes.length() <= 31 ? "" : info.name + " is " + bytes.length() + " characters long; a font name has "
                    + "at most 31";
        }
        if (id == ConfigEntries.EMBEDDED_FILE_COUNT || id == ConfigEntries.EMBEDDED_FILE_NAMES) {
            return info.name + " is written from the embed lines: name each file with embed = PATH";
        }
        return "";
    }

    /** The items of a ';'-separated list, empty ones left out. */
    private static List<String> listItems(String list) {
        List<String> items = new ArrayList<>();
        for (String item : list.split(";", -1)) {
            if (!item.isEmpty()) items.add(item);
        }
        return items;
    }

    private static boolean hasOuterBlank(String item) {
        return isBlank(item.charAt(0)) || isBlank(item.charAt(item.length() - 1));
    }

    private static String classPathProblem(String list) {
        for (String item : listItems(list)) {
            boolean typed = item.length() >= 3 && "ADSE".indexOf(item.charAt(0)) >= 0
                    && (item.charAt(1) == '0' || item.charAt(1) == '1');
            if (hasOuterBlank(item)) {
                return "class-path item " + shown(item) + " begins or ends with a blank; items are separated by ';' "
                        + "without blanks";
            }
            if (!typed) {
                return "class-path item " + shown(item) + " needs a type letter and a flag: write A1"
                        + ValueText.escapeNarrow(item) + " for a required jar (A0 for an optional one, D1 for a folder "
                        + "of classes, S0 for every jar of a folder, E0 for a variable holding paths)";
            }
        }
        return "";
    }

    private static String searchSequenceProblem(String list) {
        for (String item : listItems(list)) {
            boolean known = "ARESY".indexOf(item.charAt(0)) >= 0;
            boolean argued = item.charAt(0) == 'S' || item.charAt(0) == 'Y' || item.length() > 1;
            if (hasOuterBlank(item) || !known || !argued) {
                return "jvm-search-sequence item " + shown(item) + " is not one of: A or R and a Java home folder "
                        + "(Rjre), E and a variable holding one (EJAVA_HOME), S (the folders of PATH), Y (the "
                        + "registry); items are separated by ';' without blanks";
            }
        }
        return "";
    }

    /** A Java class name, dotted (or with '/'): parts of letters, digits, '_' and '$', none empty or starting with a digit. */
    private static boolean isClassName(String name) {
        int partLength = 0;
        for (int i = 0; i < name.length(); i++) {
            char c = name.charAt(i);
            if (c == '.' || c == '/') {
                if (partLength == 0) return false;
                partLength = 0;
                continue;
            }
            boolean letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '$' || c >= 0x80;
            boolean digit = c >= '0' && c <= '9';
            if (!letter && !(digit && partLength > 0)) return false;
            partLength++;
        }
        return partLength > 0;
    }

    private static boolean isBlank(char c) {
        return c == ' ' || c == '\t';
    }

    private static boolean isDigit(char c) {
        return c >= '0' && c <= '9';
    }

    private static int prefixLength(String address, String prefix) {
        return address.regionMatches(true, 0, prefix, 0, prefix.length()) ? prefix.length() : 0;
    }

    // --- versions, compared part by part as numbers ------------------------------------------

    private static final long PART_CAP = 1000000000L;
    private static final int MAX_PARTS = 16;

    private static long[] rawParts(String text) {
        long[] parts = new long[MAX_PARTS];
        int count = 0, p = 0;
        while (p < text.length() && count < MAX_PARTS) {
            long value = 0;
            for (; p < text.length() && isDigit(text.charAt(p)); p++) {
                value = value < PART_CAP ? value * 10 + (text.charAt(p) - '0') : PART_CAP;
            }
            parts[count++] = value;
            while (p < text.length() && text.charAt(p) != '.' && text.charAt(p) != '_') p++;
            if (p < text.length()) p++;
        }
        long[] out = new long[count];
        System.arraycopy(parts, 0, out, 0, count);
        return out;
    }

    private static boolean isLoneOne(long[] v) {
        return v.length == 1 && v[0] == 1;
    }

    /** Drops the leading 1 of "1.8...": Java 8 and before named themselves 1.<major>. */
    private static long[] normalised(long[] v) {
        if (v.length >= 2 && v[0] == 1 && v[1] <= 8) {
            long[] out = new long[v.length - 1];
            System.arraycopy(v, 1, out, 0, out.length);
            return out;
        }
        return v;
    }

    private static int compareWithBound(long[] version, long[] bound) {
        long[] v = version, b = bound;
        if (!isLoneOne(v) && !isLoneOne(b)) {
            v = normalised(v);
            b = normalised(b);
        }
        for (int i = 0; i < b.length; i++) {
            long x = i < v.length ? v[i] : 0, y = b[i];
            if (x != y) return x < y ? -1 : 1;
        }
        return 0;
    }
}
