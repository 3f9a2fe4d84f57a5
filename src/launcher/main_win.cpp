// The entry point and the fixed launch sequence.
#include <windows.h>

#include <stdio.h>

#include "common/code_page.h"
#include "common/text.h"
#include "config/launcher_config.h"
#include "launcher/command_line.h"
#include "launcher/download_page.h"
#include "launcher/error_report.h"
#include "paths/paths.h"
#include "process/instance_registry.h"
#include "process/process_environment.h"
#include "splash/splash.h"
#include "tempfiles/deferred_cleanup.h"
#include "tempfiles/embedded_files.h"
#include "vm/java_launch.h"
#include "jvm/runtime_search.h"
#include "services/trace.h"

namespace zorvo {
namespace {

// The show state the splash window gets: the one the starter asked for,
// else SW_SHOWDEFAULT.
int startupShowCommand() {
    STARTUPINFOA info;
    info.cb = sizeof(info);
    GetStartupInfoA(&info);
    return (info.dwFlags & STARTF_USESHOWWINDOW) ? info.wShowWindow : SW_SHOWDEFAULT;
}

// The trace's first line: the executable, the process and the time.
void traceStart() {
    startTrace();
    if (!isTracing()) return;
    PathText exe;
    getModuleName(exe);
    SYSTEMTIME now;
    GetLocalTime(&now);
    trace("zorvo launch trace: %s, process %lu, %04u-%02u-%02u %02u:%02u:%02u", exe.c_str(),
          static_cast<unsigned long>(GetCurrentProcessId()), now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
          now.wSecond);
}

int runLaunchSequence(HINSTANCE instance, const char* tail, int showCommand) {
    installErrorReporting();
    traceStart();
    traceUtf8("command line behind the program name: [%s]", tail);
    if (hasInternalPrefix(tail)) useConsoleReporting();
    prepareProcessEnvironment(instance);
    if (!extractEmbeddedFiles(extractionDirectory())) internalErrorExit(InternalError::EmbeddedStream);
    enforceSingleInstance(tail);
    cleanUpEarlierRuns();
    if (getConfigInt(cfg::kShowSplash) != 0) startSplash(showCommand);
    if (!locateAndLoadJvm(RuntimeLoading{bindCreateJavaVM, reportNoJvm})) exitWithCode(kExitNoJvm);
    registerPendingDeletions();
    if (!runJavaApplication(tail)) errorExit(cfg::kMsgJvmStartFailed);
    // The VM's shutdown ended the hand-overs already unless the runtime library is older.
    stopHandOvers();
    trace("exit code %d", kExitOk);
    return kExitOk;
}

}  // namespace
}  // namespace zorvo

// The process's entry point. The launcher brings its own instead of the C
// runtime's start-up code, which would add argument parsing, floating-point
// and locale set-up, pseudo-relocations, thread-local storage and exception
// handlers that the launcher never uses: the C runtime DLL initialises itself
// when it is loaded, and the launcher forms the command-line tail from the
// full command line itself, so the rule is the same everywhere. The command
// line is read wide and carried in UTF-8, so that arguments outside the code
// page reach Java as they are. The standard streams are flushed before the
// process ends with the launch's exit code. The stack is aligned first: the
// system calls the entry with only 4-byte alignment on 32-bit Windows.
extern "C" __attribute__((force_align_arg_pointer)) void zorvoEntry() {
    const char* commandLine = zorvo::wideToUtf8(GetCommandLineW());
    int code = commandLine ? zorvo::runLaunchSequence(GetModuleHandleW(nullptr), zorvo::commandLineTail(commandLine),
                                                      zorvo::startupShowCommand())
                           : zorvo::kExitError;
    fflush(nullptr);
    ExitProcess(static_cast<UINT>(code));
}
