// The search for a Java runtime and the binding of its VM library.
#ifndef ZORVO_JVM_RUNTIME_SEARCH_H
#define ZORVO_JVM_RUNTIME_SEARCH_H

#include <windows.h>

#include "common/text.h"

namespace zorvo {

struct FoundJvm;

// How the chosen runtime was found.
enum class JvmSource { NotFound, SearchPath, DefinedPath, EnvironmentVariable, Registry };

// Finds a runtime in the configured version range and loads its VM library
// with JNI_CreateJavaVM bound. False when none is usable; the reason has then
// been shown (1001 with the download page, or the source's message and 1005)
// when `showMessages`.
// With a preset runtime directory only that directory is considered.
bool locateAndLoadJvm(bool showMessages, const char* presetJavaHome, bool presetAsExecutableFirst);

// The search order: the preferred-runtime file, the items of entry 128, the
// product's own variable, the installed-runtime file.
JvmSource searchJvm(FoundJvm& found, PathText& detail);

// Looks up JNI_CreateJavaVM in a loaded VM library and keeps it.
bool bindCreateJavaVM(HMODULE library);

}  // namespace zorvo

#endif
