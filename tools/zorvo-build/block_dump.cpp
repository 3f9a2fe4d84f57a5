#include "block_dump.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app_launcher.h"
#include "app_resources.h"
#include "block_writer.h"
#include "config/pe_image.h"
#include "common/java_version.h"
#include "common/le_bytes.h"
#include "pe_edit.h"
#include "pe_resources.h"
#include "file_access.h"
#include "resource_directives.h"
#include "value_rules.h"
#include "value_text.h"

namespace zorvo {
namespace buildtool {
namespace {

// Keeps a record of the walk in BlockContents, in the order stored.
bool keepRecord(void* context, const BlockRecord& record, BlockReader& value) {
    BlockContents& block = *static_cast<BlockContents*>(context);
    Record rec{record.id, std::string(record.length, '\0'), 0};
    if (record.length > 0 && !value.readExact(&rec.bytes[0], record.length)) return false;
    (record.wide ? block.wide : block.narrow).push_back(std::move(rec));
    return true;
}

// What stopped a walk of the block, as the dump says it.
std::string walkProblem(const BlockWalk& walk, const LauncherLayout& layout) {
    const std::string table = walk.wide ? "wide" : "narrow";
    const std::string record = table + " record " + std::to_string(walk.index + 1);
    switch (walk.step) {
        case BlockStep::Done: break;
        case BlockStep::OffsetA: return "the file ends before offset " + std::to_string(layout.offsetFieldA + 4);
        case BlockStep::OffsetB: return "the file ends before offset " + std::to_string(layout.offsetFieldB + 4);
        case BlockStep::NegativeOffset:
            return "the values at offsets " + std::to_string(layout.offsetFieldA) + " and " +
                   std::to_string(layout.offsetFieldB) + " add up to a negative offset";
        case BlockStep::MagicCut:
        case BlockStep::MagicWrong: return "no block magic at file offset " + std::to_string(walk.blockOffset);
        case BlockStep::Count: return "the block ends before its " + table + " count";
        case BlockStep::RecordHeader: return "the block ends inside " + record;
        case BlockStep::RecordLength:
            return record + " (id " + std::to_string(walk.id) + ") has a bad length " + std::to_string(walk.length);
        case BlockStep::RecordValue: return "cannot read " + record;
    }
    return "";
}

std::vector<std::string> splitNames(const char* list) {
    std::vector<std::string> names;
    std::string current;
    for (const char* p = list;; ++p) {
        if (*p == ';' || *p == '\0') {
            if (!current.empty()) names.push_back(current);
            current.clear();
            if (*p == '\0') break;
        } else {
            current += *p;
        }
    }
    return names;
}

// Why embed lines cannot reproduce entries 2002, 2003 and the stream, or "".
std::string reproducibility(const BlockContents& block, const EmbeddedStreamInfo& info,
                            const std::vector<std::string>& names, size_t& countRecord) {
    size_t countAt = SIZE_MAX, namesAt = SIZE_MAX, seen = 0;
    for (size_t i = 0; i < block.narrow.size(); ++i) {
        ConfigId id = block.narrow[i].id;
        if (id == cfg::kEmbeddedFileCount) countAt = i;
        if (id == cfg::kEmbeddedFileNames) namesAt = i;
        if (id == cfg::kEmbeddedFileCount || id == cfg::kEmbeddedFileNames) ++seen;
    }
    if (seen != 2 || namesAt != countAt + 1) {
        return "entries 2002 and 2003 are not a single pair of adjacent records";
    }
    if (block.narrow[countAt].bytes != std::to_string(info.count)) return "entry 2002 is not a plain decimal count";
    if (names.size() != static_cast<size_t>(info.count)) return "entries 2002 and 2003 disagree on the number of files";
    std::string joined;
    for (const std::string& n : names) joined += n + ";";
    if (block.narrow[namesAt].bytes != joined) return "entry 2003 is not a list of names each followed by ';'";
    if (info.lengthMissing || info.files.size() != names.size()) return "the stream ends early";
    for (size_t i = 0; i < info.files.size(); ++i) {
        const EmbeddedFileInfo& f = info.files[i];
        if (f.length < 0) return "a file has a negative length";
        if (f.present != static_cast<uint64_t>(f.length)) return "the stream ends early";
        if (const char* problem = embeddedNameProblem(f.name)) return "embedded file " + f.name + ": " + problem;
        for (size_t k = 0; k < i; ++k) {
            if (sameEmbeddedName(info.files[k].name, f.name)) return "two embedded files are named " + f.name;
        }
    }
    countRecord = countAt;
    return "";
}

std::string plural(size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// The name a record is dumped under: the readable one when building from it
// accepts the value, else the number.
std::string dumpName(const Record& r, bool wide, bool byNumber) {
    const ConfigEntryInfo* info = findConfigEntry(r.id);
    bool usable = !byNumber && info && (info->kind == EntryKind::Wide) == wide &&
                  (wide || valueProblem(*info, r.bytes).empty());
    std::string name = usable ? info->name : std::to_string(r.id);
    return wide ? "wide:" + name : name;
}

// A record under an id that no entry has (a block made by other means) is
// shown as a comment: the tool refuses such ids, and the launcher never reads them.
void printRecord(std::ostream& out, const Record& r, bool wide, bool byNumber = false) {
    std::string value = wide ? escapeWide(fromUtf16le(r.bytes)) : escapeNarrow(r.bytes);
    bool read = findConfigEntry(r.id) != nullptr;
    out << (read ? "" : "# ") << dumpName(r, wide, byNumber) << " =" << (value.empty() ? "" : " ") << value
        << (read ? "" : "  (no entry the launcher reads; a build from this dump leaves it out)") << "\n";
}

// A minimum above the maximum is refused under the readable names: a block
// that has one (made under the numbers) is dumped with its bounds under the
// numbers, so that a build from the dump gives it back.
bool hasEmptyVersionRange(const std::vector<Record>& narrow) {
    std::string minimum, maximum;
    for (const Record& r : narrow) {
        if (r.id == cfg::kMinJavaVersion) minimum = r.bytes;
        if (r.id == cfg::kMaxJavaVersion) maximum = r.bytes;
    }
    return isRangeEmpty(minimum.c_str(), maximum.c_str());
}

bool isVersionBoundRecord(const Record& r) { return r.id == cfg::kMinJavaVersion || r.id == cfg::kMaxJavaVersion; }

std::string fileSummary(const EmbeddedFileInfo& f) {
    if (f.length > 0 && f.present < static_cast<uint64_t>(f.length)) {
        return f.name + " (" + std::to_string(f.length) + " bytes announced, only " + std::to_string(f.present) +
               " present)";
    }
    return f.name + " (" + plural(f.length > 0 ? static_cast<size_t>(f.length) : 0, "byte") + ")";
}

bool extractFile(const ByteSource& src, const EmbeddedFileInfo& f, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    std::string chunk(64 * 1024, '\0');
    for (uint64_t done = 0; done < f.present;) {
        uint64_t want = f.present - done < chunk.size() ? f.present - done : chunk.size();
        uint32_t got = src.readAt(src, f.dataOffset + done, &chunk[0], static_cast<uint32_t>(want));
        if (got == 0) return false;
        for (uint32_t i = 0; i < got; ++i) chunk[i] = static_cast<char>(chunk[i] ^ kScrambleByte);
        out.write(chunk.data(), got);
        done += got;
    }
    out.close();
    return static_cast<bool>(out);
}

bool extractAll(const ByteSource& src, const EmbeddedStreamInfo& info, const std::string& dir, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec || !std::filesystem::is_directory(dir, ec)) {
        error = "cannot create the directory '" + dir + "'";
        return false;
    }
    for (size_t i = 0; i < info.files.size(); ++i) {
        std::string path = extractedPath(dir, info.files[i].name);
        if (!extractFile(src, info.files[i], path)) {
            error = "cannot write '" + path + "'";
            for (size_t k = 0; k <= i; ++k) std::filesystem::remove(extractedPath(dir, info.files[k].name), ec);
            return false;
        }
    }
    return true;
}

// The lines standing for the 2002 and 2003 records when embed lines reproduce them.
void printEmbeddedFiles(std::ostream& out, const BlockContents& block, const EmbeddedStreamInfo& info,
                        const std::string& extractDir) {
    out << "# " << findConfigEntry(cfg::kEmbeddedFileCount)->name << " = "
        << escapeNarrow(block.narrow[info.countRecord].bytes) << "   (written from the embedded files)\n";
    out << "# " << findConfigEntry(cfg::kEmbeddedFileNames)->name << " = "
        << escapeNarrow(block.narrow[info.countRecord + 1].bytes) << "\n";
    for (const EmbeddedFileInfo& f : info.files) {
        if (extractDir.empty()) {
            out << "# embedded: " << escapeNarrow(fileSummary(f)) << "\n";
        } else {
            out << "embed = " << escapeNarrow(extractedPath(extractDir, f.name)) << "\n";
        }
    }
}

// Comments on a stream that embed lines cannot reproduce, and on trailing bytes.
void printStreamNotes(std::ostream& out, const ByteSource& src, const EmbeddedStreamInfo& info) {
    if (info.count > 0 && !info.notReproducible.empty()) {
        out << "# The embedded files as the launcher reads them (no embed lines reproduce them: "
            << escapeNarrow(info.notReproducible) << "):\n";
        for (const EmbeddedFileInfo& f : info.files) out << "# embedded: " << escapeNarrow(fileSummary(f)) << "\n";
        if (info.lengthMissing) out << "# the file ends where the length of the next embedded file should be\n";
    }
    if (src.size > info.end) {
        out << "# " << plural(static_cast<size_t>(src.size - info.end), "more byte")
            << (info.files.empty() ? " follow the block\n" : " follow the embedded files\n");
    }
}

// The image in front of the block (the launcher with its resources).
constexpr uint64_t kMaxImageSize = 256u * 1024 * 1024;

// The resource directives that make the launcher's resources, when the tool
// laid them out (the section is exactly what the tool writes for its tree);
// a generic launcher's own resources give none. With `extractDir` the icon
// and the splash image are written to its ".zorvo-resources" folder (no
// embedded file can be named into a folder) and named by directives;
// otherwise they are described in comments.
bool printResourceDirectives(std::ostream& out, const ByteSource& src, uint64_t imageSize,
                             const std::string& extractDir, std::string& error) {
    if (imageSize > kMaxImageSize) return true;
    std::string image(static_cast<size_t>(imageSize), '\0'), section, why;
    BlockReader reader{src, 0};
    uint32_t rva = 0;
    std::vector<ResourceEntry> entries;
    if (!reader.readExact(&image[0], static_cast<uint32_t>(imageSize)) ||
        !readResourceSection(image, section, rva, why) || !parseResourceSection(section, rva, entries, why) ||
        buildResourceSection(entries, rva) != section) {
        return true;
    }
    out << "# The application's resources, as the directives that make them:\n";
    std::string dir = extractDir.empty() ? "" : extractedPath(extractDir, ".zorvo-resources");
    std::error_code ec;
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    PeHeaders pe;
    readPeHeaders(memoryByteSource(image.data(), image.size()), pe);
    uint16_t subsystem = loadLe16(reinterpret_cast<const unsigned char*>(image.data()) + pe.optionalHeaderAt() +
                                  kSubsystemField);
    return dumpResourceDirectives(out, entries, subsystem, dir, error);
}

std::string blockProblem(const ByteSource& src, BlockError err) {
    std::string why;
    if (checkGenericLauncher(src, why)) return "has no configuration block (it is a generic launcher)";
    return std::string("has no configuration block that the launcher can read (it would stop with \"") +
           blockErrorText(err) + "\")";
}

}  // namespace

bool readBlockContents(const ByteSource& src, BlockContents& out, std::string& error) {
    out = BlockContents{};
    const LauncherLayout& layout = launcherLayoutOf(src);
    BlockWalk walk = walkConfigBlock(src, layout, keepRecord, &out);
    out.blockOffset = walk.blockOffset;
    if (walk.step != BlockStep::Done) {
        error = walkProblem(walk, layout);
        return false;
    }
    out.streamOffset = walk.end;
    return true;
}

EmbeddedStreamInfo describeEmbeddedStream(const ByteSource& src, const BlockContents& block,
                                          const ConfigTables& tables) {
    EmbeddedStreamInfo info;
    info.count = configInt(tables, cfg::kEmbeddedFileCount);
    info.end = block.streamOffset;
    if (info.count <= 0) return info;
    // The launcher reads entry 2003 into one of its text buffers.
    std::string buffer(8192, '\0');
    configString(tables, cfg::kEmbeddedFileNames, &buffer[0], buffer.size());
    std::vector<std::string> names = splitNames(buffer.c_str());

    BlockReader r{src, block.streamOffset};
    for (size_t i = 0; i < names.size() && info.files.size() < static_cast<size_t>(info.count); ++i) {
        int32_t length;
        if (!r.readInt(length)) {
            info.lengthMissing = true;
            break;
        }
        EmbeddedFileInfo f{names[i], length, r.pos, 0};
        if (length > 0) {
            f.present = r.remaining() < static_cast<uint64_t>(length) ? r.remaining() : static_cast<uint64_t>(length);
            r.pos += f.present;
        }
        info.files.push_back(f);
        if (length > 0 && f.present < static_cast<uint64_t>(length)) break;
    }
    info.end = r.pos < src.size ? r.pos : src.size;
    info.notReproducible = reproducibility(block, info, names, info.countRecord);
    return info;
}

bool dumpLauncher(const ByteSource& src, const DumpOptions& options, std::ostream& out, std::string& error) {
    const std::string& name = options.displayName;
    ConfigTables tables;
    BlockError err = parseConfigBlock(src, launcherLayoutOf(src), tables);
    if (err != BlockError::None) {
        error = name + ": " + blockProblem(src, err);
        return false;
    }
    BlockContents block;
    std::string why;
    bool ok = readBlockContents(src, block, why);
    EmbeddedStreamInfo info;
    if (ok) info = describeEmbeddedStream(src, block, tables);
    releaseConfigTables(tables);
    if (!ok) {
        error = name + ": " + why;
        return false;
    }
    bool reproducible = info.count > 0 && info.notReproducible.empty();
    if (!options.extractDir.empty() && info.count > 0) {
        if (!reproducible) {
            error = name + ": cannot extract the embedded files: " + info.notReproducible;
            return false;
        }
        if (!extractAll(src, info, options.extractDir, why)) {
            error = name + ": " + why;
            return false;
        }
    }

    std::ostringstream text;
    text << "# Configuration block of " << escapeNarrow(name) << ", dumped by zorvo-build\n";
    text << "# at file offset " << block.blockOffset << ": " << plural(block.narrow.size(), "narrow record")
         << ", " << plural(block.wide.size(), "wide record") << ", "
         << plural(info.count > 0 ? info.files.size() : 0, "embedded file") << "\n";
    bool emptyRange = hasEmptyVersionRange(block.narrow);
    for (size_t i = 0; i < block.narrow.size(); ++i) {
        if (reproducible && i == info.countRecord) {
            printEmbeddedFiles(text, block, info, options.extractDir);
            ++i;  // the 2003 record was printed with it
            continue;
        }
        printRecord(text, block.narrow[i], false, emptyRange && isVersionBoundRecord(block.narrow[i]));
    }
    for (const Record& r : block.wide) printRecord(text, r, true);
    if (!printResourceDirectives(text, src, block.blockOffset, options.extractDir, why)) {
        error = name + ": " + why;
        return false;
    }
    printStreamNotes(text, src, info);
    out << text.str();
    return true;
}

}  // namespace buildtool
}  // namespace zorvo
