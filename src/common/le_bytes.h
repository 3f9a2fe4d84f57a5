// Little-endian numbers in bytes: the configuration block, PE headers and the
// build tool's resources, icons and bitmaps all store theirs so. The caller
// checks that the bytes are there. Pure code.
#ifndef ZORVO_COMMON_LE_BYTES_H
#define ZORVO_COMMON_LE_BYTES_H

#include <stdint.h>

namespace zorvo {

inline uint32_t loadLe16(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8;
}

inline uint32_t loadLe32(const unsigned char* p) { return loadLe16(p) | loadLe16(p + 2) << 16; }

inline uint64_t loadLe64(const unsigned char* p) { return loadLe32(p) | static_cast<uint64_t>(loadLe32(p + 4)) << 32; }

inline void storeLe16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

inline void storeLe32(unsigned char* p, uint32_t v) {
    storeLe16(p, v & 0xFFFF);
    storeLe16(p + 2, v >> 16);
}

}  // namespace zorvo

#endif
