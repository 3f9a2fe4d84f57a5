// Variable substitution in configured texts: the launcher variables and the
// process's environment variables in "${NAME}" form. Pure code.
#ifndef ZORVO_VM_SUBSTITUTION_H
#define ZORVO_VM_SUBSTITUTION_H

#include "common/text.h"

namespace zorvo {

// Replaces every occurrence of `pattern` by `value`, searching on behind each
// inserted value (so a value holding its own pattern does not loop). When a
// replacement would not fit the buffer, that occurrence and everything after
// it stay as they are and the result is false; nothing is ever cut.
bool replaceAll(PathText& text, const char* pattern, const char* value);

// The six launcher variables in both forms, then every variable of
// `environment` (a block of "NAME=value" strings ending with an empty one, or
// null) as "${NAME}" and with the name upper-cased. Stops at the first
// replacement that would not fit.
void substituteVariables(PathText& text, const char* exeDir, const char* tempDir, const char* environment);

}  // namespace zorvo

#endif
