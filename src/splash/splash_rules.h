// The arithmetic and text rules of the splash window, free of Win32 calls.
#ifndef ZORVO_SPLASH_SPLASH_RULES_H
#define ZORVO_SPLASH_SPLASH_RULES_H

#include <stddef.h>
#include <stdint.h>

namespace zorvo {

// The offset that centres a splash of `splashSize` pixels on a desktop of
// `desktopSize` pixels: half the difference, truncated toward zero (an odd
// difference drops the half pixel; a splash larger than the desktop gets a
// negative offset).
int splashOrigin(int desktopSize, int splashSize);

// a * b / c rounded to the nearest integer, halves away from zero, computed
// without overflow in between; -1 when c is 0 or the result does not fit an
// int. The system's rounding multiply-divide behaves the same way.
int mulDivRounded(int a, int b, int c);

// The logical font height that makes a font `points` high on a device with
// `pixelsPerInch` vertical pixels per logical inch: negative, so that the
// size is the character height rather than the cell height.
int splashFontHeight(int points, int pixelsPerInch);

// Converts UTF-16 units to the status line's narrow text: each unit from
// U+0001 to U+00FF becomes the byte of the same value; the text ends at a zero
// unit, before the first unit above U+00FF, after `count` units, or when
// `capacity` - 1 bytes are written, whichever comes first. Always terminates
// `dest` (capacity must be at least 1); returns the number of bytes written.
size_t narrowStatusText(const uint16_t* units, size_t count, char* dest, size_t capacity);

}  // namespace zorvo

#endif
