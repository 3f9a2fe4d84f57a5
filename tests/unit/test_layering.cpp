// The folders of src/ depend only downward (docs/architecture.md): each
// includes only itself and the folders below it in one order.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kOrder = {"common", "services", "paths",  "config", "tempfiles",
                                         "process", "jvm",     "vm",     "splash", "launcher"};

int rankOf(const std::string& folder) {
    auto at = std::find(kOrder.begin(), kOrder.end(), folder);
    return at == kOrder.end() ? -1 : static_cast<int>(at - kOrder.begin());
}

TEST(Layering, EveryFolderIncludesOnlyItselfAndThoseBelow) {
    namespace fs = std::filesystem;
    const std::regex include(R"(#include "([a-z_]+)/)");
    std::vector<std::string> upward;
    int files = 0;
    const fs::path src = fs::path(ZORVO_SOURCE_DIR) / "src";
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(src)) {
        std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        // The module a file belongs to is its first folder below src/.
        std::string folder = fs::relative(entry.path(), src).begin()->string();
        int own = rankOf(folder);
        ASSERT_GE(own, 0) << "a folder the order does not name: " << entry.path();
        ++files;
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            if (!std::regex_search(line, m, include)) continue;
            int other = rankOf(m[1]);
            if (other > own || other < 0) upward.push_back(entry.path().string() + ": " + line);
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_TRUE(upward.empty()) << upward.front() << " (and " << upward.size() - 1 << " more)";
}

}  // namespace
