// ASCII letters compared without case, as Windows compares file and device
// names and as URL schemes are compared; every other byte stands for itself.
// Pure code: compiles for the host and for Windows.
#ifndef ZORVO_COMMON_ASCII_H
#define ZORVO_COMMON_ASCII_H

#include <stddef.h>

namespace zorvo {

inline char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the first `n` bytes of `a` and `b` differ at most in the case of
// ASCII letters.
bool sameIgnoringAsciiCase(const char* a, const char* b, size_t n);

}  // namespace zorvo

#endif
