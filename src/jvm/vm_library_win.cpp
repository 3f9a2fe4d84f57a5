// Loading the VM library of a chosen runtime.
#include "config/launcher_config.h"
#include "jvm/java_runtime.h"
#include "jvm/runtime_rules.h"
#include "services/trace.h"
#include "process/dll_search.h"

namespace zorvo {
namespace {

const char* const kBuiltInKinds[] = {"hotspot", "client", "server", "classic"};

// The VM library of one kind (below the Java executable's directory), loaded
// with its runtime's bin in the DLL search; null when it is missing or fails.
HMODULE loadJvmLibraryOfKind(const char* javaExecutable, const char* kind) {
    PathText dir, library;
    if (!executableDirectoryOf(dir, javaExecutable) || !vmLibraryPath(library, dir.c_str(), kind)) return nullptr;
    if (GetFileAttributesA(library.c_str()) == INVALID_FILE_ATTRIBUTES) {
        trace("  VM library %s: missing", library.c_str());
        return nullptr;
    }
    // The VM library imports the C runtime that its runtime ships in bin (the
    // Java executable's directory), which the standard search never reaches.
    PathText bin;
    DWORD n = GetFullPathNameA(dir.c_str(), static_cast<DWORD>(bin.capacity()), bin.data(), nullptr);
    const char* dllDirectory = n != 0 && bin.adoptPlatformResult(n) ? bin.c_str() : dir.c_str();
    searchDllsIn(dllDirectory);
    HMODULE module = LoadLibraryA(library.c_str());
    if (module) {
        trace("  VM library %s: loaded, its DLLs from %s", library.c_str(), dllDirectory);
    } else {
        trace("  VM library %s: cannot be loaded (error %lu)", library.c_str(), static_cast<unsigned long>(GetLastError()));
        searchDllsIn(nullptr);
    }
    return module;
}

// The preferred kind (entry 152), then the built-in kinds, in order.
HMODULE loadJvmLibraryOfKinds(const char* javaExecutable) {
    PathText preferred;
    getConfigText(cfg::kPreferredVmKind, preferred);
    HMODULE module = preferred.empty() ? nullptr : loadJvmLibraryOfKind(javaExecutable, preferred.c_str());
    for (const char* kind : kBuiltInKinds) {
        if (module) break;
        module = loadJvmLibraryOfKind(javaExecutable, kind);
    }
    return module;
}

}  // namespace

HMODULE loadJvmLibrary(const char* javaExecutable) {
    HMODULE module = loadJvmLibraryOfKinds(javaExecutable);
    if (module) return module;
    // A JDK whose bin directory holds no VM: try its own jre below it.
    PathText dir, fallback;
    if (!executableDirectoryOf(dir, javaExecutable)) return nullptr;
    fallback.assign(dir.c_str());
    fallback.append("../jre/bin/java.exe");
    if (fallback.truncated()) return nullptr;
    return loadJvmLibraryOfKinds(fallback.c_str());
}

}  // namespace zorvo
