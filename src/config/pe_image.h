// What the launcher reads from the headers of PE images: the machine type of
// an executable, and the layouts of the two generic launchers. Pure code.
#ifndef ZORVO_CONFIG_PE_IMAGE_H
#define ZORVO_CONFIG_PE_IMAGE_H

#include <stdint.h>

#include "config/config_block.h"

namespace zorvo {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMachineArm64 = 0xAA64;

// The COFF machine type of a PE image: "MZ" at the start, the header offset
// at 0x3C, "PE\0\0" there, then the Machine field. 0 when the bytes are no
// PE image (too short, no "MZ", a header offset beyond the file, no signature).
uint16_t peMachineOf(const ByteSource& image);

// A generic launcher: its PE header sits at offset 128, and the raw size and
// raw offset of its fifth and last section header, whose sum is where the
// configuration block starts, at two fixed file offsets.
struct LauncherLayout {
    const char* name;             // "32-bit", "64-bit"
    uint16_t machine;             // kMachineI386, kMachineAmd64
    uint16_t optionalMagic;       // 0x10B (PE32), 0x20B (PE32+)
    uint16_t optionalHeaderSize;  // 224, 240
    uint32_t offsetFieldA;        // 552, 568: SizeOfRawData of the fifth section header
    uint32_t offsetFieldB;        // 556, 572: its PointerToRawData
};

constexpr uint32_t kLauncherPeHeaderOffset = 128;
inline constexpr LauncherLayout kLauncherLayout32 = {"32-bit", kMachineI386, 0x10B, 224, 552, 556};
inline constexpr LauncherLayout kLauncherLayout64 = {"64-bit", kMachineAmd64, 0x20B, 240, 568, 572};

// The layout of the launcher this code is built into: its pointer size decides.
constexpr const LauncherLayout& ownLauncherLayout() {
    return sizeof(void*) == 8 ? kLauncherLayout64 : kLauncherLayout32;
}

// The layout an image claims: the 64-bit one when the optional header behind
// a PE signature at offset 128 has the PE32+ magic, else the 32-bit one (also
// for bytes that are no launcher at all, which then fail as such).
const LauncherLayout& launcherLayoutOf(const ByteSource& image);

}  // namespace zorvo

#endif
