#include "process/instance_registry.h"

#include <stdio.h>

#include "config/launcher_config.h"
#include "launcher/error_report.h"
#include "paths/paths.h"
#include "launcher/trace.h"

namespace zorvo {
namespace {

PathText semaphoreName;
bool haveSemaphore = false;

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

void writeProcessCommFile(DWORD processId, const char* commandLineTail) {
    PathText file;
    processCommFileName(file, processId);
    if (file.empty()) return;
    FILE* f = fopen(file.c_str(), "wt");
    if (!f) return;
    fprintf(f, "%s\n", commandLineTail);
    fclose(f);
}

}  // namespace

void semaphoreNameFromPath(PathText& name, const char* path) {
    name.assign(path);
    for (char* p = name.data(); *p; ++p)
        if (*p == '\\') *p = '_';
}

void processCommFileName(PathText& name, DWORD processId) {
    PathText temp;
    name.clear();
    if (!getTempDirectory(temp, nullptr)) return;
    name.appendFormat("%szrv_p%lu.tmp", temp.c_str(), static_cast<unsigned long>(processId));
    if (name.truncated()) name.clear();
}

const char* instanceSemaphoreName() { return haveSemaphore ? semaphoreName.c_str() : nullptr; }

void registerInstance() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPidsRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    DWORD pid = GetCurrentProcessId();
    RegSetValueExA(key, getExecutablePath(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof(pid));
    RegCloseKey(key);
}

DWORD readRegisteredInstance() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPidsRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD pid = 0, size = sizeof(pid);
    LONG rc = RegQueryValueExA(key, getExecutablePath(), nullptr, nullptr, reinterpret_cast<BYTE*>(&pid), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && size == sizeof(pid) ? pid : 0;
}

void enforceSingleInstance(bool check, const char* commandLineTail) {
    if (check && getConfigInt(cfg::kSingleInstance) == 0) {
        trace("single instance: off");
        return;
    }
    semaphoreNameFromPath(semaphoreName, getExecutablePath());
    HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, semaphoreName.c_str());
    DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) {
        // The handle stays open for the life of the process: the semaphore
        // exists exactly as long as a first instance runs. When it could not
        // be made at all, this process runs unguarded, and neither tells Java
        // of a semaphore nor registers as the first instance.
        haveSemaphore = semaphore != nullptr;
        if (haveSemaphore) {
            registerInstance();
            trace("single instance: the first instance (semaphore %s)", semaphoreName.c_str());
        } else {
            trace("single instance: no semaphore (error %lu): running unguarded", static_cast<unsigned long>(error));
        }
        return;
    }
    if (semaphore) CloseHandle(semaphore);
    DWORD firstInstance = readRegisteredInstance();
    trace("single instance: process %lu runs already: its windows to the front, the arguments handed over",
          static_cast<unsigned long>(firstInstance));
    activateProcessWindows(firstInstance);
    writeProcessCommFile(firstInstance, commandLineTail);
    exitWithCode(kExitOk);
}

void activateProcessWindows(DWORD processId) {
    targetProcessId = processId;
    EnumWindows(activateWindow, 0);
}

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

int countVisibleProcessWindows(DWORD processId) {
    targetProcessId = processId;
    visibleWindowCount = 0;
    findOwnConsoleWindow();
    EnumWindows(countWindow, 0);
    return visibleWindowCount;
}

}  // namespace zorvo
