// Little-endian fields in byte strings: the PE headers, resource trees,
// icons, bitmaps and version resources the build tool reads and writes.
// Callers check bounds before reading or writing in place.
#ifndef ZORVO_BUILD_LE_BYTES_H
#define ZORVO_BUILD_LE_BYTES_H

#include <stddef.h>
#include <stdint.h>

#include <string>

namespace zorvo {
namespace buildtool {

inline uint32_t get16(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8;
}

inline uint32_t get32(const std::string& s, size_t at) { return get16(s, at) | get16(s, at + 2) << 16; }

inline int32_t getSigned32(const std::string& s, size_t at) { return static_cast<int32_t>(get32(s, at)); }

inline void put16(std::string& s, size_t at, uint32_t v) {
    s[at] = static_cast<char>(v & 0xFF);
    s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

inline void put32(std::string& s, size_t at, uint32_t v) {
    put16(s, at, v & 0xFFFF);
    put16(s, at + 2, v >> 16);
}

inline void add16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

inline void add32(std::string& s, uint32_t v) {
    add16(s, v & 0xFFFF);
    add16(s, v >> 16);
}

}  // namespace buildtool
}  // namespace zorvo

#endif
