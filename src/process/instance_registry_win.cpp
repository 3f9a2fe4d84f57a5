#include "process/instance_registry.h"

#include "common/grow_text.h"
#include "config/launcher_config.h"
#include "services/report.h"
#include "paths/paths.h"
#include "process/hand_over.h"
#include "tempfiles/embedded_files.h"
#include "common/split.h"
#include "services/trace.h"

namespace zorvo {
namespace {

// How long a later start waits for a first instance that holds the semaphore
// but has not registered yet, and for the lock on its communication file.
constexpr DWORD kRegistrationWaitMs = 5000;
constexpr DWORD kFileLockWaitMs = 10000;

PathText semaphoreName;
bool haveSemaphore = false;
// The first instance's: signalled after each hand-over; and its communication
// file, held open (deleting not shared) so that no clean-up takes it away.
HANDLE handOverEvent = nullptr;
HANDLE commFileHold = INVALID_HANDLE_VALUE;

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

void handOverEventName(Text<64>& name, DWORD processId) {
    name.appendFormat("zorvo-hand-over-%lu", static_cast<unsigned long>(processId));
}

// The first instance: its hand-over event, its communication file (emptied of
// what an earlier process of the same id left, held, and recorded for deletion
// by a later start), then its process id in the registry, last, so that a
// registered id always names an instance ready for hand-overs.
void becomeFirstInstance() {
    Text<64> eventName;
    handOverEventName(eventName, GetCurrentProcessId());
    handOverEvent = CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
    PathText file;
    processCommFileName(file, GetCurrentProcessId());
    if (!file.empty()) {
        commFileHold = CreateFileA(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (commFileHold != INVALID_HANDLE_VALUE) addPendingFile(file.c_str());
    }
    registerInstance();
    trace("single instance: the first instance (semaphore %s, hand-over file %s)", semaphoreName.c_str(),
          file.c_str());
}

// The registered first instance once it is ready for hand-overs (its event
// exists; a stale id of an ended process has none), with its event; 0 when
// none is within the wait.
DWORD awaitFirstInstance(HANDLE& event) {
    DWORD start = GetTickCount();
    for (bool told = false;; told = true) {
        DWORD processId = readRegisteredInstance();
        if (processId != 0) {
            Text<64> name;
            handOverEventName(name, processId);
            event = OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
            if (event) return processId;
        }
        if (GetTickCount() - start >= kRegistrationWaitMs) return 0;
        if (!told) trace("single instance: another start holds the semaphore, no first instance registered yet: "
                         "waiting up to %lu ms", static_cast<unsigned long>(kRegistrationWaitMs));
        Sleep(20);
    }
}

// Takes the whole file exclusively (the Java side locks the same range to
// read and empty it), waiting at most kFileLockWaitMs.
bool lockWholeFile(HANDLE file, OVERLAPPED& at) {
    DWORD start = GetTickCount();
    for (;;) {
        at = OVERLAPPED{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &at))
            return true;
        if (GetTickCount() - start >= kFileLockWaitMs) return false;
        Sleep(10);
    }
}

// Appends one hand-over line to the process's communication file under the
// lock, in one write. False (with the error) when it could not be written whole.
bool appendHandOver(DWORD processId, const GrowText& line, DWORD& error) {
    PathText name;
    processCommFileName(name, processId);
    error = ERROR_FILENAME_EXCED_RANGE;
    if (name.empty()) return false;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    OVERLAPPED lock;
    bool written = false;
    error = ERROR_LOCK_VIOLATION;
    if (lockWholeFile(file, lock)) {
        DWORD count = 0;
        LARGE_INTEGER zero{};
        written = SetFilePointerEx(file, zero, nullptr, FILE_END) &&
                  WriteFile(file, line.c_str(), static_cast<DWORD>(line.size()), &count, nullptr) &&
                  count == line.size();
        error = written ? ERROR_SUCCESS : GetLastError();
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &lock);
    }
    CloseHandle(file);
    return written;
}

// A later start: hands its command line to the registered first instance,
// lets that one take the foreground, brings its windows to the front and wakes
// it. False when there is no instance to hand over to or the hand-over could
// not be written; the caller then runs as an instance of its own.
bool handOver(const char* commandLineTail) {
    HANDLE event = nullptr;
    DWORD firstInstance = awaitFirstInstance(event);
    if (firstInstance == 0) {
        trace("single instance: no first instance registered within %lu ms: running as an instance of its own",
              static_cast<unsigned long>(kRegistrationWaitMs));
        return false;
    }
    GrowText line;
    DWORD error = ERROR_OUTOFMEMORY;
    if (!encodeHandOverLine(commandLineTail, line) || !appendHandOver(firstInstance, line, error)) {
        trace("single instance: the hand-over to process %lu could not be written (error %lu): running as an "
              "instance of its own", static_cast<unsigned long>(firstInstance), static_cast<unsigned long>(error));
        CloseHandle(event);
        return false;
    }
    AllowSetForegroundWindow(firstInstance);
    activateProcessWindows(firstInstance);
    SetEvent(event);
    CloseHandle(event);
    trace("single instance: process %lu runs already: the arguments handed over, its windows to the front",
          static_cast<unsigned long>(firstInstance));
    return true;
}

// A command line the first instance could not split is refused here, as a
// first start refuses it (1007), rather than handed over.
void refuseUnbalancedQuotes(const char* commandLineTail) {
    StringList split;
    bool unbalanced = false;
    splitArguments(commandLineTail, nullptr, split, unbalanced);
    split.release();
    if (unbalanced) errorExit(cfg::kMsgWrongParameter);
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
            becomeFirstInstance();
        } else {
            trace("single instance: no semaphore (error %lu): running unguarded", static_cast<unsigned long>(error));
        }
        return;
    }
    if (semaphore) CloseHandle(semaphore);
    refuseUnbalancedQuotes(commandLineTail);
    if (handOver(commandLineTail)) exitWithCode(kExitOk);
}

bool waitForHandOver(int32_t timeoutMs) {
    DWORD ms = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    if (!handOverEvent) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(handOverEvent, ms) == WAIT_OBJECT_0;
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
