#include "config/pe_image.h"

#include <string.h>

#include "common/le_bytes.h"

namespace zorvo {
namespace {

// The 26 bytes from the signature to the optional header's magic.
constexpr uint32_t kPeHeaderStartSize = kOptionalHeaderStart + 2;

// The two values that give the block's offset are the fifth section header's
// raw size and raw offset.
constexpr bool blockFieldsAreTheFifthSections(const LauncherLayout& layout) {
    return launcherSectionTableAt(layout) + 4 * kSectionHeaderSize + kSectionRawSizeField == layout.offsetFieldA &&
           launcherSectionTableAt(layout) + 4 * kSectionHeaderSize + kSectionRawPointerField == layout.offsetFieldB;
}
static_assert(blockFieldsAreTheFifthSections(kLauncherLayout32), "552 and 556 in a PE32 image");
static_assert(blockFieldsAreTheFifthSections(kLauncherLayout64), "568 and 572 in a PE32+ image");

bool readBytes(const ByteSource& image, uint64_t at, unsigned char* dst, uint32_t n) {
    BlockReader reader{image, at};
    return reader.remaining() >= n && reader.readExact(dst, n);
}

// The first `n` bytes of a PE header at `at`, when the image holds them and
// they start with the signature.
bool readPeHeaderAt(const ByteSource& image, uint64_t at, unsigned char* pe, uint32_t n) {
    return readBytes(image, at, pe, n) && memcmp(pe, "PE\0\0", 4) == 0;
}

}  // namespace

uint16_t peMachineOf(const ByteSource& image) {
    unsigned char dos[kDosHeaderSize];
    if (!readBytes(image, 0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    unsigned char pe[6];
    if (!readPeHeaderAt(image, loadLe32(dos + kPeHeaderPointerField), pe, sizeof(pe))) return 0;
    return static_cast<uint16_t>(loadLe16(pe + 4));
}

PeRead readPeHeaders(const ByteSource& image, PeHeaders& out) {
    out = PeHeaders{};
    unsigned char dos[kDosHeaderSize];
    if (!readBytes(image, 0, dos, sizeof(dos))) return PeRead::NoDosHeader;
    out.peOffset = loadLe32(dos + kPeHeaderPointerField);
    unsigned char pe[kPeHeaderStartSize];
    if (!readPeHeaderAt(image, out.peOffset, pe, sizeof(pe))) return PeRead::NoPeHeader;
    out.machine = static_cast<uint16_t>(loadLe16(pe + 4));
    out.sectionCount = static_cast<uint16_t>(loadLe16(pe + 6));
    out.optionalHeaderSize = static_cast<uint16_t>(loadLe16(pe + 20));
    out.optionalMagic = static_cast<uint16_t>(loadLe16(pe + kOptionalHeaderStart));
    return PeRead::Ok;
}

bool peHeadersFit(const PeHeaders& headers, uint64_t size) {
    return headers.sectionCount != 0 && headers.sectionHeaderAt(headers.sectionCount) <= size &&
           headers.dataDirectoryAt(kDataDirectoryCount) <= headers.sectionTableAt();
}

bool readPeSection(const ByteSource& image, const PeHeaders& headers, uint32_t index, PeSection& out) {
    unsigned char h[kSectionHeaderSize];
    if (!readBytes(image, headers.sectionHeaderAt(index), h, sizeof(h))) return false;
    out.virtualSize = loadLe32(h + kSectionVirtualSizeField);
    out.rva = loadLe32(h + kSectionRvaField);
    out.rawSize = loadLe32(h + kSectionRawSizeField);
    out.rawPointer = loadLe32(h + kSectionRawPointerField);
    return true;
}

bool readPeDataDirectory(const ByteSource& image, const PeHeaders& headers, uint32_t index, PeDataDirectory& out) {
    unsigned char d[kDataDirectorySize];
    if (!readBytes(image, headers.dataDirectoryAt(index), d, sizeof(d))) return false;
    out.rva = loadLe32(d);
    out.size = loadLe32(d + 4);
    return true;
}

const LauncherLayout& launcherLayoutOf(const ByteSource& image) {
    unsigned char pe[kPeHeaderStartSize];
    if (readPeHeaderAt(image, kLauncherPeHeaderOffset, pe, sizeof(pe)) &&
        loadLe16(pe + kOptionalHeaderStart) == kLauncherLayout64.optionalMagic) {
        return kLauncherLayout64;
    }
    return kLauncherLayout32;
}

LayoutBreak checkLauncherLayout(const ByteSource& image, const LauncherLayout& layout, LauncherHeaders& out) {
    out = LauncherHeaders{};
    if (image.size < launcherHeadersEnd(layout)) return LayoutBreak::HeadersCut;
    PeRead read = readPeHeaders(image, out.pe);
    if (read == PeRead::NoDosHeader) return LayoutBreak::HeadersCut;
    if (out.pe.peOffset != kLauncherPeHeaderOffset) return LayoutBreak::PeHeaderOffset;
    // The image holds the bytes behind offset 128, so only the signature can be missing.
    if (read != PeRead::Ok) return LayoutBreak::Signature;
    if (out.pe.machine != layout.machine) return LayoutBreak::Machine;
    if (out.pe.sectionCount != kLauncherSectionCount) return LayoutBreak::SectionCount;
    if (out.pe.optionalHeaderSize != layout.optionalHeaderSize) return LayoutBreak::OptionalHeader;
    uint64_t sectionEnds[kLauncherSectionCount];  // each section's raw offset plus raw size
    for (uint32_t i = 0; i < kLauncherSectionCount; ++i) {
        PeSection section;
        if (!readPeSection(image, out.pe, i, section)) return LayoutBreak::HeadersCut;
        sectionEnds[i] = section.rawEnd();
    }
    out.blockOffset = sectionEnds[kLauncherSectionCount - 1];
    for (uint32_t i = 0; i + 1 < kLauncherSectionCount; ++i) {
        if (sectionEnds[i] > out.blockOffset) {
            out.sectionBehind = i;
            return LayoutBreak::LastSection;
        }
    }
    return out.blockOffset == image.size ? LayoutBreak::None : LayoutBreak::BlockOffset;
}

}  // namespace zorvo
