// Unpacking a private runtime shipped with packed archives, before first use.
#include <stdio.h>
#include <string.h>

#include "jvm/java_runtime.h"
#include "common/split.h"
#include "config/config_ids.h"
#include "services/report.h"
#include "paths/paths.h"
#include "process/child_process.h"

namespace zorvo {
namespace {

const char* const kPackedArchives[] = {
    "lib\\rt.jar", "lib\\charsets.jar", "lib\\plugin.jar", "lib\\deploy.jar", "lib\\ext\\localedata.jar", "lib\\jsse.jar",
};

bool homeFileExists(const char* home, const char* relative) {
    PathText path;
    path.appendFormat("%s\\%s", home, relative);
    return !path.truncated() && pathExists(path.c_str());
}


// Unpacks one packed archive of the runtime with its unpack200.exe, which
// removes the .pack file. Ends the process (1009 with 20) when it cannot be
// started.
void unpackJar(const char* home, const char* archive) {
    PathText archivePath, packed;
    archivePath.appendFormat("%s\\%s", home, archive);
    packed.appendFormat("%s.pack", archivePath.c_str());
    if (packed.truncated() || !pathExists(packed.c_str())) return;
    // The paths are quoted so that a runtime below a directory with blanks unpacks too.
    Text<kTextSize> commandLine, unpacker;
    unpacker.appendFormat("%s\\bin\\unpack200.exe", home);
    appendQuotedArgument(commandLine, unpacker.c_str());
    commandLine.append(" -r ");
    appendQuotedArgument(commandLine, packed.c_str());
    commandLine.appendChar(' ');
    appendQuotedArgument(commandLine, archivePath.c_str());
    if (unpacker.truncated() || commandLine.truncated() ||
        runHidden(commandLine, nullptr, INFINITE).end == ChildEnd::NotStarted)
        internalErrorExit(InternalError::UnpackerNotStarted);
}

}  // namespace

void prepareJre(const char* home) {
    if (!homeFileExists(home, "lib\\rt.jar.pack") || homeFileExists(home, "lib\\jsse.jar")) return;
    fputs("Preparing JRE ...\n", stdout);
    fflush(stdout);
    for (const char* archive : kPackedArchives) unpackJar(home, archive);
}

}  // namespace zorvo
