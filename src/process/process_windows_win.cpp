#include "process/process_windows.h"

#include "common/text.h"
#include "config/launcher_config.h"

namespace zorvo {
namespace {

// Shared by the enumerations; in one process they never overlap.
DWORD targetProcessId = 0;
int visibleWindowCount = 0;
enum class ConsoleSearch { Pending, Done };
ConsoleSearch consoleSearch = ConsoleSearch::Pending;
HWND ownConsoleWindow = nullptr;

bool isTargetWindow(HWND window) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    return IsWindowVisible(window) && owner == targetProcessId;
}

BOOL CALLBACK activateWindow(HWND window, LPARAM) {
    if (!isTargetWindow(window)) return TRUE;
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
    SetForegroundWindow(GetLastActivePopup(window));
    return TRUE;
}

BOOL CALLBACK countWindow(HWND window, LPARAM) {
    if (isTargetWindow(window) && window != ownConsoleWindow) ++visibleWindowCount;
    return TRUE;
}

// The process's own console window, found once by setting a unique console
// title for a moment.
void findOwnConsoleWindow() {
    if (consoleSearch != ConsoleSearch::Pending) return;
    consoleSearch = ConsoleSearch::Done;
    ownConsoleWindow = nullptr;
    if (getConfigInt(cfg::kAppType) == 1) return;
    PathText saved;
    DWORD n = GetConsoleTitleA(saved.data(), static_cast<DWORD>(saved.capacity()));
    if (n == 0 || !saved.adoptPlatformResult(n) || saved.empty()) return;
    Text<64> unique;
    unique.appendFormat("%lu/%lu", static_cast<unsigned long>(GetTickCount()),
                        static_cast<unsigned long>(GetCurrentProcessId()));
    if (!SetConsoleTitleA(unique.c_str())) return;
    Sleep(40);
    ownConsoleWindow = FindWindowA(nullptr, unique.c_str());
    SetConsoleTitleA(saved.c_str());
}

}  // namespace

void activateProcessWindows(DWORD processId) {
    targetProcessId = processId;
    EnumWindows(activateWindow, 0);
}

int countVisibleProcessWindows(DWORD processId) {
    targetProcessId = processId;
    visibleWindowCount = 0;
    findOwnConsoleWindow();
    EnumWindows(countWindow, 0);
    return visibleWindowCount;
}

}  // namespace zorvo
