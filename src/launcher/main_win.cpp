// The entry point and the fixed launch sequence.
#include <windows.h>

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
#include "vm/java_vm_launcher.h"
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
    if (!extractEmbeddedFiles(extractionDirectory())) errorExit(cfg::kMsgInternalError, "%ERROR_CODE%", "16");
    enforceSingleInstance(true, tail);
    cleanUpEarlierRuns();
    if (getConfigInt(cfg::kShowSplash) != 0) startSplash(showCommand);
    if (!locateAndLoadJvm(RuntimeLoading{bindCreateJavaVM, reportNoJvm}, nullptr, false)) exitWithCode(kExitNoJvm);
    registerPendingDeletions();
    if (!runJavaApplication(tail, true)) errorExit(cfg::kMsgJvmStartFailed);
    // The VM's shutdown ended the hand-overs already unless the runtime library is older.
    stopHandOvers();
    trace("exit code %d", kExitOk);
    return kExitOk;
}

}  // namespace
}  // namespace zorvo

// The runtime's start-up code hands over its own idea of the command-line
// tail (it treats every control character as a blank); the launcher forms the
// tail from the full command line itself, so the rule is the same everywhere.
// The command line is read wide and carried in UTF-8, so that arguments
// outside the code page reach Java as they are.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    const char* commandLine = zorvo::wideToUtf8(GetCommandLineW());
    if (!commandLine) return zorvo::kExitError;
    return zorvo::runLaunchSequence(instance, zorvo::commandLineTail(commandLine), zorvo::startupShowCommand());
}
