#include "splash/splash_rules.h"

#include <limits.h>

namespace zorvo {

int splashOrigin(int desktopSize, int splashSize) {
    long long difference = static_cast<long long>(desktopSize) - splashSize;
    return static_cast<int>(difference / 2);
}

int mulDivRounded(int a, int b, int c) {
    if (c == 0) return -1;
    long long product = static_cast<long long>(a) * b;
    long long divisor = c;
    if (divisor < 0) {
        product = -product;
        divisor = -divisor;
    }
    long long half = divisor / 2;
    long long result = product >= 0 ? (product + half) / divisor : (product - half) / divisor;
    if (result > INT_MAX || result < -INT_MAX) return -1;
    return static_cast<int>(result);
}

int splashFontHeight(int points, int pixelsPerInch) { return -mulDivRounded(points, pixelsPerInch, 72); }

size_t narrowStatusText(const uint16_t* units, size_t count, char* dest, size_t capacity) {
    size_t written = 0;
    for (size_t i = 0; i < count && written + 1 < capacity; ++i) {
        uint16_t unit = units[i];
        if (unit == 0 || unit > 0xFF) break;
        dest[written++] = static_cast<char>(unit);
    }
    dest[written] = '\0';
    return written;
}

}  // namespace zorvo
