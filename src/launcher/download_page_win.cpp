#include "launcher/download_page.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include "config/entry_rules.h"
#include "config/launcher_config.h"
#include "launcher/error_report.h"
#include "services/trace.h"

namespace zorvo {
namespace {

typedef HRESULT(WINAPI* CoInitializeExFunction)(void*, DWORD);
typedef void(WINAPI* CoUninitializeFunction)();

// COM on this thread, apartment-threaded, for the shell's call; false when it
// is not to be uninitialised. Loaded only here, so that no start pays for it.
bool initialiseCom(HMODULE& ole32) {
    ole32 = LoadLibraryExA("ole32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    CoInitializeExFunction initialise =
        ole32 ? reinterpret_cast<CoInitializeExFunction>(
                    reinterpret_cast<void*>(GetProcAddress(ole32, "CoInitializeEx")))
              : nullptr;
    return initialise && SUCCEEDED(initialise(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

void uninitialiseCom(HMODULE ole32, bool initialised) {
    CoUninitializeFunction uninitialise =
        ole32 ? reinterpret_cast<CoUninitializeFunction>(
                    reinterpret_cast<void*>(GetProcAddress(ole32, "CoUninitialize")))
              : nullptr;
    if (initialised && uninitialise) uninitialise();
    if (ole32) FreeLibrary(ole32);
}

// Hands the address to the shell, which starts the user's browser. Waits
// until the browser has been started: the process ends right afterwards. The
// shell may hand the address to a handler that is a COM object, so COM is
// initialised on this thread first (apartment-threaded), as the shell asks.
void openPage(const char* address) {
    HMODULE ole32 = nullptr;
    bool com = initialiseCom(ole32);
    SHELLEXECUTEINFOA info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = "open";
    info.lpFile = address;
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExA(&info)) {
        trace("download page %s: opened", address);
    } else {
        trace("download page %s: could not be opened (error %lu)", address, GetLastError());
    }
    uninitialiseCom(ole32, com);
}

}  // namespace

void reportNoJvm() {
    Text<kTextSize> address;
    getConfigText(cfg::kDownloadUrl, address);
    if (address.empty()) {
        showConfiguredError(cfg::kMsgNoJvm);
        return;
    }
    if (const char* problem = downloadAddressProblem(address.c_str(), address.size())) {
        trace("download page %s: not offered, the address %s", address.c_str(), problem);
        showConfiguredError(cfg::kMsgNoJvm);
        return;
    }
    if (askToOpenPage(cfg::kMsgNoJvm, address.c_str())) {
        openPage(address.c_str());
    } else if (isConsoleReporting()) {
        trace("download page %s: shown on standard error", address.c_str());
    } else {
        trace("download page %s: not opened (the user said No)", address.c_str());
    }
}

}  // namespace zorvo
