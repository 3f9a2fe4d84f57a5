// starter.exe: starts a program with an exact command line through
// CreateProcessA, waits for it and ends with its exit code.
//
//   starter.exe [--show N] [--cwd DIR] [--timeout MS] -- <exact command line>
//   starter.exe [options] --cmdline-file PATH
//   starter.exe [options] --cmdline-env NAME
//
// With --utf8 the command line's bytes are UTF-8 and the program is started
// through CreateProcessW, so that it can hold characters outside the code page.
//
// After "--" the command line is the raw text of GetCommandLineA() behind the
// first " -- ", never re-joined from argv (useful when a Windows program starts
// the starter). Wine re-quotes the arguments that a Linux caller hands over, so
// a test that needs quotes or double blanks passes the text in a file (bytes
// taken as they are) or an environment variable instead.
#include "../common/win_util.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char* const kUsage =
    "usage: starter.exe [--show N] [--cwd DIR] [--timeout MS] [--utf8] "
    "(-- COMMAND LINE | --cmdline-file PATH | --cmdline-env NAME)\n";

int usage(const std::string& problem) {
    testvm::writeStd(STD_ERROR_HANDLE, "starter: " + problem + "\n" + kUsage);
    return 125;
}

HANDLE inheritableStd(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE,
                         DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

struct Options {
    bool show = false;
    WORD showCommand = SW_SHOWNORMAL;
    std::string cwd;
    DWORD timeoutMs = INFINITE;
    std::string commandLine;
    bool haveCommandLine = false;
    bool utf8 = false;
};

bool takeRawTail(Options& options) {
    const char* raw = GetCommandLineA();
    const char* marker = std::strstr(raw, " -- ");
    if (marker) {
        options.commandLine = marker + 4;
    } else {
        size_t length = std::strlen(raw);
        if (length < 3 || std::strcmp(raw + length - 3, " --") != 0) return false;
        options.commandLine.clear();  // "--" at the very end: an empty command line
    }
    options.haveCommandLine = true;
    return true;
}

// Parses the options in front of the command line; 0 when fine, else an exit code.
int parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == "--") {
            return takeRawTail(options) ? 0 : usage("cannot find \" -- \" in the raw command line");
        } else if (arg == "--show" && hasValue) {
            options.show = true;
            options.showCommand = static_cast<WORD>(std::atoi(argv[++i]));
        } else if (arg == "--cwd" && hasValue) {
            options.cwd = argv[++i];
        } else if (arg == "--timeout" && hasValue) {
            options.timeoutMs = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (arg == "--utf8") {
            options.utf8 = true;
        } else if (arg == "--cmdline-file" && hasValue) {
            if (!testvm::readFile(argv[++i], options.commandLine)) return usage("cannot read " + std::string(argv[i]));
            options.haveCommandLine = true;
        } else if (arg == "--cmdline-env" && hasValue) {
            if (!testvm::envNarrow(argv[++i], options.commandLine)) return usage(std::string(argv[i]) + " is not set");
            options.haveCommandLine = true;
        } else {
            return usage("unexpected argument " + arg);
        }
    }
    return options.haveCommandLine ? 0 : usage("no command line given");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (int problem = parseOptions(argc, argv, options)) return problem;

    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritableStd(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritableStd(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritableStd(STD_ERROR_HANDLE);
    if (options.show) {
        startup.dwFlags |= STARTF_USESHOWWINDOW;
        startup.wShowWindow = options.showCommand;
    }
    PROCESS_INFORMATION process;
    std::string commandLine = options.commandLine;  // CreateProcess may write into it
    commandLine.push_back('\0');
    const char* cwd = options.cwd.empty() ? nullptr : options.cwd.c_str();
    BOOL started;
    if (options.utf8) {
        std::wstring wide(commandLine.size(), L'\0');
        int n = MultiByteToWideChar(CP_UTF8, 0, commandLine.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
        std::wstring wideCwd(options.cwd.size() + 1, L'\0');
        MultiByteToWideChar(CP_ACP, 0, options.cwd.c_str(), -1, &wideCwd[0], static_cast<int>(wideCwd.size()));
        STARTUPINFOW startupW;
        memcpy(&startupW, &startup, sizeof startupW);
        startupW.cb = sizeof startupW;
        started = n > 0 && CreateProcessW(nullptr, &wide[0], nullptr, nullptr, TRUE, 0, nullptr,
                                          cwd ? wideCwd.c_str() : nullptr, &startupW, &process);
    } else {
        started = CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, cwd, &startup, &process);
    }
    if (!started) {
        testvm::writeStd(STD_ERROR_HANDLE, "starter: CreateProcess failed with error " +
                                               std::to_string(GetLastError()) + "\n");
        return 126;
    }
    DWORD exitCode = 0;
    if (WaitForSingleObject(process.hProcess, options.timeoutMs) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 124);
        WaitForSingleObject(process.hProcess, 5000);
        testvm::writeStd(STD_ERROR_HANDLE, "starter: timed out, child terminated\n");
        return 124;
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}
