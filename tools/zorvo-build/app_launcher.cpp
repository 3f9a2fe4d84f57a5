#include "app_launcher.h"

#include <filesystem>
#include <fstream>

#include "app_resources.h"
#include "block_writer.h"
#include "common/le_bytes.h"
#include "config/pe_image.h"
#include "config_text.h"
#include "file_access.h"
#include "pe_edit.h"
#include "pe_resources.h"

namespace zorvo {
namespace buildtool {
namespace {

bool notGeneric(std::string& problem, const std::string& why) {
    problem = "not a generic launcher: " + why;
    return false;
}

// Whether the bytes at `at` start with the block's magic.
bool magicAt(const ByteSource& image, uint64_t at) {
    BlockReader reader{image, at};
    int32_t magic;
    return reader.readInt(magic) && static_cast<uint32_t>(magic) == kBlockMagic;
}

// Why an image whose fifth section does not end where the image ends is no
// generic launcher, or why it is no longer one.
bool blockOffsetProblem(const ByteSource& image, uint64_t blockOffset, std::string& problem) {
    if (blockOffset > image.size) {
        return notGeneric(problem, "its last section ends at offset " + std::to_string(blockOffset) +
                                       ", behind the end of the file (" + std::to_string(image.size) + " bytes)");
    }
    if (magicAt(image, blockOffset)) {
        problem = "already has a configuration block (at file offset " + std::to_string(blockOffset) +
                  "); build from the generic launcher";
        return false;
    }
    return notGeneric(problem, std::to_string(image.size - blockOffset) + " bytes follow its last section");
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

bool hasRecord(const AppConfig& cfg, ConfigId id) {
    for (const Record& r : cfg.narrow) {
        if (r.id == id) return true;
    }
    return false;
}

// The resource directives applied to the launcher's resource tree, which is
// then laid out again in its last section.
bool applyResources(const BuildRequest& request, Inputs& in, std::string& error) {
    std::string section, why;
    uint32_t rva = 0;
    std::vector<ResourceEntry> entries;
    if (!readResourceSection(in.image, section, rva, why) || !parseResourceSection(section, rva, entries, why)) {
        error = located(request.launcherPath, why);
        return false;
    }
    ResourceEdit edit{entries, VersionInfo(), 0, 0, 0};
    if (!applyResourceDirectives(in.config.resources, request.configPath, request.outPath, edit, error)) return false;
    // The splash window takes the image's size unless the file sets it.
    if (edit.splashWidth && !hasRecord(in.config, cfg::kSplashWidth))
        in.config.narrow.push_back({cfg::kSplashWidth, std::to_string(edit.splashWidth), 0});
    if (edit.splashHeight && !hasRecord(in.config, cfg::kSplashHeight))
        in.config.narrow.push_back({cfg::kSplashHeight, std::to_string(edit.splashHeight), 0});
    if (edit.subsystem) {
        PeHeaders pe;
        readPeHeaders(memoryByteSource(in.image.data(), in.image.size()), pe);
        storeLe16(reinterpret_cast<unsigned char*>(&in.image[pe.optionalHeaderAt() + kSubsystemField]), edit.subsystem);
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
        if (!applyResources(request, in, error)) return false;
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
    // The output passed the generic launcher's checks: its PE header is at 128.
    const uint64_t field = kLauncherPeHeaderOffset + kOptionalHeaderStart + kChecksumField;
    bool written = file && writeChecksumInto(file, field);
    file.close();
    if (!written || !file) error = located(path, "cannot read the output back and write its checksum");
    return written && file;
}

}  // namespace

bool checkGenericLauncher(const ByteSource& image, std::string& problem) {
    const LauncherLayout& layout = launcherLayoutOf(image);
    LauncherHeaders h;
    LayoutBreak broken = checkLauncherLayout(image, layout, h);
    switch (broken) {
        case LayoutBreak::HeadersCut: return notGeneric(problem, "only " + std::to_string(image.size) + " bytes long");
        case LayoutBreak::PeHeaderOffset:
            return notGeneric(problem, "PE header at offset " + std::to_string(h.pe.peOffset) + ", not 128");
        case LayoutBreak::Signature: return notGeneric(problem, "no PE signature at offset 128");
        default: break;
    }
    PeDataDirectory certificates;
    if (readPeDataDirectory(image, h.pe, kCertificateDirectory, certificates) && certificates.size != 0) {
        problem = "is signed: stamp the unsigned generic launcher, then sign the application's launcher";
        return false;
    }
    const std::string variant = std::string(" of the ") + layout.name + " launcher";
    switch (broken) {
        case LayoutBreak::Machine:
            return notGeneric(problem, "machine type " + std::to_string(h.pe.machine) + ", not that" + variant);
        case LayoutBreak::SectionCount:
            return notGeneric(problem, std::to_string(h.pe.sectionCount) + " section headers, not 5");
        case LayoutBreak::OptionalHeader:
            return notGeneric(problem, "optional header of " + std::to_string(h.pe.optionalHeaderSize) +
                                           " bytes, not the " + std::to_string(layout.optionalHeaderSize) + variant);
        case LayoutBreak::LastSection:
            return notGeneric(problem, "section " + std::to_string(h.sectionBehind + 1) +
                                           ", not the fifth, ends last in the file");
        case LayoutBreak::BlockOffset: return blockOffsetProblem(image, h.blockOffset, problem);
        default: return true;
    }
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
