// Random-access sources of bytes and a forward reader over them: how the
// configuration block and PE headers are read, from the launcher's own file,
// another executable, or memory. Pure code.
#ifndef ZORVO_COMMON_BYTE_SOURCE_H
#define ZORVO_COMMON_BYTE_SOURCE_H

#include <stddef.h>
#include <stdint.h>

namespace zorvo {

// A random-access source of bytes of known size.
struct ByteSource {
    void* ctx;
    // Reads at most `n` bytes at absolute offset `at` into `dst`; returns the
    // count delivered (0 at the end or on a failed read).
    uint32_t (*readAt)(const ByteSource& self, uint64_t at, void* dst, uint32_t n);
    uint64_t size;
};

// A source over a memory buffer the caller keeps alive.
ByteSource memoryByteSource(const void* data, size_t size);

// A forward reader over a ByteSource that knows how much is left.
struct BlockReader {
    const ByteSource& src;
    uint64_t pos;

    uint64_t remaining() const { return pos < src.size ? src.size - pos : 0; }
    // Reads exactly n bytes or fails.
    bool readExact(void* dst, uint32_t n);
    // Reads a 32-bit little-endian signed value.
    bool readInt(int32_t& value);
};

}  // namespace zorvo

#endif
