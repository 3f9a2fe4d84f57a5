// Path utilities: the executable's own path and directory, resolution of
// configured relative paths against that directory, existence tests,
// directory listings and long path names (Windows).
//
// Every result lives in a caller's 8192-byte PathText. A system call whose
// result does not fit its buffer counts as failed: no cut path is ever used.
#ifndef ZORVO_PATHS_PATHS_H
#define ZORVO_PATHS_PATHS_H

#include <stdint.h>

#include "common/text.h"
#include "paths/path_rules.h"

namespace zorvo {

// The executable's path in its short form, lower case, backslashes collapsed;
// computed once. The long module name stands in when no short form can be
// made. Paths are taken from the system wide and handed on in the code page:
// as they stand when the code page holds every character, else in their
// short form (plain ASCII wherever short names exist).
const char* getExecutablePath();

// True when the executable's path has no form in the code page (a folder
// named outside it on a volume without short names); `folder` then names that
// folder as well as the code page can show it. The launch stops on it before
// any path is derived from the executable's.
bool findUnusableExecutableFolder(PathText& folder);

// The executable's full path (long form where the code page holds it, for
// zorvo.moduleName and traces). False when only an approximation could be made.
bool getModuleName(PathText& name);

// The VM options file: the executable's long path + ".vmoptions" (its short
// form when the long one lies outside the code page). False when it cannot
// be named.
bool getOptionsFilePath(PathText& path);

// The user's temporary directory with a trailing backslash, in the code
// page. False when it has no such form; `folder` (when given) then names the
// first folder to blame.
bool getTempDirectory(PathText& dir, PathText* folder);

// A wide path as the system hands it over, at most as long as a PathText.
typedef wchar_t WidePath[kTextSize];

// The executable's full path as the system gives it, wide; false when it
// cannot be had whole.
bool wideModuleName(WidePath& module);

// A path the system gave wide (an environment variable, a registry value), in
// the code page: as it stands when the code page holds every character, else
// its short form (plain ASCII where short names exist; the path must exist).
// False when neither exists: `narrow` then holds an approximation, for
// messages and traces only, and `folder` (when given) the first folder to blame.
bool narrowPath(const wchar_t* path, PathText& narrow, PathText* folder);

// The executable's directory (short form, lower case) with a trailing backslash.
const char* getExecutableDirectory();

// `dst` = executable directory + path for a relative path, else the path;
// backslashes collapsed; case, "." and ".." kept.
void resolveAgainstExeDir(PathText& dst, const char* path);

// The full, normalised path (GetFullPathNameA of the resolved path), lower
// case unless `keepCase`. Empty when the full path does not fit.
void getFullPath(PathText& dst, const char* path, bool keepCase);

// The ";"-list with every element resolved against the executable directory.
void resolvePathList(PathText& dst, const char* list);

// True when a file or directory of that name exists; drive roots always do.
bool pathExists(const char* path);

// True when at least one entry matches `path` (wildcards allowed); stores the
// first match's last-write time when `lastWriteTime` is given.
bool findFile(const char* path, uint64_t* lastWriteTime);

// The names (without directory) of the entries of `directory` with the given
// extension, each in its own 8192-byte heap buffer, in the system's order.
// Returns the count; with 0 nothing is allocated and `names` is untouched.
// The caller frees each name, then the array.
int listFiles(const char* directory, const char* extension, char*** names);

}  // namespace zorvo

#endif
