// The splash image: PNG or BMP into the 24-bit DIB of bitmap resource 10000.
#include "app_resources.h"

#include "le_bytes.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#define STBI_MAX_DIMENSIONS 4096
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#endif
#include <stb_image.h>
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

namespace zorvo {
namespace buildtool {
namespace {

constexpr size_t kFileHeader = 14, kInfoHeader = 40;
constexpr int kFill = 192;  // the splash's light-grey background

size_t stride24(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3); }

// A BMP whose DIB already is what the resource holds: 24 bits, uncompressed,
// bottom-up, a BITMAPINFOHEADER right in front of the pixels.
bool isPlainDibFile(const std::string& file, std::string& dib) {
    if (file.size() < kFileHeader + kInfoHeader || file.compare(0, 2, "BM") != 0) return false;
    const size_t info = kFileHeader;
    int32_t width = getSigned32(file, info + 4), height = getSigned32(file, info + 8);
    bool plain = getSigned32(file, info) == static_cast<int32_t>(kInfoHeader) && get16(file, info + 12) == 1 &&
                 get16(file, info + 14) == 24 && getSigned32(file, info + 16) == 0 &&
                 getSigned32(file, info + 32) == 0 && getSigned32(file, 10) == static_cast<int32_t>(kFileHeader + kInfoHeader) &&
                 width > 0 && height > 0 && width <= kMaxImageSide && height <= kMaxImageSide;
    if (!plain) return false;
    size_t size = kInfoHeader + stride24(width) * static_cast<size_t>(height);
    if (file.size() - kFileHeader < size) return false;
    dib = file.substr(kFileHeader, size);
    return true;
}

std::string dibOfPixels(const unsigned char* rgba, int width, int height) {
    std::string dib;
    add32(dib, kInfoHeader);
    add32(dib, static_cast<uint32_t>(width));
    add32(dib, static_cast<uint32_t>(height));
    add16(dib, 1);
    add16(dib, 24);
    add32(dib, 0);
    add32(dib, static_cast<uint32_t>(stride24(width) * static_cast<size_t>(height)));
    for (int i = 0; i < 4; ++i) add32(dib, 0);
    size_t stride = stride24(width);
    std::string row(stride, '\0');
    for (int y = height - 1; y >= 0; --y) {  // bottom-up
        const unsigned char* p = rgba + static_cast<size_t>(y) * static_cast<size_t>(width) * 4;
        for (int x = 0; x < width; ++x, p += 4) {
            int a = p[3];
            for (int c = 0; c < 3; ++c) {
                int value = (p[2 - c] * a + kFill * (255 - a) + 127) / 255;  // blue, green, red
                row[static_cast<size_t>(x) * 3 + static_cast<size_t>(c)] = static_cast<char>(value);
            }
        }
        dib += row;
    }
    return dib;
}

uint32_t bigEndian32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// The size a PNG or BMP header states, read before anything is decoded (the
// decoder refuses very large images with no more than "too large"). False
// for a file that is neither.
bool statedSize(const std::string& file, int64_t& width, int64_t& height) {
    if (file.size() >= 24 && file.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) == 0 && file.compare(12, 4, "IHDR") == 0) {
        width = bigEndian32(file, 16);
        height = bigEndian32(file, 20);
        return true;
    }
    if (file.size() >= 22 && file.compare(0, 2, "BM") == 0 && get32(file, 14) == 12) {
        // An OS/2 bitmap: a 12-byte header with 16-bit sizes.
        width = get16(file, 18);
        height = get16(file, 20);
        return true;
    }
    if (file.size() >= 26 && file.compare(0, 2, "BM") == 0) {
        width = static_cast<int32_t>(get32(file, 18));
        height = static_cast<int32_t>(get32(file, 22));
        if (height < 0) height = -height;  // a top-down bitmap
        return true;
    }
    return false;
}

std::string sizeProblem(int64_t width, int64_t height) {
    return "an image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels (at most " +
           std::to_string(kMaxImageSide) + " x " + std::to_string(kMaxImageSide) + ")";
}

}  // namespace

bool splashBitmapOfImage(const std::string& file, std::string& dib, int& width, int& height, std::string& error) {
    if (isPlainDibFile(file, dib)) return dibSize(dib, width, height);
    int64_t statedWidth = 0, statedHeight = 0;
    if (statedSize(file, statedWidth, statedHeight) && (statedWidth > kMaxImageSide || statedHeight > kMaxImageSide)) {
        error = sizeProblem(statedWidth, statedHeight);
        return false;
    }
    if (file.size() > static_cast<size_t>(0x7FFFFFFF)) {
        error = "the image file is too large";
        return false;
    }
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(file.data());
    int length = static_cast<int>(file.size()), channels = 0;
    if (!stbi_info_from_memory(bytes, length, &width, &height, &channels)) {
        error = std::string("not a PNG or BMP image that can be read (") + stbi_failure_reason() + ")";
        return false;
    }
    // A top-down bitmap states a negative height (its size was checked above).
    if (height < 0 && statedHeight <= kMaxImageSide) height = -height;
    if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
        error = sizeProblem(width, height);
        return false;
    }
    unsigned char* rgba = stbi_load_from_memory(bytes, length, &width, &height, &channels, 4);
    if (!rgba) {
        error = std::string("the image cannot be decoded (") + stbi_failure_reason() + ")";
        return false;
    }
    dib = dibOfPixels(rgba, width, height);
    stbi_image_free(rgba);
    return true;
}

std::string bmpFileOfDib(const std::string& dib) {
    std::string file = "BM";
    add32(file, static_cast<uint32_t>(kFileHeader + dib.size()));
    add32(file, 0);
    uint32_t header = dib.size() >= 4 ? static_cast<uint32_t>(getSigned32(dib, 0)) : 0;
    uint32_t colors = dib.size() >= 36 ? static_cast<uint32_t>(getSigned32(dib, 32)) : 0;
    uint32_t bits = dib.size() >= 16 ? get16(dib, 14) : 24;
    if (colors == 0 && bits <= 8) colors = 1u << bits;
    add32(file, static_cast<uint32_t>(kFileHeader) + header + colors * 4);
    return file + dib;
}

bool dibSize(const std::string& dib, int& width, int& height) {
    if (dib.size() < kInfoHeader || getSigned32(dib, 0) < static_cast<int32_t>(kInfoHeader)) return false;
    width = getSigned32(dib, 4);
    int32_t h = getSigned32(dib, 8);
    if (h == INT32_MIN) return false;
    height = h < 0 ? -h : h;
    return width > 0 && height > 0;
}

}  // namespace buildtool
}  // namespace zorvo
