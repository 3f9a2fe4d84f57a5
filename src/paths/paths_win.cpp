#include "paths/paths.h"

#include <windows.h>

#include <stdlib.h>
#include <string.h>

namespace zorvo {
namespace {

PathText exePath;
PathText exeDir;
bool exePathKnown = false;
bool exeDirKnown = false;
bool exeLongFormIsNarrow = true;
bool exePathIsNarrow = true;

// The code page's form of `wide`, true when it gives back exactly `wide`
// (no character replaced or approximated).
bool narrowExactly(const WCHAR* wide, PathText& narrow) {
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.data(), static_cast<int>(narrow.capacity()), nullptr,
                                nullptr);
    if (n <= 0) {
        narrow.clear();
        return false;
    }
    narrow.refresh();
    WidePath back;
    int m = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, back, kTextSize);
    return m > 0 && lstrcmpW(back, wide) == 0;
}

// The code page's form of `wide` with what it cannot hold replaced: for
// messages and traces only, never for opening anything.
void narrowForDisplay(const WCHAR* wide, PathText& narrow) {
    int n = WideCharToMultiByte(CP_ACP, 0, wide, -1, narrow.data(), static_cast<int>(narrow.capacity()), nullptr,
                                nullptr);
    if (n <= 0) narrow.clear();
    narrow.refresh();
}


// The short form of `path`, or the path itself when it has none.
const WCHAR* shortFormOf(const WCHAR* path, WidePath& shortForm) {
    DWORD n = GetShortPathNameW(path, shortForm, kTextSize);
    return n == 0 || n >= kTextSize ? path : shortForm;
}

// `folder` = `path` up to its first folder that neither the code page nor a
// short name can name (the whole path when no single folder is to blame).
void firstUnusableFolder(const WCHAR* path, PathText& folder) {
    WidePath prefix, shortForm;
    PathText narrow;
    size_t length = static_cast<size_t>(lstrlenW(path));
    for (size_t end = 1; end <= length && end < kTextSize; ++end) {
        if (end < length && path[end] != L'\\') continue;
        memcpy(prefix, path, end * sizeof(WCHAR));
        prefix[end] = L'\0';
        if (!narrowExactly(prefix, narrow) && !narrowExactly(shortFormOf(prefix, shortForm), narrow)) {
            narrowForDisplay(prefix, folder);
            return;
        }
    }
    narrowForDisplay(path, folder);
}

// ASCII letters only, as the C runtime does in the default locale, so that a
// path's lower-case form does not depend on the user's code page.
void lowerCase(PathText& text) { _strlwr(text.data()); }

}  // namespace

bool wideModuleName(WidePath& module) {
    DWORD n = GetModuleFileNameW(nullptr, module, kTextSize);
    // A result that fills the buffer is a cut path, never used.
    return n != 0 && n < kTextSize;
}

bool narrowPath(const wchar_t* path, PathText& narrow, PathText* folder) {
    if (narrowExactly(path, narrow)) return true;
    WidePath shortForm;
    if (narrowExactly(shortFormOf(path, shortForm), narrow)) return true;
    if (folder) firstUnusableFolder(path, *folder);
    narrowForDisplay(path, narrow);
    return false;
}


const char* getExecutablePath() {
    if (exePathKnown) return exePath.c_str();
    exePathKnown = true;
    WidePath module, shortForm;
    if (!wideModuleName(module)) return exePath.c_str();
    // The short form (the long one where it has none), in the code page.
    PathText longForm;
    exeLongFormIsNarrow = narrowExactly(module, longForm);
    if (!narrowExactly(shortFormOf(module, shortForm), exePath)) {
        if (exeLongFormIsNarrow) {
            exePath = longForm;
        } else {
            exePathIsNarrow = false;
            narrowForDisplay(module, exePath);
        }
    }
    lowerCase(exePath);
    collapseBackslashes(exePath.data());
    exePath.refresh();
    return exePath.c_str();
}

bool findUnusableExecutableFolder(PathText& folder) {
    getExecutablePath();
    folder.clear();
    if (exePathIsNarrow) return false;
    WidePath module;
    if (!wideModuleName(module)) return false;
    firstUnusableFolder(module, folder);
    return true;
}

bool getModuleName(PathText& name) {
    WidePath module;
    if (!wideModuleName(module)) {
        name.clear();
        return false;
    }
    return narrowPath(module, name, nullptr);
}

