// Validation of a candidate Java executable with the version cache and the probe.
#include <string.h>

#include "config/exe_file.h"
#include "config/launcher_config.h"
#include "config/pe_image.h"
#include "jvm/java_runtime.h"
#include "jvm/runtime_rules.h"
#include "jvm/version_rules.h"
#include "paths/paths.h"

namespace zorvo {
namespace {

constexpr DWORD kProbeTimeoutMs = 10000;

// Reads the first line of the probe's output (at most 99 characters) from
// the start of the file and takes the version from it.
bool readVersionFromFile(HANDLE file, PathText& version) {
    char line[100];
    DWORD got = 0;
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(file, line, sizeof(line) - 1, &got, nullptr))
        return false;
    line[got] = '\0';
    char* end = strchr(line, '\n');
    if (end) *end = '\0';
    return parseVersionLine(line, version);
}

// Starts the command line hidden, with standard error going to `errorFile`.
bool runHiddenWithStandardError(Text<kTextSize>& commandLine, HANDLE errorFile, DWORD& exitCode) {
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof(startup));
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = nullptr;
    startup.hStdOutput = nullptr;
    startup.hStdError = errorFile;
    PROCESS_INFORMATION process;
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr,
                        nullptr, &startup, &process))
        return false;
    bool ended = WaitForSingleObject(process.hProcess, kProbeTimeoutMs) == WAIT_OBJECT_0;
    if (!ended) TerminateProcess(process.hProcess, 1);
    exitCode = 1;
    if (ended) GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return ended;
}

}  // namespace

void javaExecutableOfHome(PathText& executable, const char* home) {
    executable.assign(home);
    executable.append("\\jre\\bin\\java.exe");
    if (pathExists(executable.c_str())) return;
    executable.assign(home);
    executable.append("\\bin\\java.exe");
}

bool isOfOwnArchitecture(const char* javaExecutable) {
    HANDLE file = CreateFileA(javaExecutable, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    uint16_t machine = 0;
    if (GetFileSizeEx(file, &size)) machine = peMachineOf(fileByteSource(file, static_cast<uint64_t>(size.QuadPart)));
    CloseHandle(file);
    return machine == ownLauncherLayout().machine;
}

bool probeJavaVersion(const char* path, PathText& version) {
    PathText shortPath;
    DWORD n = GetShortPathNameA(path, shortPath.data(), static_cast<DWORD>(shortPath.capacity()));
    if (n == 0 || !shortPath.adoptPlatformResult(n)) return false;
    // The short form can still hold blanks where short names are disabled.
    Text<kTextSize> commandLine;
    appendQuotedArgument(commandLine, shortPath.c_str());
    commandLine.append(" -version");
    if (commandLine.truncated()) return false;

    PathText tempPath;
    DWORD t = GetTempPathA(static_cast<DWORD>(tempPath.capacity()), tempPath.data());
    if (t == 0 || !tempPath.adoptPlatformResult(t)) return false;
    char tempFile[MAX_PATH];
    if (!GetTempFileNameA(tempPath.c_str(), "zrv", 0, tempFile)) return false;

    // The file goes away when the last handle to it closes, whatever happens
    // to the child (a handle it still holds included); it is also deleted by
    // name below.
    bool ok = false;
    HANDLE file = CreateFileA(tempFile, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        HANDLE inheritable = nullptr;
        if (DuplicateHandle(GetCurrentProcess(), file, GetCurrentProcess(), &inheritable, 0, TRUE,
                            DUPLICATE_SAME_ACCESS)) {
            DWORD exitCode = 1;
            bool ended = runHiddenWithStandardError(commandLine, inheritable, exitCode);
            CloseHandle(inheritable);
            ok = ended && exitCode == 0 && readVersionFromFile(file, version);
        }
        CloseHandle(file);
    }
    DeleteFileA(tempFile);
    return ok;
}

bool readVersionCache(const char* path, uint64_t lastWriteTime, PathText& version) {
    PathText keyName;
    if (!registryKeyOfPath(keyName, kVersionCacheKey, path)) return false;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    unsigned char stored[8];
    DWORD size = sizeof(stored);
    bool hit = RegQueryValueExA(key, "LastWriteTime", nullptr, nullptr, stored, &size) == ERROR_SUCCESS &&
               size == 8;
    for (int i = 0; hit && i < 8; ++i) hit = stored[i] == static_cast<unsigned char>(lastWriteTime >> (8 * i));
    if (hit) {
        DWORD length = static_cast<DWORD>(version.capacity());
        hit = RegQueryValueExA(key, "Version", nullptr, nullptr, reinterpret_cast<BYTE*>(version.data()), &length) ==
                  ERROR_SUCCESS &&
              version.adoptPlatformResult(length);
    }
    RegCloseKey(key);
    return hit;
}

void writeVersionCache(const char* path, uint64_t lastWriteTime, const char* version) {
    PathText keyName;
    if (!registryKeyOfPath(keyName, kVersionCacheKey, path)) return;
    HKEY key;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, keyName.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    unsigned char stamp[8];
    for (int i = 0; i < 8; ++i) stamp[i] = static_cast<unsigned char>(lastWriteTime >> (8 * i));
    RegSetValueExA(key, "LastWriteTime", 0, REG_BINARY, stamp, sizeof(stamp));
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                   static_cast<DWORD>(strlen(version)));
    RegCloseKey(key);
}

bool validateJavaExecutable(PathText& path, const char* minimum, const char* maximum, bool betaAllowed,
                            PathText& version) {
    PathText resolved;
    getFullPath(resolved, path.c_str(), false);
    path = resolved;
    if (path.empty()) return false;
    uint64_t lastWriteTime = 0;
    if (!findFile(path.c_str(), &lastWriteTime)) return false;
    if (!isOfOwnArchitecture(path.c_str())) return false;
    if (!readVersionCache(path.c_str(), lastWriteTime, version)) {
        if (!probeJavaVersion(path.c_str(), version)) return false;
        writeVersionCache(path.c_str(), lastWriteTime, version.c_str());
    }
    if (!isVersionAccepted(version.c_str(), minimum, maximum, betaAllowed, getConfigInt(cfg::kAcceptBeta) != 0))
        return false;
    if (getConfigInt(cfg::kAppType) != 1) return true;
    return windowedExecutableOf(path) && pathExists(path.c_str());
}

}  // namespace zorvo
