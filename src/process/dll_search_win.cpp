#include "process/dll_search.h"

#include <windows.h>

#include "services/trace.h"

namespace zorvo {
namespace {

// Not in every kernel32 the launcher runs on: looked up when needed.
typedef BOOL(WINAPI* SetSearchPathModeFunction)(DWORD);

constexpr DWORD kSafeSearchOn = 0x00000001;  // BASE_SEARCH_PATH_ENABLE_SAFE_SEARCHMODE

SetSearchPathModeFunction searchPathMode() {
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    return kernel ? reinterpret_cast<SetSearchPathModeFunction>(
                        reinterpret_cast<void*>(GetProcAddress(kernel, "SetSearchPathMode")))
                  : nullptr;
}

}  // namespace

void restrictDllSearch() {
    SetDllDirectoryA("");
    SetSearchPathModeFunction set = searchPathMode();
    if (set && !set(kSafeSearchOn)) {
        trace("file search: the safe order cannot be switched on (error %lu)",
              static_cast<unsigned long>(GetLastError()));
    }
}

void searchDllsIn(const char* directory) {
    SetDllDirectoryA(directory ? directory : "");
}

}  // namespace zorvo
