#include "common/registry.h"

namespace zorvo {
namespace {

LONG queryValue(HKEY key, const char* name, char* text, DWORD* type, DWORD* size) {
    return RegQueryValueExA(key, name, nullptr, type, reinterpret_cast<BYTE*>(text), size);
}

LONG queryValue(HKEY key, const char* name, wchar_t* text, DWORD* type, DWORD* size) {
    wchar_t wideName[256];
    if (!MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, 256)) return ERROR_INVALID_PARAMETER;
    return RegQueryValueExW(key, wideName, nullptr, type, reinterpret_cast<BYTE*>(text), size);
}

template <typename Char>
bool readText(HKEY key, const char* subkey, const char* name, Char* text, size_t capacity, DWORD* type) {
    HKEY opened = key;
    if (subkey && *subkey && RegOpenKeyExA(key, subkey, 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    DWORD size = static_cast<DWORD>(capacity * sizeof(Char));
    LONG rc = queryValue(opened, name, text, type, &size);
    if (opened != key) RegCloseKey(opened);
    size_t count = size / sizeof(Char);
    if (rc != ERROR_SUCCESS || count >= capacity) return false;
    text[count] = 0;
    return true;
}

}  // namespace

bool readRegistryText(HKEY key, const char* subkey, const char* name, char* text, size_t capacity, DWORD* type) {
    return readText(key, subkey, name, text, capacity, type);
}

bool readRegistryText(HKEY key, const char* subkey, const char* name, wchar_t* text, size_t capacity, DWORD* type) {
    return readText(key, subkey, name, text, capacity, type);
}

}  // namespace zorvo
