#include "vm/class_path.h"

#include <stdlib.h>
#include <string.h>

#include "paths/path_rules.h"

namespace zorvo {
namespace {

void appendElement(GrowText& option, const char* element) {
    option.append(element);
    option.appendChar(';');
}

// The directory's files with the extension, as directory\name with doubled
// backslashes collapsed. False when the directory does not exist.
bool addArchives(GrowText& option, const char* directory, const char* extension, const ClassPathHost& host) {
    if (!host.exists(host.ctx, directory)) return false;
    char** names = nullptr;
    int count = host.listFiles(host.ctx, directory, extension, &names);
    for (int i = 0; i < count; ++i) {
        PathText path;
        path.appendFormat("%s\\%s", directory, names[i]);
        collapseBackslashes(path.data());
        path.refresh();
        if (!path.truncated()) appendElement(option, path.c_str());
        free(names[i]);
    }
    if (count > 0) free(names);
    return true;
}

bool addDirectory(GrowText& option, const char* directory, const ClassPathHost& host) {
    bool found = addArchives(option, directory, "jar", host);
    addArchives(option, directory, "zip", host);
    return found;
}

}  // namespace

ClassPathFailure buildClassPathOption(GrowText& option, const char* tempDir, const char* installerRuntimeJar,
                                      const char* entries, const ClassPathHost& host, PathText& failedName) {
    option.append("-Djava.class.path=\";");
    if (tempDir && *tempDir) addDirectory(option, tempDir, host);
    if (installerRuntimeJar) appendElement(option, installerRuntimeJar);

    ClassPathFailure failure = ClassPathFailure::None;
    forEachListElement(entries, [&](const char* entry) {
        if (strlen(entry) < 2) return true;  // no text behind the type letter and the flag
        char type = entry[0];
        bool mandatory = entry[1] == '1';
        PathText text(entry + 2);
        host.substitute(host.ctx, text);
        bool found = true;
        if (type == 'A' || type == 'D') {
            PathText path;
            host.resolve(host.ctx, path, text.c_str());
            found = host.exists(host.ctx, path.c_str());
            appendElement(option, path.c_str());
        } else if (type == 'S') {
            PathText directory;
            host.resolve(host.ctx, directory, text.c_str());
            found = addDirectory(option, directory.c_str(), host);
        } else if (type == 'E') {
            PathText value;
            bool undefined = false;
            if (host.getVariable(host.ctx, text.c_str(), value, undefined) && !value.empty()) {
                if (value.size() >= 2 && value.c_str()[0] == '"' && value.c_str()[value.size() - 1] == '"') {
                    PathText inner(value.c_str() + 1);
                    inner.truncateTo(inner.size() - 1);
                    value = inner;
                }
                option.append(value.c_str());
                if (value.empty() || value.c_str()[value.size() - 1] != ';') option.appendChar(';');
            } else if (mandatory) {
                // Undefined, or defined but empty: the application needs a value.
                failedName = text;
                failure = ClassPathFailure::MissingVariable;
                return false;
            }
        }
        if (mandatory && !found) {
            failedName = text;
            failure = ClassPathFailure::MissingFile;
            return false;
        }
        return true;
    });
    option.appendChar('"');
    return failure;
}

}  // namespace zorvo
