#include "jvm/runtime_rules.h"

#include <string.h>

#include "common/ascii.h"
#include "common/sort.h"
#include "jvm/version_rules.h"

namespace zorvo {

bool registryKeyOfPath(PathText& key, const char* baseKey, const char* path) {
    key.assign(baseKey);
    size_t start = key.size();
    key.append(path);
    for (char* p = key.data() + start; *p; ++p)
        if (*p == '\\') *p = '/';
    return !key.truncated();
}

bool executableDirectoryOf(PathText& dir, const char* javaExecutable) {
    size_t len = strlen(javaExecutable);
    size_t name = (len >= 9 && strcmp(javaExecutable + len - 9, "javaw.exe") == 0) ? 9 : 8;
    if (len < name) return false;
    dir.assign(javaExecutable, len - name);
    return !dir.truncated();
}

bool vmLibraryPath(PathText& path, const char* executableDirectory, const char* kind) {
    path.assign(executableDirectory);
    path.append(kind);
    path.append("\\jvm.dll");
    return !path.truncated();
}

bool windowedExecutableOf(PathText& path) {
    size_t len = path.size();
    if (len < 4 || strcmp(path.c_str() + len - 4, ".exe") != 0) return false;
    path.truncateTo(len - 4);
    path.append("w.exe");
    return !path.truncated();
}


bool endsWithFolder(const char* directory, const char* name) {
    size_t length = strlen(directory), n = strlen(name);
    if (length < n + 2 || directory[length - 1] != '\\' || directory[length - n - 2] != '\\') return false;
    return sameIgnoringAsciiCase(directory + length - n - 1, name, n);
}

void sortVersions(char** names, size_t count) {
    stableSort(names, count, [](const char* a, const char* b) { return compareVersions(a, b) < 0; });
}

void sortVendorNames(char** names, size_t count) {
    stableSort(names, count, [](const char* a, const char* b) { return compareVendorNames(a, b) < 0; });
}

}  // namespace zorvo
