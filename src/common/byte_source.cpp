#include "common/byte_source.h"

#include <string.h>

#include "common/le_bytes.h"

namespace zorvo {
namespace {

uint32_t memoryReadAt(const ByteSource& self, uint64_t at, void* dst, uint32_t n) {
    if (at >= self.size) return 0;
    uint64_t avail = self.size - at;
    uint32_t count = avail < n ? static_cast<uint32_t>(avail) : n;
    memcpy(dst, static_cast<const unsigned char*>(self.ctx) + at, count);
    return count;
}

}  // namespace

ByteSource memoryByteSource(const void* data, size_t size) {
    return ByteSource{const_cast<void*>(data), memoryReadAt, size};
}

bool BlockReader::readExact(void* dst, uint32_t n) {
    unsigned char* out = static_cast<unsigned char*>(dst);
    uint32_t done = 0;
    while (done < n) {
        uint32_t got = src.readAt(src, pos, out + done, n - done);
        if (got == 0) return false;
        done += got;
        pos += got;
    }
    return true;
}

bool BlockReader::readInt(int32_t& value) {
    unsigned char b[4];
    if (!readExact(b, 4)) return false;
    value = static_cast<int32_t>(loadLe32(b));
    return true;
}

}  // namespace zorvo
