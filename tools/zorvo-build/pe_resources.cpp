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

std::string buildResourceSection(std::vector<ResourceEntry> entries, uint32_t sectionRva) {
    std::stable_sort(entries.begin(), entries.end(), entryBefore);
    // One entry per key: the last one given wins.
    std::vector<ResourceEntry> unique;
    for (ResourceEntry& e : entries) {
        if (!unique.empty() && sameKey(unique.back(), e)) {
            unique.back() = std::move(e);
        } else {
            unique.push_back(std::move(e));
        }
    }

    // Directories: root (0), then one per type, then one per (type, name).
    std::vector<Directory> dirs(1);
    std::vector<size_t> typeDirs, nameDirs;
    for (size_t i = 0; i < unique.size(); ++i) {
        const ResourceEntry& e = unique[i];
        if (i == 0 || !(unique[i - 1].type == e.type)) {
            dirs[0].ids.push_back(e.type);
            typeDirs.push_back(dirs.size());
            dirs[0].children.push_back(dirs.size());
            dirs.emplace_back();
        }
        Directory& typeDir = dirs[typeDirs.back()];
        if (i == 0 || !(unique[i - 1].type == e.type) || !(unique[i - 1].name == e.name)) {
            typeDir.ids.push_back(e.name);
            nameDirs.push_back(0);
            typeDir.children.push_back(0);  // filled below, once all type directories are placed
        }
    }
    // The names' directories (holding their languages) are numbered after
    // every type's directory; room is made first, so that the references
    // below stay valid.
    dirs.reserve(dirs.size() + nameDirs.size());
    size_t nameIndex = 0;
    for (size_t t : typeDirs) {
        for (size_t& child : dirs[t].children) {
            child = dirs.size();
            nameDirs[nameIndex++] = dirs.size();
            dirs.emplace_back();
        }
    }
    nameIndex = 0;
    for (size_t i = 0; i < unique.size(); ++i) {
        const ResourceEntry& e = unique[i];
        if (i > 0 && (!(unique[i - 1].type == e.type) || !(unique[i - 1].name == e.name))) ++nameIndex;
        Directory& nameDir = dirs[nameDirs[nameIndex]];
        nameDir.ids.push_back(ResourceId::number(e.language));
        nameDir.children.push_back(i);
    }

    // The root, then each type's directory followed by its names' language
    // directories: the order the linker's resource compiler writes.
    std::vector<size_t> order(1, 0);
    for (size_t t : typeDirs) {
        order.push_back(t);
        order.insert(order.end(), dirs[t].children.begin(), dirs[t].children.end());
    }
    size_t offset = 0;
    for (size_t d : order) {
        dirs[d].offset = offset;
        offset += kDirectorySize + dirs[d].ids.size() * kDirectoryEntrySize;
    }
    // Names, each once, in the order of first use.
    std::map<std::u16string, size_t> nameOffsets;
    std::vector<const std::u16string*> names;
    for (size_t d : order) {
        for (const ResourceId& id : dirs[d].ids) {
            if (id.isName && nameOffsets.emplace(id.name, 0).second) names.push_back(&id.name);
        }
    }
    for (const std::u16string* name : names) {
        nameOffsets[*name] = offset;
        offset += 2 + 2 * name->size();
    }
    offset = align8(offset);
    size_t dataEntries = offset;
    offset += unique.size() * kDataEntrySize;
    std::vector<size_t> dataOffsets;
    for (const ResourceEntry& e : unique) {
        offset = align8(offset);
        dataOffsets.push_back(offset);
        offset += e.data.size();
    }

    std::string out(align8(offset), '\0');
    for (size_t d = 0; d < dirs.size(); ++d) {
        const Directory& dir = dirs[d];
        size_t named = static_cast<size_t>(std::count_if(dir.ids.begin(), dir.ids.end(),
                                                         [](const ResourceId& id) { return id.isName; }));
        put16(out, dir.offset + 12, static_cast<uint32_t>(named));
        put16(out, dir.offset + 14, static_cast<uint32_t>(dir.ids.size() - named));
        for (size_t k = 0; k < dir.ids.size(); ++k) {
            size_t at = dir.offset + kDirectorySize + k * kDirectoryEntrySize;
            const ResourceId& id = dir.ids[k];
            put32(out, at, id.isName ? kHighBit | static_cast<uint32_t>(nameOffsets[id.name]) : id.id);
            bool leaf = std::find(nameDirs.begin(), nameDirs.end(), d) != nameDirs.end();
            put32(out, at + 4,
                  leaf ? static_cast<uint32_t>(dataEntries + dir.children[k] * kDataEntrySize)
                       : kHighBit | static_cast<uint32_t>(dirs[dir.children[k]].offset));
        }
    }
    for (const std::u16string* name : names) {
        size_t at = nameOffsets[*name];
        put16(out, at, static_cast<uint32_t>(name->size()));
        for (size_t i = 0; i < name->size(); ++i) put16(out, at + 2 + 2 * i, (*name)[i]);
    }
    for (size_t i = 0; i < unique.size(); ++i) {
        size_t at = dataEntries + i * kDataEntrySize;
        put32(out, at, static_cast<uint32_t>(sectionRva + dataOffsets[i]));
        put32(out, at + 4, static_cast<uint32_t>(unique[i].data.size()));
        put32(out, at + 8, unique[i].codePage);
        out.replace(dataOffsets[i], unique[i].data.size(), unique[i].data);
    }
    return out;
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
