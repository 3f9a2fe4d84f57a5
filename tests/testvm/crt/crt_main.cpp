// The C runtime that a runtime ships in its bin directory, as a real VM library
// imports it (jvm-needscrt.dll does). It logs its load with its own path, so a
// test sees which copy the system found; copied into another directory it is
// the stand-in a test plants there. It also logs where the file search
// (SearchPath) finds "kernel32.dll" in the process that loaded it: the system
// directory in the safe order, a planted file of that name in the current
// directory otherwise.
#include <windows.h>

#include "../common/testvm_log.h"
#include "../common/win_util.h"

namespace {

std::string searchPathOf(const char* name) {
    char found[MAX_PATH];
    DWORD n = SearchPathA(nullptr, name, nullptr, MAX_PATH, found, nullptr);
    return n != 0 && n < MAX_PATH ? std::string(found, n) : std::string();
}

struct LoadLogger {
    LoadLogger() {
        testvm::setLogSource("crt");
        testvm::Record("dll_loaded")
            .text("dll", testvm::ownModulePath())
            .text("kernel32Found", searchPathOf("kernel32.dll"))
            .write();
    }
} loadLogger;

}  // namespace

extern "C" __declspec(dllexport) int zorvoTestVmCrt() { return 1; }
