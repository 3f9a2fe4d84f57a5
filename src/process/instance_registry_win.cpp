#include "process/instance_registry.h"

#include <string.h>

#include "common/grow_text.h"
#include "config/launcher_config.h"
#include "services/report.h"
#include "paths/paths.h"
#include "process/hand_over.h"
#include "process/process_windows.h"
#include "tempfiles/embedded_files.h"
#include "common/split.h"
#include "services/trace.h"

namespace zorvo {
namespace {

// How long a later start waits for a first instance that holds the semaphore
// but has not registered yet, for the lock on its communication file, and
// for a first instance that takes no more hand-overs (it is closing) to end.
constexpr DWORD kRegistrationWaitMs = 5000;
constexpr DWORD kFileLockWaitMs = 10000;
constexpr DWORD kClosingWaitMs = 30000;

PathText semaphoreName;
bool haveSemaphore = false;
// The first instance's: signalled after each hand-over; and its communication
// file, held open (deleting not shared) so that no clean-up takes it away.
HANDLE handOverEvent = nullptr;
HANDLE commFileHold = INVALID_HANDLE_VALUE;
// Set once hand-overs to this first instance have ended (any thread).
volatile LONG handOversEnded = 0;

// The executable's path with every backslash replaced by an underscore.
void semaphoreNameFromPath(PathText& name, const char* path) {
    name.assign(path);
    for (char* p = name.data(); *p; ++p)
        if (*p == '\\') *p = '_';
}

// Writes this process's id into the instance key, under the executable's path.
void registerInstance() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kPidsRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    DWORD pid = GetCurrentProcessId();
    RegSetValueExA(key, getExecutablePath(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&pid), sizeof(pid));
    RegCloseKey(key);
}

// The id registered for the executable, 0 when none (or not a 4-byte value).
DWORD readRegisteredInstance() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPidsRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return 0;
    DWORD pid = 0, size = sizeof(pid);
    LONG rc = RegQueryValueExA(key, getExecutablePath(), nullptr, nullptr, reinterpret_cast<BYTE*>(&pid), &size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS && size == sizeof(pid) ? pid : 0;
}

// The event of one first instance: named after its executable (the
// semaphore's name) as well as its process id, so that a process id reused
// by another application never names that one's event.
void handOverEventName(PathText& name, DWORD processId) {
    name.clear();
    name.appendFormat("zorvo-hand-over-%lu-%s", static_cast<unsigned long>(processId), semaphoreName.c_str());
}

// The first instance: its hand-over event, its communication file (emptied of
// what an earlier process of the same id left, held, and recorded for deletion
// by a later start), then its process id in the registry, last, so that a
// registered id always names an instance ready for hand-overs.
void becomeFirstInstance() {
    PathText eventName;
    handOverEventName(eventName, GetCurrentProcessId());
    handOverEvent = eventName.truncated() ? nullptr : CreateEventA(nullptr, FALSE, FALSE, eventName.c_str());
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
            PathText name;
            handOverEventName(name, processId);
            event = name.truncated() ? nullptr : OpenEventA(EVENT_MODIFY_STATE, FALSE, name.c_str());
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

enum class Appended { Written, Closed, Failed };

// True when the file ends with the mark of a first instance that takes no
// more hand-overs.
bool endsWithHandOversEnded(HANDLE file, LONGLONG size) {
    char tail[kHandOversEndedSize];
    DWORD count = 0;
    LARGE_INTEGER at;
    at.QuadPart = size - static_cast<LONGLONG>(kHandOversEndedSize);
    return size >= static_cast<LONGLONG>(kHandOversEndedSize) && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           ReadFile(file, tail, sizeof(tail), &count, nullptr) && count == sizeof(tail) &&
           memcmp(tail, kHandOversEnded, sizeof(tail)) == 0;
}

// Under the lock: appends the line in one write unless the file is marked
// ended; a write that fails half-way is cut back, so that the reader never
// joins a fragment to the next hand-over.
Appended appendLocked(HANDLE file, const GrowText& line, DWORD& error) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        error = GetLastError();
        return Appended::Failed;
    }
    if (endsWithHandOversEnded(file, size.QuadPart)) return Appended::Closed;
    DWORD count = 0;
    if (SetFilePointerEx(file, size, nullptr, FILE_BEGIN) &&
        WriteFile(file, line.c_str(), static_cast<DWORD>(line.size()), &count, nullptr) && count == line.size())
        return Appended::Written;
    error = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_WRITE_FAULT;
    if (SetFilePointerEx(file, size, nullptr, FILE_BEGIN)) SetEndOfFile(file);
    return Appended::Failed;
}

