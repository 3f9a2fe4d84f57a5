// The search for a Java runtime and the binding of its VM library.
#ifndef ZORVO_JVM_RUNTIME_SEARCH_H
#define ZORVO_JVM_RUNTIME_SEARCH_H

#include <windows.h>

#include "common/text.h"

namespace zorvo {

struct FoundJvm;

// What finding a runtime needs from the top of the launch.
struct RuntimeLoading {
    // Binds the loaded VM library's (an HMODULE) creation entry; false when
    // it has none.
    bool (*bindVmLibrary)(void* library);
    // Reports that no acceptable runtime was found (message 1001).
    void (*reportNotFound)();
};

// Finds a runtime in the configured version range, trying the steps of the
// search plan (search_plan.h) in order, and loads its VM library, bound
// through `loading`. False when none is usable; the reason has then been
// shown (reportNotFound, or the step's message and 1005).
bool locateAndLoadJvm(const RuntimeLoading& loading);

}  // namespace zorvo

#endif