bool getOptionsFilePath(PathText& path) {
    path.clear();
    if (!getExecutablePath()[0] || exeLongFormIsNarrow) {
        uint32_t n = GetLongPathNameA(getExecutablePath(), path.data(), static_cast<uint32_t>(path.capacity()));
        if (n == 0 || !path.adoptPlatformResult(n)) return false;
        return path.append(".vmoptions");
    }
    // A long form outside the code page: the file's own short form, when it exists.
    WidePath module, longForm;
    if (!wideModuleName(module)) return false;
    DWORD l = GetLongPathNameW(module, longForm, kTextSize);
    const WCHAR* source = l == 0 || l >= kTextSize ? module : longForm;
    static const WCHAR kSuffix[] = L".vmoptions";
    size_t length = static_cast<size_t>(lstrlenW(source));
    if (length + sizeof(kSuffix) / sizeof(WCHAR) > kTextSize) return false;
    WidePath optionsFile;
    memcpy(optionsFile, source, length * sizeof(WCHAR));
    memcpy(optionsFile + length, kSuffix, sizeof(kSuffix));
    return narrowPath(optionsFile, path, nullptr);
}

bool getTempDirectory(PathText& dir, PathText* folder) {
    WidePath temp;
    DWORD n = GetTempPathW(kTextSize, temp);
    dir.clear();
    if (n == 0 || n >= kTextSize) {
        if (folder) folder->clear();
        return false;
    }
    if (!narrowPath(temp, dir, folder)) return false;
    if (dir.empty() || dir.c_str()[dir.size() - 1] != '\\') dir.appendChar('\\');
    return !dir.truncated();
}

const char* getExecutableDirectory() {
    if (exeDirKnown) return exeDir.c_str();
    exeDirKnown = true;
    char* filePart = nullptr;
    DWORD n = GetFullPathNameA(getExecutablePath(), static_cast<DWORD>(exeDir.capacity()), exeDir.data(), &filePart);
    if (n == 0 || !exeDir.adoptPlatformResult(n)) return exeDir.c_str();
    if (filePart && filePart >= exeDir.data() && filePart <= exeDir.data() + exeDir.size())
        exeDir.truncateTo(static_cast<size_t>(filePart - exeDir.data()));
    return exeDir.c_str();
}

void resolveAgainstExeDir(PathText& dst, const char* path) {
    joinWithExeDir(dst, isRelativePath(path) ? getExecutableDirectory() : "", path);
}

void getFullPath(PathText& dst, const char* path, bool keepCase) {
    PathText resolved;
    resolveAgainstExeDir(resolved, path);
    DWORD n = GetFullPathNameA(resolved.c_str(), static_cast<DWORD>(dst.capacity()), dst.data(), nullptr);
    if (n == 0 || !dst.adoptPlatformResult(n)) {
        dst.clear();
        return;
    }
    if (!keepCase) lowerCase(dst);
    collapseBackslashes(dst.data());
    dst.refresh();
}

void resolvePathList(PathText& dst, const char* list) {
    resolvePathListWith(dst, list, getExecutableDirectory());
}

bool pathExists(const char* path) {
    if (strlen(path) > 1 && isDriveRoot(path)) return true;
    return findFile(path, nullptr);
}

bool findFile(const char* path, uint64_t* lastWriteTime) {
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(path, &data);
    if (search == INVALID_HANDLE_VALUE) return false;
    if (lastWriteTime)
        *lastWriteTime = static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                         data.ftLastWriteTime.dwLowDateTime;
    FindClose(search);
    return true;
}

int listFiles(const char* directory, const char* extension, char*** names) {
    PathText pattern;
    if (!listFilesPattern(pattern, directory, extension)) return 0;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA(pattern.c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return 0;
    char** list = nullptr;
    int count = 0, capacity = 0;
    do {
        char* name = static_cast<char*>(malloc(kTextSize));
        if (!name) break;
        lstrcpynA(name, data.cFileName, static_cast<int>(kTextSize));
        if (count == capacity) {
            int next = capacity ? capacity * 2 : 16;
            char** grown = static_cast<char**>(realloc(list, static_cast<size_t>(next) * sizeof(char*)));
            if (!grown) {
                free(name);
                break;
            }
            list = grown;
            capacity = next;
        }
        list[count++] = name;
    } while (FindNextFileA(search, &data));
    FindClose(search);
    if (count == 0) {
        free(list);
        return 0;
    }
    *names = list;
    return count;
}

}  // namespace zorvo
