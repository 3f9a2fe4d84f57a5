#include "block_writer.h"

#include <filesystem>
#include <fstream>

#include "config/config_block.h"

namespace zorvo {
namespace buildtool {

namespace {

constexpr size_t kCopyChunk = 64 * 1024;

bool setsNarrow(const AppConfig& cfg, ConfigId id) {
    for (const Record& r : cfg.narrow) {
        if (r.id == id) return true;
    }
    return false;
}

void appendRecord(std::string& out, const Record& r) {
    appendInt32(out, r.id);
    appendInt32(out, static_cast<int32_t>(r.bytes.size()));
    out += r.bytes;
}

// Copies a file to `out` in chunks, XOR-ing each byte with `scramble` (0 for
// a verbatim copy); `copied` is the number of bytes read.
bool copyFile(std::ostream& out, const std::string& path, unsigned char scramble, uint64_t& copied) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string chunk(kCopyChunk, '\0');
    copied = 0;
    while (in) {
        in.read(&chunk[0], static_cast<std::streamsize>(chunk.size()));
        std::streamsize got = in.gcount();
        if (got <= 0) break;
        for (std::streamsize i = 0; i < got; ++i) chunk[i] = static_cast<char>(chunk[i] ^ scramble);
        out.write(chunk.data(), got);
        copied += static_cast<uint64_t>(got);
    }
    return !in.bad() && static_cast<bool>(out);
}

}  // namespace

void appendInt32(std::string& out, int32_t value) {
    uint32_t v = static_cast<uint32_t>(value);
    for (int shift = 0; shift < 32; shift += 8) out += static_cast<char>((v >> shift) & 0xFF);
}

std::vector<Record> blockNarrowRecords(const AppConfig& cfg) {
    std::vector<Record> records;
    records.reserve(cfg.narrow.size() + 2 + kConfigEntryCount);
    for (size_t i = 0; i <= cfg.narrow.size(); ++i) {
        if (!cfg.embeds.empty() && i == cfg.embedAt) {
            records.push_back(Record{cfg::kEmbeddedFileCount, std::to_string(cfg.embeds.size()), 0});
            records.push_back(Record{cfg::kEmbeddedFileNames, embeddedNamesValue(cfg.embeds), 0});
        }
        if (i < cfg.narrow.size()) records.push_back(cfg.narrow[i]);
    }
    // A console program shows its messages on standard error.
    bool console = cfg.resources.of("subsystem").value == "console";
    for (size_t i = 0; i < kConfigEntryCount; ++i) {
        const ConfigEntryInfo& entry = kConfigEntries[i];
        if (!entry.defaultText || setsNarrow(cfg, entry.id)) continue;
        records.push_back(Record{entry.id, console && entry.id == cfg::kAppType ? "0" : entry.defaultText, 0});
    }
    return records;
}

std::string encodeBlock(const std::vector<Record>& narrow, const std::vector<Record>& wide) {
    std::string out;
    appendInt32(out, static_cast<int32_t>(kBlockMagic));
    appendInt32(out, static_cast<int32_t>(narrow.size()));
    for (const Record& r : narrow) appendRecord(out, r);
    appendInt32(out, static_cast<int32_t>(wide.size()));
    for (const Record& r : wide) appendRecord(out, r);
    return out;
}

bool statEmbeddedFiles(AppConfig& cfg, const std::string& configName, std::string& error) {
    for (EmbedSpec& e : cfg.embeds) {
        std::string where = configName + ":" + std::to_string(e.line) + ": cannot embed '" + e.path + "': ";
        std::error_code ec;
        std::filesystem::file_status st = std::filesystem::status(e.path, ec);
        if (ec || !std::filesystem::exists(st)) {
            error = where + (ec ? ec.message() : "no such file");
            return false;
        }
        if (!std::filesystem::is_regular_file(st)) {
            error = where + "not a regular file";
            return false;
        }
        uint64_t size = std::filesystem::file_size(e.path, ec);
        if (ec) {
            error = where + ec.message();
            return false;
        }
        if (size > kMaxEmbeddedFileSize) {
            error = where + std::to_string(size) + " bytes; at most 2147483647 fit";
            return false;
        }
        if (!std::ifstream(e.path, std::ios::binary)) {
            error = where + "cannot open it for reading";
            return false;
        }
        e.size = size;
    }
    return true;
}

bool writeEmbeddedStream(std::ostream& out, const std::vector<EmbedSpec>& embeds, std::string& error) {
    for (const EmbedSpec& e : embeds) {
        std::string length;
        appendInt32(length, static_cast<int32_t>(e.size));
        out.write(length.data(), static_cast<std::streamsize>(length.size()));
        uint64_t copied = 0;
        if (!copyFile(out, e.path, kScrambleByte, copied)) {
            error = "cannot read embedded file '" + e.path + "' or write the output";
            return false;
        }
        if (copied != e.size) {
            error = "embedded file '" + e.path + "' changed while it was read";
            return false;
        }
    }
    return true;
}

bool writeBlockAndStream(std::ostream& out, const AppConfig& cfg, const std::vector<std::string>& rawFiles,
                         std::string& error) {
    std::string block = encodeBlock(blockNarrowRecords(cfg), cfg.wide);
    out.write(block.data(), static_cast<std::streamsize>(block.size()));
    if (!writeEmbeddedStream(out, cfg.embeds, error)) return false;
    for (const std::string& raw : rawFiles) {
        uint64_t copied = 0;
        if (!copyFile(out, raw, 0, copied)) {
            error = "cannot read '" + raw + "' or write the output";
            return false;
        }
    }
    if (!out) {
        error = "cannot write the output";
        return false;
    }
    return true;
}

}  // namespace buildtool
}  // namespace zorvo
