// Validation of a candidate Java executable with the version cache and the probe.
#include <stdlib.h>
#include <string.h>

#include "common/on_heap.h"
#include "common/registry.h"
#include "common/string_list.h"
#include "config/exe_file.h"
#include "config/launcher_config.h"
#include "config/pe_image.h"
#include "jvm/java_runtime.h"
#include "jvm/runtime_rules.h"
#include "common/split.h"
#include "jvm/version_rules.h"
#include "process/child_process.h"
#include "services/trace.h"
#include "paths/paths.h"

namespace zorvo {
namespace {

constexpr DWORD kProbeTimeoutMs = 10000;

// Why a probe gave no version, for the trace.
typedef Text<512> ProbeFailure;

// The executables whose probe failed in this run: never started again, so a
// runtime named by two sources (a CurrentVersion and the name search) costs
// one probe, and a hanging one one time limit.
StringList failedProbes;

// Set once a temporary folder without a usable name kept a runtime from being probed.
bool probesStoppedByTempFolder = false;

bool probeFailedBefore(const char* path) {
    for (size_t i = 0; i < failedProbes.count; ++i)
        if (strcmp(failedProbes.at(i), path) == 0) return true;
    return false;
}

// Reads the start of the probe's output from the start of the file and takes
// the version from its first version line; without one, `why` gets the
// output's first line.
bool readVersionFromFile(HANDLE file, PathText& version, ProbeFailure& why) {
    char output[kVersionOutputBytes];
    DWORD got = 0;
    why.assign("its output cannot be read");
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
        !ReadFile(file, output, sizeof(output) - 1, &got, nullptr))
        return false;
    output[got] = '\0';
    if (parseVersionOutput(output, version)) return true;
    why.assign("its output has no version line (its first line: \"");
    why.append(output, strcspn(output, "\r\n"));
    why.append("\")");
    return false;
}

// Reads a runtime's `release` file (at most 16 KB) from `home`.
bool readReleaseFile(const PathText& home, PathText& version) {
    PathText file;
    file.assign(home.c_str());
    file.append("release");
    if (file.truncated()) return false;
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const DWORD kMaxRelease = 16 * 1024;
    OnHeap<char> text(kMaxRelease + 1);
    DWORD got = 0;
    bool read = text && ReadFile(handle, &text[0], kMaxRelease, &got, nullptr);
    CloseHandle(handle);
    if (!read) return false;
    text[got] = '\0';
    return parseReleaseVersion(&text[0], version);
}

// Runs the probe with its standard error going to `errorFile`; true when it
// ended with exit code 0, else `why` says what went wrong.
bool runProbe(Text<kTextSize>& commandLine, HANDLE errorFile, ProbeFailure& why) {
    ChildResult child = runHidden(commandLine, errorFile, kProbeTimeoutMs);
    unsigned long code = child.code;
    if (child.end == ChildEnd::NotStarted) {
        why.appendFormat("it could not be started (error %lu)", code);
    } else if (child.end == ChildEnd::Stopped) {
        why.appendFormat("it was stopped after %lu s", static_cast<unsigned long>(kProbeTimeoutMs / 1000));
    } else if (code != 0) {
        why.appendFormat("it ended with exit code %lu", code);
    }
    return child.end == ChildEnd::Ended && code == 0;
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

namespace {

// Runs `path -version` hidden (at most 10 s), its standard error going to a
// file in the user's temporary folder, and takes the version from the first
// version line among the first lines of that output. False, with `why`, when
// it cannot be started, ends with an error code, runs too long or writes no
// version line. The temporary file is always deleted. Without a temporary
// folder of a usable name nothing is started (tempFolderStoppedProbes).
bool probeJavaVersion(const char* path, PathText& version, ProbeFailure& why) {
    PathText shortPath;
    DWORD n = GetShortPathNameA(path, shortPath.data(), static_cast<DWORD>(shortPath.capacity()));
    why.assign("its path has no short form");
    if (n == 0 || !shortPath.adoptPlatformResult(n)) return false;
    // The short form can still hold blanks where short names are disabled.
    Text<kTextSize> commandLine;
    appendQuotedArgument(commandLine, shortPath.c_str());
    commandLine.append(" -version");
    why.assign("its command line is too long");
    if (commandLine.truncated()) return false;

    // The output goes to a file in the user's temporary folder, which must
    // have a usable name: without one no runtime can be probed, which the
    // search reports should it find nothing else.
    PathText tempPath, folder;
    if (!getTempDirectory(tempPath, &folder)) {
        if (folder.empty()) {
            why.assign("there is no temporary folder for its output");
        } else {
            probesStoppedByTempFolder = true;
            why.assign("the temporary folder ");
            why.append(folder.c_str());
            why.append(" has no name in the code page: passed over");
        }
        return false;
    }
    char tempFile[MAX_PATH];
    why.assign("no file for its output can be made in ");
    why.append(tempPath.c_str());
    if (!GetTempFileNameA(tempPath.c_str(), "zrv", 0, tempFile)) return false;
    why.clear();

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
            bool ran = runProbe(commandLine, inheritable, why);
            CloseHandle(inheritable);
            ok = ran && readVersionFromFile(file, version, why);
        }
        CloseHandle(file);
    }
    if (!ok && why.empty()) why.assign("no file for its output can be opened");
    DeleteFileA(tempFile);
    return ok;
}

// The cached version of the executable when the cache entry was written for
// this last-write time.
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
    if (hit) hit = readRegistryText(key, nullptr, "Version", version);
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

// The version that the runtime's `release` file (in its home: the directory
// above bin, or above jre\\bin) gives in its JAVA_VERSION line; no process is
// started. False without such a file or line, and when the Java executable
// does not lie in a folder named bin.
bool readReleaseVersion(const char* javaExecutable, PathText& version) {
    PathText home;
    if (!executableDirectoryOf(home, javaExecutable) || !endsWithFolder(home.c_str(), "bin")) return false;
    home.truncateTo(home.size() - 4);  // "bin\" off: the runtime's home, with its backslash
    if (readReleaseFile(home, version)) return true;
    // The JRE inside a JDK 8 (jdk\jre\bin\java.exe) has the JDK's release file.
    if (!endsWithFolder(home.c_str(), "jre")) return false;
    home.truncateTo(home.size() - 4);
    return readReleaseFile(home, version);
}

}  // namespace

