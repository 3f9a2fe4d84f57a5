// The few file operations of the build tool, for the host and for Windows.
#ifndef ZORVO_BUILD_FILE_ACCESS_H
#define ZORVO_BUILD_FILE_ACCESS_H

#include <stdint.h>
#include <stdio.h>

#include <string>

#include "common/byte_source.h"

namespace zorvo {
namespace buildtool {

// A file opened for reading, seen as a ByteSource (random access, known size).
class InputFile {
public:
    InputFile() = default;
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // False with `error` ("cannot open: ...") when the file cannot be read.
    bool open(const std::string& path, std::string& error);
    const ByteSource& source() const { return source_; }
    uint64_t size() const { return source_.size; }

private:
    FILE* file_ = nullptr;
    ByteSource source_{};
};

// Reads a whole file of at most `maxSize` bytes.
bool readWholeFile(const std::string& path, uint64_t maxSize, std::string& bytes, std::string& error);

// Creates a new, empty file beside `target` (same directory, made first when
// it is missing) whose name no other file has, and returns its path.
bool createTempBeside(const std::string& target, std::string& tempPath, std::string& error);

// Moves `from` onto `to`, replacing what is there.
bool replaceFile(const std::string& from, const std::string& to, std::string& error);

// Gives `path` the permission bits of `model` (a copied launcher stays executable).
void copyPermissions(const std::string& model, const std::string& path);

// Writes `bytes` as the whole file `path`; false with "cannot write 'path'".
bool writeWholeFile(const std::string& path, const std::string& bytes, std::string& error);

// The absolute, normalised path of `name` in `dir` (as it stands when it
// cannot be made absolute).
std::string extractedPath(const std::string& dir, const std::string& name);

}  // namespace buildtool
}  // namespace zorvo

#endif
