// Version information: the VS_VERSIONINFO resource and back.
#include "app_resources.h"

#include "le_bytes.h"

namespace zorvo {
namespace buildtool {

const char* versionKey(VersionField field) {
    static const char* const kKeys[kVersionFieldCount] = {
        "FileVersion",     "ProductVersion", "ProductName",  "CompanyName", "FileDescription",
        "LegalCopyright",  "OriginalFilename", "InternalName", "Comments",
    };
    return kKeys[static_cast<size_t>(field)];
}

namespace {

const char16_t kStringTableKey[] = u"040904B0";  // U.S. English, UTF-16
constexpr uint32_t kTranslation = 0x04B00409;
constexpr size_t kFixedInfoSize = 52;

void addText(std::string& s, const std::u16string& text) {
    for (char16_t c : text) add16(s, c);
    add16(s, 0);
}
void pad32(std::string& s) {
    while (s.size() % 4) s += '\0';
}

std::u16string widen(const char* ascii) {
    std::u16string s;
    for (; *ascii; ++ascii) s += static_cast<char16_t>(*ascii);
    return s;
}

// One block: length, value length, type, key, padding, value, padding, children.
std::string block(const std::u16string& key, uint16_t type, const std::string& value, uint32_t valueLength,
                  const std::string& children) {
    std::string b(6, '\0');
    addText(b, key);
    pad32(b);
    b += value;
    pad32(b);
    b += children;
    uint32_t length = static_cast<uint32_t>(b.size());
    b[0] = static_cast<char>(length & 0xFF);
    b[1] = static_cast<char>(length >> 8);
    b[2] = static_cast<char>(valueLength & 0xFF);
    b[3] = static_cast<char>(valueLength >> 8);
    b[4] = static_cast<char>(type);
    return b;
}

std::string fixedInfo(const VersionInfo& info) {
    uint32_t fileHigh = 0, fileLow = 0, productHigh = 0, productLow = 0;
    parseVersionNumber(info[VersionField::FileVersion], fileHigh, fileLow);
    if (!parseVersionNumber(info[VersionField::ProductVersion], productHigh, productLow)) {
        productHigh = fileHigh;
        productLow = fileLow;
    }
    std::string f;
    add32(f, 0xFEEF04BD);  // signature
    add32(f, 0x00010000);  // structure version
    add32(f, fileHigh);
    add32(f, fileLow);
    add32(f, productHigh);
    add32(f, productLow);
    add32(f, 0x3F);     // flags mask
    add32(f, 0);        // flags
    add32(f, 0x40004);  // VOS_NT_WINDOWS32
    add32(f, 1);        // VFT_APP
    add32(f, 0);        // subtype
    add32(f, 0);        // date
    add32(f, 0);
    return f;
}

// Walks the blocks of `data` from `at` to `end`, calling visit(key, type,
// valueStart, valueBytes, childrenStart, blockEnd); false when malformed.
template <typename Visit>
bool walk(const std::string& data, size_t at, size_t end, Visit visit) {
    while (at + 6 <= end) {
        size_t length = get16(data, at), valueLength = get16(data, at + 2), type = get16(data, at + 4);
        if (length < 6 || at + length > end) return false;
        size_t blockEnd = at + length, p = at + 6;
        std::u16string key;
        while (p + 2 <= blockEnd && get16(data, p) != 0) {
            key += static_cast<char16_t>(get16(data, p));
            p += 2;
        }
        if (p + 2 > blockEnd) return false;
        p = (p + 2 + 3) & ~static_cast<size_t>(3);
        size_t valueBytes = type == 1 ? valueLength * 2 : valueLength;
        if (p + valueBytes > blockEnd && valueLength) return false;
        size_t children = (p + valueBytes + 3) & ~static_cast<size_t>(3);
        if (!visit(key, type, p, valueBytes, children < blockEnd ? children : blockEnd, blockEnd)) return false;
        at = (blockEnd + 3) & ~static_cast<size_t>(3);
    }
    return true;
}

}  // namespace

bool VersionInfo::empty() const {
    for (const std::u16string& v : values) {
        if (!v.empty()) return false;
    }
    return true;
}

bool isGenericVersionInfo(const VersionInfo& info) {
    return info[VersionField::ProductName] == u"zorvo" && info[VersionField::FileDescription] == u"zorvo generic launcher";
}

bool parseVersionNumber(const std::u16string& text, uint32_t& high, uint32_t& low) {
    uint32_t parts[4] = {0, 0, 0, 0};
    size_t count = 0, digits = 0;
    uint32_t value = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
            value = value * 10 + static_cast<uint32_t>(text[i] - u'0');
            if (++digits > 5 || value > 0xFFFF) return false;
            continue;
        }
        if (digits == 0 || count == 4 || (i < text.size() && text[i] != u'.')) return false;
        parts[count++] = value;
        value = 0;
        digits = 0;
    }
    high = parts[0] << 16 | parts[1];
    low = parts[2] << 16 | parts[3];
    return true;
}

std::string versionResource(const VersionInfo& info) {
    std::string strings;
    for (size_t i = 0; i < kVersionFieldCount; ++i) {
        if (info.values[i].empty()) continue;
        std::string value;
        addText(value, info.values[i]);
        strings += block(widen(versionKey(static_cast<VersionField>(i))), 1, value, static_cast<uint32_t>(info.values[i].size() + 1), "");
        pad32(strings);
    }
    std::string table = block(kStringTableKey, 1, "", 0, strings);
    std::string stringInfo = block(u"StringFileInfo", 1, "", 0, table);
    pad32(stringInfo);
    std::string translation;
    add32(translation, kTranslation);
    std::string var = block(u"Translation", 0, translation, 4, "");
    std::string varInfo = block(u"VarFileInfo", 1, "", 0, var);
    return block(u"VS_VERSION_INFO", 0, fixedInfo(info), kFixedInfoSize, stringInfo + varInfo);
}

bool parseVersionResource(const std::string& data, VersionInfo& info) {
    info = VersionInfo();
    bool sawRoot = false;
    return walk(data, 0, data.size(),
                [&](const std::u16string& key, size_t, size_t, size_t, size_t children, size_t end) {
                    if (key != u"VS_VERSION_INFO") return false;
                    sawRoot = true;
                    return walk(data, children, end, [&](const std::u16string& k, size_t, size_t, size_t, size_t c,
                                                          size_t e) {
                        if (k != u"StringFileInfo") return true;  // VarFileInfo
                        return walk(data, c, e, [&](const std::u16string&, size_t, size_t, size_t, size_t tc,
                                                    size_t te) {
                            return walk(data, tc, te, [&](const std::u16string& name, size_t, size_t value,
                                                          size_t bytes, size_t, size_t) {
                                std::u16string text;
                                for (size_t p = value; p + 2 <= value + bytes; p += 2) {
                                    char16_t unit = static_cast<char16_t>(get16(data, p));
                                    if (unit == 0) break;
                                    text += unit;
                                }
                                for (size_t i = 0; i < kVersionFieldCount; ++i) {
                                    if (name == widen(versionKey(static_cast<VersionField>(i)))) info.values[i] = text;
                                }
                                return true;
                            });
                        });
                    });
                }) &&
           sawRoot;
}

}  // namespace buildtool
}  // namespace zorvo
