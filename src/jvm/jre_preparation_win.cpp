// Unpacking a private runtime shipped with packed archives, before first use.
#include <stdio.h>
#include <string.h>

#include "jvm/java_runtime.h"
#include "jvm/version_rules.h"
#include "launcher/error_report.h"
#include "paths/paths.h"

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

}  // namespace

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
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process;
    if (unpacker.truncated() || commandLine.truncated() ||
        !CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process))
        errorExit(cfg::kMsgInternalError, "%ERROR_CODE%", "20");
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
}

void prepareJre(const char* home) {
    if (!homeFileExists(home, "lib\\rt.jar.pack") || homeFileExists(home, "lib\\jsse.jar")) return;
    fputs("Preparing JRE ...\n", stdout);
    fflush(stdout);
    for (const char* archive : kPackedArchives) unpackJar(home, archive);
}

}  // namespace zorvo
