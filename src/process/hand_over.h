// The line a later start appends to the first instance's
// process-communication file (pure code).
#ifndef ZORVO_PROCESS_HAND_OVER_H
#define ZORVO_PROCESS_HAND_OVER_H

#include "common/grow_text.h"

namespace zorvo {

// The first byte of the two that stand for a line break inside a hand-over.
// 0xC0 never occurs in UTF-8, so the escape leaves every other text as it is.
constexpr unsigned char kHandOverEscape = 0xC0;

// The last line of a first instance's communication file once it takes no
// more hand-overs (its VM shuts down): C0 80 and the line end, which no
// hand-over line holds.
constexpr char kHandOversEnded[] = "\xC0\x80\r\n";
constexpr size_t kHandOversEndedSize = sizeof(kHandOversEnded) - 1;

// Appends the command-line tail (UTF-8) as one line: each CR becomes
// C0 8D and each LF C0 8A, so that the line end (CR LF) closes it and a
// reader can take every line whole. False when memory ran out.
bool encodeHandOverLine(const char* tail, GrowText& line);

}  // namespace zorvo

#endif
