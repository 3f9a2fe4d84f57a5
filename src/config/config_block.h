// The configuration block appended to an application's launcher: its format,
// the one reader that walks its records from any byte source, the launcher's
// in-memory tables built on that walk, and their getters.
//
// Pure code (no Win32): the launcher feeds it its own executable file, the
// build tool's dump and the tests feed it memory.
#ifndef ZORVO_CONFIG_CONFIG_BLOCK_H
#define ZORVO_CONFIG_CONFIG_BLOCK_H

#include <stddef.h>
#include <stdint.h>

#include "common/byte_source.h"
#include "config/config_ids.h"

namespace zorvo {

constexpr uint32_t kBlockMagic = 0xE8E413D5u;

// The embedded-file stream behind the block holds every file's bytes XOR-ed
// with this constant; scrambleBytes turns them either way (its own inverse).
constexpr unsigned char kScrambleByte = 0xB6;
void scrambleBytes(unsigned char* bytes, size_t n);

struct LauncherLayout;

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

// One record of the block, as a walk of the block meets it.
struct BlockRecord {
    bool wide;        // a record of the wide table (its value UTF-16LE)
    int32_t index;    // its place in its table, from 0
    ConfigId id;
    uint32_t length;  // bytes of the value: even for a wide record, never more than the source holds
};

// Where a walk of the block ended.
enum class BlockStep {
    Done,            // every record was read
    OffsetA,         // the value at the layout's first block-offset field could not be read
    OffsetB,         // the value at its second field could not be read
    NegativeOffset,  // the two add up to a negative offset
    MagicCut,        // the block's first four bytes could not be read
    MagicWrong,      // they are not kBlockMagic
    Count,           // a table's record count could not be read
    RecordHeader,    // a record's id or length could not be read
    RecordLength,    // a record's length is negative, odd for a wide record, or beyond the source
    RecordValue,     // the record's value could not be read or kept
};

struct BlockWalk {
    BlockStep step = BlockStep::Done;
    uint64_t blockOffset = 0;  // where the magic was looked for (0 when the offset steps failed)
    bool wide = false;         // Count and the record steps: in the wide table
    int32_t index = 0;         // the record steps: the record's place in its table, from 0
    ConfigId id = 0;           // RecordLength, RecordValue: the record's id
    int32_t length = 0;        // RecordLength, RecordValue: its length as stored
    uint64_t end = 0;          // Done: the first byte behind the wide table
};

// Takes one record in the walk, with `value` standing at its first byte:
// reads exactly `record.length` bytes. False stops the walk (RecordValue).
using BlockRecordSink = bool (*)(void* context, const BlockRecord& record, BlockReader& value);

// The one reader of the block: finds it through the two values of this
// layout (pe_image.h) whose sum is its offset, checks the magic, then hands
// every record of the narrow and then the wide table to `sink` in the order
// stored, and stops at the first step that fails. A record's length is
// checked against the source before the sink sees it, and a count larger
// than the records present ends at a failed read, so nothing larger than the
// source is ever read or allocated.
BlockWalk walkConfigBlock(const ByteSource& src, const LauncherLayout& layout, BlockRecordSink sink, void* context);

// The error the launcher reports for a walk that stopped at `walk.step`.
BlockError blockErrorOf(const BlockWalk& walk);

// Reads the block of a launcher file of this layout (pe_image.h): the two
// values whose sum is the block's offset (at 552 and 556, or 568 and 572),
// the magic, the narrow and the wide records, by the walk of walkConfigBlock.
// A ConfigId that occurs twice keeps the later record. Never reads or
// allocates beyond what the source holds: a record length that is negative,
// odd for a wide record, or larger than the rest of the source is a failure
// of that record's read. On failure `out` is left empty.
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
