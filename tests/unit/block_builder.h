// Builds configuration blocks and launcher-like files byte by byte, for tests.
#ifndef ZORVO_TESTS_BLOCK_BUILDER_H
#define ZORVO_TESTS_BLOCK_BUILDER_H

#include <stdint.h>

#include <string>
#include <vector>

namespace zorvo::testing {

using Bytes = std::vector<unsigned char>;

inline void putInt(Bytes& b, int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(u >> (8 * i)));
}

inline void putBytes(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

inline void putNarrow(Bytes& b, int32_t id, const std::string& value) {
    putInt(b, id);
    putInt(b, static_cast<int32_t>(value.size()));
    putBytes(b, value);
}

inline void putWide(Bytes& b, int32_t id, const std::u16string& value) {
    putInt(b, id);
    putInt(b, static_cast<int32_t>(value.size() * 2));
    for (char16_t c : value) {
        b.push_back(static_cast<unsigned char>(c & 0xFF));
        b.push_back(static_cast<unsigned char>(c >> 8));
    }
}

// A file whose offsets 552 and 556 (568 and 572 with `fieldA` 568) point at
// `imageSize`, followed by `block`.
inline Bytes launcherFile(const Bytes& block, uint32_t imageSize = 1024, uint32_t fieldA = 552) {
    Bytes file(imageSize, 0);
    // SizeOfRawData and PointerToRawData of a last section ending at imageSize.
    uint32_t rawSize = 512, rawPtr = imageSize - 512;
    for (int i = 0; i < 4; ++i) {
        file[fieldA + i] = static_cast<unsigned char>(rawSize >> (8 * i));
        file[fieldA + 4 + i] = static_cast<unsigned char>(rawPtr >> (8 * i));
    }
    file.insert(file.end(), block.begin(), block.end());
    return file;
}

}  // namespace zorvo::testing

#endif
