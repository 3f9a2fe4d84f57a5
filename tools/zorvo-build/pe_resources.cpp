#include "pe_resources.h"

#include <algorithm>
#include <map>

#include "le_bytes.h"

namespace zorvo {
namespace buildtool {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectorySize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

bool fits(const std::string& s, size_t at, size_t n) { return at <= s.size() && n <= s.size() - at; }

struct Reader {
    const std::string& section;
    uint32_t rva;
    std::vector<ResourceEntry>& entries;
    std::string& error;
    size_t visited = 0;    // directory entries read, against trees that fan out without end
    size_t dataBytes = 0;  // resource data copied, against entries that share one large blob

    bool fail(const std::string& why) {
        error = "resource section: " + why;
        return false;
    }

    bool readName(uint32_t offset, ResourceId& id) {
        if (!fits(section, offset, 2)) return fail("a name lies outside the section");
        uint32_t length = get16(section, offset);
        if (!fits(section, offset + 2, 2 * static_cast<size_t>(length))) return fail("a name runs past the section");
        id.isName = true;
        id.name.clear();
        for (uint32_t i = 0; i < length; ++i) id.name += static_cast<char16_t>(get16(section, offset + 2 + 2 * i));
        return true;
    }

    bool readData(uint32_t offset, ResourceEntry& entry) {
        if (!fits(section, offset, kDataEntrySize)) return fail("a data entry lies outside the section");
        uint32_t dataRva = get32(section, offset), size = get32(section, offset + 4);
        if (dataRva < rva || !fits(section, dataRva - rva, size)) return fail("resource data lies outside the section");
        dataBytes += size;
        if (dataBytes > section.size()) return fail("the resources' data adds up to more than the section");
        entry.codePage = get32(section, offset + 8);
        entry.data = section.substr(dataRva - rva, size);
        return true;
    }

    // Level 0: types, 1: names, 2: languages, whose entries are data.
    bool readDirectory(uint32_t offset, int level, ResourceEntry& path) {
        if (!fits(section, offset, kDirectorySize)) return fail("a directory lies outside the section");
        size_t count = get16(section, offset + 12) + static_cast<size_t>(get16(section, offset + 14));
        if (!fits(section, offset + kDirectorySize, count * kDirectoryEntrySize)) {
            return fail("a directory's entries run past the section");
        }
        for (size_t i = 0; i < count; ++i) {
            if (++visited > 4 * kMaxResourceEntries) return fail("too many directory entries");
            size_t at = offset + kDirectorySize + i * kDirectoryEntrySize;
            uint32_t nameField = get32(section, at), target = get32(section, at + 4);
            ResourceId id;
            if (nameField & kHighBit) {
                if (!readName(nameField & ~kHighBit, id)) return false;
            } else {
                if (nameField > 0xFFFF) return fail("a resource number beyond 65535");
                id.id = static_cast<uint16_t>(nameField);
            }
            bool isDirectory = (target & kHighBit) != 0;
            if (isDirectory != (level < 2)) return fail("the tree is not three levels deep");
            if (level == 0) path.type = id;
            if (level == 1) path.name = id;
            if (level < 2) {
                if (!readDirectory(target & ~kHighBit, level + 1, path)) return false;
                continue;
            }
            if (id.isName) return fail("a language given by name");
            if (entries.size() >= kMaxResourceEntries) return fail("too many resources");
            ResourceEntry entry = path;
            entry.language = id.id;
            if (!readData(target, entry)) return false;
            entries.push_back(std::move(entry));
        }
        return true;
    }
};

size_t align8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }

bool sameKey(const ResourceEntry& a, const ResourceEntry& b) {
    return a.type == b.type && a.name == b.name && a.language == b.language;
}

bool entryBefore(const ResourceEntry& a, const ResourceEntry& b) {
    if (!(a.type == b.type)) return a.type < b.type;
    if (!(a.name == b.name)) return a.name < b.name;
    return a.language < b.language;
}

// A directory being laid out: its entries' ids and where each points.
struct Directory {
    std::vector<ResourceId> ids;
    std::vector<size_t> children;  // directory indexes, or data entry indexes at the last level
    size_t offset = 0;
};

}  // namespace

ResourceId ResourceId::number(uint16_t value) {
    ResourceId r;
    r.id = value;
    return r;
}

