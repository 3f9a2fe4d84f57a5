// String rules of runtime discovery: registry key names, the directory of a
// Java executable, VM library paths, the windowed executable. Pure code.
#ifndef ZORVO_JVM_RUNTIME_RULES_H
#define ZORVO_JVM_RUNTIME_RULES_H

#include <stddef.h>

#include "common/text.h"

namespace zorvo {

// Base key followed by the path with every '\' turned into '/', so the whole
// path is one key name. False when it does not fit.
bool registryKeyOfPath(PathText& key, const char* baseKey, const char* path);

// The Java executable's directory with its trailing '\': the path less its
// last 9 characters when it ends exactly in "javaw.exe", else less 8.
bool executableDirectoryOf(PathText& dir, const char* javaExecutable);

// True when the directory (with its trailing '\') is a folder named `name`
// (ASCII letters compared without case) below another one: "c:\jdk\bin\" is
// a "bin", "c:\jdk\mybin\" and "bin\" are not.
bool endsWithFolder(const char* directory, const char* name);

// Executable directory + kind + "\jvm.dll". False when it does not fit.
bool vmLibraryPath(PathText& path, const char* executableDirectory, const char* kind);

// The path with its final ".exe" replaced by "w.exe" (java.exe -> javaw.exe).
bool windowedExecutableOf(PathText& path);

// Sorts version names in ascending order of compareVersions (1.4 before
// 1.4.2, 1.8.0_45 before 1.8.0_392, 9.0.4 before 17.0.9); equal ones keep
// their order.
void sortVersions(char** names, size_t count);

// Sorts vendor subkey names in ascending order of the versions they name.
void sortVendorNames(char** names, size_t count);

}  // namespace zorvo

#endif
