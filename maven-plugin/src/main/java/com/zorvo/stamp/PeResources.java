package com.zorvo.stamp;

import java.util.ArrayList;
import java.util.Arrays;
import java.util.Comparator;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/**
 * The resources of a PE image: the tree of its resource section read into a
 * flat list of entries (type, name, language, data), and laid out again the
 * way the linker lays out the generic launcher's. Every offset read is
 * checked against the section.
 */
final class PeResources {
    static final int BITMAP = 2;
    static final int ICON = 3;
    static final int GROUP_ICON = 14;
    static final int VERSION = 16;
    static final int MANIFEST = 24;
    static final int MAX_ENTRIES = 65536;

    private static final long HIGH_BIT = 0x80000000L;
    private static final int DIRECTORY_SIZE = 16;
    private static final int DIRECTORY_ENTRY_SIZE = 8;
    private static final int DATA_ENTRY_SIZE = 16;

    /** A resource type or name: a number, or a name (UTF-16). */
    static final class Id implements Comparable<Id> {
        final boolean isName;
        final int number;
        final String name;

        private Id(boolean isName, int number, String name) {
            this.isName = isName;
            this.number = number;
            this.name = name;
        }

        static Id number(int value) {
            return new Id(false, value, "");
        }

        static Id named(String value) {
            return new Id(true, 0, value);
        }

        @Override
        public boolean equals(Object o) {
            if (!(o instanceof Id)) return false;
            Id other = (Id) o;
            return isName == other.isName && (isName ? name.equals(other.name) : number == other.number);
        }

        @Override
        public int hashCode() {
            return isName ? name.hashCode() : number;
        }

        /** Names first (by their upper-case UTF-16 units), then numbers ascending. */
        @Override
        public int compareTo(Id o) {
            if (isName != o.isName) return isName ? -1 : 1;
            if (!isName) return Integer.compare(number, o.number);
            int n = Math.min(name.length(), o.name.length());
            for (int i = 0; i < n; i++) {
                int c = Character.compare(upper(name.charAt(i)), upper(o.name.charAt(i)));
                if (c != 0) return c;
            }
            return Integer.compare(name.length(), o.name.length());
        }

        private static char upper(char c) {
            return c >= 'a' && c <= 'z' ? (char) (c - 'a' + 'A') : c;
        }
    }

    static final class Entry {
        final Id type;
        final Id name;
        final int language;
        final long codePage;
        byte[] data;

        Entry(Id type, Id name, int language, long codePage, byte[] data) {
            this.type = type;
            this.name = name;
            this.language = language;
            this.codePage = codePage;
            this.data = data;
        }

        boolean sameKey(Entry o) {
            return type.equals(o.type) && name.equals(o.name) && language == o.language;
        }
    }

    static final Comparator<Entry> ORDER = Comparator.<Entry, Id>comparing(e -> e.type)
            .thenComparing(e -> e.name).thenComparingInt(e -> e.language);

    private PeResources() {}

    /** Reads the tree of a section whose contents are `section`, loaded at `sectionRva`. */
    static List<Entry> parse(byte[] section, long sectionRva) throws StampException {
        Reader reader = new Reader(section, sectionRva);
        reader.readDirectory(0, 0, null, null);
        return reader.entries;
    }

    /** Lays the entries out as a resource section loaded at `sectionRva`. */
    static byte[] build(List<Entry> given, long sectionRva) {
        // Sorted by key; of entries with one key the last one given wins.
        List<Entry> sorted = new ArrayList<>(given);
        sorted.sort(ORDER);
        List<Entry> entries = new ArrayList<>();
        for (Entry e : sorted) {
            if (!entries.isEmpty() && entries.get(entries.size() - 1).sameKey(e)) {
                entries.set(entries.size() - 1, e);
            } else {
                entries.add(e);
            }
        }
        return new Layout(entries).write(sectionRva);
    }

    static List<Entry> findAll(List<Entry> entries, Id type) {
        List<Entry> found = new ArrayList<>();
        for (Entry e : entries) {
            if (e.type.equals(type)) found.add(e);
        }
        found.sort(ORDER);
        return found;
    }

    static Entry find(List<Entry> entries, Id type, Id name) {
        for (Entry e : findAll(entries, type)) {
            if (e.name.equals(name)) return e;
        }
        return null;
    }

