// Path rules: relative paths, backslash collapsing, drive roots, list
// resolution and listing patterns.
#include <gtest/gtest.h>

#include <string>

#include "paths/path_rules.h"

namespace zorvo {
namespace {

TEST(PathRules, RelativeAndAbsolutePaths) {
    struct {
        const char* path;
        bool relative;
    } cases[] = {
        {"lib", true},          {"c:\\lib", false},    {"\\\\server\\share", false}, {"\"c:\\lib", false},
        {"\\lib", true},        {"c:lib", true},       {"c:/lib", true},             {"ab", true},
        {"c:", true},           {"", true},            {"\"\\\\srv\\x", false},      {"\"\\lib", true},
        {"\"c:", true},         {"\"c:x\\", true},     {"/unix/path", true},         {"..\\x", true},
    };
    for (const auto& c : cases) EXPECT_EQ(isRelativePath(c.path), c.relative) << c.path;
}

std::string collapsed(const char* path) {
    std::string s(path);
    collapseBackslashes(s.data());
    return s.c_str();
}

TEST(PathRules, CollapsingKeepsTheNetworkPrefix) {
    EXPECT_EQ(collapsed("a\\\\\\\\b"), "a\\b");
    EXPECT_EQ(collapsed("\\\\server\\share"), "\\\\server\\share");
    EXPECT_EQ(collapsed("\\\\\\server"), "\\\\server");
    EXPECT_EQ(collapsed("\\\\\\\\\\server\\\\x"), "\\\\server\\x");
    EXPECT_EQ(collapsed("\\lib"), "\\lib");
    EXPECT_EQ(collapsed(""), "");
    EXPECT_EQ(collapsed("\\"), "\\");
    EXPECT_EQ(collapsed("c:\\\\dir\\\\\\file\\\\"), "c:\\dir\\file\\");
    EXPECT_EQ(collapsed("x\\\\"), "x\\");
}

TEST(PathRules, DriveRoots) {
    for (const char* root : {"c:\\", "c:\\.", "c:\\.\\.", "Q:\\", "1:\\"}) EXPECT_TRUE(isDriveRoot(root)) << root;
    for (const char* other : {"c:", "c:\\x", "c:\\..", "c:\\.\\", "\\\\", "", "c:/", "cc:\\"})
        EXPECT_FALSE(isDriveRoot(other)) << other;
}

TEST(PathRules, JoiningWithTheExecutableDirectory) {
    const char* dir = "c:\\progra~1\\app\\";
    PathText out;
    joinWithExeDir(out, dir, ".");
    EXPECT_STREQ(out.c_str(), "c:\\progra~1\\app\\.");
    joinWithExeDir(out, dir, "");
    EXPECT_STREQ(out.c_str(), "c:\\progra~1\\app\\");
    joinWithExeDir(out, dir, "\\\\lib\\\\X.jar");
    EXPECT_STREQ(out.c_str(), "\\\\lib\\X.jar");  // network path: unchanged but collapsed
    joinWithExeDir(out, dir, "D:\\Tools\\\\Java");
    EXPECT_STREQ(out.c_str(), "D:\\Tools\\Java");
    joinWithExeDir(out, dir, "..\\Lib\\\\A.jar");
    EXPECT_STREQ(out.c_str(), "c:\\progra~1\\app\\..\\Lib\\A.jar");
    std::string longPath(9000, 'x');
    EXPECT_FALSE(joinWithExeDir(out, dir, longPath.c_str()));
}

TEST(PathRules, PathListsSkipEmptyElementsAndEndWithoutSeparator) {
    const char* dir = "c:\\progra~1\\app\\";
    PathText out;
    resolvePathListWith(out, "lib;bin", dir);
    EXPECT_STREQ(out.c_str(), "c:\\progra~1\\app\\lib;c:\\progra~1\\app\\bin");
    resolvePathListWith(out, "lib;;Bin;", dir);
    EXPECT_STREQ(out.c_str(), "c:\\progra~1\\app\\lib;c:\\progra~1\\app\\Bin");
    resolvePathListWith(out, ";;", dir);
    EXPECT_STREQ(out.c_str(), "");
    resolvePathListWith(out, "d:\\abs\\\\x;\\\\\\srv\\share", dir);
    EXPECT_STREQ(out.c_str(), "d:\\abs\\x;\\\\srv\\share");
    // Elements that would overflow the result are left out whole.
    std::string big(5000, 'a');
    std::string list = big + ";" + big + ";tail";
    resolvePathListWith(out, list.c_str(), dir);
    std::string result = out.c_str();
    EXPECT_EQ(result, std::string(dir) + big + ";" + dir + "tail");
}

TEST(PathRules, ListingPatterns) {
    PathText p;
    listFilesPattern(p, "lib", "jar");
    EXPECT_STREQ(p.c_str(), "lib\\*.jar");
    listFilesPattern(p, "lib", ".jar");
    EXPECT_STREQ(p.c_str(), "lib\\*.jar");
    listFilesPattern(p, "c:\\a b", "");
    EXPECT_STREQ(p.c_str(), "c:\\a b\\*.");
}

TEST(PathRules, ListElementsAreVisitedInOrderAndOverlongOnesSkipped) {
    std::string seen;
    forEachListElement(";a;;bc;d;", [&](const char* e) {
        seen += std::string("[") + e + "]";
        return true;
    });
    EXPECT_EQ(seen, "[a][bc][d]");
    seen.clear();
    forEachListElement("a;b;c", [&](const char* e) {
        seen += e;
        return seen.size() < 2;
    });
    EXPECT_EQ(seen, "ab");
    std::string overlong = std::string(9000, 'z') + ";ok";
    seen.clear();
    forEachListElement(overlong.c_str(), [&](const char* e) {
        seen += e;
        return true;
    });
    EXPECT_EQ(seen, "ok");
}

}  // namespace
}  // namespace zorvo
