// The one reader of PE headers: the machine type of an executable, where an
// image's headers, sections and data directories are, and the layout rule of
// the two generic launchers. Pure code: the launcher, the build tool and the
// post-link check read PE headers through it and never by their own offsets.
#ifndef ZORVO_CONFIG_PE_IMAGE_H
#define ZORVO_CONFIG_PE_IMAGE_H

#include <stdint.h>

#include "common/byte_source.h"

namespace zorvo {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;

// Places in a PE image. The DOS header's field at 0x3C gives the file offset
// of the "PE\0\0" signature; the 20-byte file header follows it, then the
// optional header, then the section table.
constexpr uint32_t kDosHeaderSize = 64;
constexpr uint32_t kPeHeaderPointerField = 0x3C;
constexpr uint32_t kOptionalHeaderStart = 24;  // from the signature
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kDataDirectorySize = 8;
constexpr uint32_t kDataDirectoryCount = 16;

// Fields of the optional header, from its start; the same in PE32 and PE32+
// but for the image base, which only a PE32+ header keeps at 24 (8 bytes).
constexpr uint32_t kInitializedDataSizeField = 8;
constexpr uint32_t kImageBaseField64 = 24;
constexpr uint32_t kSectionAlignmentField = 32;
constexpr uint32_t kFileAlignmentField = 36;
constexpr uint32_t kImageSizeField = 56;
constexpr uint32_t kChecksumField = 64;
constexpr uint32_t kSubsystemField = 68;  // 2: a windowed (GUI) program, 3: a console program

constexpr uint16_t kSubsystemWindows = 2;
constexpr uint16_t kSubsystemConsole = 3;

// Fields of a section header, from its start.
constexpr uint32_t kSectionVirtualSizeField = 8;
constexpr uint32_t kSectionRvaField = 12;
constexpr uint32_t kSectionRawSizeField = 16;
constexpr uint32_t kSectionRawPointerField = 20;

// Data directories by index.
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kExceptionDirectory = 3;
constexpr uint32_t kCertificateDirectory = 4;

// The COFF machine type of a PE image: "MZ" at the start, the header offset
// at 0x3C, "PE\0\0" there, then the Machine field. 0 when the bytes are no
// PE image (too short, no "MZ", a header offset beyond the file, no signature).
uint16_t peMachineOf(const ByteSource& image);

// The fields that say where an image's headers are, and their file offsets.
struct PeHeaders {
    uint64_t peOffset = 0;  // of the signature: the DOS header's value at 0x3C
    uint16_t machine = 0;
    uint16_t sectionCount = 0;
    uint16_t optionalHeaderSize = 0;  // SizeOfOptionalHeader
    uint16_t optionalMagic = 0;       // kPe32Magic, kPe32PlusMagic

    uint64_t optionalHeaderAt() const { return peOffset + kOptionalHeaderStart; }
    // The data directories start 96 bytes into a PE32 optional header, 112 into a PE32+ one.
    uint64_t dataDirectoryAt(uint32_t index) const {
        return optionalHeaderAt() + (optionalMagic == kPe32PlusMagic ? 112 : 96) +
               static_cast<uint64_t>(index) * kDataDirectorySize;
    }
    uint64_t sectionTableAt() const { return optionalHeaderAt() + optionalHeaderSize; }
    uint64_t sectionHeaderAt(uint32_t index) const {
        return sectionTableAt() + static_cast<uint64_t>(index) * kSectionHeaderSize;
    }
    uint64_t checksumAt() const { return optionalHeaderAt() + kChecksumField; }
};

enum class PeRead {
    Ok,
    NoDosHeader,  // the image is shorter than the 64-byte DOS header
    NoPeHeader,   // the 26 bytes from the signature to the optional header's magic are not all
                  // in the image, or the signature is not there (`peOffset` is set)
};

// Reads the DOS header's pointer, then the signature, the file header and the
// optional header's magic there. Checks nothing else: see peHeadersFit.
PeRead readPeHeaders(const ByteSource& image, PeHeaders& out);

// Whether the headers fit an image of `size` bytes: at least one section
// header, the section table inside the image, and all sixteen data
// directories in front of the section table.
bool peHeadersFit(const PeHeaders& headers, uint64_t size);

struct PeSection {
    uint32_t virtualSize = 0;
    uint32_t rva = 0;
    uint32_t rawSize = 0;     // SizeOfRawData
    uint32_t rawPointer = 0;  // PointerToRawData

