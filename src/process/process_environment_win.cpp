#include "process/process_environment.h"

#include <stdlib.h>
#include <wchar.h>

#include "common/on_heap.h"
#include "config/launcher_config.h"
#include "services/report.h"
#include "paths/paths.h"
#include "process/dll_search.h"
#include "process/search_path.h"
#include "services/trace.h"

namespace zorvo {
namespace {

HINSTANCE instanceHandle = nullptr;
char flavour = '\0';

void setWorkingDirectory() {
    PathText configured;
    getConfigText(cfg::kWorkingDirectory, configured);
    if (configured.empty()) return;
    PathText full;
    getFullPath(full, configured.c_str(), false);
    bool changed = !full.empty() && SetCurrentDirectoryA(full.c_str());
    trace("working directory: %s%s", full.c_str(), changed ? "" : " (missing: the inherited one stays)");
}


// The first character of entry 2001.
void readProductFlavour() {
    char letter[2];
    getConfigString(cfg::kProductFlavour, letter, sizeof(letter));
    flavour = letter[0];
}

// PATH = the resolved configured directories, ";", the inherited PATH.
void extendSearchPath() {
    PathText configured, resolved;
    getConfigText(cfg::kPathPrefix, configured);
    resolvePathList(resolved, configured.c_str());

    // PATH is read, changed and written wide, so that a folder named outside
    // the code page keeps its name for the search below and for every
    // program the application starts. It is read in full (up to the system's
    // limit for one variable), so it is never cut. The buffers are large and
    // needed once: they live on the heap only for this step.
    const size_t kAssignment = 5;  // "PATH="
    OnHeap<wchar_t> prefix(kTextSize), inherited(kEnvironmentValueSize), assignment(kAssignment + kEnvironmentValueSize);
    if (!prefix || !inherited || !assignment) return;
    if (MultiByteToWideChar(CP_ACP, 0, resolved.c_str(), -1, &prefix[0], kTextSize) == 0) return;
    SetLastError(ERROR_SUCCESS);
    DWORD n = GetEnvironmentVariableW(L"PATH", &inherited[0], kEnvironmentValueSize);
    bool defined = n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    // A PATH that cannot be read whole, or a result that would not fit,
    // leaves PATH as it is rather than losing part of it.
    wchar_t* value = &assignment[kAssignment];
    if (n >= kEnvironmentValueSize ||
        !composeSearchPath(value, kEnvironmentValueSize, &prefix[0], defined ? &inherited[0] : nullptr))
        return;
    SetEnvironmentVariableW(L"PATH", value);
    if (!resolved.empty()) trace("PATH: put in front: %s", resolved.c_str());
    // The runtime library's own copy of the environment, for C code in the process.
    wmemcpy(&assignment[0], L"PATH=", kAssignment);
    _wputenv(&assignment[0]);
}

}  // namespace

HINSTANCE moduleInstance() { return instanceHandle; }

char productFlavour() { return flavour; }

bool installerFilePath(PathText& path, const char* name) {
    PathText base;
    getConfigText(cfg::kInstallerDir, base);
    getFullPath(path, base.c_str(), false);
    path.append(name);
    collapseBackslashes(path.data());
    path.refresh();
    return !path.empty() && !path.truncated();
}

void prepareProcessEnvironment(HINSTANCE instance) {
    restrictDllSearch();
    LauncherConfig::load();
    // Every configured path is resolved against the executable's: without a
    // form of it in the code page nothing could be found.
    PathText folder;
    if (findUnusableExecutableFolder(folder)) {
        trace("the executable's folder %s has no name in the code page", folder.c_str());
        errorExit(cfg::kMsgFolderUnusable, folder.c_str());
    }
    instanceHandle = instance;
    readProductFlavour();
    trace("product flavour: '%c'", flavour ? flavour : ' ');
    extendSearchPath();
    setWorkingDirectory();
}

}  // namespace zorvo
