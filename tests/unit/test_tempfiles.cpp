// Embedded-file names, the scramble, the deletion record and the PATH value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/string_list.h"
#include "process/hand_over.h"
#include "process/search_path.h"
#include "config/config_block.h"
#include "config/entry_rules.h"
#include "tempfiles/temp_rules.h"

namespace zorvo {
namespace {

TEST(TempRules, UnscrambleIsItsOwnInverseAtEveryPosition) {
    std::vector<unsigned char> bytes(20000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<unsigned char>(i * 31 + 7);
    std::vector<unsigned char> original = bytes;
    // In chunks of 8192, 8192 and 3616, as the extraction reads them.
    scrambleBytes(bytes.data(), 8192);
    scrambleBytes(bytes.data() + 8192, 8192);
    scrambleBytes(bytes.data() + 16384, 3616);
    for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], original[i] ^ 0xB6) << i;
    scrambleBytes(bytes.data(), bytes.size());
    EXPECT_EQ(bytes, original);
}

TEST(TempRules, OnlyPlainFileNamesStayInsideTheDirectory) {
    for (const char* ok : {"app.jar", "a", "...", "name with blanks.zip", ".hidden", "x..y"})
        EXPECT_TRUE(isPlainFileName(ok)) << ok;
    for (const char* bad : {"", ".", "..", "..\\evil.jar", "sub\\a.jar", "a/b.jar", "c:evil", "C:\\x", "\\\\srv\\x"})
        EXPECT_FALSE(isPlainFileName(bad)) << bad;
}

TEST(TempRules, DeviceNamesAreNoFileNames) {
    for (const char* device : {"CON", "con", "Prn", "aux.txt", "NUL", "nul.tar.gz", "COM1", "com9.log", "LPT1",
                               "lpt5.jar", "COM\xB9", "lpt\xB2.x", "CONIN$", "conout$.txt", "con .txt", "nul "})
        EXPECT_FALSE(isPlainFileName(device)) << device;
    for (const char* file : {"CONS", "con_.txt", "null", "COM", "COM0", "COM10", "LPT", "lpt1x.jar", "xcon",
                             "my.con", ".nul", "AUX1", "COM\xB4"})
        EXPECT_TRUE(isPlainFileName(file)) << file;
}

TEST(TempRules, DeleteListsGrowByWholePathsOnly) {
    PathText list;
    // A path already recorded (in any letter case) is not recorded again; a
    // longer or shorter one that starts alike is another path.
    for (const char* path : {"c:\\t\\a.jar", "c:\\t\\b.jar", "C:\\T\\A.JAR", "c:\\t\\a.jar", "c:\\t\\a.ja",
                             "c:\\t\\a.jarx", "c:\\t\\b.jar"})
        EXPECT_TRUE(appendToDeleteText(list, path)) << path;
    EXPECT_STREQ(list.c_str(), "c:\\t\\a.jar;c:\\t\\b.jar;c:\\t\\a.ja;c:\\t\\a.jarx;");
    // Fill to exactly 8191 characters: the path that fits whole is taken, the
    // next one is skipped and the list stays as it was.
    PathText full;
    std::string chunk(8190 - 1, 'p');
    EXPECT_TRUE(appendToDeleteText(full, chunk.c_str()));
    EXPECT_EQ(full.size(), 8190u);
    EXPECT_FALSE(appendToDeleteText(full, "q"));
    EXPECT_EQ(full.size(), 8190u);
    EXPECT_EQ(full.c_str()[full.size() - 1], ';');
    PathText almost;
    std::string seven(8189, 'r');
    EXPECT_TRUE(appendToDeleteText(almost, seven.c_str()));
    EXPECT_TRUE(appendToDeleteText(almost, ""));  // one more ';' fits: 8191
    EXPECT_EQ(almost.size(), 8191u);
    EXPECT_FALSE(almost.truncated());
}

TEST(SearchPath, ConfiguredDirectoriesComeFirst) {
    struct Case {
        const wchar_t* resolved;
        const wchar_t* inherited;
        const wchar_t* expected;
    } cases[] = {{L"c:\\app\\lib;c:\\app\\bin", L"c:\\windows;c:\\\u0394\u03bf\\bin", L"c:\\app\\lib;c:\\app\\bin;c:\\windows;c:\\\u0394\u03bf\\bin"},
                 {L"c:\\app\\lib", nullptr, L"c:\\app\\lib;"},
                 {L"", L"c:\\windows", L"c:\\windows"},
                 {L"", nullptr, L""},
                 {L"x;", L"y", L"x;y"}};
    wchar_t value[64];
    for (const Case& c : cases) {
        EXPECT_TRUE(composeSearchPath(value, 64, c.resolved, c.inherited));
        EXPECT_EQ(std::wstring(value), c.expected);
    }
    EXPECT_TRUE(composeSearchPath(value, 6, L"ab", L"cd"));  // "ab;cd" and the terminator fit exactly
    EXPECT_FALSE(composeSearchPath(value, 5, L"ab", L"cd"));
}

// The directories PATH names, as the search for java.exe on it walks them.
TEST(SearchPath, ElementsOfTheListQuotesAndEmptyOnes) {
    const char* list = ";c:\\a;;\"c:\\b;c\";.;  ;" "c:\\\"q\"uoted\\;" "0123456789abcdef;end";
    std::vector<std::string> elements;
    char element[16];
    for (const char* cursor = list; nextListElement(cursor, element, sizeof(element));) elements.push_back(element);
    EXPECT_EQ(elements, (std::vector<std::string>{"c:\\a", "c:\\b;c", ".", "  ", "c:\\quoted\\", "end"}));
    const wchar_t* wide = L"x;\"y\"";
    wchar_t out[8];
    ASSERT_TRUE(nextListElement(wide, out, 8));
    ASSERT_TRUE(nextListElement(wide, out, 8));
    EXPECT_EQ(std::wstring(out), L"y");
    EXPECT_FALSE(nextListElement(wide, out, 8));
}

TEST(StringList, KeepsOwnedCopiesInOrder) {
    StringList list;
    char buffer[] = "first";
    ASSERT_TRUE(list.add(buffer));
    buffer[0] = 'X';
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(list.add(std::to_string(i).c_str()));
    EXPECT_STREQ(list.at(0), "first");
    EXPECT_STREQ(list.at(100), "99");
    EXPECT_EQ(list.count, 101u);
    list.release();
    EXPECT_EQ(list.count, 0u);
}

// A hand-over is one line whatever it holds: line breaks inside it become
// bytes that UTF-8 never has, everything else stays as it is.
TEST(HandOverLine, LineBreaksInsideAreEscapedAndTheLineEnds) {
    const std::pair<const char*, std::string> cases[] = {
        {"", "\r\n"},
        {"a \"b c\" \xce\x94", "a \"b c\" \xce\x94\r\n"},
        {"two\r\nlines\n", "two\xc0\x8d\xc0\x8alines\xc0\x8a\r\n"},
    };
    for (const auto& c : cases) {
        GrowText line;
        ASSERT_TRUE(encodeHandOverLine(c.first, line));
        EXPECT_EQ(std::string(line.c_str(), line.size()), c.second) << c.first;
    }
}

}  // namespace
}  // namespace zorvo
