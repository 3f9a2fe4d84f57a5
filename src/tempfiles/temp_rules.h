// The string rules of embedded files and the deletion record. Pure code.
#ifndef ZORVO_TEMPFILES_TEMP_RULES_H
#define ZORVO_TEMPFILES_TEMP_RULES_H

#include <stddef.h>

#include "common/text.h"

namespace zorvo {

// The constant every embedded byte is XOR-ed with.
constexpr unsigned char kScrambleByte = 0xB6;

// XORs `n` bytes in place with the scramble constant (its own inverse).
void unscramble(unsigned char* bytes, size_t n);

// True when `name` can only name a file directly inside the extraction
// directory: not empty, not "." or "..", no backslash, slash or colon, and
// not a device name.
bool isPlainFileName(const char* name);

// True when Windows opens a device for `name` in any directory: CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9 (also with the superscript digits 1, 2, 3
// of the ANSI code page), CONIN$ and CONOUT$, in any letter case, also with
// an extension ("nul.txt") and with blanks before it ("con .log").
bool isDeviceName(const char* name);

// Appends `path` and ";" to a deletion list, unless the list holds it
// already (every report registers the run's paths again). A path that does
// not fit whole is skipped, never cut (a cut path could name another file);
// returns false then.
bool appendToDeleteText(PathText& list, const char* path);

}  // namespace zorvo

#endif
