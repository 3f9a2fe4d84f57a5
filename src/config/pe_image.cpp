#include "config/pe_image.h"

#include <string.h>

namespace zorvo {
namespace {

bool readBytes(const ByteSource& image, uint64_t at, unsigned char* dst, uint32_t n) {
    BlockReader reader{image, at};
    return reader.remaining() >= n && reader.readExact(dst, n);
}

uint32_t u16(const unsigned char* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }

uint32_t u32(const unsigned char* p) { return u16(p) | u16(p + 2) << 16; }

}  // namespace

uint16_t peMachineOf(const ByteSource& image) {
    unsigned char dos[64];
    if (!readBytes(image, 0, dos, sizeof(dos)) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    unsigned char pe[6];
    if (!readBytes(image, u32(dos + 0x3C), pe, sizeof(pe)) || memcmp(pe, "PE\0\0", 4) != 0) return 0;
    return static_cast<uint16_t>(u16(pe + 4));
}

const LauncherLayout& launcherLayoutOf(const ByteSource& image) {
    // The signature, the 20-byte file header, then the optional header's magic.
    unsigned char head[26];
    if (readBytes(image, kLauncherPeHeaderOffset, head, sizeof(head)) && memcmp(head, "PE\0\0", 4) == 0 &&
        u16(head + 24) == kLauncherLayout64.optionalMagic) {
        return kLauncherLayout64;
    }
    return kLauncherLayout32;
}

}  // namespace zorvo
