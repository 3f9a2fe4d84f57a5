// The post-link check of a generic launcher, run on the build machine after
// every link of the launcher:
//
//   pe_check 32 launcher.exe
//   pe_check 64 launcher.exe launcher.map
//
// An application's launcher finds its configuration block only through two
// 32-bit values at fixed file offsets, whose sum must be the end of the image:
// 552 and 556 in the 32-bit launcher (PE32: optional header of 224 bytes), 568
// and 572 in the 64-bit one (PE32+: 240 bytes). That holds when the PE header
// sits at offset 128, the optional header has its size and magic, there are
// exactly five section headers, and the fifth section is the last one in the
// file: the layout rule that config/pe_image.h checks for the build tool too.
//
// The 64-bit image also needs its function table referenced by the exception
// directory; the linker fills that directory only from a section named .pdata,
// so this step points it at the table that the linker script puts at the end
// of .text (between __zorvo_pdata_start and __zorvo_pdata_end, read from the
// link map) after checking that the table is sound. The linker keeps the
// entries of functions it removed as unused, with their addresses zero: they
// are taken out of the table first.
//
// Zero-initialised data takes no room in the file: the zero bytes at the end
// of the data section (the second) are cut from the file, which the loader
// fills up to the section's virtual size with zeros anyway, and the sections
// behind it move up. The layout rule is checked again on the result. Anything
// else fails the build, and the launcher is deleted.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <sstream>
#include <string>

#include "common/le_bytes.h"
#include "config/pe_image.h"

namespace zorvo {
namespace {

constexpr uint32_t kFunctionEntrySize = 12;  // begin, end, unwind information

struct Launcher {
    std::string path;
    const LauncherLayout* layout;
    std::string bytes;