    uint64_t rawEnd() const { return static_cast<uint64_t>(rawPointer) + rawSize; }
};

// Section header `index` (from 0); false when the image does not hold it.
bool readPeSection(const ByteSource& image, const PeHeaders& headers, uint32_t index, PeSection& out);

struct PeDataDirectory {
    uint32_t rva = 0;
    uint32_t size = 0;
};

// Data directory `index`; false when the image does not hold it.
bool readPeDataDirectory(const ByteSource& image, const PeHeaders& headers, uint32_t index, PeDataDirectory& out);

// A generic launcher: its PE header sits at offset 128, and the raw size and
// raw offset of its fifth and last section header, whose sum is where the
// configuration block starts, at two fixed file offsets.
struct LauncherLayout {
    const char* name;             // "32-bit", "64-bit"
    uint16_t machine;             // kMachineI386, kMachineAmd64
    uint16_t optionalMagic;       // kPe32Magic, kPe32PlusMagic
    uint16_t optionalHeaderSize;  // 224, 240
    uint32_t offsetFieldA;        // 552, 568: SizeOfRawData of the fifth section header
    uint32_t offsetFieldB;        // 556, 572: its PointerToRawData
};

constexpr uint32_t kLauncherPeHeaderOffset = 128;
constexpr uint32_t kLauncherSectionCount = 5;
inline constexpr LauncherLayout kLauncherLayout32 = {"32-bit", kMachineI386, kPe32Magic, 224, 552, 556};
inline constexpr LauncherLayout kLauncherLayout64 = {"64-bit", kMachineAmd64, kPe32PlusMagic, 240, 568, 572};

// Where a generic launcher's section table starts, and where its headers end
// (behind the fifth section header).
constexpr uint32_t launcherSectionTableAt(const LauncherLayout& layout) {
    return kLauncherPeHeaderOffset + kOptionalHeaderStart + layout.optionalHeaderSize;
}
constexpr uint32_t launcherHeadersEnd(const LauncherLayout& layout) {
    return launcherSectionTableAt(layout) + kLauncherSectionCount * kSectionHeaderSize;
}

// The layout of the launcher this code is built into: its pointer size decides.
constexpr const LauncherLayout& ownLauncherLayout() {
    return sizeof(void*) == 8 ? kLauncherLayout64 : kLauncherLayout32;
}

// The layout an image claims: the 64-bit one when the optional header behind
// a PE signature at offset 128 has the PE32+ magic, else the 32-bit one (also
// for bytes that are no launcher at all, which then fail as such).
const LauncherLayout& launcherLayoutOf(const ByteSource& image);

// The checks of a generic launcher's layout rule, in the order they are made.
enum class LayoutBreak {
    None,            // the rule holds
    HeadersCut,      // the image ends before its fifth section header (or cannot be read)
    PeHeaderOffset,  // the DOS header does not point at offset 128
    Signature,       // no "PE\0\0" at offset 128
    Machine,         // not the layout's machine type
    SectionCount,    // not exactly five section headers
    OptionalHeader,  // not the layout's optional header size
    LastSection,     // another section ends behind the fifth in the file
    BlockOffset,     // the fifth section does not end where the image ends
};

// What checkLauncherLayout read, as far as it got.
struct LauncherHeaders {
    PeHeaders pe;
    // The end of the fifth section, the sum of the values at the layout's two
    // offsets: where an application's block starts.
    uint64_t blockOffset = 0;
    // Under LayoutBreak::LastSection: the first section (from 0) that ends
    // behind the fifth.
    uint32_t sectionBehind = 0;
};

// Reads the image's headers and checks the layout rule of `layout`: the PE
// header at 128, the machine type, exactly five sections, the optional header
// size, the fifth section last in the file and ending where the image ends.
// Returns the first check that fails; the optional header's magic is the
// caller's to check.
LayoutBreak checkLauncherLayout(const ByteSource& image, const LauncherLayout& layout, LauncherHeaders& out);

}  // namespace zorvo

#endif
