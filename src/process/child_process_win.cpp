#include "process/child_process.h"

#include <string.h>

namespace zorvo {

ChildResult runHidden(Text<kTextSize>& commandLine, HANDLE errorOutput, DWORD timeoutMs) {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    if (errorOutput) {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdError = errorOutput;
    }
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &process))
        return ChildResult{ChildEnd::NotStarted, GetLastError()};
    ChildResult result{ChildEnd::Ended, 1};
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 1);
        result.end = ChildEnd::Stopped;
    } else {
        GetExitCodeProcess(process.hProcess, &result.code);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return result;
}

}  // namespace zorvo