bool tempFolderStoppedProbes(PathText& folder) {
    PathText temp;
    folder.clear();
    return probesStoppedByTempFolder && !getTempDirectory(temp, &folder) && !folder.empty();
}

namespace {

// Learns the version: from the cache, else from the release file, else by
// probing (once per executable and run); caches what it learned. `how` says
// which, `why` why a probe gave none.
bool learnVersion(const char* path, uint64_t lastWriteTime, PathText& version, const char*& how,
                  ProbeFailure& why) {
    how = "cached";
    if (readVersionCache(path, lastWriteTime, version)) return true;
    how = "from its release file";
    if (!readReleaseVersion(path, version)) {
        how = "probed";
        if (probeFailedBefore(path)) {
            why.assign("it failed its probe earlier in this run: not started again");
            return false;
        }
        if (!probeJavaVersion(path, version, why)) {
            // A probe kept from starting for want of a temporary folder says nothing about the runtime.
            if (!probesStoppedByTempFolder) failedProbes.add(path);
            return false;
        }
    }
    writeVersionCache(path, lastWriteTime, version.c_str());
    return true;
}

}  // namespace

bool validateJavaExecutable(PathText& path, const RuntimeCriteria& criteria, bool betaAllowed, PathText& version) {
    PathText resolved;
    getFullPath(resolved, path.c_str(), false);
    path = resolved;
    if (path.empty()) return false;
    uint64_t lastWriteTime = 0;
    if (!findFile(path.c_str(), &lastWriteTime)) {
        trace("  runtime %s: missing", path.c_str());
        return false;
    }
    if (!isOfOwnArchitecture(path.c_str())) {
        trace("  runtime %s: not a %s runtime: passed over", path.c_str(), ownLauncherLayout().name);
        return false;
    }
    const char* how = "";
    ProbeFailure why;
    if (!learnVersion(path.c_str(), lastWriteTime, version, how, why)) {
        trace("  runtime %s: no version: the probe failed: %s", path.c_str(), why.c_str());
        return false;
    }
    if (!isVersionAccepted(version.c_str(), criteria.range, betaAllowed, criteria.betaEverywhere)) {
        bool beta = isVersionAccepted(version.c_str(), criteria.range, true, false);
        trace("  runtime %s: version %s (%s): %s", path.c_str(), version.c_str(), how,
              beta ? "a beta version, not allowed from this source" : "outside the version range");
        return false;
    }
    if (criteria.windowed && !(windowedExecutableOf(path) && pathExists(path.c_str()))) {
        trace("  runtime %s: version %s (%s): no javaw.exe beside it", path.c_str(), version.c_str(), how);
        return false;
    }
    trace("  runtime %s: version %s (%s): accepted", path.c_str(), version.c_str(), how);
    return true;
}

}  // namespace zorvo
