// Loading the configuration block from the launcher's own executable.
#include <windows.h>

#include "common/le_bytes.h"
#include "common/text.h"
#include "config/exe_file.h"
#include "config/launcher_config.h"
#include "config/pe_image.h"
#include "paths/paths.h"
#include "services/report.h"
#include "services/trace.h"

namespace zorvo {
namespace {

uint32_t fileReadAt(const ByteSource& self, uint64_t at, void* dst, uint32_t n) {
    HANDLE file = static_cast<HANDLE>(self.ctx);
    LARGE_INTEGER pos;
    pos.QuadPart = static_cast<LONGLONG>(at);
    if (!SetFilePointerEx(file, pos, nullptr, FILE_BEGIN)) return 0;
    DWORD got = 0;
    if (!ReadFile(file, dst, n, &got, nullptr)) return 0;
    return got;
}

}  // namespace

ByteSource fileByteSource(HANDLE file, uint64_t size) { return ByteSource{file, fileReadAt, size}; }

HANDLE openExeFile() {
    // Opened by its wide name, which the system gives whatever characters
    // the folders' names hold.
    WCHAR path[kTextSize];
    if (!wideModuleName(path)) internalError("Internal Error: openExeFile");
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) internalError("Internal Error: openExeFile");
    return file;
}

int32_t readInt(HANDLE file) {
    unsigned char b[4];
    DWORD got = 0;
    if (!ReadFile(file, b, 4, &got, nullptr) || got != 4) internalError("Internal Error: readInt");
    return static_cast<int32_t>(loadLe32(b));
}

void LauncherConfig::load() {
    HANDLE file = openExeFile();
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) internalError("Internal Error: readInt");
    ByteSource src = fileByteSource(file, static_cast<uint64_t>(size.QuadPart));
    ConfigTables tables;
    BlockError err = parseConfigBlock(src, ownLauncherLayout(), tables);
    CloseHandle(file);
    if (err != BlockError::None) {
        trace("configuration block: %s", blockErrorText(err));
        internalError(blockErrorText(err));
    }
    trace("configuration block (%s launcher): %u narrow and %u wide entries, %d embedded files",
          ownLauncherLayout().name, static_cast<unsigned>(tables.narrowCount), static_cast<unsigned>(tables.wideCount),
          configInt(tables, cfg::kEmbeddedFileCount));
    install(tables);
    int32_t appType = getConfigInt(cfg::kAppType);
    if (appType != 1 && appType != 5) useConsoleReporting();
}

}  // namespace zorvo
