#include "config/config_block.h"

#include <stdlib.h>
#include <string.h>

#include "common/le_bytes.h"
#include "common/sort.h"
#include "config/pe_image.h"

namespace zorvo {
namespace {

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
    // Stable and O(n log n): hostile blocks may hold very many records.
    stableSort(items, count, [](const Entry& a, const Entry& b) { return a.id < b.id; });
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

bool stopAt(BlockWalk& walk, BlockStep step) {
    walk.step = step;
    return false;
}

// Finds the block through the layout's two values, whose sum is its offset.
bool locateBlock(const ByteSource& src, const LauncherLayout& layout, BlockWalk& walk) {
    BlockReader r{src, layout.offsetFieldA};
    int32_t a, b;
    if (!r.readInt(a)) return stopAt(walk, BlockStep::OffsetA);
    r.pos = layout.offsetFieldB;
    if (!r.readInt(b)) return stopAt(walk, BlockStep::OffsetB);
    int64_t offset = static_cast<int64_t>(a) + static_cast<int64_t>(b);
    // A negative sum names no byte of the file: the magic cannot be read.
    if (offset < 0) return stopAt(walk, BlockStep::NegativeOffset);
    walk.blockOffset = static_cast<uint64_t>(offset);
    return true;
}

// The magic, then the narrow and the wide table, each a count and that many
// records; `sink` reads each record's value.
template <typename Sink>
bool walkRecords(BlockReader& r, Sink& sink, BlockWalk& walk) {
    int32_t magic;
    if (!r.readInt(magic)) return stopAt(walk, BlockStep::MagicCut);
    if (static_cast<uint32_t>(magic) != kBlockMagic) return stopAt(walk, BlockStep::MagicWrong);
    for (int table = 0; table < 2; ++table) {
        bool wide = table == 1;
        walk.wide = wide;
        int32_t count;
        if (!r.readInt(count)) return stopAt(walk, BlockStep::Count);
        // Each record consumes at least 8 bytes, so a count larger than the
        // records present ends at a failed read, never in a long loop.
        for (int32_t i = 0; i < count; ++i) {
            walk.index = i;
            int32_t id, length;
            if (!r.readInt(id) || !r.readInt(length)) return stopAt(walk, BlockStep::RecordHeader);
            walk.id = id;
            walk.length = length;
            if (length < 0 || (wide && (length & 1) != 0) || static_cast<uint64_t>(length) > r.remaining()) {
                return stopAt(walk, BlockStep::RecordLength);
            }
            if (!sink(BlockRecord{wide, i, id, static_cast<uint32_t>(length)}, r)) {
                return stopAt(walk, BlockStep::RecordValue);
            }
        }
    }
    return true;
}

// The walk of the block at `blockOffset`; `end` is set when every record was read.
template <typename Sink>
BlockWalk walkBlockAt(const ByteSource& src, uint64_t blockOffset, Sink& sink) {
    BlockWalk walk;
    walk.blockOffset = blockOffset;
    BlockReader r{src, blockOffset};
    if (walkRecords(r, sink, walk)) walk.end = r.pos;
    return walk;
}

// The launcher's sink: each value in memory of its own, NUL-terminated, in
// the order read; duplicates are resolved once the walk is done.
struct TableSink {
    EntryList<NarrowEntry> narrow;
    EntryList<WideEntry> wide;

    bool keepNarrow(const BlockRecord& record, BlockReader& r) {
        char* value = static_cast<char*>(malloc(static_cast<size_t>(record.length) + 1));
        if (!value || !r.readExact(value, record.length)) {
            free(value);
            return false;
        }
        value[record.length] = '\0';
        if (narrow.push(NarrowEntry{record.id, record.length, value})) return true;
        free(value);
        return false;
    }

    bool keepWide(const BlockRecord& record, BlockReader& r) {
        uint32_t units = record.length / 2;
        uint16_t* value = static_cast<uint16_t*>(malloc((static_cast<size_t>(units) + 1) * sizeof(uint16_t)));
        unsigned char* raw = reinterpret_cast<unsigned char*>(value);
        if (!value || !r.readExact(raw, record.length)) {
            free(value);
            return false;
        }
        // Stored little-endian; rebuild each unit so the host's byte order does not matter.
        for (uint32_t i = 0; i < units; ++i) value[i] = static_cast<uint16_t>(loadLe16(raw + 2 * i));
        value[units] = 0;
        if (wide.push(WideEntry{record.id, units, value})) return true;
        free(value);
        return false;
    }

    bool operator()(const BlockRecord& record, BlockReader& r) {
        return record.wide ? keepWide(record, r) : keepNarrow(record, r);
    }
};

// The sink of walkConfigBlock's callers: a function and its context.
struct CallbackSink {
    BlockRecordSink take;
    void* context;

    bool operator()(const BlockRecord& record, BlockReader& r) { return take(context, record, r); }
};

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

BlockWalk walkConfigBlock(const ByteSource& src, const LauncherLayout& layout, BlockRecordSink sink, void* context) {
    BlockWalk walk;
    if (!locateBlock(src, layout, walk)) return walk;
    CallbackSink callback{sink, context};
    return walkBlockAt(src, walk.blockOffset, callback);
}

BlockError blockErrorOf(const BlockWalk& walk) {
    switch (walk.step) {
        case BlockStep::Done: return BlockError::None;
        case BlockStep::OffsetA:
        case BlockStep::OffsetB:
        case BlockStep::NegativeOffset:
        case BlockStep::MagicCut:
        case BlockStep::Count:
        case BlockStep::RecordHeader: return BlockError::ReadInt;
        case BlockStep::MagicWrong: return BlockError::Magic;
        case BlockStep::RecordLength:
        case BlockStep::RecordValue: return walk.wide ? BlockError::ReadWString : BlockError::ReadString;
    }
    return BlockError::ReadInt;
}

BlockError parseConfigBlock(const ByteSource& src, const LauncherLayout& layout, ConfigTables& out) {
    BlockWalk walk;
    if (!locateBlock(src, layout, walk)) return blockErrorOf(walk);
    return parseConfigBlockAt(src, walk.blockOffset, out);
}

BlockError parseConfigBlockAt(const ByteSource& src, uint64_t blockOffset, ConfigTables& out) {
    out = ConfigTables{};
    TableSink sink;
    BlockWalk walk = walkBlockAt(src, blockOffset, sink);
    if (walk.step != BlockStep::Done || walk.end > 0xFFFFFFFFull) {
        freeEntries(sink.narrow.items, sink.narrow.count);
        freeEntries(sink.wide.items, sink.wide.count);
        return walk.step != BlockStep::Done ? blockErrorOf(walk) : BlockError::ReadInt;
    }
    out.narrow = sink.narrow.items;
    out.narrowCount = sortAndKeepLast(sink.narrow.items, sink.narrow.count);
    out.wide = sink.wide.items;
    out.wideCount = sortAndKeepLast(sink.wide.items, sink.wide.count);
    out.embeddedStreamOffset = static_cast<uint32_t>(walk.end);
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

void scrambleBytes(unsigned char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes[i] ^= kScrambleByte;
}

}  // namespace zorvo
