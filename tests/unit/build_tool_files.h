// Files for the build tool's tests: a fresh directory per test, removed
// afterwards, and whole files written and read.
#ifndef ZORVO_TESTS_BUILD_TOOL_FILES_H
#define ZORVO_TESTS_BUILD_TOOL_FILES_H

#include <gtest/gtest.h>

#include <stdint.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace zorvo {
namespace buildtool {

class TempDir {
public:
    TempDir() {
        const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = std::filesystem::temp_directory_path() /
                ("zorvo-build-test-" + std::string(t->name()) + "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(path_)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    std::filesystem::path path_;
};

// The headers of a generic launcher's image in `img` (at least 0x200 bytes):
// the DOS header pointing at a PE header at 128, the machine type, five
// sections, the optional header's size and magic of the 32-bit (PE32) or
// 64-bit (PE32+) launcher. The section table starts at 376 or 392.
inline void putLauncherHeaders(std::string& img, bool win64) {
    img[0] = 'M';
    img[1] = 'Z';
    img[60] = static_cast<char>(128);
    img.replace(128, 4, std::string("PE\0\0", 4));
    const uint32_t fields[][2] = {{132, win64 ? 0x8664u : 0x14Cu}, {134, 5}, {148, win64 ? 240u : 224u},
                                  {152, win64 ? 0x20Bu : 0x10Bu}, {152 + 68, 2}};  // the last: a windowed program
    for (const auto& f : fields) {
        img[f[0]] = static_cast<char>(f[1] & 0xFF);
        img[f[0] + 1] = static_cast<char>(f[1] >> 8);
    }
}

inline void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace buildtool
}  // namespace zorvo

#endif
