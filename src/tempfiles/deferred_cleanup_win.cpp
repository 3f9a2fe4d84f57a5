#include "tempfiles/deferred_cleanup.h"

#include <windows.h>
#include <sddl.h>

#include "common/registry.h"
#include "common/text.h"
#include "paths/paths.h"
#include "tempfiles/embedded_files.h"
#include "tempfiles/temp_rules.h"

namespace zorvo {
namespace {

const char kDeleteFile[] = "delete_file";
const char kDeleteDir[] = "delete_dir";

// Every start reads the record, changes it and writes it back; starts at the
// same moment would lose each other's changes. A mutex per user serialises
// them. It is held only around one read-change-write, and a start that cannot
// get it within a few seconds (or at all) goes on without it rather than hang.
class RecordLock {
public:
    RecordLock() {
        Text<256> name("zorvo-temp-record");
        appendUserSid(name);
        mutex_ = CreateMutexA(nullptr, FALSE, name.truncated() ? "zorvo-temp-record" : name.c_str());
        if (!mutex_) return;
        DWORD waited = WaitForSingleObject(mutex_, kWaitMs);
        // An owner that ended while holding it left the record as a whole value.
        owned_ = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    }
    ~RecordLock() {
        if (owned_) ReleaseMutex(mutex_);
        if (mutex_) CloseHandle(mutex_);
    }
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;

private:
    static const DWORD kWaitMs = 5000;

    // "-" and the user's SID: the record belongs to the user, and the mutex
    // name is per session (two users can share one, through runas).
    static void appendUserSid(Text<256>& name) {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return;
        union {
            TOKEN_USER user;
            BYTE bytes[256];
        } info;
        DWORD size = 0;
        char* sid = nullptr;
        if (GetTokenInformation(token, TokenUser, &info, sizeof(info), &size) &&
            ConvertSidToStringSidA(info.user.User.Sid, &sid)) {
            name.appendChar('-');
            name.append(sid);
            LocalFree(sid);
        }
        CloseHandle(token);
    }

    HANDLE mutex_ = nullptr;
    bool owned_ = false;
};

void writeValue(HKEY key, const char* name, const PathText& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size()));
}

// Applies `remove` to every recorded path of a value and keeps the paths
// that still exist.
template <typename Remove>
void cleanValue(HKEY key, const char* name, Remove remove) {
    PathText recorded, keep;
    readRegistryText(key, nullptr, name, recorded);
    forEachListElement(recorded.c_str(), [&](const char* path) {
        remove(path);
        if (pathExists(path)) appendToDeleteText(keep, path);
        return true;
    });
    writeValue(key, name, keep);
}

}  // namespace

bool canOpenExclusively(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

void appendToDeleteList(const char* path, const char* valueName) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kTempRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    RecordLock lock;
    PathText list;
    readRegistryText(key, nullptr, valueName, list);
    if (appendToDeleteText(list, path)) writeValue(key, valueName, list);
    RegCloseKey(key);
}

void registerPendingDeletions() {
    const StringList& files = pendingFiles();
    for (size_t i = 0; i < files.count; ++i) appendToDeleteList(files.at(i), kDeleteFile);
    const StringList& dirs = pendingDirs();
    for (size_t i = 0; i < dirs.count; ++i) appendToDeleteList(dirs.at(i), kDeleteDir);
}

void cleanUpEarlierRuns() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kTempRegistryKey, 0, KEY_READ | KEY_WRITE, &key) != ERROR_SUCCESS) return;
    RecordLock lock;
    // Files first, so that a directory whose files are all gone is empty when removed.
    cleanValue(key, kDeleteFile, [](const char* path) {
        if (canOpenExclusively(path)) DeleteFileA(path);
    });
    cleanValue(key, kDeleteDir, [](const char* path) { RemoveDirectoryA(path); });
    RegCloseKey(key);
}

}  // namespace zorvo
