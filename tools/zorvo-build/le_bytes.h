// Little-endian fields in byte strings: the PE headers, resource trees,
// icons, bitmaps and version resources the build tool reads and writes, in
// the numbers of common/le_bytes.h. Callers check bounds before reading or
// writing in place.
#ifndef ZORVO_BUILD_LE_BYTES_H
#define ZORVO_BUILD_LE_BYTES_H

#include <stddef.h>
#include <stdint.h>

#include <string>

#include "common/le_bytes.h"

namespace zorvo {
namespace buildtool {

inline const unsigned char* bytesAt(const std::string& s, size_t at) {
    return reinterpret_cast<const unsigned char*>(s.data()) + at;
}

inline unsigned char* bytesAt(std::string& s, size_t at) { return reinterpret_cast<unsigned char*>(&s[at]); }

inline uint32_t get16(const std::string& s, size_t at) { return loadLe16(bytesAt(s, at)); }

inline uint32_t get32(const std::string& s, size_t at) { return loadLe32(bytesAt(s, at)); }

inline int32_t getSigned32(const std::string& s, size_t at) { return static_cast<int32_t>(get32(s, at)); }

inline void put16(std::string& s, size_t at, uint32_t v) { storeLe16(bytesAt(s, at), v); }

inline void put32(std::string& s, size_t at, uint32_t v) { storeLe32(bytesAt(s, at), v); }

inline void add16(std::string& s, uint32_t v) {
    s.resize(s.size() + 2);
    put16(s, s.size() - 2, v);
}

inline void add32(std::string& s, uint32_t v) {
    s.resize(s.size() + 4);
    put32(s, s.size() - 4, v);
}

}  // namespace buildtool
}  // namespace zorvo

#endif
