// What the build tool appends to the generic launcher: the configuration
// block and the embedded-file stream.
//
// Block (all integers 32-bit little-endian signed): the magic, the narrow
// count, the narrow records (id, byte length, bytes), the wide count, the
// wide records (id, even byte length, UTF-16LE bytes). The stream follows:
// per embedded file its length and its bytes, each XOR-ed with kScrambleByte.
#ifndef ZORVO_BUILD_BLOCK_WRITER_H
#define ZORVO_BUILD_BLOCK_WRITER_H

#include <stddef.h>
#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "config_text.h"

namespace zorvo {
namespace buildtool {

// Every content byte of an embedded file is stored XOR-ed with this.
// The largest file the stream's 32-bit signed length can describe.
constexpr uint64_t kMaxEmbeddedFileSize = 0x7FFFFFFF;

// The narrow records in block order: those of the configuration, with
// entries 2002 and 2003 at the place of the first embed line, then every
// default text of the entry table (config_entries.def) that the
// configuration does not set.
std::vector<Record> blockNarrowRecords(const AppConfig& cfg);

// The block's bytes for these records.
std::string encodeBlock(const std::vector<Record>& narrow, const std::vector<Record>& wide);

// Appends a 32-bit little-endian value.
void appendInt32(std::string& out, int32_t value);

// Checks that every embedded file is a readable regular file that the
// stream can describe, and records its size. Messages carry the embed line.
bool statEmbeddedFiles(AppConfig& cfg, const std::string& configName, std::string& error);

// Writes the embedded-file stream, reading each file in chunks. Fails when a
// file cannot be read or its size differs from the one recorded.
bool writeEmbeddedStream(std::ostream& out, const std::vector<EmbedSpec>& embeds, std::string& error);

// Writes the block, the embedded stream and then the bytes of each raw file
// as they stand (for hand-made streams in tests).
bool writeBlockAndStream(std::ostream& out, const AppConfig& cfg, const std::vector<std::string>& rawFiles,
                         std::string& error);

}  // namespace buildtool
}  // namespace zorvo

#endif
