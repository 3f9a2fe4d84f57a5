#include "pe_edit.h"

#include "config/pe_image.h"
#include "le_bytes.h"

#include <istream>

namespace zorvo {
namespace buildtool {
namespace {

uint32_t alignUp(uint32_t n, uint32_t alignment) {
    return alignment ? (n + alignment - 1) / alignment * alignment : n;
}

ByteSource sourceOf(const std::string& image) { return memoryByteSource(image.data(), image.size()); }

// The image's headers, when they fit it, and its last section.
struct Headers {
    PeHeaders pe;
    size_t lastAt = 0;  // the last section's header
    PeSection last;
};

bool headersOf(const std::string& image, Headers& h, std::string& error) {
    switch (readPeHeaders(sourceOf(image), h.pe)) {
        case PeRead::NoDosHeader: error = "the launcher is too short to be a PE image"; return false;
        case PeRead::NoPeHeader: error = "the launcher has no PE header"; return false;
        case PeRead::Ok: break;
    }
    if (!peHeadersFit(h.pe, image.size())) {
        error = "the launcher's headers do not fit it";
        return false;
    }
    h.lastAt = static_cast<size_t>(h.pe.sectionHeaderAt(h.pe.sectionCount - 1u));
    return readPeSection(sourceOf(image), h.pe, h.pe.sectionCount - 1u, h.last);
}

}  // namespace

bool readResourceSection(const std::string& image, std::string& section, uint32_t& rva, std::string& error) {
    Headers h;
    PeDataDirectory resources;
    if (!headersOf(image, h, error) || !readPeDataDirectory(sourceOf(image), h.pe, kResourceDirectory, resources)) {
        return false;
    }
    rva = h.last.rva;
    if (resources.rva != rva) {
        error = "the launcher's last section is not its resource section";
        return false;
    }
    uint32_t size = h.last.virtualSize < h.last.rawSize ? h.last.virtualSize : h.last.rawSize, raw = h.last.rawPointer;
    if (raw > image.size() || size > image.size() - raw) {
        error = "the launcher's resource section lies outside the file";
        return false;
    }
    section = image.substr(raw, size);
    return true;
}

bool replaceResourceSection(std::string& image, const std::string& section, std::string& error) {
    Headers h;
    if (!headersOf(image, h, error)) return false;
    uint32_t raw = h.last.rawPointer, oldRawSize = h.last.rawSize;
    if (static_cast<uint64_t>(raw) + oldRawSize != image.size()) {
        error = "the launcher does not end with its last section";
        return false;
    }
    size_t optional = static_cast<size_t>(h.pe.optionalHeaderAt());
    uint32_t fileAlignment = get32(image, optional + kFileAlignmentField);
    uint32_t sectionAlignment = get32(image, optional + kSectionAlignmentField);
    uint32_t rawSize = alignUp(static_cast<uint32_t>(section.size()), fileAlignment);
    image.resize(raw);
    image += section;
    image.resize(static_cast<size_t>(raw) + rawSize, '\0');
    put32(image, h.lastAt + kSectionVirtualSizeField, static_cast<uint32_t>(section.size()));
    put32(image, h.lastAt + kSectionRawSizeField, rawSize);
    uint32_t initialized = get32(image, optional + kInitializedDataSizeField);
    put32(image, optional + kInitializedDataSizeField, initialized - oldRawSize + rawSize);
    put32(image, optional + kImageSizeField,
          alignUp(h.last.rva + static_cast<uint32_t>(section.size()), sectionAlignment));
    put32(image, static_cast<size_t>(h.pe.dataDirectoryAt(kResourceDirectory)) + 4,
          static_cast<uint32_t>(section.size()));
    return true;
}

void PeChecksum::add(const char* bytes, size_t count) {
    for (size_t i = 0; i < count; i += 2, at_ += 2) {
        if (at_ == field_ || at_ == field_ + 2) continue;
        uint32_t word = static_cast<unsigned char>(bytes[i]);
        if (i + 1 < count) word |= static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
        sum_ += word;
        sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
    }
    if (count % 2) --at_;  // only a last piece is odd
}

uint32_t PeChecksum::value() const {
    uint64_t sum = (sum_ & 0xFFFF) + (sum_ >> 16);
    return static_cast<uint32_t>(sum + at_);
}

uint32_t peChecksum(const std::string& image) {
    PeHeaders h;
    readPeHeaders(sourceOf(image), h);  // the DOS header's pointer is all the field's offset needs
    PeChecksum checksum(h.checksumAt());
    checksum.add(image.data(), image.size());
    return checksum.value();
}

bool writeChecksumInto(std::iostream& file, uint64_t field) {
    PeChecksum checksum(field);
    std::string chunk(64 * 1024, '\0');
    file.seekg(0);
    while (file) {
        file.read(&chunk[0], static_cast<std::streamsize>(chunk.size()));
        checksum.add(chunk.data(), static_cast<size_t>(file.gcount()));
    }
    // Only the end of the file may end the reading.
    if (file.bad() || !file.eof()) return false;
    file.clear();
    unsigned char bytes[4];
    storeLe32(bytes, checksum.value());
    file.seekp(static_cast<std::streamoff>(field));
    file.write(reinterpret_cast<const char*>(bytes), 4);
    file.flush();
    return static_cast<bool>(file);
}

bool isSignedImage(const std::string& image) {
    Headers h;
    std::string error;
    PeDataDirectory certificates;
    return headersOf(image, h, error) &&
           readPeDataDirectory(sourceOf(image), h.pe, kCertificateDirectory, certificates) && certificates.size != 0;
}

}  // namespace buildtool
}  // namespace zorvo
