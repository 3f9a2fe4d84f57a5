#include "jvm/runtime_search.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "common/on_heap.h"
#include "config/launcher_config.h"
#include "config/pe_image.h"
#include "jvm/java_runtime.h"
#include "services/report.h"
#include "services/trace.h"
#include "paths/paths.h"
#include "process/process_environment.h"
#include "process/search_path.h"

namespace zorvo {
namespace {

struct VersionRange {
    PathText minimum;
    PathText maximum;
};

void readVersionRange(VersionRange& range) {
    getConfigString(cfg::kMinJavaVersion, range.minimum.data(), range.minimum.capacity());
    range.minimum.refresh();
    getConfigString(cfg::kMaxJavaVersion, range.maximum.data(), range.maximum.capacity());
    range.maximum.refresh();
}

// The first line of a search file below the installer directory (entry
// 10003), without trailing line breaks. False when missing or empty.
bool readFirstLine(const char* fileName, PathText& line) {
    PathText base, file;
    getConfigString(cfg::kInstallerDir, base.data(), base.capacity());
    base.refresh();
    getFullPath(file, base.c_str(), false);
    file.append(fileName);
    if (file.truncated()) return false;
    collapseBackslashes(file.data());
    file.refresh();
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

bool checkJavaHome(const char* directory, const VersionRange& range, FoundJvm& found) {
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
    return validateJavaExecutable(found.executable, range.minimum.c_str(), range.maximum.c_str(), true,
                                  found.version);
}

// A variable's value read wide, so that a home below a folder named outside
// the code page is found through its short form.
bool checkEnvironmentVariable(const char* name, const VersionRange& range, FoundJvm& found) {
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
    return validateJavaExecutable(found.executable, range.minimum.c_str(), range.maximum.c_str(), false,
                                  found.version);
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

bool checkSearchPath(const VersionRange& range, FoundJvm& found) {
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
    return validateJavaExecutable(found.executable, range.minimum.c_str(), range.maximum.c_str(), false,
                                  found.version);
}

// One item of entry 128: a type letter and its argument.
JvmSource checkSearchItem(const char* item, const VersionRange& range, FoundJvm& found, PathText& detail) {
    const char* argument = item + 1;
    switch (item[0]) {
        case 'A':
        case 'R':
            trace("search: item %c, the directory %s", item[0], argument);
            if (!checkJavaHome(argument, range, found)) return JvmSource::NotFound;
            detail.assign(argument);
            return JvmSource::DefinedPath;
        case 'E':
            if (!checkEnvironmentVariable(argument, range, found)) return JvmSource::NotFound;
            detail.assign(argument);
            return JvmSource::EnvironmentVariable;
        case 'S':
            if (!checkSearchPath(range, found)) return JvmSource::NotFound;
            detail.assign(argument);
            return JvmSource::SearchPath;
        case 'Y':
            trace("search: item Y, the registry");
            if (!searchRegistry(range.minimum.c_str(), range.maximum.c_str(), found)) return JvmSource::NotFound;
            detail.clear();
            return JvmSource::Registry;
        default:
            trace("search: item '%s' does nothing", item);
            return JvmSource::NotFound;
    }
}

JvmSource searchFile(const char* fileName, const VersionRange& range, FoundJvm& found, PathText& detail) {
    PathText line;
    if (!readFirstLine(fileName, line)) {
        trace("search: %s: none", fileName + 1);
        return JvmSource::NotFound;
    }
    trace("search: %s names %s", fileName + 1, line.c_str());
    if (!checkJavaHome(line.c_str(), range, found)) return JvmSource::NotFound;
    detail = line;
    return JvmSource::DefinedPath;
}

JvmSource searchJvmIn(const VersionRange& range, FoundJvm& found, PathText& detail) {
    JvmSource source = searchFile("\\.quenbrook\\pref_jre.cfg", range, found, detail);
    if (source != JvmSource::NotFound) return source;

    PathText sequence;
    getConfigString(cfg::kJvmSearchSequence, sequence.data(), sequence.capacity());
    sequence.refresh();
    forEachListElement(sequence.c_str(), [&](const char* item) {
        source = checkSearchItem(item, range, found, detail);
        return source == JvmSource::NotFound;
    });
    if (source != JvmSource::NotFound) return source;

    const char* variable = productFlavour() == 'e' ? "ZORVO_JAVA_HOME"
                           : productFlavour() == 'i' ? "QUENBROOK_JAVA_HOME"
                                                     : nullptr;
    if (variable && checkEnvironmentVariable(variable, range, found)) {
        detail.assign(variable);
        return JvmSource::EnvironmentVariable;
    }
    return searchFile("\\.quenbrook\\inst_jre.cfg", range, found, detail);
}

// Validates the preset directory (or executable) alone.
JvmSource checkPreset(const char* preset, bool asExecutableFirst, const VersionRange& range, FoundJvm& found,
                      PathText& detail) {
    bool accepted = false;
    if (asExecutableFirst) {
        found.executable.assign(preset);
        accepted = validateJavaExecutable(found.executable, range.minimum.c_str(), range.maximum.c_str(), true,
                                          found.version);
    }
    if (!accepted) accepted = checkJavaHome(preset, range, found);
    if (!accepted) return JvmSource::NotFound;
    detail.assign(preset);
    return JvmSource::DefinedPath;
}

void showLoadFailure(JvmSource source, const char* detail) {
    switch (source) {
        case JvmSource::SearchPath: showConfiguredError(cfg::kMsgPathJvmDamaged); break;
        case JvmSource::EnvironmentVariable: showConfiguredError(cfg::kMsgEnvJvmDamaged, "%ENV_VAR_NAME%", detail); break;
        case JvmSource::DefinedPath: showConfiguredError(cfg::kMsgDefinedJvmDamaged, "%DEFINED_PATH%", detail); break;
        default: break;
    }
    showConfiguredError(cfg::kMsgJvmStartFailed);
}

// The search's texts are large: they live on the heap for the search only.
struct SearchState {
    VersionRange range;
    FoundJvm found;
    PathText detail;
};

}  // namespace

bool locateAndLoadJvm(const RuntimeLoading& loading, const char* presetJavaHome, bool presetAsExecutableFirst) {
    OnHeap<SearchState> s;
    if (!s) return false;
    readVersionRange(s->range);
    trace("runtime search: version range [%s .. %s], %s launcher", s->range.minimum.c_str(),
          s->range.maximum.c_str(), ownLauncherLayout().name);
    JvmSource source = presetJavaHome
                           ? checkPreset(presetJavaHome, presetAsExecutableFirst, s->range, s->found, s->detail)
                           : searchJvmIn(s->range, s->found, s->detail);
    bool loaded = false;
    if (source == JvmSource::NotFound) {
        trace("runtime search: no acceptable runtime");
        // The runtimes that could not be probed may have been the ones wanted.
        PathText folder;
        if (tempFolderStoppedProbes(folder)) errorExit(cfg::kMsgFolderUnusable, "%FOLDER_NAME%", folder.c_str());
        loading.reportNotFound();
    } else {
        trace("runtime chosen: %s, version %s", s->found.executable.c_str(), s->found.version.c_str());
        HMODULE library = loadJvmLibrary(s->found.executable.c_str());
        loaded = library && loading.bindVmLibrary(library);
        if (library && !loaded) trace("  the VM library has no JNI_CreateJavaVM");
        if (!loaded) showLoadFailure(source, s->detail.c_str());
    }
    return loaded;
}

}  // namespace zorvo
