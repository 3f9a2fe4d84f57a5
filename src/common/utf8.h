// UTF-16 text carried through the launcher's byte strings. Pure code.
//
// Texts that come from the wide side of the system (the command line) travel
// as UTF-8 and become UTF-16 again at the Java boundary. A lone surrogate,
// which Windows allows in a command line, is kept as the three bytes UTF-8
// would give it were it a character, so that no text loses anything on the way.
#ifndef ZORVO_COMMON_UTF8_H
#define ZORVO_COMMON_UTF8_H

#include <stddef.h>
#include <stdint.h>

namespace zorvo {

// The bytes `units` (a NUL-terminated UTF-16 text) take as UTF-8, without the
// terminator.
size_t utf8Length(const uint16_t* units);

// Writes `units` as UTF-8 into `out`, which has room for utf8Length(units) + 1
// bytes; NUL-terminated.
void encodeUtf8(const uint16_t* units, char* out);

// The UTF-16 units of the UTF-8 `text`, at most `capacity` of them (a pair is
// never split); gives their number. A byte that does not begin a well-formed
// sequence stands for the character of its own value, as a byte did before
// command lines were read wide.
size_t decodeUtf8(const char* text, uint16_t* units, size_t capacity);

}  // namespace zorvo

#endif
