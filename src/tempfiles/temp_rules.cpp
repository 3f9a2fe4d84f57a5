#include "tempfiles/temp_rules.h"

#include <string.h>

#include "common/ascii.h"

namespace zorvo {

void unscramble(unsigned char* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes[i] ^= kScrambleByte;
}

namespace {

bool sameUpper(const char* text, size_t n, const char* upper) {
    return strlen(upper) == n && sameIgnoringAsciiCase(text, upper, n);
}

// A digit that makes COM or LPT a device: 1-9, or the code page's superscript 1, 2, 3.
bool isPortDigit(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (c >= '1' && c <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

}  // namespace

bool isDeviceName(const char* name) {
    // The part before the first dot, without the blanks that end it, decides.
    size_t n = strcspn(name, ".");
    while (n > 0 && name[n - 1] == ' ') --n;
    static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const char* device : kDevices) {
        if (sameUpper(name, n, device)) return true;
    }
    return n == 4 && (sameUpper(name, 3, "COM") || sameUpper(name, 3, "LPT")) && isPortDigit(name[3]);
}

bool isPlainFileName(const char* name) {
    if (!name[0] || strcmp(name, ".") == 0 || strcmp(name, "..") == 0) return false;
    return strpbrk(name, "\\/:") == nullptr && !isDeviceName(name);
}

namespace {

// True when the ';'-separated `list` holds an element equal to the `n` bytes
// of `path`, ASCII letters compared without case as Windows compares names.
bool listHoldsPath(const char* list, const char* path, size_t n) {
    for (const char* element = list; *element;) {
        size_t length = strcspn(element, ";");
        if (length == n && sameIgnoringAsciiCase(element, path, n)) return true;
        element += length;
        if (*element == ';') ++element;
    }
    return false;
}

}  // namespace

bool appendToDeleteText(PathText& list, const char* path) {
    size_t n = strlen(path);
    if (n > 0 && listHoldsPath(list.c_str(), path, n)) return true;
    if (list.size() + n + 1 > list.capacity() - 1) return false;
    list.append(path, n);
    list.appendChar(';');
    return true;
}

}  // namespace zorvo
