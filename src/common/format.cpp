#include <stdio.h>

#include "common/text.h"

namespace zorvo {

int formatText(char* buf, size_t size, const char* format, va_list ap) {
#ifdef _WIN32
    // _vsnprintf leaves the text unterminated when it fills the buffer
    // exactly and answers -1 when it did not fit.
    int n = _vsnprintf(buf, size, format, ap);
    if (n >= 0 && static_cast<size_t>(n) < size) return n;
    if (size > 0) buf[size - 1] = '\0';
    return static_cast<int>(size);
#else
    return vsnprintf(buf, size, format, ap);
#endif
}

}  // namespace zorvo