ResourceId ResourceId::named(const std::u16string& value) {
    ResourceId r;
    r.isName = true;
    r.name = value;
    return r;
}

bool operator==(const ResourceId& a, const ResourceId& b) {
    return a.isName == b.isName && (a.isName ? a.name == b.name : a.id == b.id);
}

bool operator<(const ResourceId& a, const ResourceId& b) {
    if (a.isName != b.isName) return a.isName;
    if (!a.isName) return a.id < b.id;
    auto upper = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c; };
    return std::lexicographical_compare(a.name.begin(), a.name.end(), b.name.begin(), b.name.end(),
                                        [&](char16_t x, char16_t y) { return upper(x) < upper(y); });
}

bool parseResourceSection(const std::string& section, uint32_t sectionRva, std::vector<ResourceEntry>& entries,
                          std::string& error) {
    entries.clear();
    Reader reader{section, sectionRva, entries, error};
    ResourceEntry path;
    if (!reader.readDirectory(0, 0, path)) {
        entries.clear();
        return false;
    }
    return true;
}

namespace {

// The section being laid out: its entries (sorted, one per key), its
// directories (the root, one per type, then one per type and name holding
// the languages), the order they are written in, and where everything lies.
struct SectionLayout {
    std::vector<ResourceEntry> entries;
    std::vector<Directory> dirs;
    std::vector<size_t> typeDirs, nameDirs;
    std::vector<size_t> order;
    std::map<std::u16string, size_t> nameOffsets;
    std::vector<const std::u16string*> names;  // each once, in the order of first use
    size_t dataEntries = 0;                    // offset of the data entries
    std::vector<size_t> dataOffsets;
    size_t size = 0;
};

// Sorted by key; of entries with one key the last one given wins.
std::vector<ResourceEntry> onePerKey(std::vector<ResourceEntry> entries) {
    std::stable_sort(entries.begin(), entries.end(), entryBefore);
    std::vector<ResourceEntry> unique;
    for (ResourceEntry& e : entries) {
        if (!unique.empty() && sameKey(unique.back(), e)) {
            unique.back() = std::move(e);
        } else {
            unique.push_back(std::move(e));
        }
    }
    return unique;
}

bool startsType(const std::vector<ResourceEntry>& entries, size_t i) {
    return i == 0 || !(entries[i - 1].type == entries[i].type);
}

bool startsName(const std::vector<ResourceEntry>& entries, size_t i) {
    return startsType(entries, i) || !(entries[i - 1].name == entries[i].name);
}

// Directories: root (0), then one per type, then one per (type, name).
void buildDirectories(SectionLayout& l) {
    const std::vector<ResourceEntry>& entries = l.entries;
    l.dirs.resize(1);
    for (size_t i = 0; i < entries.size(); ++i) {
        const ResourceEntry& e = entries[i];
        if (startsType(entries, i)) {
            l.dirs[0].ids.push_back(e.type);
            l.typeDirs.push_back(l.dirs.size());
            l.dirs[0].children.push_back(l.dirs.size());
            l.dirs.emplace_back();
        }
        if (startsName(entries, i)) {
            Directory& typeDir = l.dirs[l.typeDirs.back()];
            typeDir.ids.push_back(e.name);
            l.nameDirs.push_back(0);
            typeDir.children.push_back(0);  // filled below, once all type directories are placed
        }
    }
    // The names' directories (holding their languages) are numbered after
    // every type's directory; room is made first, so that the references
    // below stay valid.
    l.dirs.reserve(l.dirs.size() + l.nameDirs.size());
    size_t nameIndex = 0;
    for (size_t t : l.typeDirs) {
        for (size_t& child : l.dirs[t].children) {
            child = l.dirs.size();
            l.nameDirs[nameIndex++] = l.dirs.size();
            l.dirs.emplace_back();
        }
    }
    nameIndex = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i > 0 && startsName(entries, i)) ++nameIndex;
        Directory& nameDir = l.dirs[l.nameDirs[nameIndex]];
        nameDir.ids.push_back(ResourceId::number(entries[i].language));
        nameDir.children.push_back(i);
    }
}