    ByteSource source() const { return memoryByteSource(bytes.data(), bytes.size()); }
    const unsigned char* at(uint64_t offset) const {
        return reinterpret_cast<const unsigned char*>(bytes.data()) + offset;
    }
};

[[noreturn]] void fail(const Launcher& launcher, const std::string& what) {
    remove(launcher.path.c_str());  // a launcher that breaks the rule must not be used
    fprintf(stderr,
            "launcher layout check failed for %s: %s. The configuration block is found through the values at file "
            "offsets %u and %u; see src/res/launcher.ld and launcher64.ld.\n",
            launcher.path.c_str(), what.c_str(), static_cast<unsigned>(launcher.layout->offsetFieldA),
            static_cast<unsigned>(launcher.layout->offsetFieldB));
    exit(1);
}

bool readFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
    return static_cast<bool>(in);
}

// The layout rule of the launcher's variant; returns the headers it read.
LauncherHeaders checkLayout(const Launcher& launcher) {
    const LauncherLayout& layout = *launcher.layout;
    LauncherHeaders h;
    LayoutBreak broken = checkLauncherLayout(launcher.source(), layout, h);
    switch (broken) {
        case LayoutBreak::HeadersCut: fail(launcher, "only " + std::to_string(launcher.bytes.size()) + " bytes long");
        case LayoutBreak::PeHeaderOffset:
            fail(launcher, "PE header at offset " + std::to_string(h.pe.peOffset) + ", not 128");
        case LayoutBreak::Signature: fail(launcher, "no PE signature at offset 128");
        case LayoutBreak::Machine:
            fail(launcher, "machine type " + std::to_string(h.pe.machine) + ", not that of the " + layout.name +
                               " launcher");
        case LayoutBreak::SectionCount: fail(launcher, std::to_string(h.pe.sectionCount) + " section headers, not 5");
        default: break;
    }
    if (broken == LayoutBreak::OptionalHeader || h.pe.optionalMagic != layout.optionalMagic) {
        fail(launcher, "optional header of " + std::to_string(h.pe.optionalHeaderSize) + " bytes with magic " +
                           std::to_string(h.pe.optionalMagic) + ", not " + std::to_string(layout.optionalHeaderSize) +
                           " with " + std::to_string(layout.optionalMagic));
    }
    if (broken == LayoutBreak::LastSection) {
        fail(launcher, "section " + std::to_string(h.sectionBehind + 1) + ", not the fifth, ends last in the file");
    }
    if (broken == LayoutBreak::BlockOffset) {
        fail(launcher, "offsets " + std::to_string(layout.offsetFieldA) + " and " +
                           std::to_string(layout.offsetFieldB) + " sum to " + std::to_string(h.blockOffset) +
                           ", but the image is " + std::to_string(launcher.bytes.size()) + " bytes long");
    }
    return h;
}

bool isLowerHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

// The address of `symbol` in a GNU ld link map: the first place that reads
// "0x", lower-case hex digits, blanks, then "<symbol> = ".
bool mapAddress(const std::string& map, const std::string& symbol, int64_t& address) {
    const std::string assigned = " " + symbol + " = ";
    for (size_t at = map.find(assigned); at != std::string::npos; at = map.find(assigned, at + 1)) {
        size_t end = at;
        while (end > 0 && map[end - 1] == ' ') --end;
        size_t start = end;
        while (start > 0 && isLowerHexDigit(map[start - 1])) --start;
        if (start < end && start >= 2 && map.compare(start - 2, 2, "0x") == 0) {
            address = static_cast<int64_t>(strtoull(map.substr(start, end - start).c_str(), nullptr, 16));
            return true;
        }
    }
    return false;
}

// The address of a symbol that the link map must name.
int64_t linkMapAddress(const Launcher& launcher, const std::string& map, const std::string& mapPath,
                       const std::string& symbol) {
    int64_t address = 0;
    if (!mapAddress(map, symbol, address)) fail(launcher, symbol + " is not in the link map " + mapPath);
    return address;
}

// Writes the edited image over the file and reads it back.
bool writeBack(const Launcher& launcher) {
    {
        std::ofstream file(launcher.path, std::ios::binary | std::ios::trunc);
        file.write(launcher.bytes.data(), static_cast<std::streamsize>(launcher.bytes.size()));
        if (!file) return false;
    }
    std::string written;
    return readFile(launcher.path, written) && written == launcher.bytes;
}

// Takes the entries of removed functions (begin and end zero) out of the
// table, moving the others up and zeroing the rest; gives the entries left.
int64_t dropRemovedFunctions(Launcher& launcher, int64_t tableAt, int64_t entries) {
    int64_t kept = 0;
    for (int64_t i = 0; i < entries; ++i) {
        size_t from = static_cast<size_t>(tableAt + i * kFunctionEntrySize);
        const unsigned char* entry = launcher.at(from);
        if (loadLe32(entry) == 0 && loadLe32(entry + 4) == 0) continue;
        launcher.bytes.replace(static_cast<size_t>(tableAt + kept * kFunctionEntrySize), kFunctionEntrySize,
                               launcher.bytes, from, kFunctionEntrySize);
        ++kept;
    }
    size_t rest = static_cast<size_t>(tableAt + kept * kFunctionEntrySize);
    launcher.bytes.replace(rest, static_cast<size_t>((entries - kept) * kFunctionEntrySize),
                           static_cast<size_t>((entries - kept) * kFunctionEntrySize), '\0');
    return kept;
}

// Points the exception directory of the 64-bit image at its function table:
// where the link map says, without the entries of removed functions, sound,
// then referenced.
void referenceFunctionTable(Launcher& launcher, const PeHeaders& pe, const std::string& mapPath) {
    std::string map;
    readFile(mapPath, map);
    int64_t start = linkMapAddress(launcher, map, mapPath, "__zorvo_pdata_start");
    int64_t end = linkMapAddress(launcher, map, mapPath, "__zorvo_pdata_end");
    int64_t imageBase = static_cast<int64_t>(loadLe64(launcher.at(pe.optionalHeaderAt() + kImageBaseField64)));
    int64_t tableRva = start - imageBase;
    int64_t tableSize = end - start;
    if (tableSize < kFunctionEntrySize || tableSize % kFunctionEntrySize != 0) {
        fail(launcher, "the function table is " + std::to_string(tableSize) + " bytes long");
    }
    // .text is the first section; the table lies inside its raw data.
    PeSection text;
    readPeSection(launcher.source(), pe, 0, text);
    int64_t tableAt = tableRva - text.rva + text.rawPointer;
    if (tableRva < text.rva || tableAt + tableSize > static_cast<int64_t>(text.rawEnd()) ||
        tableAt + tableSize > static_cast<int64_t>(launcher.bytes.size())) {
        fail(launcher, "the function table at RVA " + std::to_string(tableRva) + " is not inside .text");
    }
    int64_t entries = dropRemovedFunctions(launcher, tableAt, tableSize / kFunctionEntrySize);
    tableSize = entries * kFunctionEntrySize;
    // Sorted by start address, each range non-empty: the system searches it.
    uint32_t previousEnd = 0;
    for (int64_t i = 0; i < entries; ++i) {
        const unsigned char* entry = launcher.at(static_cast<uint64_t>(tableAt + i * kFunctionEntrySize));
        uint32_t first = loadLe32(entry), last = loadLe32(entry + 4);
        if (first >= last || first < previousEnd) {
            fail(launcher, "function table entry " + std::to_string(i) + " (" + std::to_string(first) + " to " +
                               std::to_string(last) + ") is empty or out of order");
        }
        previousEnd = last;
    }
    unsigned char* directory = reinterpret_cast<unsigned char*>(&launcher.bytes[pe.dataDirectoryAt(kExceptionDirectory)]);
    storeLe32(directory, static_cast<uint32_t>(tableRva));
    storeLe32(directory + 4, static_cast<uint32_t>(tableSize));
    printf("exception directory: RVA %lld, %lld bytes, %lld functions\n", static_cast<long long>(tableRva),
           static_cast<long long>(tableSize), static_cast<long long>(entries));
}

uint32_t alignUp(uint64_t n, uint32_t alignment) {
    return static_cast<uint32_t>((n + alignment - 1) / alignment * alignment);
}

void storeField(Launcher& launcher, uint64_t at, uint32_t value) {
    storeLe32(reinterpret_cast<unsigned char*>(&launcher.bytes[static_cast<size_t>(at)]), value);
}

// Cuts the zero bytes at the end of the data section's raw data from the file
// (down to the file alignment); the sections behind it move up.
void trimZeroInitialisedData(Launcher& launcher, const PeHeaders& pe) {
    const uint32_t kDataSection = 1;
    PeSection data;
    if (!readPeSection(launcher.source(), pe, kDataSection, data) || data.rawEnd() > launcher.bytes.size()) {
        fail(launcher, "the data section lies outside the file");
    }
    uint32_t fileAlignment = loadLe32(launcher.at(pe.optionalHeaderAt() + kFileAlignmentField));
    uint64_t used = data.rawSize;
    while (used > 0 && launcher.bytes[data.rawPointer + used - 1] == '\0') --used;
    uint32_t keep = alignUp(used, fileAlignment == 0 ? 1 : fileAlignment);
    if (keep == 0 || keep >= data.rawSize) return;
    uint32_t cut = data.rawSize - keep;
    launcher.bytes.erase(data.rawPointer + keep, cut);
    storeField(launcher, pe.sectionHeaderAt(kDataSection) + kSectionRawSizeField, keep);
    for (uint32_t i = kDataSection + 1; i < pe.sectionCount; ++i) {
        PeSection behind;
        readPeSection(launcher.source(), pe, i, behind);
        storeField(launcher, pe.sectionHeaderAt(i) + kSectionRawPointerField, behind.rawPointer - cut);
    }
    uint64_t initialisedAt = pe.optionalHeaderAt() + kInitializedDataSizeField;
    storeField(launcher, initialisedAt, loadLe32(launcher.at(initialisedAt)) - cut);
    printf("zero-initialised data: %u bytes of the data section left out of the file\n", static_cast<unsigned>(cut));
}

int run(int argc, char** argv) {
    std::string variant = argc > 1 ? argv[1] : "";
    bool win64 = variant == "64";
    if ((variant != "32" && !win64) || argc != (win64 ? 4 : 3)) {
        fprintf(stderr, "usage: pe_check 32 launcher.exe | pe_check 64 launcher.exe launcher.map\n");
        return 2;
    }
    Launcher launcher{argv[2], win64 ? &kLauncherLayout64 : &kLauncherLayout32, ""};
    if (!readFile(launcher.path, launcher.bytes)) fail(launcher, "file not found");
    LauncherHeaders headers = checkLayout(launcher);
    if (win64) referenceFunctionTable(launcher, headers.pe, argv[3]);
    trimZeroInitialisedData(launcher, headers.pe);
    headers = checkLayout(launcher);
    if (!writeBack(launcher)) fail(launcher, "the checked image could not be written back");
    printf("launcher layout ok: %s (%zu bytes, block offset %llu)\n", launcher.path.c_str(), launcher.bytes.size(),
           static_cast<unsigned long long>(headers.blockOffset));
    return 0;
}

}  // namespace
}  // namespace zorvo

int main(int argc, char** argv) { return zorvo::run(argc, argv); }
