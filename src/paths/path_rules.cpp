#include "paths/path_rules.h"

#include <string.h>

namespace zorvo {

bool isRelativePath(const char* path) {
    size_t len = strlen(path);
    if (len <= 2) return true;
    if (path[0] == '"') {
        if (len <= 3) return true;
        if (path[2] == ':' && path[3] == '\\') return false;
        return !(path[1] == '\\' && path[2] == '\\');
    }
    if (path[1] == ':' && path[2] == '\\') return false;
    return !(path[0] == '\\' && path[1] == '\\');
}

void collapseBackslashes(char* path) {
    if (!path[0]) return;
    size_t out = 1;
    for (size_t in = 1; path[in]; ++in) {
        char c = path[in];
        // The last written character is a backslash other than the first
        // character: a following backslash takes its place.
        if (c == '\\' && out > 1 && path[out - 1] == '\\') {
            path[out - 1] = c;
            continue;
        }
        path[out++] = c;
    }
    path[out] = '\0';
}

bool isDriveRoot(const char* path) {
    if (!path[0]) return false;
    const char* rest = path + 1;
    return strcmp(rest, ":\\") == 0 || strcmp(rest, ":\\.") == 0 || strcmp(rest, ":\\.\\.") == 0;
}

bool joinWithExeDir(PathText& dst, const char* exeDir, const char* path) {
    dst.clear();
    if (isRelativePath(path)) dst.append(exeDir);
    dst.append(path);
    collapseBackslashes(dst.data());
    dst.refresh();
    return !dst.truncated();
}

void resolvePathListWith(PathText& dst, const char* list, const char* exeDir) {
    dst.clear();
    forEachListElement(list, [&](const char* element) {
        PathText resolved;
        if (!joinWithExeDir(resolved, exeDir, element)) return true;
        size_t extra = resolved.size() + (dst.empty() ? 0 : 1);
        if (dst.size() + extra > dst.capacity() - 1) return true;
        if (!dst.empty()) dst.appendChar(';');
        dst.append(resolved.c_str());
        return true;
    });
}

bool listFilesPattern(PathText& dst, const char* directory, const char* extension) {
    dst.assign(directory);
    dst.append("\\*");
    if (extension[0] != '.') dst.appendChar('.');
    dst.append(extension);
    return !dst.truncated();
}

}  // namespace zorvo