// Where everything lies: the root, then each type's directory followed by
// its names' language directories (the order the linker's resource compiler
// writes), the names, the data entries, the data.
void placeEverything(SectionLayout& l) {
    l.order.assign(1, 0);
    for (size_t t : l.typeDirs) {
        l.order.push_back(t);
        l.order.insert(l.order.end(), l.dirs[t].children.begin(), l.dirs[t].children.end());
    }
    size_t offset = 0;
    for (size_t d : l.order) {
        l.dirs[d].offset = offset;
        offset += kDirectorySize + l.dirs[d].ids.size() * kDirectoryEntrySize;
    }
    for (size_t d : l.order) {
        for (const ResourceId& id : l.dirs[d].ids) {
            if (id.isName && l.nameOffsets.emplace(id.name, 0).second) l.names.push_back(&id.name);
        }
    }
    for (const std::u16string* name : l.names) {
        l.nameOffsets[*name] = offset;
        offset += 2 + 2 * name->size();
    }
    offset = align8(offset);
    l.dataEntries = offset;
    offset += l.entries.size() * kDataEntrySize;
    for (const ResourceEntry& e : l.entries) {
        offset = align8(offset);
        l.dataOffsets.push_back(offset);
        offset += e.data.size();
    }
    l.size = align8(offset);
}

std::string writeSection(SectionLayout& l, uint32_t sectionRva) {
    std::string out(l.size, '\0');
    for (size_t d = 0; d < l.dirs.size(); ++d) {
        const Directory& dir = l.dirs[d];
        size_t named = static_cast<size_t>(std::count_if(dir.ids.begin(), dir.ids.end(),
                                                         [](const ResourceId& id) { return id.isName; }));
        put16(out, dir.offset + 12, static_cast<uint32_t>(named));
        put16(out, dir.offset + 14, static_cast<uint32_t>(dir.ids.size() - named));
        bool leaf = std::find(l.nameDirs.begin(), l.nameDirs.end(), d) != l.nameDirs.end();
        for (size_t k = 0; k < dir.ids.size(); ++k) {
            size_t at = dir.offset + kDirectorySize + k * kDirectoryEntrySize;
            const ResourceId& id = dir.ids[k];
            put32(out, at, id.isName ? kHighBit | static_cast<uint32_t>(l.nameOffsets[id.name]) : id.id);
            put32(out, at + 4,
                  leaf ? static_cast<uint32_t>(l.dataEntries + dir.children[k] * kDataEntrySize)
                       : kHighBit | static_cast<uint32_t>(l.dirs[dir.children[k]].offset));
        }
    }
    for (const std::u16string* name : l.names) {
        size_t at = l.nameOffsets[*name];
        put16(out, at, static_cast<uint32_t>(name->size()));
        for (size_t i = 0; i < name->size(); ++i) put16(out, at + 2 + 2 * i, (*name)[i]);
    }
    for (size_t i = 0; i < l.entries.size(); ++i) {
        size_t at = l.dataEntries + i * kDataEntrySize;
        put32(out, at, static_cast<uint32_t>(sectionRva + l.dataOffsets[i]));
        put32(out, at + 4, static_cast<uint32_t>(l.entries[i].data.size()));
        put32(out, at + 8, l.entries[i].codePage);
        out.replace(l.dataOffsets[i], l.entries[i].data.size(), l.entries[i].data);
    }
    return out;
}

}  // namespace

std::string buildResourceSection(std::vector<ResourceEntry> entries, uint32_t sectionRva) {
    SectionLayout layout;
    layout.entries = onePerKey(std::move(entries));
    buildDirectories(layout);
    placeEverything(layout);
    return writeSection(layout, sectionRva);
}

std::vector<const ResourceEntry*> findResources(const std::vector<ResourceEntry>& entries, const ResourceId& type) {
    std::vector<const ResourceEntry*> found;
    for (const ResourceEntry& e : entries) {
        if (e.type == type) found.push_back(&e);
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const ResourceEntry* a, const ResourceEntry* b) { return entryBefore(*a, *b); });
    return found;
}

const ResourceEntry* findResource(const std::vector<ResourceEntry>& entries, const ResourceId& type,
                                  const ResourceId& name) {
    for (const ResourceEntry* e : findResources(entries, type)) {
        if (e->name == name) return e;
    }
    return nullptr;
}

void removeResources(std::vector<ResourceEntry>& entries, const ResourceId& type, const ResourceId* name) {
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [&](const ResourceEntry& e) { return e.type == type && (!name || e.name == *name); }),
                  entries.end());
}

}  // namespace buildtool
}  // namespace zorvo
