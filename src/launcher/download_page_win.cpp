#include "launcher/download_page.h"

#include <windows.h>
#include <shellapi.h>

#include "config/launcher_config.h"
#include "launcher/error_report.h"
#include "services/trace.h"

namespace zorvo {
namespace {

// Hands the address to the shell, which starts the user's browser. Waits
// until the browser has been started: the process ends right afterwards.
void openPage(const char* address) {
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
}

}  // namespace

void reportNoJvm() {
    Text<kTextSize> address;
    getConfigString(cfg::kDownloadUrl, address.data(), address.capacity());
    address.refresh();
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
