// Starting a hidden child process and waiting for it (Windows): the version
// probe of a runtime and the unpacker of a packed one.
#ifndef ZORVO_PROCESS_CHILD_PROCESS_H
#define ZORVO_PROCESS_CHILD_PROCESS_H

#include <windows.h>

#include "common/text.h"

namespace zorvo {

enum class ChildEnd { NotStarted, Ended, Stopped };

struct ChildResult {
    ChildEnd end;
    DWORD code;  // NotStarted: the system's error; Ended: the exit code
};

// Starts `commandLine` with its window hidden, inheriting the launcher's
// inheritable handles. With `errorOutput` the child's standard error goes
// there and it has no standard input or output; without, it keeps the
// launcher's. Waits at most `timeoutMs` (INFINITE: until it ends); a child
// still running then is ended (Stopped).
ChildResult runHidden(Text<kTextSize>& commandLine, HANDLE errorOutput, DWORD timeoutMs);

}  // namespace zorvo

#endif
