// Reading a registry value as text, the one way every module does it
// (Windows).
#ifndef ZORVO_COMMON_REGISTRY_H
#define ZORVO_COMMON_REGISTRY_H

#include <windows.h>

#include <stddef.h>

#include "common/text.h"

namespace zorvo {

// Reads value `name` of `key`, or of its `subkey` when one is given (null or
// "" for the key itself), as a NUL-terminated text of at most `capacity`
// characters with the terminator: narrow as the code-page API gives it, or
// wide. False when the key or the value is missing or the text does not fit:
// a value is never cut. `type`, when given, gets the value's type (the text
// is read whatever the type is).
bool readRegistryText(HKEY key, const char* subkey, const char* name, char* text, size_t capacity,
                      DWORD* type = nullptr);
bool readRegistryText(HKEY key, const char* subkey, const char* name, wchar_t* text, size_t capacity,
                      DWORD* type = nullptr);

// The same into a text buffer; empty when false.
template <size_t N>
bool readRegistryText(HKEY key, const char* subkey, const char* name, Text<N>& text) {
    bool read = readRegistryText(key, subkey, name, text.data(), text.capacity());
    if (read) {
        text.refresh();
    } else {
        text.clear();
    }
    return read;
}

}  // namespace zorvo

#endif
