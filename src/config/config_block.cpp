#include "config/config_block.h"

#include <stdlib.h>
#include <string.h>

#include "config/pe_image.h"

namespace zorvo {
namespace {

uint32_t memoryReadAt(const ByteSource& self, uint64_t at, void* dst, uint32_t n) {
    if (at >= self.size) return 0;
    uint64_t avail = self.size - at;
    uint32_t count = avail < n ? static_cast<uint32_t>(avail) : n;
    memcpy(dst, static_cast<const unsigned char*>(self.ctx) + at, count);
    return count;
}

// Growable array of records in the order read; duplicates are resolved later.
template <typename Entry>
struct EntryList {
    Entry* items = nullptr;
    size_t count = 0;
    size_t cap = 0;

    bool push(const Entry& e) {
        if (count == cap) {
            size_t next = cap ? cap * 2 : 16;
            Entry* grown = static_cast<Entry*>(realloc(items, next * sizeof(Entry)));
            if (!grown) return false;
            items = grown;
            cap = next;
        }
        items[count++] = e;
        return true;
    }
};

// Sorts by id keeping the read order among equal ids (insertion order is the
// tie-break), then keeps only the last record of each id.
template <typename Entry>
size_t sortAndKeepLast(Entry* items, size_t count) {
    // Merge sort: stable, O(n log n) even for hostile blocks with many records.
    if (count < 2) return count;
    Entry* tmp = static_cast<Entry*>(malloc(count * sizeof(Entry)));
    if (tmp) {
        for (size_t width = 1; width < count; width *= 2) {
            for (size_t lo = 0; lo < count; lo += 2 * width) {
                size_t mid = lo + width < count ? lo + width : count;
                size_t hi = lo + 2 * width < count ? lo + 2 * width : count;
                size_t i = lo, j = mid, k = lo;
                while (i < mid && j < hi) tmp[k++] = items[j].id < items[i].id ? items[j++] : items[i++];
                while (i < mid) tmp[k++] = items[i++];
                while (j < hi) tmp[k++] = items[j++];
            }
            memcpy(items, tmp, count * sizeof(Entry));
        }
        free(tmp);
    } else {
        // No memory for the merge buffer: stable insertion sort in place.
        for (size_t i = 1; i < count; ++i) {
            Entry e = items[i];
            size_t j = i;
            while (j > 0 && items[j - 1].id > e.id) {
                items[j] = items[j - 1];
                --j;
            }
            items[j] = e;
        }
    }
    size_t out = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i + 1 < count && items[i + 1].id == items[i].id) {
            free(items[i].value);
            continue;
        }
        items[out++] = items[i];
    }
    return out;
}

template <typename Entry>
void freeEntries(Entry* items, size_t count) {
    for (size_t i = 0; i < count; ++i) free(items[i].value);
    free(items);
}

bool readNarrowRecord(BlockReader& r, NarrowEntry& e, BlockError& err) {
    int32_t id, len;
    if (!r.readInt(id) || !r.readInt(len)) {
        err = BlockError::ReadInt;
        return false;
    }
    if (len < 0 || static_cast<uint64_t>(len) > r.remaining()) {
        err = BlockError::ReadString;
        return false;
    }
    char* value = static_cast<char*>(malloc(static_cast<size_t>(len) + 1));
    if (!value || !r.readExact(value, static_cast<uint32_t>(len))) {
        free(value);
        err = BlockError::ReadString;
        return false;
    }
    value[len] = '\0';
    e = NarrowEntry{id, static_cast<uint32_t>(len), value};
    return true;
}

bool readWideRecord(BlockReader& r, WideEntry& e, BlockError& err) {
    int32_t id, len;
    if (!r.readInt(id) || !r.readInt(len)) {
        err = BlockError::ReadInt;
        return false;
    }
    if (len < 0 || (len & 1) != 0 || static_cast<uint64_t>(len) > r.remaining()) {
        err = BlockError::ReadWString;
        return false;
    }
    uint32_t units = static_cast<uint32_t>(len) / 2;
    uint16_t* value = static_cast<uint16_t*>(malloc((static_cast<size_t>(units) + 1) * sizeof(uint16_t)));
    unsigned char* raw = reinterpret_cast<unsigned char*>(value);
    if (!value || !r.readExact(raw, static_cast<uint32_t>(len))) {
        free(value);
        err = BlockError::ReadWString;
        return false;
    }
    // Stored little-endian; rebuild each unit so the host's byte order does not matter.
    for (uint32_t i = 0; i < units; ++i) {
        uint16_t u = static_cast<uint16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
        value[i] = u;
    }
    value[units] = 0;
    e = WideEntry{id, units, value};
    return true;
}

int compareId(ConfigId a, ConfigId b) { return a < b ? -1 : (a > b ? 1 : 0); }

template <typename Entry>
const Entry* findSorted(const Entry* items, size_t count, ConfigId id) {
    size_t lo = 0, hi = count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        int c = compareId(items[mid].id, id);
        if (c == 0) return &items[mid];
        if (c < 0) lo = mid + 1; else hi = mid;
    }
    return nullptr;
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

bool BlockReader::readExact(void* dst, uint32_t n) {
    unsigned char* out = static_cast<unsigned char*>(dst);
    uint32_t done = 0;
    while (done < n) {
        uint32_t got = src.readAt(src, pos, out + done, n - done);
        if (got == 0) return false;
        done += got;
        pos += got;
    }
    return true;
}

