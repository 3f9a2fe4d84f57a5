#include "common/code_page.h"

#include <windows.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "common/utf8.h"

namespace zorvo {
namespace {

// UTF-16 units (NUL-terminated) as UTF-8.
char* unitsToUtf8(const uint16_t* units) {
    char* out = static_cast<char*>(malloc(utf8Length(units) + 1));
    if (out) encodeUtf8(units, out);
    return out;
}

uint16_t* copyUnits(const wchar_t* text, size_t length) {
    uint16_t* units = static_cast<uint16_t*>(malloc((length + 1) * sizeof(uint16_t)));
    if (!units) return nullptr;
    for (size_t i = 0; i < length; ++i) units[i] = static_cast<uint16_t>(text[i]);
    units[length] = 0;
    return units;
}

}  // namespace

char* wideToUtf8(const wchar_t* text) {
    uint16_t* units = copyUnits(text, wcslen(text));
    char* out = units ? unitsToUtf8(units) : nullptr;
    free(units);
    return out;
}

char* codePageToUtf8(const char* text) {
    int length = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    wchar_t* wide = length > 0 ? static_cast<wchar_t*>(malloc(static_cast<size_t>(length) * sizeof(wchar_t))) : nullptr;
    if (!wide || MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length) != length) {
        free(wide);
        return nullptr;
    }
    char* out = wideToUtf8(wide);
    free(wide);
    return out;
}

char* utf8ToCodePage(const char* text) {
    // Never more UTF-16 units than bytes.
    size_t capacity = strlen(text) + 1;
    uint16_t* units = static_cast<uint16_t*>(malloc(capacity * sizeof(uint16_t)));
    wchar_t* wide = static_cast<wchar_t*>(malloc(capacity * sizeof(wchar_t)));
    char* out = nullptr;
    if (units && wide) {
        size_t count = decodeUtf8(text, units, capacity - 1);
        for (size_t i = 0; i < count; ++i) wide[i] = static_cast<wchar_t>(units[i]);
        wide[count] = L'\0';
        int length = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
        out = length > 0 ? static_cast<char*>(malloc(static_cast<size_t>(length))) : nullptr;
        if (out && WideCharToMultiByte(CP_ACP, 0, wide, -1, out, length, nullptr, nullptr) != length) {
            free(out);
            out = nullptr;
        }
    }
    free(wide);
    free(units);
    return out;
}

}  // namespace zorvo
