// Composition of configured messages. Pure code.
#ifndef ZORVO_SERVICES_MESSAGE_TEXT_H
#define ZORVO_SERVICES_MESSAGE_TEXT_H

#include "common/text.h"

namespace zorvo {

// Replaces the first occurrence of `placeholder` (exact, case-sensitive) in
// `text` with `value`; later occurrences stay. Without an occurrence, or with
// an empty placeholder, the text is unchanged. A result longer than the buffer
// is cut at the buffer's end. Returns true when a replacement was made.
bool replaceFirstPlaceholder(Text<kTextSize>& text, const char* placeholder, const char* value);

}  // namespace zorvo

#endif
