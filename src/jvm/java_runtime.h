// Validation of candidate Java runtimes, the per-user version cache, the
// registry search, VM library loading and the unpacking of packed runtimes
// (Windows).
#ifndef ZORVO_JVM_JAVA_RUNTIME_H
#define ZORVO_JVM_JAVA_RUNTIME_H

#include <windows.h>

#include <stdint.h>

#include "common/text.h"
#include "jvm/version_rules.h"

namespace zorvo {

// HKEY_CURRENT_USER: one key per Java executable with "LastWriteTime" and "Version".
constexpr const char kVersionCacheKey[] = "SOFTWARE\\tallgrass-works\\zorvo\\jvms\\";
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE: one subkey per known Java executable.
constexpr const char kLocatedJvmsKey[] = "SOFTWARE\\tallgrass-works\\zorvo\\locatedjvms\\";
constexpr const char kJreKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
constexpr const char kJdkKey[] = "SOFTWARE\\JavaSoft\\Java Development Kit";

// The chosen runtime: its Java executable (absolute, lower case; javaw.exe
// for windowed applications) and its version text.
struct FoundJvm {
    PathText executable;
    PathText version;
};

// home + "\jre\bin\java.exe" when that exists (a JDK), else home + "\bin\java.exe".
void javaExecutableOfHome(PathText& executable, const char* home);

// True when the executable is built for the launcher's own machine (read
// from its PE header, no child process, no cache): the VM library of a
// runtime of the other architecture cannot be loaded into this process.
bool isOfOwnArchitecture(const char* javaExecutable);

// Resolves `path` in place, checks that it exists and is of the launcher's
// architecture, learns the version (cache, release file or probe; what was
// not cached is cached; an executable whose probe failed is never probed
// again in the same run), applies the version rules and, for windowed
// applications, switches to javaw.exe, which must exist. True when the
// runtime is acceptable; `version` gets its text. A runtime of the other
// architecture is passed over like one out of range. Traces the outcome.
bool validateJavaExecutable(PathText& path, const RuntimeCriteria& criteria, bool betaAllowed, PathText& version);

// True, with the folder to blame, when the user's temporary folder, for want
// of a usable name, kept a runtime from being probed in this run.
bool tempFolderStoppedProbes(PathText& folder);

// The registry search: the JavaSoft keys of Java 8 and before (CurrentVersion
// first, then the names in range) and the product's located runtimes of both
// hives, with their rules; only when they give nothing, the keys that the
// installers of current runtimes write (HKLM, then HKCU; one table in
// registry_search_win.cpp), each key's names in range highest version first.
// Every candidate is validated (validateJavaExecutable); true with `found`
// when one is acceptable.
bool searchRegistry(const RuntimeCriteria& criteria, FoundJvm& found);

// Loads jvm.dll for a Java executable: the preferred kind (entry 152), then
// hotspot, client, server, classic, then the same below "../jre/bin/".
HMODULE loadJvmLibrary(const char* javaExecutable);

// Unpacks a packed private runtime before its first use. Ends the process
// (1009 with "20") when the unpacker cannot be started.
void prepareJre(const char* home);

}  // namespace zorvo

#endif
