// Reading the block of an application's launcher back: the records in the
// order they are stored, the embedded files as the launcher would extract
// them, and the dump in the configuration text format, which the build tool
// reads back into the same block.
#ifndef ZORVO_BUILD_BLOCK_DUMP_H
#define ZORVO_BUILD_BLOCK_DUMP_H

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "config/config_block.h"
#include "config_text.h"

namespace zorvo {
namespace buildtool {

// The block's records as stored (the launcher's tables instead keep one
// record per id, sorted).
struct BlockContents {
    uint64_t blockOffset = 0;
    std::vector<Record> narrow;  // text bytes
    std::vector<Record> wide;    // UTF-16LE bytes
    uint64_t streamOffset = 0;   // first byte behind the wide records
};

// Reads the block through the launcher's own walk (walkConfigBlock), with the
// layout the image claims: a record whose length is negative, odd for a wide
// record, or beyond the end of the source is an error, so nothing larger than
// the source is ever allocated. On failure `error` says where the walk stopped.
bool readBlockContents(const ByteSource& src, BlockContents& out, std::string& error);

struct EmbeddedFileInfo {
    std::string name;
    int32_t length;       // as stored; 0 or less is an empty file
    uint64_t dataOffset;  // first (scrambled) content byte
    uint64_t present;     // content bytes the source holds (fewer than `length` when it ends early)
};

// The embedded files as the launcher reads them: entry 2002 counts them,
// entry 2003 names them, the stream behind the block holds them.
struct EmbeddedStreamInfo {
    int32_t count = 0;                    // entry 2002
    std::vector<EmbeddedFileInfo> files;  // in stream order
    bool lengthMissing = false;  // the source ends where the next file's length should be
    uint64_t end = 0;            // first byte behind what the launcher reads
    // Empty when embed lines written at the place of the 2002 record
    // reproduce entries 2002, 2003 and the stream exactly; else the reason.
    std::string notReproducible;
    size_t countRecord = 0;  // index of the 2002 record among the narrow records
};

// `tables` are the launcher's view of the same block (parseConfigBlock).
EmbeddedStreamInfo describeEmbeddedStream(const ByteSource& src, const BlockContents& block,
                                          const ConfigTables& tables);

struct DumpOptions {
    std::string displayName;  // the file's name, for the header and for messages
    std::string extractDir;   // when set: write the embedded files there, print embed lines
};

// Prints the block of an application's launcher in the configuration text
// format. With `extractDir`, writes the unscrambled embedded files there
// first (an empty file for an empty record) and prints embed lines naming
// them, so that building from the dump gives the same block and stream. On
// failure `error` is one line and nothing is printed; files extracted so far
// are removed again.
bool dumpLauncher(const ByteSource& src, const DumpOptions& options, std::ostream& out, std::string& error);

}  // namespace buildtool
}  // namespace zorvo

#endif
