#include "tempfiles/embedded_files.h"

#include <stdlib.h>
#include <time.h>

#include "config/exe_file.h"
#include "config/launcher_config.h"
#include "services/report.h"
#include "paths/paths.h"
#include "paths/path_rules.h"
#include "config/entry_rules.h"
#include "services/trace.h"

namespace zorvo {
namespace {

PathText tempDir;
StringList filesToDelete;
StringList dirsToDelete;

// The one buffer every embedded file is copied through.
unsigned char copyBuffer[8192];


// Every name must stay inside the fresh directory; checked before anything is created.
void checkNames(const char* names, int32_t count) {
    int32_t seen = 0;
    forEachListElement(names, [&](const char* name) {
        if (seen++ >= count) return false;
        if (!isPlainFileName(name)) internalErrorExit(InternalError::EmbeddedFileName);
        return true;
    });
}

// A fresh directory: the unique name GetTempFileNameA makes in the user's
// temporary directory, "_dir", and a pseudo-random number. The unique file
// is deleted only after the directory exists, so no other start can be given
// the same name meanwhile.
void createExtractionDirectory(PathText& dir) {
    PathText tempPath, folder;
    if (!getTempDirectory(tempPath, &folder)) {
        if (folder.empty()) internalErrorExit(InternalError::ExtractionFolder);
        trace("the temporary folder %s has no name in the code page", folder.c_str());
        errorExit(cfg::kMsgFolderUnusable, folder.c_str());
    }
    char unique[MAX_PATH];
    if (!GetTempFileNameA(tempPath.c_str(), "zrv", 0, unique)) internalErrorExit(InternalError::ExtractionFolder);
    dir.assign(unique);
    dir.append("_dir");
    srand(static_cast<unsigned>(time(nullptr)));
    dir.appendFormat("%d", rand());
    BOOL created = !dir.truncated() && CreateDirectoryA(dir.c_str(), nullptr);
    DeleteFileA(unique);
    if (!created) internalErrorExit(InternalError::ExtractionFolder);
}

}  // namespace

PathText& extractionDirectory() { return tempDir; }

void addPendingFile(const char* path) { filesToDelete.add(path); }
void addPendingDir(const char* path) { dirsToDelete.add(path); }
const StringList& pendingFiles() { return filesToDelete; }
const StringList& pendingDirs() { return dirsToDelete; }

bool copyUnscrambled(HANDLE exe, HANDLE out, uint32_t count) {
    uint32_t done = 0;
    while (done < count) {
        uint32_t want = count - done < sizeof(copyBuffer) ? count - done : sizeof(copyBuffer);
        DWORD got = 0;
        if (!ReadFile(exe, copyBuffer, want, &got, nullptr) || got == 0) return false;
        scrambleBytes(copyBuffer, got);
        for (DWORD written = 0; written < got;) {
            DWORD n = 0;
            if (!WriteFile(out, copyBuffer + written, got - written, &n, nullptr) || n == 0) internalErrorExit(InternalError::EmbeddedFileWrite);
            written += n;
        }
        done += got;
    }
    return true;
}

bool extractEmbeddedFile(HANDLE exe, const char* path) {
    int32_t length = readInt(exe);
    if (length <= 0) return true;
    HANDLE out = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                             nullptr);
    if (out == INVALID_HANDLE_VALUE) internalErrorExit(InternalError::EmbeddedFileName);
    if (!copyUnscrambled(exe, out, static_cast<uint32_t>(length))) {
        CloseHandle(out);
        return false;
    }
    // The VM opens a jar of the class path only when it first needs a class
    // from it, and meanwhile other starts clean up what is recorded. A handle
    // held until the process ends, without delete sharing, keeps the file in
    // place: the clean-up's exclusive open fails on it, and so does any
    // deletion. It asks for reading only, so that the VM, the application and
    // the loader of an embedded DLL can still open the file as they do.
    HANDLE held = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    // A write that the system completes only on close fails there.
    if (!CloseHandle(out)) internalErrorExit(InternalError::EmbeddedFileWrite);
    if (held == INVALID_HANDLE_VALUE) trace("cannot keep %s open: a later start may remove it early", path);
    return true;
}

bool extractEmbeddedFiles(PathText& tempDir) {
    tempDir.clear();
    // A count of 0 (or a meaningless negative one) embeds nothing: no directory is made.
    int32_t count = getConfigInt(cfg::kEmbeddedFileCount);
    if (count <= 0) return true;
    PathText names;
    getConfigText(cfg::kEmbeddedFileNames, names);
    checkNames(names.c_str(), count);

    HANDLE exe = openExeFile();
    LARGE_INTEGER at;
    at.QuadPart = embeddedStreamOffset();
    if (!SetFilePointerEx(exe, at, nullptr, FILE_BEGIN)) return false;
    createExtractionDirectory(tempDir);
    // Recorded at once, so that whatever ends this run, a later start removes
    // the directory together with the files.
    addPendingDir(tempDir.c_str());

    bool ok = true;
    int32_t handled = 0;
    forEachListElement(names.c_str(), [&](const char* name) {
        if (handled >= count) return false;
        ++handled;
        PathText path;
        path.appendFormat("%s\\%s", tempDir.c_str(), name);
        if (path.truncated()) internalErrorExit(InternalError::EmbeddedFileName);
        addPendingFile(path.c_str());
        ok = extractEmbeddedFile(exe, path.c_str());
        return ok;
    });
    trace("extraction directory: %s (%d of %d files written)", tempDir.c_str(), handled - (ok ? 0 : 1), count);
    if (!ok) return false;  // the executable stays open until the process ends
    CloseHandle(exe);
    return true;
}

}  // namespace zorvo
