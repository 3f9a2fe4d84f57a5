// The configuration block appended to an application's launcher: its format,
// a parser that reads it from any byte source, and the in-memory tables.
//
// Pure code (no Win32): the launcher feeds it its own executable file, the
// build tool's dump and the tests feed it memory.
#ifndef ZORVO_CONFIG_CONFIG_BLOCK_H
#define ZORVO_CONFIG_CONFIG_BLOCK_H

#include <stddef.h>
#include <stdint.h>

#include "config/config_ids.h"

namespace zorvo {

constexpr uint32_t kBlockMagic = 0xE8E413D5u;

struct LauncherLayout;

// A random-access source of bytes of known size.
struct ByteSource {
    void* ctx;
    // Reads at most `n` bytes at absolute offset `at` into `dst`; returns the
    // count delivered (0 at the end or on a failed read).
    uint32_t (*readAt)(const ByteSource& self, uint64_t at, void* dst, uint32_t n);
    uint64_t size;
};

// A source over a memory buffer the caller keeps alive.
ByteSource memoryByteSource(const void* data, size_t size);

// A forward reader over a ByteSource that knows how much is left.
struct BlockReader {
    const ByteSource& src;
    uint64_t pos;

    uint64_t remaining() const { return pos < src.size ? src.size - pos : 0; }
    // Reads exactly n bytes or fails.
    bool readExact(void* dst, uint32_t n);
    // Reads a 32-bit little-endian signed value.
    bool readInt(int32_t& value);
};

struct NarrowEntry {
    ConfigId id;
    uint32_t length;  // bytes, without the terminator
    char* value;      // owned, NUL-terminated
};

struct WideEntry {
    ConfigId id;
    uint32_t units;    // UTF-16 code units, without the terminator
    uint16_t* value;   // owned, NUL-terminated
};

// The two tables of a loaded block, each sorted by id with one entry per id.
struct ConfigTables {
    NarrowEntry* narrow = nullptr;
    size_t narrowCount = 0;
    WideEntry* wide = nullptr;
    size_t wideCount = 0;
    // First byte behind the wide table: where the embedded-file stream begins.
    uint32_t embeddedStreamOffset = 0;
};

enum class BlockError { None, ReadInt, Magic, ReadString, ReadWString };

// The fixed text the launcher reports for a parse failure ("Internal Error: ...").
const char* blockErrorText(BlockError error);

// Reads the block of a launcher file of this layout (pe_image.h): the two
// values whose sum is the block's offset (at 552 and 556, or 568 and 572),
// the magic, the narrow and the wide records. A ConfigId that occurs twice keeps the
// later record. Never reads or allocates beyond what the source holds: a
// record length that is negative, odd for a wide record, or larger than the
// rest of the source is a failure of that record's read. On failure `out` is
// left empty.
BlockError parseConfigBlock(const ByteSource& src, const LauncherLayout& layout, ConfigTables& out);

// Same, for a block that starts at `blockOffset` (no offset lookup).
BlockError parseConfigBlockAt(const ByteSource& src, uint64_t blockOffset, ConfigTables& out);

// Frees the tables (the launcher never does; tests and tools do).
void releaseConfigTables(ConfigTables& tables);

// Lookups; null when the table has no record for the id. Never change the tables.
const NarrowEntry* findNarrowEntry(const ConfigTables& tables, ConfigId id);
const WideEntry* findWideEntry(const ConfigTables& tables, ConfigId id);

// `atoi`-like: leading white space, an optional sign, decimal digits up to the
// first other character; clamped to the 32-bit range; missing or non-numeric gives 0.
int32_t parseConfigInt(const char* text);

// "red,green,blue" as a Windows COLORREF (red in the low byte). Missing
// components count as 0; each component is clamped to 0..255.
uint32_t parseConfigColor(const char* text);

int32_t configInt(const ConfigTables& tables, ConfigId id);
// Copies at most size-1 bytes and a terminator; a missing entry gives "".
void configString(const ConfigTables& tables, ConfigId id, char* buffer, size_t size);
uint32_t configColor(const ConfigTables& tables, ConfigId id);

}  // namespace zorvo

#endif
