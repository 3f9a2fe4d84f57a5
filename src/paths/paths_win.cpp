#include "paths/paths.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <stdlib.h>
#include <string.h>

namespace zorvo {
namespace {

PathText exePath;
PathText exeDir;
bool exePathKnown = false;
bool exeDirKnown = false;

typedef DWORD(WINAPI* LongPathOperation)(LPCSTR, LPSTR, DWORD);
DWORD WINAPI probeLongPathName(LPCSTR shortPath, LPSTR dst, DWORD size);
DWORD WINAPI emulationOperation(LPCSTR shortPath, LPSTR dst, DWORD size) {
    return emulateLongPathName(shortPath, dst, size);
}
LongPathOperation longPathOperation = probeLongPathName;

// ASCII letters only, as the C runtime does in the default locale, so that a
// path's lower-case form does not depend on the user's code page.
void lowerCase(PathText& text) { _strlwr(text.data()); }

DWORD WINAPI probeLongPathName(LPCSTR shortPath, LPSTR dst, DWORD size) {
    HMODULE kernel = GetModuleHandleA("KERNEL32");
    LongPathOperation system =
        kernel ? reinterpret_cast<LongPathOperation>(
                     reinterpret_cast<void*>(GetProcAddress(kernel, "GetLongPathNameA")))
               : nullptr;
    if (system) {
        DWORD result = system(shortPath, dst, size);
        if (result != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED) {
            longPathOperation = system;
            return result;
        }
    }
    longPathOperation = emulationOperation;
    return emulateLongPathName(shortPath, dst, size);
}

}  // namespace

const char* getExecutablePath() {
    if (exePathKnown) return exePath.c_str();
    exePathKnown = true;
    PathText module;
    DWORD n = GetModuleFileNameA(nullptr, module.data(), static_cast<DWORD>(module.capacity()));
    if (n == 0 || !module.adoptPlatformResult(n)) return exePath.c_str();
    DWORD s = GetShortPathNameA(module.c_str(), exePath.data(), static_cast<DWORD>(exePath.capacity()));
    // A short form that fails or would not fit: the long name is still a
    // valid path of the same file.
    if (s == 0 || !exePath.adoptPlatformResult(s)) exePath = module;
    lowerCase(exePath);
    collapseBackslashes(exePath.data());
    exePath.refresh();
    return exePath.c_str();
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

uint32_t getLongPathName(const char* shortPath, char* dst, uint32_t size) {
    return longPathOperation(shortPath, dst, size);
}

uint32_t emulateLongPathName(const char* shortPath, char* dst, uint32_t size) {
    char work[MAX_PATH];
    if (GetFileAttributesA(shortPath) == INVALID_FILE_ATTRIBUTES) return 0;
    DWORD n = GetFullPathNameA(shortPath, MAX_PATH, work, nullptr);
    if (n == 0) return 0;
    if (n > MAX_PATH - 1) {
        SetLastError(ERROR_BUFFER_OVERFLOW);
        return 0;
    }
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop) return 0;
    WCHAR wide[MAX_PATH];
    UINT codePage = AreFileApisANSI() ? CP_ACP : CP_OEMCP;
    if (!MultiByteToWideChar(codePage, 0, work, -1, wide, MAX_PATH)) {
        if (GetLastError() == ERROR_INSUFFICIENT_BUFFER) SetLastError(ERROR_BUFFER_OVERFLOW);
        desktop->Release();
        return 0;
    }
    uint32_t result = 0;
    LPITEMIDLIST items = nullptr;
    HRESULT hr = desktop->ParseDisplayName(nullptr, nullptr, wide, nullptr, &items, nullptr);
    if (FAILED(hr)) {
        SetLastError(HRESULT_FACILITY(hr) == FACILITY_WIN32 ? HRESULT_CODE(hr) : ERROR_INVALID_DATA);
    } else {
        work[0] = '\0';
        if (!SHGetPathFromIDListA(items, work) && work[0] != '\0') {
            SetLastError(ERROR_INVALID_DATA);
        } else {
            uint32_t len = static_cast<uint32_t>(strlen(work));
            if (len + 1 > size) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                result = len + 1;
            } else {
                lstrcpynA(dst, work, static_cast<int>(size));
                result = len;
            }
        }
        IMalloc* shellMalloc = nullptr;
        if (SUCCEEDED(SHGetMalloc(&shellMalloc)) && shellMalloc) {
            shellMalloc->Free(items);
            shellMalloc->Release();
        }
    }
    desktop->Release();
    return result;
}

}  // namespace zorvo