    /** Removes every entry of the type (and name, when given). */
    static void removeAll(List<Entry> entries, Id type, Id name) {
        entries.removeIf(e -> e.type.equals(type) && (name == null || e.name.equals(name)));
    }

    private static boolean fits(byte[] s, long at, long n) {
        return at >= 0 && at <= s.length && n <= s.length - at;
    }

    private static int align8(int n) {
        return (n + 7) & ~7;
    }

    private static final class Reader {
        final byte[] section;
        final long rva;
        final List<Entry> entries = new ArrayList<>();
        int visited;     // directory entries read, against trees that fan out without end
        long dataBytes;  // resource data copied, against entries that share one large blob

        Reader(byte[] section, long rva) {
            this.section = section;
            this.rva = rva;
        }

        StampException fail(String why) {
            return new StampException("resource section: " + why);
        }

        Id readName(long offset) throws StampException {
            if (!fits(section, offset, 2)) throw fail("a name lies outside the section");
            int length = Bytes.get16(section, (int) offset);
            if (!fits(section, offset + 2, 2L * length)) throw fail("a name runs past the section");
            StringBuilder name = new StringBuilder();
            for (int i = 0; i < length; i++) name.append((char) Bytes.get16(section, (int) offset + 2 + 2 * i));
            return Id.named(name.toString());
        }

        /** Level 0: types, 1: names, 2: languages, whose entries are data. */
        void readDirectory(long offset, int level, Id type, Id name) throws StampException {
            if (!fits(section, offset, DIRECTORY_SIZE)) throw fail("a directory lies outside the section");
            int o = (int) offset;
            int count = Bytes.get16(section, o + 12) + Bytes.get16(section, o + 14);
            if (!fits(section, offset + DIRECTORY_SIZE, (long) count * DIRECTORY_ENTRY_SIZE)) {
                throw fail("a directory's entries run past the section");
            }
            for (int i = 0; i < count; i++) {
                if (++visited > 4 * MAX_ENTRIES) throw fail("too many directory entries");
                int at = o + DIRECTORY_SIZE + i * DIRECTORY_ENTRY_SIZE;
                long nameField = Bytes.get32(section, at), target = Bytes.get32(section, at + 4);
                Id id;
                if ((nameField & HIGH_BIT) != 0) {
                    id = readName(nameField & ~HIGH_BIT);
                } else {
                    if (nameField > 0xFFFF) throw fail("a resource number beyond 65535");
                    id = Id.number((int) nameField);
                }
                boolean isDirectory = (target & HIGH_BIT) != 0;
                if (isDirectory != (level < 2)) throw fail("the tree is not three levels deep");
                if (level < 2) {
                    readDirectory(target & ~HIGH_BIT, level + 1, level == 0 ? id : type, level == 1 ? id : name);
                    continue;
                }
                if (id.isName) throw fail("a language given by name");
                if (entries.size() >= MAX_ENTRIES) throw fail("too many resources");
                entries.add(readData(target, type, name, id.number));
            }
        }

        Entry readData(long offset, Id type, Id name, int language) throws StampException {
            if (!fits(section, offset, DATA_ENTRY_SIZE)) throw fail("a data entry lies outside the section");
            int o = (int) offset;
            long dataRva = Bytes.get32(section, o), size = Bytes.get32(section, o + 4);
            if (dataRva < rva || !fits(section, dataRva - rva, size)) throw fail("resource data lies outside the section");
            dataBytes += size;
            if (dataBytes > section.length) throw fail("the resources' data adds up to more than the section");
            int start = (int) (dataRva - rva);
            return new Entry(type, name, language, Bytes.get32(section, o + 8),
                    Arrays.copyOfRange(section, start, start + (int) size));
        }
    }

    /** A directory being laid out: its entries' ids and where each points. */
    private static final class Directory {
        final List<Id> ids = new ArrayList<>();
        final List<Integer> children = new ArrayList<>();  // directories, or entries at the last level
        boolean leaf;
        int offset;
    }

    /**
     * The section being laid out: the root, then each type's directory
     * followed by its names' language directories (the order the linker's
     * resource compiler writes), the names, the data entries, the data.
     */
    private static final class Layout {
        final List<Entry> entries;
        final List<Directory> dirs = new ArrayList<>();
        final List<Integer> order = new ArrayList<>();
        final Map<String, Integer> nameOffsets = new LinkedHashMap<>();  // each name once, in the order of first use
        final List<Integer> dataOffsets = new ArrayList<>();
        int dataEntries;
        int size;

