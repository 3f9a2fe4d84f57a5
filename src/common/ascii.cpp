#include "common/ascii.h"

namespace zorvo {

bool sameIgnoringAsciiCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i])) return false;
    }
    return true;
}

}  // namespace zorvo
