// The string rules of path handling. Pure code: no file system access.
#ifndef ZORVO_PATHS_PATH_RULES_H
#define ZORVO_PATHS_PATH_RULES_H

#include "common/text.h"

namespace zorvo {

// A path is absolute when it starts with a drive ("c:\") or two backslashes
// (a network path), each optionally behind one leading double quote; every
// other path, including "c:x", "\x" and "c:/x", is relative.
bool isRelativePath(const char* path);

// In place: every run of backslashes becomes one, except a run at the very
// start, which becomes exactly two (a network path keeps its prefix).
void collapseBackslashes(char* path);

// A drive root: any first character followed by exactly ":\", ":\." or ":\.\.".
bool isDriveRoot(const char* path);

// `dst` = `exeDir` followed by `path` when the path is relative, else the
// path alone; backslashes collapsed. `exeDir` ends with a backslash. Letter
// case, "." and ".." elements stay. Returns false when the result did not fit.
bool joinWithExeDir(PathText& dst, const char* exeDir, const char* path);

// Splits `list` at ";" (empty elements skipped), resolves each element with
// joinWithExeDir and joins them with single ";", no trailing ";". An element
// that does not fit whole is left out, never cut.
void resolvePathListWith(PathText& dst, const char* list, const char* exeDir);

// The search pattern of a listing: directory, "\*", "." unless the extension
// begins with one, the extension ("lib" + "jar" gives "lib\*.jar").
bool listFilesPattern(PathText& dst, const char* directory, const char* extension);

// Calls `visit` for every non-empty element of a ";"-separated list, in
// order, with a NUL-terminated copy of the element; stops when it returns false.
// An element too long for a text buffer is passed over, never cut.
template <typename Visit>
void forEachListElement(const char* list, Visit visit) {
    PathText element;
    for (const char* p = list ? list : "";; ++p) {
        if (*p == ';' || *p == '\0') {
            if (!element.empty() && !element.truncated() && !visit(element.c_str())) return;
            element.clear();
            if (*p == '\0') return;
        } else {
            element.appendChar(*p);
        }
    }
}

}  // namespace zorvo

#endif