bool BlockReader::readInt(int32_t& value) {
    unsigned char b[4];
    if (!readExact(b, 4)) return false;
    value = static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                                 static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24);
    return true;
}

ByteSource memoryByteSource(const void* data, size_t size) {
    return ByteSource{const_cast<void*>(data), memoryReadAt, size};
}

const char* blockErrorText(BlockError error) {
    switch (error) {
        case BlockError::None: return "";
        case BlockError::ReadInt: return "Internal Error: readInt";
        case BlockError::Magic: return "Internal Error: magic";
        case BlockError::ReadString: return "Internal Error: readString";
        case BlockError::ReadWString: return "Internal Error: readWString";
    }
    return "";
}

BlockError parseConfigBlock(const ByteSource& src, const LauncherLayout& layout, ConfigTables& out) {
    BlockReader r{src, layout.offsetFieldA};
    int32_t a, b;
    if (!r.readInt(a)) return BlockError::ReadInt;
    r.pos = layout.offsetFieldB;
    if (!r.readInt(b)) return BlockError::ReadInt;
    int64_t offset = static_cast<int64_t>(a) + static_cast<int64_t>(b);
    // A negative sum names no byte of the file: the magic cannot be read.
    if (offset < 0) return BlockError::ReadInt;
    return parseConfigBlockAt(src, static_cast<uint64_t>(offset), out);
}

BlockError parseConfigBlockAt(const ByteSource& src, uint64_t blockOffset, ConfigTables& out) {
    out = ConfigTables{};
    BlockReader r{src, blockOffset};
    int32_t magic;
    if (!r.readInt(magic)) return BlockError::ReadInt;
    if (static_cast<uint32_t>(magic) != kBlockMagic) return BlockError::Magic;

    BlockError err = BlockError::None;
    EntryList<NarrowEntry> narrow;
    EntryList<WideEntry> wide;
    int32_t count;
    if (!r.readInt(count)) {
        err = BlockError::ReadInt;
    } else {
        // Each record consumes at least 8 bytes, so a count larger than the
        // records present ends at a failed read, never in a long loop.
        for (int32_t i = 0; i < count && err == BlockError::None; ++i) {
            NarrowEntry e;
            if (!readNarrowRecord(r, e, err)) break;
            if (!narrow.push(e)) { free(e.value); err = BlockError::ReadString; }
        }
    }
    if (err == BlockError::None) {
        if (!r.readInt(count)) {
            err = BlockError::ReadInt;
        } else {
            for (int32_t i = 0; i < count && err == BlockError::None; ++i) {
                WideEntry e;
                if (!readWideRecord(r, e, err)) break;
                if (!wide.push(e)) { free(e.value); err = BlockError::ReadWString; }
            }
        }
    }
    if (err != BlockError::None || r.pos > 0xFFFFFFFFull) {
        freeEntries(narrow.items, narrow.count);
        freeEntries(wide.items, wide.count);
        return err != BlockError::None ? err : BlockError::ReadInt;
    }
    out.narrow = narrow.items;
    out.narrowCount = sortAndKeepLast(narrow.items, narrow.count);
    out.wide = wide.items;
    out.wideCount = sortAndKeepLast(wide.items, wide.count);
    out.embeddedStreamOffset = static_cast<uint32_t>(r.pos);
    return BlockError::None;
}

void releaseConfigTables(ConfigTables& tables) {
    freeEntries(tables.narrow, tables.narrowCount);
    freeEntries(tables.wide, tables.wideCount);
    tables = ConfigTables{};
}

const NarrowEntry* findNarrowEntry(const ConfigTables& tables, ConfigId id) {
    return findSorted(tables.narrow, tables.narrowCount, id);
}

const WideEntry* findWideEntry(const ConfigTables& tables, ConfigId id) {
    return findSorted(tables.wide, tables.wideCount, id);
}

int32_t parseConfigInt(const char* text) {
    if (!text) return 0;
    const char* p = text;
    while (isSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p++ - '0');
        if (value > 0x80000000ll) value = 0x80000000ll;  // clamp; stays in range below
    }
    if (negative) value = -value;
    if (value > 0x7FFFFFFFll) value = 0x7FFFFFFFll;
    return static_cast<int32_t>(value);
}

uint32_t parseConfigColor(const char* text) {
    uint32_t color = 0;
    const char* p = text ? text : "";
    for (int shift = 0; shift < 24; shift += 8) {
        int32_t component = parseConfigInt(p);
        if (component < 0) component = 0;
        if (component > 255) component = 255;
        color |= static_cast<uint32_t>(component) << shift;
        const char* comma = strchr(p, ',');
        if (!comma) break;
        p = comma + 1;
    }
    return color;
}

int32_t configInt(const ConfigTables& tables, ConfigId id) {
    const NarrowEntry* e = findNarrowEntry(tables, id);
    return e ? parseConfigInt(e->value) : 0;
}

void configString(const ConfigTables& tables, ConfigId id, char* buffer, size_t size) {
    if (size == 0) return;
    const NarrowEntry* e = findNarrowEntry(tables, id);
    size_t n = 0;
    if (e) {
        n = strlen(e->value);
        if (n > size - 1) n = size - 1;
        memcpy(buffer, e->value, n);
    }
    buffer[n] = '\0';
}

uint32_t configColor(const ConfigTables& tables, ConfigId id) {
    const NarrowEntry* e = findNarrowEntry(tables, id);
    return parseConfigColor(e ? e->value : "");
}

}  // namespace zorvo
