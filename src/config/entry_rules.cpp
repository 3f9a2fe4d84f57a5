#include "config/entry_rules.h"

#include <string.h>

#include "common/ascii.h"

namespace zorvo {
namespace {

// Length of the scheme and "//" when `address` begins with `prefix`
// (lower case), letters compared without case; 0 otherwise.
size_t prefixLength(const char* address, size_t length, const char* prefix) {
    size_t n = strlen(prefix);
    return length >= n && sameIgnoringAsciiCase(address, prefix, n) ? n : 0;
}

bool sameUpper(const char* text, size_t n, const char* upper) {
    return strlen(upper) == n && sameIgnoringAsciiCase(text, upper, n);
}

// A digit that makes COM or LPT a device: 1-9, or the code page's superscript 1, 2, 3.
bool isPortDigit(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return (c >= '1' && c <= '9') || u == 0xB9 || u == 0xB2 || u == 0xB3;
}

}  // namespace

const char* downloadAddressProblem(const char* address, size_t length) {
    size_t start = prefixLength(address, length, "https://");
    if (!start) start = prefixLength(address, length, "http://");
    if (!start) return "does not begin with http:// or https://";
    if (start == length || address[start] == '/') return "names no host";
    for (size_t i = 0; i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(address[i]);
        if (c == ' ') return "holds a blank";
        if (c < 0x20 || c == 0x7F) return "holds a control character";
        if (c == '"') return "holds a double quote (write it as %22)";
        if (c > 0x7F) return "holds a character beyond ASCII (write it percent-encoded)";
    }
    return nullptr;
}

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

}  // namespace zorvo
