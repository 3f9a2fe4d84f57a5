// The class path option: extracted archives first, the installer flavour's
// runtime archive, then the configured entries (entry 121). Pure code: the
// file system and the environment come in through `ClassPathHost`.
#ifndef ZORVO_VM_CLASS_PATH_H
#define ZORVO_VM_CLASS_PATH_H

#include "common/grow_text.h"
#include "common/text.h"

namespace zorvo {

struct ClassPathHost {
    void* ctx;
    bool (*exists)(void* ctx, const char* path);
    // listFiles semantics: count, and a heap array of heap names the caller frees.
    int (*listFiles)(void* ctx, const char* directory, const char* extension, char*** names);
    // The variable's value; `undefined` tells a missing variable from an empty one.
    bool (*getVariable)(void* ctx, const char* name, PathText& value, bool& undefined);
    void (*substitute)(void* ctx, PathText& text);
    void (*resolve)(void* ctx, PathText& dst, const char* path);
};

enum class ClassPathFailure { None, MissingFile, MissingVariable };

// Builds "-Djava.class.path=\";...;\"" into `option` (which grows as needed:
// the class path has no length limit). On a mandatory entry that is missing,
// returns the failure and its name (the entry's text after substitution, or
// the variable's name); the caller reports it.
ClassPathFailure buildClassPathOption(GrowText& option, const char* tempDir, const char* installerRuntimeJar,
                                      const char* entries, const ClassPathHost& host, PathText& failedName);

}  // namespace zorvo

#endif
