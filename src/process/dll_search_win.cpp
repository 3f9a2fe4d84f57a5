#include "process/dll_search.h"

#include <windows.h>

#include "launcher/trace.h"

namespace zorvo {
namespace {

// Not in every kernel32 the launcher runs on: looked up when needed.
typedef BOOL(WINAPI* SetSearchPathModeFunction)(DWORD);

constexpr DWORD kSafeSearchOn = 0x00000001;   // BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE
constexpr DWORD kSafeSearchOff = 0x00010000;  // BASE_SEARCH_PATH_DISABLE_SAFE_SEARCHMODE

SetSearchPathModeFunction searchPathMode() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<SetSearchPathModeFunction>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "SetSearchPathMode")))
                  : nullptr;
}

}  // namespace

void restrictDllSearch() {
    SetDllDirectoryA("");
    setSafeFileSearch(true);
}

void searchDllsIn(const char* directory) {
    SetDllDirectoryA(directory ? directory : "");
}

void setSafeFileSearch(bool safe) {
    SetSearchPathModeFunction set = searchPathMode();
    if (set && !set(safe ? kSafeSearchOn : kSafeSearchOff)) {
        trace("file search: the safe order cannot be switched %s (error %lu)", safe ? "on" : "off",
              static_cast<unsigned long>(GetLastError()));
    }
}

}  // namespace zorvo
