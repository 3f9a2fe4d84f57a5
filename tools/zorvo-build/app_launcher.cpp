#include "app_launcher.h"

#include <string.h>

#include <filesystem>
#include <fstream>

#include "app_resources.h"
#include "block_writer.h"
#include "config/pe_image.h"
#include "config_text.h"
#include "file_access.h"
#include "pe_edit.h"
#include "pe_resources.h"

namespace zorvo {
namespace buildtool {
namespace {

// Fixed layout of the generic launcher's headers; what differs between the
// 32-bit and the 64-bit launcher is in their LauncherLayout.
constexpr uint32_t kPeHeaderPointer = 60;
constexpr uint32_t kPeHeaderOffset = kLauncherPeHeaderOffset;
constexpr uint32_t kMachineOffset = kPeHeaderOffset + 4;
constexpr uint32_t kSectionCountOffset = kPeHeaderOffset + 6;
constexpr uint32_t kOptionalHeaderSizeOffset = kPeHeaderOffset + 20;
constexpr uint32_t kOptionalHeaderOffset = kPeHeaderOffset + 24;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionCount = 5;
constexpr uint32_t kRawSizeField = 16;     // SizeOfRawData within a section header
constexpr uint32_t kRawPointerField = 20;  // PointerToRawData

constexpr uint32_t sectionTableOffset(const LauncherLayout& layout) {
    return kOptionalHeaderOffset + layout.optionalHeaderSize;
}
constexpr uint32_t headersEnd(const LauncherLayout& layout) {
    return sectionTableOffset(layout) + kSectionCount * kSectionHeaderSize;
}

static_assert(sectionTableOffset(kLauncherLayout32) + 4 * kSectionHeaderSize + kRawSizeField ==
                  kLauncherLayout32.offsetFieldA && sectionTableOffset(kLauncherLayout32) + 4 * kSectionHeaderSize +
                  kRawPointerField == kLauncherLayout32.offsetFieldB,
              "552 and 556 are the fifth section's raw size and raw offset of a PE32 image");
static_assert(sectionTableOffset(kLauncherLayout64) + 4 * kSectionHeaderSize + kRawSizeField ==
                  kLauncherLayout64.offsetFieldA && sectionTableOffset(kLauncherLayout64) + 4 * kSectionHeaderSize +
                  kRawPointerField == kLauncherLayout64.offsetFieldB,
              "568 and 572 are the fifth section's raw size and raw offset of a PE32+ image");
constexpr uint32_t kLargestHeadersEnd = headersEnd(kLauncherLayout64);

uint32_t readU32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

uint32_t readU16(const unsigned char* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

bool readExact(const ByteSource& src, uint64_t at, unsigned char* dst, uint32_t n) {
    uint32_t done = 0;
    while (done < n) {
        uint32_t got = src.readAt(src, at + done, dst + done, n - done);
        if (got == 0) return false;
        done += got;
    }
    return true;
}

bool notGeneric(std::string& problem, const std::string& why) {
    problem = "not a generic launcher: " + why;
    return false;
}

// Whether the bytes at `at` start with the block's magic.
bool magicAt(const ByteSource& image, uint64_t at) {
    unsigned char b[4];
    return readExact(image, at, b, 4) && readU32(b) == kBlockMagic;
}

std::string located(const std::string& path, const std::string& message) { return path + ": " + message; }

// Everything that is read and checked before the output is touched.
struct Inputs {
    AppConfig config;
    InputFile launcher;
    // The launcher's image with the application's resources, when it has any
    // resource directive; else the launcher is copied as it stands.
    std::string image;
    bool rebuilt = false;
};

constexpr uint64_t kMaxLauncherSize = 256u * 1024 * 1024;

bool readInput(const std::string& path, uint64_t maxSize, std::string& bytes, const std::string& where,
               const std::string& what, std::string& error) {
    std::string why;
    if (readWholeFile(path, maxSize, bytes, why)) return true;
    error = where + "cannot use " + what + " '" + path + "': " + why;
    return false;
}

bool hasRecord(const AppConfig& cfg, ConfigId id) {
    for (const Record& r : cfg.narrow) {
        if (r.id == id) return true;
    }
    return false;
}

// The resource directives applied to the launcher's resource tree.
bool applyResourceDirectives(const BuildRequest& request, Inputs& in, std::string& error) {
    ResourceSpec& wanted = in.config.resources;
    auto at = [&](int line) { return request.configPath + ":" + std::to_string(line) + ": "; };
    std::string section, why;
    uint32_t rva = 0;
    std::vector<ResourceEntry> entries;
    if (!readResourceSection(in.image, section, rva, why) || !parseResourceSection(section, rva, entries, why)) {
        error = located(request.launcherPath, why);
        return false;
    }
    if (wanted.iconLine) {
        std::string ico;
        std::vector<IconImage> images;
        if (!readInput(wanted.icon, kMaxIconFileSize, ico, at(wanted.iconLine), "icon", error)) return false;
        if (!parseIconFile(ico, images, why)) {
            error = at(wanted.iconLine) + "cannot use icon '" + wanted.icon + "': " + why;
            return false;
        }
        replaceIcon(entries, images);
    }
    if (wanted.splashLine) {
        std::string file, dib;
        int width = 0, height = 0;
        if (!readInput(wanted.splashImage, kMaxImageFileSize, file, at(wanted.splashLine), "splash image", error)) {
            return false;
        }
        if (!splashBitmapOfImage(file, dib, width, height, why)) {
            error = at(wanted.splashLine) + "cannot use splash image '" + wanted.splashImage + "': " + why;
            return false;
        }
        const ResourceEntry* old =
            findResource(entries, ResourceId::number(kResourceBitmap), ResourceId::number(kSplashBitmapId));
        ResourceEntry bitmap;
        bitmap.type = ResourceId::number(kResourceBitmap);
        bitmap.name = ResourceId::number(kSplashBitmapId);
        bitmap.language = old ? old->language : 0x0409;
        bitmap.data = dib;
        entries.push_back(bitmap);
        // The splash window takes the image's size unless the file sets it.
        if (!hasRecord(in.config, cfg::kSplashWidth)) in.config.narrow.push_back({cfg::kSplashWidth, std::to_string(width), 0});
        if (!hasRecord(in.config, cfg::kSplashHeight)) {
            in.config.narrow.push_back({cfg::kSplashHeight, std::to_string(height), 0});
        }
    }
    if (!wanted.version.empty()) {
        VersionInfo info = wanted.version;
        std::u16string& original = info.values[6];  // OriginalFilename: the output's name unless given
        if (original.empty()) original = std::filesystem::path(request.outPath).filename().u16string();
        ResourceEntry version;
        version.type = ResourceId::number(kResourceVersion);
        version.name = ResourceId::number(1);
        version.language = 0x0409;
        version.data = versionResource(info);
        removeResources(entries, version.type);
        entries.push_back(version);
    }
    if (wanted.levelLine || wanted.dpiLine) {
        std::vector<const ResourceEntry*> manifests = findResources(entries, ResourceId::number(kResourceManifest));
        if (manifests.size() != 1) {
            error = located(request.launcherPath, "has no single manifest to change");
            return false;
        }
        ResourceEntry manifest = *manifests[0];
        if (!editManifest(manifests[0]->data, wanted.executionLevel, wanted.dpiAware, manifest.data, why)) {
            error = at(wanted.levelLine ? wanted.levelLine : wanted.dpiLine) + why;
            return false;
        }
        entries.push_back(manifest);
    }
    if (!replaceResourceSection(in.image, buildResourceSection(entries, rva), why) ||
        !checkGenericLauncher(memoryByteSource(in.image.data(), in.image.size()), why)) {
        error = located(request.launcherPath, "cannot take the application's resources: " + why);
        return false;
    }
    in.rebuilt = true;
    return true;
}

bool prepareInputs(const BuildRequest& request, Inputs& in, std::string& error) {
    std::string text, why;
    if (!readWholeFile(request.configPath, kMaxConfigFileSize, text, why)) {
        error = located(request.configPath, why);
        return false;
    }
    std::string baseDir = std::filesystem::path(request.configPath).parent_path().string();
    if (!parseConfigText(text, ConfigSource{request.configPath, baseDir}, in.config, error)) return false;
    if (!statEmbeddedFiles(in.config, request.configPath, error)) return false;

    if (!in.launcher.open(request.launcherPath, why)) {
        error = located(request.launcherPath, why);
        return false;
    }
    if (!checkGenericLauncher(in.launcher.source(), why)) {
        error = located(request.launcherPath, why);
        return false;
    }
    if (in.config.resources.any()) {
        if (!readWholeFile(request.launcherPath, kMaxLauncherSize, in.image, why)) {
            error = located(request.launcherPath, why);
            return false;
        }
        if (!applyResourceDirectives(request, in, error)) return false;
    }
    for (const std::string& raw : request.appendRaw) {
        InputFile probe;
        if (!probe.open(raw, why)) {
            error = located(raw, why);
            return false;
        }
    }
    std::error_code ec;
    if (std::filesystem::equivalent(request.launcherPath, request.outPath, ec)) {
        error = located(request.outPath, "is the generic launcher itself; write the application's launcher elsewhere");
        return false;
    }
    if (std::filesystem::is_directory(request.outPath, ec)) {
        error = located(request.outPath, "is a directory");
        return false;
    }
    return true;
}

// Writes the launcher copy, the block and the stream into `tempPath`.
bool writeOutput(const BuildRequest& request, Inputs& in, const std::string& tempPath, std::string& error) {
    std::ofstream out(tempPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        error = located(tempPath, "cannot open for writing");
        return false;
    }
    ByteSource image = memoryByteSource(in.image.data(), in.image.size());
    const ByteSource& src = in.rebuilt ? image : in.launcher.source();
    std::string chunk(64 * 1024, '\0');
    for (uint64_t at = 0; at < src.size;) {
        uint64_t want = src.size - at < chunk.size() ? src.size - at : chunk.size();
        uint32_t got = src.readAt(src, at, &chunk[0], static_cast<uint32_t>(want));
        if (got == 0) {
            error = located(request.launcherPath, "cannot read");
            return false;
        }
        out.write(chunk.data(), got);
        at += got;
    }
    std::string why;
    if (!writeBlockAndStream(out, in.config, request.appendRaw, why)) {
        error = located(request.outPath, why);
        return false;
    }
    out.close();
    if (!out) {
        error = located(request.outPath, "cannot write the output");
        return false;
    }
    return true;
}

// Writes the PE checksum of the whole output, block and embedded files
// included, into its header: the file as shipped (signing tools compute it
// again over the signed file).
bool writeChecksum(const std::string& path, std::string& error) {
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    std::string chunk(64 * 1024, '\0');
    file.read(&chunk[0], static_cast<std::streamsize>(chunk.size()));
    uint64_t field = checksumFieldOf(chunk.substr(0, static_cast<size_t>(file.gcount())));
    PeChecksum checksum(field);
    for (std::streamsize got = file.gcount(); got > 0; got = file.gcount()) {
        checksum.add(chunk.data(), static_cast<size_t>(got));
        file.read(&chunk[0], static_cast<std::streamsize>(chunk.size()));
    }
    file.clear();
    uint32_t value = checksum.value();
    const char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8), static_cast<char>(value >> 16),
                           static_cast<char>(value >> 24)};
    file.seekp(static_cast<std::streamoff>(field));
    file.write(bytes, 4);
    file.close();
    if (!file) error = located(path, "cannot write the checksum");
    return static_cast<bool>(file);
}

}  // namespace

bool checkGenericLauncher(const ByteSource& image, std::string& problem) {
    unsigned char head[kLargestHeadersEnd];
    const LauncherLayout& layout = launcherLayoutOf(image);
    uint32_t end = headersEnd(layout);
    if (image.size < end || !readExact(image, 0, head, end)) {
        return notGeneric(problem, "only " + std::to_string(image.size) + " bytes long");
    }
    uint32_t pe = readU32(head + kPeHeaderPointer);
    if (pe != kPeHeaderOffset) return notGeneric(problem, "PE header at offset " + std::to_string(pe) + ", not 128");
    if (memcmp(head + kPeHeaderOffset, "PE\0\0", 4) != 0) return notGeneric(problem, "no PE signature at offset 128");
    const std::string variant = std::string(" of the ") + layout.name + " launcher";
    uint32_t certificates = readU32(head + kOptionalHeaderOffset + (layout.optionalMagic == 0x20B ? 112 : 96) + 4 * 8 + 4);
    if (certificates != 0) {
        problem = "is signed: stamp the unsigned generic launcher, then sign the application's launcher";
        return false;
    }
    uint32_t machine = readU16(head + kMachineOffset);
    if (machine != layout.machine) {
        return notGeneric(problem, "machine type " + std::to_string(machine) + ", not that" + variant);
    }
    uint32_t sections = readU16(head + kSectionCountOffset);
    if (sections != kSectionCount) {
        return notGeneric(problem, std::to_string(sections) + " section headers, not 5");
    }
    uint32_t optional = readU16(head + kOptionalHeaderSizeOffset);
    if (optional != layout.optionalHeaderSize) {
        return notGeneric(problem, "optional header of " + std::to_string(optional) + " bytes, not the " +
                                       std::to_string(layout.optionalHeaderSize) + variant);
    }
    uint64_t ends[kSectionCount];
    for (uint32_t i = 0; i < kSectionCount; ++i) {
        const unsigned char* h = head + sectionTableOffset(layout) + i * kSectionHeaderSize;
        ends[i] = static_cast<uint64_t>(readU32(h + kRawSizeField)) + readU32(h + kRawPointerField);
    }
    for (uint32_t i = 0; i + 1 < kSectionCount; ++i) {
        if (ends[i] > ends[kSectionCount - 1]) {
            return notGeneric(problem, "section " + std::to_string(i + 1) + ", not the fifth, ends last in the file");
        }
    }
    uint64_t blockOffset = ends[kSectionCount - 1];  // the sum of the values at the layout's two offsets
    if (blockOffset > image.size) {
        return notGeneric(problem, "its last section ends at offset " + std::to_string(blockOffset) +
                                       ", behind the end of the file (" + std::to_string(image.size) + " bytes)");
    }
    if (blockOffset < image.size) {
        if (magicAt(image, blockOffset)) {
            problem = "already has a configuration block (at file offset " + std::to_string(blockOffset) +
                      "); build from the generic launcher";
            return false;
        }
        return notGeneric(problem,
                          std::to_string(image.size - blockOffset) + " bytes follow its last section");
    }
    return true;
}

bool buildApplicationLauncher(const BuildRequest& request, std::string& error) {
    Inputs in;
    if (!prepareInputs(request, in, error)) return false;
    std::string tempPath, why;
    if (!createTempBeside(request.outPath, tempPath, why)) {
        error = located(request.outPath, why);
        return false;
    }
    bool ok = writeOutput(request, in, tempPath, error) && writeChecksum(tempPath, error);
    if (ok) {
        copyPermissions(request.launcherPath, tempPath);
        ok = replaceFile(tempPath, request.outPath, why);
        if (!ok) error = located(request.outPath, why);
    }
    if (!ok) {
        std::error_code ec;
        std::filesystem::remove(tempPath, ec);
    }
    return ok;
}

}  // namespace buildtool
}  // namespace zorvo