// Appends one hand-over line to the process's communication file under the
// lock. Failed (with the error) when it could not be written whole; Closed
// when that instance takes no more hand-overs.
Appended appendHandOver(DWORD processId, const GrowText& line, DWORD& error) {
    PathText name;
    processCommFileName(name, processId);
    error = ERROR_FILENAME_EXCED_RANGE;
    if (name.empty()) return Appended::Failed;
    HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return Appended::Failed;
    }
    OVERLAPPED lock;
    Appended appended = Appended::Failed;
    error = ERROR_LOCK_VIOLATION;
    if (lockWholeFile(file, lock)) {
        appended = appendLocked(file, line, error);
        UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &lock);
    }
    CloseHandle(file);
    return appended;
}

enum class HandOverResult {
    Handed,      // the first instance has the command line
    Closing,     // the first instance takes no more hand-overs: it is closing
    RunOnItsOwn  // no first instance to hand over to, or the hand-over failed
};

// A later start: hands its command line to the registered first instance,
// lets that one take the foreground, brings its windows to the front and wakes
// it. `firstInstance` gets the process handed to (or found closing).
HandOverResult handOver(const char* commandLineTail, DWORD& firstInstance) {
    HANDLE event = nullptr;
    firstInstance = awaitFirstInstance(event);
    if (firstInstance == 0) {
        trace("single instance: no first instance registered within %lu ms: running as an instance of its own",
              static_cast<unsigned long>(kRegistrationWaitMs));
        return HandOverResult::RunOnItsOwn;
    }
    GrowText line;
    DWORD error = ERROR_OUTOFMEMORY;
    Appended appended = encodeHandOverLine(commandLineTail, line) ? appendHandOver(firstInstance, line, error)
                                                                   : Appended::Failed;
    if (appended != Appended::Written) {
        CloseHandle(event);
        if (appended == Appended::Closed) return HandOverResult::Closing;
        trace("single instance: the hand-over to process %lu could not be written (error %lu): running as an "
              "instance of its own", static_cast<unsigned long>(firstInstance), static_cast<unsigned long>(error));
        return HandOverResult::RunOnItsOwn;
    }
    AllowSetForegroundWindow(firstInstance);
    activateProcessWindows(firstInstance);
    SetEvent(event);
    CloseHandle(event);
    trace("single instance: process %lu runs already: the arguments handed over, its windows to the front",
          static_cast<unsigned long>(firstInstance));
    return HandOverResult::Handed;
}

// Waits for a process to end, until `limitMs` have passed since `start` (a
// tick count). True when it has ended, or cannot be opened (it may be gone)
// while time is left.
bool awaitEndOf(DWORD processId, DWORD start, DWORD limitMs) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    DWORD waited = GetTickCount() - start;
    if (!process) {
        // Gone, or not ours to wait for: look again after a moment.
        Sleep(20);
        return waited < limitMs;
    }
    bool ended = waited < limitMs && WaitForSingleObject(process, limitMs - waited) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

