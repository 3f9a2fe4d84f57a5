// The search for a Java runtime and the binding of its VM library.
#ifndef ZORVO_JVM_RUNTIME_SEARCH_H
#define ZORVO_JVM_RUNTIME_SEARCH_H

#include <windows.h>

#include "common/text.h"

namespace zorvo {

struct FoundJvm;

// How the chosen runtime was found.
enum class JvmSource { NotFound, SearchPath, DefinedPath, EnvironmentVariable, Registry };

// What finding a runtime needs from the top of the launch.
struct RuntimeLoading {
    // Binds the loaded VM library's (an HMODULE) creation entry; false when
    // it has none.
    bool (*bindVmLibrary)(void* library);
    // Reports that no acceptable runtime was found (message 1001).
    void (*reportNotFound)();
};

// Finds a runtime in the configured version range and loads its VM library,
// bound through `loading`. False when none is usable; the reason has then
// been shown (reportNotFound, or the source's message and 1005). With a
// preset runtime directory only that directory is considered.
bool locateAndLoadJvm(const RuntimeLoading& loading, const char* presetJavaHome, bool presetAsExecutableFirst);

}  // namespace zorvo

#endif
