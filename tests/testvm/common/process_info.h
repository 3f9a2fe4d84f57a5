// What a started test program records about how it was started.
#ifndef ZORVO_TESTVM_PROCESS_INFO_H
#define ZORVO_TESTVM_PROCESS_INFO_H

#include "testvm_log.h"

namespace testvm {

// Adds "exe", "cmdline" (GetCommandLineA, raw), "argv" (the C runtime's
// parse), "cwd", "startupFlags" and "showWindow" (GetStartupInfoA) and
// "stdHandles" (the kind of each standard handle: "none", "disk", "pipe",
// "char" or "unknown") to a record.
void addProcessInfo(Record& record, int argc, char** argv);

}  // namespace testvm

#endif