// The first start of the executable while none runs: keeps the semaphore
// (its handle stays open for the life of the process, so the semaphore exists
// exactly as long as a first instance runs) and registers. When the semaphore
// could not be made at all, this process runs unguarded, and neither tells
// Java of a semaphore nor registers as the first instance.
void runAsFirstInstance(HANDLE semaphore, DWORD error) {
    haveSemaphore = semaphore != nullptr;
    if (haveSemaphore) {
        becomeFirstInstance();
    } else {
        trace("single instance: no semaphore (error %lu): running unguarded", static_cast<unsigned long>(error));
    }
}

// A command line the first instance could not split is refused here, as a
// first start refuses it (1007), rather than handed over.
void refuseUnbalancedQuotes(const char* commandLineTail) {
    StringList split;
    bool unbalanced = false;
    splitArguments(commandLineTail, nullptr, SplitText::CommandLine, split, unbalanced);
    split.release();
    if (unbalanced) errorExit(cfg::kMsgWrongParameter);
}

}  // namespace

void processCommFileName(PathText& name, DWORD processId) {
    PathText temp;
    name.clear();
    if (!getTempDirectory(temp, nullptr)) return;
    name.appendFormat("%szrv_p%lu.tmp", temp.c_str(), static_cast<unsigned long>(processId));
    if (name.truncated()) name.clear();
}

const char* instanceSemaphoreName() { return haveSemaphore ? semaphoreName.c_str() : nullptr; }


void enforceSingleInstance(const char* commandLineTail) {
    if (getConfigInt(cfg::kSingleInstance) == 0) {
        trace("single instance: off");
        return;
    }
    semaphoreNameFromPath(semaphoreName, getExecutablePath());
    // A first instance that is closing takes no more hand-overs: this start
    // waits for it to end and then tries again, to run as the first instance
    // itself or to hand over to the one that started meanwhile.
    DWORD start = GetTickCount();
    for (bool again = false;; again = true) {
        HANDLE semaphore = CreateSemaphoreA(nullptr, 1, 1, semaphoreName.c_str());
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS) return runAsFirstInstance(semaphore, error);
        if (semaphore) CloseHandle(semaphore);
        if (!again) refuseUnbalancedQuotes(commandLineTail);
        DWORD firstInstance = 0;
        HandOverResult result = handOver(commandLineTail, firstInstance);
        if (result == HandOverResult::Handed) exitWithCode(kExitOk);
        if (result == HandOverResult::RunOnItsOwn) return;
        trace("single instance: process %lu is closing and takes no more hand-overs: waiting for it to end",
              static_cast<unsigned long>(firstInstance));
        if (!awaitEndOf(firstInstance, start, kClosingWaitMs)) {
            trace("single instance: process %lu still runs after %lu ms: running as an instance of its own",
                  static_cast<unsigned long>(firstInstance), static_cast<unsigned long>(kClosingWaitMs));
            return;
        }
    }
}

void stopHandOvers() {
    if (commFileHold == INVALID_HANDLE_VALUE || InterlockedExchange(&handOversEnded, 1) != 0) return;
    OVERLAPPED lock;
    bool marked = false;
    if (lockWholeFile(commFileHold, lock)) {
        LARGE_INTEGER end{};
        DWORD count = 0;
        marked = SetFilePointerEx(commFileHold, end, nullptr, FILE_END) &&
                 WriteFile(commFileHold, kHandOversEnded, kHandOversEndedSize, &count, nullptr) &&
                 count == kHandOversEndedSize;
        UnlockFileEx(commFileHold, 0, MAXDWORD, MAXDWORD, &lock);
    }
    trace("single instance: no more hand-overs to this instance%s", marked ? "" : " (its file could not be marked)");
}

bool waitForHandOver(int32_t timeoutMs) {
    DWORD ms = timeoutMs > 0 ? static_cast<DWORD>(timeoutMs) : 0;
    if (!handOverEvent) {
        Sleep(ms);
        return false;
    }
    return WaitForSingleObject(handOverEvent, ms) == WAIT_OBJECT_0;
}

}  // namespace zorvo