        Layout(List<Entry> entries) {
            this.entries = entries;
            buildDirectories();
            placeEverything();
        }

        private boolean startsType(int i) {
            return i == 0 || !entries.get(i - 1).type.equals(entries.get(i).type);
        }

        private boolean startsName(int i) {
            return startsType(i) || !entries.get(i - 1).name.equals(entries.get(i).name);
        }

        private void buildDirectories() {
            Directory root = new Directory();
            dirs.add(root);
            List<Directory> typeDirs = new ArrayList<>();
            List<Directory> nameDirs = new ArrayList<>();
            for (int i = 0; i < entries.size(); i++) {
                Entry e = entries.get(i);
                if (startsType(i)) {
                    Directory typeDir = new Directory();
                    root.ids.add(e.type);
                    typeDirs.add(typeDir);
                }
                if (startsName(i)) {
                    Directory nameDir = new Directory();
                    nameDir.leaf = true;
                    typeDirs.get(typeDirs.size() - 1).ids.add(e.name);
                    nameDirs.add(nameDir);
                }
                nameDirs.get(nameDirs.size() - 1).ids.add(Id.number(e.language));
                nameDirs.get(nameDirs.size() - 1).children.add(i);
            }
            // Numbered as the linker does: the root, every type's directory, then the names' directories.
            for (Directory t : typeDirs) {
                root.children.add(dirs.size());
                dirs.add(t);
            }
            int nameIndex = 0;
            for (Directory t : typeDirs) {
                for (int k = 0; k < t.ids.size(); k++) {
                    t.children.add(dirs.size());
                    dirs.add(nameDirs.get(nameIndex++));
                }
            }
            order.add(0);
            for (int d = 1; d <= typeDirs.size(); d++) {
                order.add(d);
                order.addAll(dirs.get(d).children);
            }
        }

        private void placeEverything() {
            int offset = 0;
            for (int d : order) {
                dirs.get(d).offset = offset;
                offset += DIRECTORY_SIZE + dirs.get(d).ids.size() * DIRECTORY_ENTRY_SIZE;
            }
            for (int d : order) {
                for (Id id : dirs.get(d).ids) {
                    if (id.isName) nameOffsets.putIfAbsent(id.name, 0);
                }
            }
            for (Map.Entry<String, Integer> name : nameOffsets.entrySet()) {
                name.setValue(offset);
                offset += 2 + 2 * name.getKey().length();
            }
            offset = align8(offset);
            dataEntries = offset;
            offset += entries.size() * DATA_ENTRY_SIZE;
            for (Entry e : entries) {
                offset = align8(offset);
                dataOffsets.add(offset);
                offset += e.data.length;
            }
            size = align8(offset);
        }

        byte[] write(long sectionRva) {
            byte[] out = new byte[size];
            for (Directory dir : dirs) {
                int named = 0;
                for (Id id : dir.ids) named += id.isName ? 1 : 0;
                Bytes.put16(out, dir.offset + 12, named);
                Bytes.put16(out, dir.offset + 14, dir.ids.size() - named);
                for (int k = 0; k < dir.ids.size(); k++) {
                    int at = dir.offset + DIRECTORY_SIZE + k * DIRECTORY_ENTRY_SIZE;
                    Id id = dir.ids.get(k);
                    Bytes.put32(out, at, id.isName ? HIGH_BIT | nameOffsets.get(id.name) : id.number);
                    int child = dir.children.get(k);
                    Bytes.put32(out, at + 4, dir.leaf ? dataEntries + child * DATA_ENTRY_SIZE
                            : HIGH_BIT | dirs.get(child).offset);
                }
            }
            for (Map.Entry<String, Integer> name : nameOffsets.entrySet()) {
                int at = name.getValue();
                Bytes.put16(out, at, name.getKey().length());
                for (int i = 0; i < name.getKey().length(); i++) Bytes.put16(out, at + 2 + 2 * i, name.getKey().charAt(i));
            }
            for (int i = 0; i < entries.size(); i++) {
                int at = dataEntries + i * DATA_ENTRY_SIZE;
                Entry e = entries.get(i);
                Bytes.put32(out, at, sectionRva + dataOffsets.get(i));
                Bytes.put32(out, at + 4, e.data.length);
                Bytes.put32(out, at + 8, e.codePage);
                System.arraycopy(e.data, 0, out, dataOffsets.get(i), e.data.length);
            }
            return out;
        }
    }
}
