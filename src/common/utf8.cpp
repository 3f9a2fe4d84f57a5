#include "common/utf8.h"

namespace zorvo {
namespace {

bool isHigh(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLow(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The code point at `units[i]` and how many units it takes: a pair, or one
// unit (a lone surrogate stands for itself).
uint32_t codePointAt(const uint16_t* units, size_t i, size_t& taken) {
    uint32_t u = units[i];
    if (isHigh(u) && isLow(units[i + 1])) {
        taken = 2;
        return 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00);
    }
    taken = 1;
    return u;
}

size_t encodedSize(uint32_t c) { return c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4; }

uint32_t continuation(const unsigned char* p, size_t n) {
    uint32_t value = 0;
    for (size_t k = 1; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80) return 0xFFFFFFFF;
        value = value << 6 | (p[k] & 0x3F);
    }
    return value;
}

// The code point of the well-formed sequence at `p` and its length; false for
// anything else (overlong forms and values above U+10FFFF included). Encoded
// surrogates are taken, since the encoder writes lone ones that way.
bool decodeSequence(const unsigned char* p, uint32_t& c, size_t& n) {
    unsigned char b = *p;
    uint32_t lead;
    if (b >= 0xC2 && b <= 0xDF) {
        n = 2, lead = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
        n = 3, lead = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
        n = 4, lead = b & 0x07;
    } else {
        return false;
    }
    uint32_t rest = continuation(p, n);
    if (rest == 0xFFFFFFFF) return false;
    c = lead << (6 * (n - 1)) | rest;
    return encodedSize(c) == n && c <= 0x10FFFF;
}

}  // namespace

size_t utf8Length(const uint16_t* units) {
    size_t bytes = 0, taken = 0;
    for (size_t i = 0; units[i]; i += taken) bytes += encodedSize(codePointAt(units, i, taken));
    return bytes;
}

void encodeUtf8(const uint16_t* units, char* out) {
    unsigned char* p = reinterpret_cast<unsigned char*>(out);
    size_t taken = 0;
    for (size_t i = 0; units[i]; i += taken) {
        uint32_t c = codePointAt(units, i, taken);
        size_t n = encodedSize(c);
        if (n == 1) {
            *p++ = static_cast<unsigned char>(c);
            continue;
        }
        static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        *p++ = static_cast<unsigned char>(kLead[n] | c >> (6 * (n - 1)));
        for (size_t k = n - 1; k-- > 0;) *p++ = static_cast<unsigned char>(0x80 | ((c >> (6 * k)) & 0x3F));
    }
    *p = '\0';
}

size_t decodeUtf8(const char* text, uint16_t* units, size_t capacity) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t count = 0;
    while (*p) {
        uint32_t c = *p;
        size_t n = 1;
        if (c >= 0x80 && !decodeSequence(p, c, n)) c = *p, n = 1;
        if (c >= 0x10000) {
            if (capacity - count < 2) break;
            units[count++] = static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10));
            units[count++] = static_cast<uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            if (count == capacity) break;
            units[count++] = static_cast<uint16_t>(c);
        }
        p += n;
    }
    return count;
}

}  // namespace zorvo
