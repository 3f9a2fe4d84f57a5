// Conversions between the system's ANSI code page, its wide texts and the
// UTF-8 in which the launcher carries wide texts (Windows).
//
// Each result is a heap text owned by the caller (free); null when memory
// ran out.
#ifndef ZORVO_COMMON_CODE_PAGE_H
#define ZORVO_COMMON_CODE_PAGE_H

#include <wchar.h>

namespace zorvo {

// A wide text of the system (the command line) in UTF-8.
char* wideToUtf8(const wchar_t* text);

// A text of the code page in UTF-8.
char* codePageToUtf8(const char* text);

// A UTF-8 text in the code page; what the code page cannot hold becomes what
// the system's own conversion makes of it.
char* utf8ToCodePage(const char* text);

}  // namespace zorvo

#endif
