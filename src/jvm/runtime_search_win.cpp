#include "jvm/runtime_search.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "common/on_heap.h"
#include "config/launcher_config.h"
#include "config/pe_image.h"
#include "jvm/java_runtime.h"
#include "jvm/search_plan.h"
#include "services/report.h"
#include "services/trace.h"
#include "paths/paths.h"
#include "process/process_environment.h"
#include "process/search_path.h"

namespace zorvo {
namespace {

// The first line of a search file below the installer folder (entry
// 10003), without trailing line breaks. False when missing or empty.
bool readFirstLine(const char* fileName, PathText& line) {
    PathText file;
    if (!installerFilePath(file, fileName)) return false;
    FILE* f = fopen(file.c_str(), "rt");
    if (!f) return false;
    bool read = fgets(line.data(), static_cast<int>(line.capacity()), f) != nullptr;
    fclose(f);
    if (!read) return false;
    line.refresh();
    while (!line.empty() && (line.c_str()[line.size() - 1] == '\n' || line.c_str()[line.size() - 1] == '\r'))
        line.truncateTo(line.size() - 1);
    return true;
}

bool checkJavaHome(const char* directory, const RuntimeCriteria& criteria, FoundJvm& found) {
    PathText home;
    getFullPath(home, directory, false);
    if (home.empty()) return false;
    // A home never ends in a backslash (the executable's own directory does).
    if (home.size() > 3 && home.c_str()[home.size() - 1] == '\\') home.truncateTo(home.size() - 1);
    javaExecutableOfHome(found.executable, home.c_str());
    // A runtime of the other architecture is never prepared for use.
    if (pathExists(found.executable.c_str()) && !isOfOwnArchitecture(found.executable.c_str())) {
        trace("  runtime %s: not a %s runtime: passed over", found.executable.c_str(), ownLauncherLayout().name);
        return false;
    }
    prepareJre(home.c_str());
    return validateJavaExecutable(found.executable, criteria, true, found.version);
}

// A variable's value read wide, so that a home below a folder named outside
// the code page is found through its short form.
bool checkEnvironmentVariable(const char* name, const RuntimeCriteria& criteria, FoundJvm& found) {
    WidePath wideName, value;
    DWORD n = 0;
    if (MultiByteToWideChar(CP_ACP, 0, name, -1, wideName, kTextSize) > 0)
        n = GetEnvironmentVariableW(wideName, value, kTextSize);
    if (n == 0 || n >= kTextSize) {
        trace("search: environment variable %s: not defined", name);
        return false;
    }
    PathText home, folder;
    if (!narrowPath(value, home, &folder)) {
        trace("search: environment variable %s: %s cannot be named: %s is outside the code page and has no short "
              "name", name, home.c_str(), folder.c_str());
        return false;
    }
    trace("search: environment variable %s: %s", name, home.c_str());
    javaExecutableOfHome(found.executable, home.c_str());
    return validateJavaExecutable(found.executable, criteria, false, found.version);
}

// The file a path really names: a link (Java installers put a folder of
// links to java.exe first on PATH) resolved to its target, so that the home,
// the VM library and the cache key are the runtime's own. Read wide and
// named in the code page (a target below a folder outside it through its
// short form). Unchanged when the path cannot be resolved or named.
void resolveLink(PathText& path) {
    HANDLE file = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    WidePath target;
    DWORD n = GetFinalPathNameByHandleW(file, target, kTextSize, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (n == 0 || n >= kTextSize) return;
    const wchar_t* plain = target;
    WidePath unc;
    if (wcsncmp(plain, L"\\\\?\\UNC\\", 8) == 0) {
        unc[0] = L'\\';
        wcscpy(unc + 1, plain + 7);
        plain = unc;
    } else if (wcsncmp(plain, L"\\\\?\\", 4) == 0) {
        plain += 4;
    }
    PathText named;
    if (narrowPath(plain, named, nullptr)) path = named;
}

// The first java.exe in the directories that PATH names, in their order. The
// current directory is never searched unless PATH names it (a relative
// element is taken relative to it): a java.exe left in the folder a document
// was opened from is never started.
bool findJavaOnPath(PathText& executable) {
    DWORD size = GetEnvironmentVariableW(L"PATH", nullptr, 0);
    OnHeap<wchar_t> path(size), work(2 * kTextSize);
    bool found = false;
    if (size && path && work && GetEnvironmentVariableW(L"PATH", &path[0], size) < size) {
        wchar_t* element = &work[0];
        wchar_t* candidate = &work[kTextSize];
        for (const wchar_t* cursor = &path[0]; !found && nextListElement(cursor, element, kTextSize - 10);) {
            size_t length = wcslen(element);
            wcscpy(element + length, element[length - 1] == L'\\' ? L"java.exe" : L"\\java.exe");
            DWORD n = GetFullPathNameW(element, kTextSize, candidate, nullptr);
            if (n == 0 || n >= kTextSize) continue;
            DWORD attributes = GetFileAttributesW(candidate);
            if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
            PathText folder;
            found = narrowPath(candidate, executable, &folder);
            if (!found)
                trace("search: java.exe on the search path: %s cannot be named: %s is outside the code page and has "
                      "no short name", executable.c_str(), folder.c_str());
        }
    }
    return found;
}

bool checkSearchPath(const RuntimeCriteria& criteria, FoundJvm& found) {
    if (!findJavaOnPath(found.executable)) {
        trace("search: java.exe on the search path: none");
        return false;
    }
    PathText onPath = found.executable;
    resolveLink(found.executable);
    if (strcmp(onPath.c_str(), found.executable.c_str()) != 0) {
        trace("search: java.exe on the search path: %s, a link to %s", onPath.c_str(), found.executable.c_str());
    } else {
        trace("search: java.exe on the search path: %s", onPath.c_str());
    }
    return validateJavaExecutable(found.executable, criteria, false, found.version);
}

// Executes one step of the plan; true when it found an acceptable runtime
// (`found`, and `detail`: the directory as written, the variable's name, the
// S item's argument; empty for the registry).
bool runStep(const SearchStep& step, const RuntimeCriteria& criteria, FoundJvm& found, PathText& detail) {
    bool accepted = false;
    detail.assign(step.argument);
    switch (step.kind) {
        case SearchStepKind::SearchFile:
            if (!readFirstLine(step.argument, detail)) {
                trace("search: %s: none", step.argument + 1);
                return false;
            }
            trace("search: %s names %s", step.argument + 1, detail.c_str());
            accepted = checkJavaHome(detail.c_str(), criteria, found);
            break;
        case SearchStepKind::JavaHome:
            trace("search: item %c, the directory %s", step.item, step.argument);
            accepted = checkJavaHome(step.argument, criteria, found);
            break;
        case SearchStepKind::EnvironmentVariable:
            accepted = checkEnvironmentVariable(step.argument, criteria, found);
            break;
        case SearchStepKind::SearchPath: accepted = checkSearchPath(criteria, found); break;
        case SearchStepKind::Registry:
            trace("search: item Y, the registry");
            accepted = searchRegistry(criteria, found);
            detail.clear();
            break;
        case SearchStepKind::Nothing: trace("search: item '%s' does nothing", step.argument); break;
    }
    return accepted;
}

// Reads what a runtime must meet once for the whole search.
void readCriteria(RuntimeCriteria& criteria) {
    PathText minimum, maximum;
    getConfigText(cfg::kMinJavaVersion, minimum);
    getConfigText(cfg::kMaxJavaVersion, maximum);
    criteria.range = parseVersionRange(minimum.c_str(), maximum.c_str());
    criteria.betaEverywhere = getConfigInt(cfg::kAcceptBeta) != 0;
    criteria.windowed = getConfigInt(cfg::kAppType) == 1;
    trace("runtime search: version range [%s .. %s], %s launcher", minimum.c_str(), maximum.c_str(),
          ownLauncherLayout().name);
}

void showLoadFailure(const SearchStep& step, const char* detail) {
    if (step.damagedMessage) showConfiguredError(step.damagedMessage, detail);
    showConfiguredError(cfg::kMsgJvmStartFailed);
}

// The search's texts are large: they live on the heap for the search only.
struct SearchState {
    RuntimeCriteria criteria;
    FoundJvm found;
    PathText detail;
    PathText sequence;
    SearchStep accepted;
};

}  // namespace

bool locateAndLoadJvm(const RuntimeLoading& loading) {
    OnHeap<SearchState> s;
    if (!s) return false;
    readCriteria(s->criteria);
    getConfigText(cfg::kJvmSearchSequence, s->sequence);
    bool found = false;
    forEachSearchStep(s->sequence.c_str(), productFlavour(), [&](const SearchStep& step) {
        found = runStep(step, s->criteria, s->found, s->detail);
        if (found) s->accepted = step;
        return !found;
    });
    if (!found) {
        trace("runtime search: no acceptable runtime");
        // The runtimes that could not be probed may have been the ones wanted.
        PathText folder;
        if (tempFolderStoppedProbes(folder)) errorExit(cfg::kMsgFolderUnusable, folder.c_str());
        loading.reportNotFound();
        return false;
    }
    trace("runtime chosen: %s, version %s", s->found.executable.c_str(), s->found.version.c_str());
    HMODULE library = loadJvmLibrary(s->found.executable.c_str());
    bool loaded = library && loading.bindVmLibrary(library);
    if (library && !loaded) trace("  the VM library has no JNI_CreateJavaVM");
    if (!loaded) showLoadFailure(s->accepted, s->detail.c_str());
    return loaded;
}

}  // namespace zorvo
