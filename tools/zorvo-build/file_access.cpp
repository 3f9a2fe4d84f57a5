#include "file_access.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>

#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace zorvo {
namespace buildtool {
namespace {

bool seekTo(FILE* f, uint64_t at) {
#ifdef _WIN32
    return _fseeki64(f, static_cast<long long>(at), SEEK_SET) == 0;
#else
    return fseeko(f, static_cast<off_t>(at), SEEK_SET) == 0;
#endif
}

bool fileSize(FILE* f, uint64_t& size) {
#ifdef _WIN32
    if (_fseeki64(f, 0, SEEK_END) != 0) return false;
    long long end = _ftelli64(f);
#else
    if (fseeko(f, 0, SEEK_END) != 0) return false;
    long long end = ftello(f);
#endif
    if (end < 0) return false;
    size = static_cast<uint64_t>(end);
    return true;
}

uint32_t fileReadAt(const ByteSource& self, uint64_t at, void* dst, uint32_t n) {
    FILE* f = static_cast<FILE*>(self.ctx);
    if (at >= self.size || !seekTo(f, at)) return 0;
    return static_cast<uint32_t>(fread(dst, 1, n, f));
}

std::string systemError() { return strerror(errno); }

int processId() {
#ifdef _WIN32
    return _getpid();
#else
    return static_cast<int>(getpid());
#endif
}

}  // namespace

InputFile::~InputFile() {
    if (file_) fclose(file_);
}

bool InputFile::open(const std::string& path, std::string& error) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        error = "cannot open: it is a directory";
        return false;
    }
    file_ = fopen(path.c_str(), "rb");
    if (!file_) {
        error = "cannot open: " + systemError();
        return false;
    }
    uint64_t size = 0;
    if (!fileSize(file_, size)) {
        error = "cannot read: " + systemError();
        return false;
    }
    source_ = ByteSource{file_, fileReadAt, size};
    return true;
}

bool readWholeFile(const std::string& path, uint64_t maxSize, std::string& bytes, std::string& error) {
    InputFile in;
    if (!in.open(path, error)) return false;
    if (in.size() > maxSize) {
        error = "larger than " + std::to_string(maxSize) + " bytes";
        return false;
    }
    bytes.assign(static_cast<size_t>(in.size()), '\0');
    uint64_t done = 0;
    while (done < in.size()) {
        uint32_t got = in.source().readAt(in.source(), done, &bytes[done], static_cast<uint32_t>(in.size() - done));
        if (got == 0) {
            error = "cannot read: " + systemError();
            return false;
        }
        done += got;
    }
    return true;
}

bool createTempBeside(const std::string& target, std::string& tempPath, std::string& error) {
    // The folder of the output is made when it is missing ("dist/MyApp.exe").
    std::filesystem::path folder = std::filesystem::path(target).parent_path();
    std::error_code ec;
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            error = "cannot create its folder " + folder.string() + ": " + ec.message();
            return false;
        }
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = target + ".zorvo-tmp-" + std::to_string(processId()) + "-" + std::to_string(attempt);
#ifdef _WIN32
        int fd = _open(tempPath.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
        int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
#endif
        if (fd >= 0) {
#ifdef _WIN32
            _close(fd);
#else
            ::close(fd);
#endif
            return true;
        }
        if (errno != EEXIST) break;
    }
    error = "cannot create a file beside it: " + systemError();
    return false;
}

bool replaceFile(const std::string& from, const std::string& to, std::string& error) {
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    error = "cannot replace it (Windows error " + std::to_string(GetLastError()) + ")";
    return false;
#else
    if (rename(from.c_str(), to.c_str()) == 0) return true;
    error = "cannot replace it: " + systemError();
    return false;
#endif
}

void copyPermissions(const std::string& model, const std::string& path) {
    std::error_code ec;
    std::filesystem::perms p = std::filesystem::status(model, ec).permissions();
    if (!ec) std::filesystem::permissions(path, p, ec);
}

bool writeWholeFile(const std::string& path, const std::string& bytes, std::string& error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (out) return true;
    error = "cannot write '" + path + "'";
    return false;
}

std::string extractedPath(const std::string& dir, const std::string& name) {
    std::error_code ec;
    std::filesystem::path p = std::filesystem::absolute(std::filesystem::path(dir) / name, ec);
    if (ec) p = std::filesystem::path(dir) / name;
    return p.lexically_normal().string();
}

}  // namespace buildtool
}  // namespace zorvo
