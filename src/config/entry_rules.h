// Rules of entry values that the launcher and the build tool both apply: the
// download page's address (entry 129) and the names of embedded files
// (entry 2003). Pure code.
#ifndef ZORVO_CONFIG_ENTRY_RULES_H
#define ZORVO_CONFIG_ENTRY_RULES_H

#include <stddef.h>

namespace zorvo {

// Why the `length` bytes at `address` are no address the launcher opens, or
// null when they are one: it must begin with http:// or https:// (either
// case), name a host, and hold printable ASCII only, without blanks or double
// quotes (the browser receives it inside quotes on its command line). The
// build tool refuses such a value with this text; the launcher offers no page
// for it.
const char* downloadAddressProblem(const char* address, size_t length);

// True when Windows opens a device for `name` in any directory: CON, PRN,
// AUX, NUL, COM1-COM9, LPT1-LPT9 (also with the superscript digits 1, 2, 3
// of the ANSI code page), CONIN$ and CONOUT$, in any letter case, also with
// an extension ("nul.txt") and with blanks before it ("con .log").
bool isDeviceName(const char* name);

// True when `name` can only name a file directly inside the extraction
// directory: not empty, not "." or "..", no backslash, slash or colon, and
// not a device name.
bool isPlainFileName(const char* name);

}  // namespace zorvo

#endif
