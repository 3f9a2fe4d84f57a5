// The folders of src/ depend only downward (docs/architecture.md): each
// includes only itself and the folders below it in one order; the tools
// beside the launcher use only the bottom folders.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kOrder = {"common", "services", "paths",  "config", "tempfiles",
                                         "process", "jvm",     "vm",     "splash", "launcher"};

int rankOf(const std::string& folder) {
    auto at = std::find(kOrder.begin(), kOrder.end(), folder);
    return at == kOrder.end() ? -1 : static_cast<int>(at - kOrder.begin());
}

// The include lines below `root` of a folder of src/ that `allowed` refuses
// (it gets the file and the included folder); `files` counts the files read.
std::vector<std::string> refusedIncludes(const fs::path& root,
                                         const std::function<bool(const fs::path&, const std::string&)>& allowed,
                                         int& files) {
    const std::regex include(R"(#include "([a-z_]+)/)");
    std::vector<std::string> refused;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        ++files;
        std::ifstream in(entry.path());
        for (std::string line; std::getline(in, line);) {
            std::smatch m;
            if (std::regex_search(line, m, include) && !allowed(entry.path(), m[1]))
                refused.push_back(entry.path().string() + ": " + line);
        }
    }
    return refused;
}

TEST(Layering, EveryFolderIncludesOnlyItselfAndThoseBelow) {
    const fs::path src = fs::path(ZORVO_SOURCE_DIR) / "src";
    int files = 0;
    std::vector<std::string> upward = refusedIncludes(src, [&](const fs::path& file, const std::string& folder) {
        // The module a file belongs to is its first folder below src/.
        int own = rankOf(fs::relative(file, src).begin()->string());
        int other = rankOf(folder);
        return own >= 0 && other >= 0 && other <= own;
    }, files);
    EXPECT_GT(files, 50);
    EXPECT_TRUE(upward.empty()) << upward.front() << " (and " << upward.size() - 1 << " more)";
}

// The build tool and the post-link check stand beside the launcher, below its
// top: they use the value rules of common, services and config only.
TEST(Layering, TheToolsUseOnlyCommonServicesAndConfig) {
    const std::vector<std::string> bottom = {"common", "services", "config"};
    int files = 0;
    std::vector<std::string> beyond = refusedIncludes(fs::path(ZORVO_SOURCE_DIR) / "tools",
                                                      [&](const fs::path&, const std::string& folder) {
        return std::find(bottom.begin(), bottom.end(), folder) != bottom.end();
    }, files);
    EXPECT_GT(files, 20);
    EXPECT_TRUE(beyond.empty()) << beyond.front() << " (and " << beyond.size() - 1 << " more)";
}

}  // namespace
