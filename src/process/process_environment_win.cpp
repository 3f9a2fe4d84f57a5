#include "process/process_environment.h"

#include <stdlib.h>

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
    getConfigString(cfg::kWorkingDirectory, configured.data(), configured.capacity());
    configured.refresh();
    if (configured.empty()) return;
    PathText full;
    getFullPath(full, configured.c_str(), false);
    bool changed = !full.empty() && SetCurrentDirectoryA(full.c_str());
    trace("working directory: %s%s", full.c_str(), changed ? "" : " (missing: the inherited one stays)");
}

}  // namespace

HINSTANCE moduleInstance() { return instanceHandle; }

char productFlavour() { return flavour; }

void readProductFlavour() {
    char letter[2];
    getConfigString(cfg::kProductFlavour, letter, sizeof(letter));
    flavour = letter[0];
}

void extendSearchPath() {
    PathText configured, resolved;
    getConfigString(cfg::kPathPrefix, configured.data(), configured.capacity());
    configured.refresh();
    resolvePathList(resolved, configured.c_str());

    // The inherited PATH is read in full (up to the system's limit for one
    // variable), so it is never cut. The buffers are large and needed once:
    // they live on the heap only for this step.
    OnHeap<EnvironmentText> inherited, value;
    OnHeap<Text<kEnvironmentValueSize + 5>> assignment;
    if (inherited && value && assignment) {
        SetLastError(ERROR_SUCCESS);
        DWORD n = GetEnvironmentVariableA("PATH", inherited->data(), kEnvironmentValueSize);
        bool defined = n != 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
        // A PATH that cannot be read whole, or a result that would not fit,
        // leaves PATH as it is rather than losing part of it.
        if (n < kEnvironmentValueSize && inherited->adoptPlatformResult(n) &&
            composeSearchPath(*value, resolved.c_str(), defined ? inherited->c_str() : nullptr)) {
            SetEnvironmentVariableA("PATH", value->c_str());
            if (!resolved.empty()) trace("PATH: put in front: %s", resolved.c_str());
            assignment->assign("PATH=");
            assignment->append(value->c_str());
            _putenv(assignment->c_str());
        }
    }
}

void prepareProcessEnvironment(HINSTANCE instance) {
    restrictDllSearch();
    LauncherConfig::load();
    // Every configured path is resolved against the executable's: without a
    // form of it in the code page nothing could be found.
    PathText folder;
    if (findUnusableExecutableFolder(folder)) {
        trace("the executable's folder %s has no name in the code page", folder.c_str());
        errorExit(cfg::kMsgFolderUnusable, "%FOLDER_NAME%", folder.c_str());
    }
    instanceHandle = instance;
    readProductFlavour();
    trace("product flavour: '%c'", flavour ? flavour : ' ');
    extendSearchPath();
    setWorkingDirectory();
}

}  // namespace zorvo
