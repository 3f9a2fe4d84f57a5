// The download page offered when no Java runtime is found (entry 129): an
// http or https address (config/entry_rules.h says which) that a windowed
// application offers to open with the no-runtime message, and a console
// application prints after it.
#ifndef ZORVO_LAUNCHER_DOWNLOAD_PAGE_H
#define ZORVO_LAUNCHER_DOWNLOAD_PAGE_H

#include <stddef.h>

#include "common/text.h"

namespace zorvo {

// The text of the message box that offers the page: `message`, a blank line,
// the question and `address` on a line of its own (without the blank line when
// `message` is empty). A message too long for the buffer is cut, so that the
// question and the address stay whole. Pure code.
void composeDownloadQuestion(Text<kTextSize>& text, const char* message, const char* address);

// Reports that no runtime was found: message 1001 and, with entry 129 set to
// an address that downloadAddressProblem accepts, the offer of that page; a
// Yes opens it in the user's browser. Traces what became of the page.
// Returns. Windows only.
void reportNoJvm();

}  // namespace zorvo

#endif
