#include "pe_edit.h"

#include "le_bytes.h"

namespace zorvo {
namespace buildtool {
namespace {

constexpr size_t kPeHeaderPointer = 60;
constexpr size_t kSectionHeaderSize = 40;

uint32_t alignUp(uint32_t n, uint32_t alignment) {
    return alignment ? (n + alignment - 1) / alignment * alignment : n;
}

// Where the headers' fields are; false when the image is too short or no PE.
struct Layout {
    size_t optional = 0;     // optional header
    size_t directories = 0;  // data directories
    size_t sections = 0;     // section table
    size_t count = 0;
};

bool layoutOf(const std::string& image, Layout& l, std::string& error) {
    if (image.size() < 64) {
        error = "the launcher is too short to be a PE image";
        return false;
    }
    size_t pe = get32(image, kPeHeaderPointer);
    if (pe > image.size() || image.size() - pe < 24 + 2 || image.compare(pe, 4, std::string("PE\0\0", 4)) != 0) {
        error = "the launcher has no PE header";
        return false;
    }
    l.optional = pe + 24;
    uint32_t magic = get16(image, l.optional);
    l.directories = l.optional + (magic == 0x20B ? 112 : 96);
    l.sections = l.optional + get16(image, pe + 20);
    l.count = get16(image, pe + 6);
    if (l.count == 0 || l.sections + l.count * kSectionHeaderSize > image.size() ||
        l.directories + 16 * 8 > l.sections) {
        error = "the launcher's headers do not fit it";
        return false;
    }
    return true;
}

size_t lastSection(const Layout& l) { return l.sections + (l.count - 1) * kSectionHeaderSize; }

}  // namespace

bool readResourceSection(const std::string& image, std::string& section, uint32_t& rva, std::string& error) {
    Layout l;
    if (!layoutOf(image, l, error)) return false;
    size_t header = lastSection(l);
    rva = get32(image, header + 12);
    uint32_t virtualSize = get32(image, header + 8), rawSize = get32(image, header + 16), raw = get32(image, header + 20);
    if (get32(image, l.directories + 2 * 8) != rva) {
        error = "the launcher's last section is not its resource section";
        return false;
    }
    uint32_t size = virtualSize < rawSize ? virtualSize : rawSize;
    if (raw > image.size() || size > image.size() - raw) {
        error = "the launcher's resource section lies outside the file";
        return false;
    }
    section = image.substr(raw, size);
    return true;
}

bool replaceResourceSection(std::string& image, const std::string& section, std::string& error) {
    Layout l;
    if (!layoutOf(image, l, error)) return false;
    size_t header = lastSection(l);
    uint32_t raw = get32(image, header + 20), oldRawSize = get32(image, header + 16);
    if (static_cast<uint64_t>(raw) + oldRawSize != image.size()) {
        error = "the launcher does not end with its last section";
        return false;
    }
    uint32_t fileAlignment = get32(image, l.optional + 36), sectionAlignment = get32(image, l.optional + 32);
    uint32_t rawSize = alignUp(static_cast<uint32_t>(section.size()), fileAlignment);
    image.resize(raw);
    image += section;
    image.resize(static_cast<size_t>(raw) + rawSize, '\0');
    put32(image, header + 8, static_cast<uint32_t>(section.size()));
    put32(image, header + 16, rawSize);
    uint32_t initialized = get32(image, l.optional + 8);
    put32(image, l.optional + 8, initialized - oldRawSize + rawSize);
    put32(image, l.optional + 56, alignUp(get32(image, header + 12) + static_cast<uint32_t>(section.size()),
                                          sectionAlignment));
    put32(image, l.directories + 2 * 8 + 4, static_cast<uint32_t>(section.size()));
    put32(image, l.optional + 64, peChecksum(image));
    return true;
}

uint64_t checksumFieldOf(const std::string& head) {
    return (head.size() >= 64 ? get32(head, kPeHeaderPointer) : 0) + 24 + 64;
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
    PeChecksum checksum(checksumFieldOf(image));
    checksum.add(image.data(), image.size());
    return checksum.value();
}

bool isSignedImage(const std::string& image) {
    Layout l;
    std::string error;
    return layoutOf(image, l, error) && get32(image, l.directories + 4 * 8 + 4) != 0;
}

}  // namespace buildtool
}  // namespace zorvo
