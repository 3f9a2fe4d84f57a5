#include "value_text.h"

#include "le_bytes.h"

namespace zorvo {
namespace buildtool {
namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads `digits` hex digits at `at`; -1 when they are not all there.
long readHex(const std::string& s, size_t at, int digits) {
    if (s.size() - at < static_cast<size_t>(digits)) return -1;
    long value = 0;
    for (int i = 0; i < digits; ++i) {
        int d = hexDigit(s[at + i]);
        if (d < 0) return -1;
        value = value * 16 + d;
    }
    return value;
}

// The message for a backslash followed by `c`, which starts no escape.
std::string unknownEscape(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u <= 0x7E) return std::string("unknown escape '\\") + c + "'";
    static const char hex[] = "0123456789ABCDEF";
    return std::string("unknown escape: backslash followed by byte 0x") + hex[u >> 4] + hex[u & 15];
}

// Handles the escape whose backslash is at `i` (shared by both kinds).
// Returns the decoded code (a byte value or a code unit) and advances `i`
// past the escape, or -1 with `error` set.
long decodeEscape(const std::string& s, size_t& i, bool wide, std::string& error) {
    if (i + 1 >= s.size()) {
        error = "backslash at the end of the value (write \\\\ for a backslash)";
        return -1;
    }
    char c = s[i + 1];
    switch (c) {
        case 'r': i += 2; return '\r';
        case 'n': i += 2; return '\n';
        case 't': i += 2; return '\t';
        case '\\': i += 2; return '\\';
        case 'x': {
            long v = readHex(s, i + 2, 2);
            if (v < 0) {
                error = "\\x needs exactly two hex digits";
                return -1;
            }
            i += 4;
            return v;
        }
        case 'u':
            if (wide) {
                long v = readHex(s, i + 2, 4);
                if (v < 0) {
                    error = "\\u needs exactly four hex digits";
                    return -1;
                }
                i += 6;
                return v;
            }
            error = "unknown escape '\\u' (\\u is only for wide entries)";
            return -1;
        default:
            error = unknownEscape(c);
            return -1;
    }
}

// Decodes one well-formed UTF-8 sequence at `i`; -1 when it is not one.
long decodeUtf8(const std::string& s, size_t& i) {
    unsigned char b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra;
    long cp, min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return -1;
    }
    if (s.size() - i <= static_cast<size_t>(extra)) return -1;
    for (int k = 1; k <= extra; ++k) {
        unsigned char b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) return -1;
        cp = (cp << 6) | (b & 0x3F);
    }
    // Overlong forms, UTF-16 surrogates and values beyond U+10FFFF are not UTF-8.
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    i += extra + 1;
    return cp;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void appendHexEscape(std::string& out, char kind, uint32_t value, int digits) {
    static const char hex[] = "0123456789ABCDEF";
    out += '\\';
    out += kind;
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += hex[(value >> shift) & 15];
}

// The escape of a code below 0x100 that is not written as it stands, or
// false when it is printable and needs none. `edge` marks the first or last
// position, where a blank would be taken for layout.
bool appendEscapedLow(std::string& out, uint32_t c, bool edge) {
    switch (c) {
        case '\r': out += "\\r"; return true;
        case '\n': out += "\\n"; return true;
        case '\t': out += "\\t"; return true;
        case '\\': out += "\\\\"; return true;
        default: break;
    }
    if (c == ' ' && edge) {
        out += "\\x20";
        return true;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F)) {
        appendHexEscape(out, 'x', c, 2);
        return true;
    }
    return false;
}

}  // namespace

bool unescapeNarrow(const std::string& written, std::string& bytes, std::string& error) {
    bytes.clear();
    size_t i = 0;
    while (i < written.size()) {
        if (written[i] != '\\') {
            bytes += written[i++];
            continue;
        }
        long v = decodeEscape(written, i, false, error);
        if (v < 0) return false;
        bytes += static_cast<char>(v);
    }
    return true;
}

bool unescapeWide(const std::string& written, std::u16string& units, std::string& error) {
    units.clear();
    size_t i = 0;
    while (i < written.size()) {
        if (written[i] == '\\') {
            long v = decodeEscape(written, i, true, error);
            if (v < 0) return false;
            units += static_cast<char16_t>(v);
            continue;
        }
        size_t at = i;
        long cp = decodeUtf8(written, i);
        if (cp < 0) {
            std::string shown;
            appendHexEscape(shown, 'x', static_cast<unsigned char>(written[at]), 2);
            error = "wide value is not well-formed UTF-8 (byte 0" + shown.substr(1) + " at position " +
                    std::to_string(at + 1) + ")";
            return false;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            units += static_cast<char16_t>(0xD800 + (cp >> 10));
            units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            units += static_cast<char16_t>(cp);
        }
    }
    return true;
}

std::string escapeNarrow(const std::string& bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        bool edge = i == 0 || i + 1 == bytes.size();
        if (appendEscapedLow(out, c, edge)) continue;
        if (c >= 0x80) {
            appendHexEscape(out, 'x', c, 2);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string shownName(const std::string& s) { return "'" + escapeNarrow(s) + "'"; }

std::string escapeWide(const std::u16string& units) {
    std::string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t u = units[i];
        bool edge = i == 0 || i + 1 == units.size();
        if (u < 0x100 && appendEscapedLow(out, u, edge)) continue;
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
            units[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (units[i + 1] - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendHexEscape(out, 'u', u, 4);  // a lone surrogate has no UTF-8 form
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

std::string toUtf16le(const std::u16string& units) {
    std::string bytes;
    bytes.reserve(units.size() * 2);
    for (char16_t u : units) add16(bytes, u);
    return bytes;
}

std::u16string fromUtf16le(const std::string& bytes) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) units += static_cast<char16_t>(get16(bytes, i));
    return units;
}

bool isWholeNumber(const std::string& value) {
    size_t i = 0;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    if (i == value.size()) return false;
    int64_t n = 0;
    for (; i < value.size(); ++i) {
        if (value[i] < '0' || value[i] > '9') return false;
        n = n * 10 + (value[i] - '0');
        if (n > 0x80000000ll) return false;
    }
    return negative || n <= 0x7FFFFFFFll;
}

bool isColorValue(const std::string& value) {
    size_t i = 0;
    for (int component = 0; component < 3; ++component) {
        if (component > 0) {
            if (i == value.size() || value[i] != ',') return false;
            ++i;
        }
        while (i < value.size() && value[i] == ' ') ++i;
        int n = 0, digits = 0;
        while (i < value.size() && value[i] >= '0' && value[i] <= '9') {
            n = n * 10 + (value[i++] - '0');
            if (++digits > 3) return false;
        }
        if (digits == 0 || n > 255) return false;
        while (i < value.size() && value[i] == ' ') ++i;
    }
    return i == value.size();
}

}  // namespace buildtool
}  // namespace zorvo
