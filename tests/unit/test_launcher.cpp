// The command-line tail, the internal prefix, message composition and the
// download page's question.
#include <gtest/gtest.h>

#include <string>

#include "launcher/command_line.h"
#include "launcher/download_page.h"
#include "services/message_text.h"

namespace zorvo {
namespace {

TEST(CommandLineTail, SkipsTheProgramNameLikeThePlatformStartUp) {
    struct {
        const char* line;
        const char* tail;
    } cases[] = {
        {"app.exe", ""},
        {"app.exe a b", "a b"},
        {"app.exe   \t a  b ", "a  b "},
        {"\"C:\\Program Files\\My App\\app.exe\" -x \"y z\"", "-x \"y z\""},
        {"\"C:\\My App\\app.exe\"-x", "-x"},
        {"\"unterminated quote", ""},
        {"  \tapp.exe arg", "arg"},
        {"app\"x\".exe rest", "rest"},
        {"", ""},
        {"app.exe\targ", "arg"},
        {"\"\" arg", "arg"},
    };
    for (const auto& c : cases) EXPECT_STREQ(commandLineTail(c.line), c.tail) << c.line;
    EXPECT_STREQ(commandLineTail(nullptr), "");
}

TEST(CommandLineTail, InternalPrefixComparesTheFirstFifteenBytes) {
    for (const char* line : {"-q_qbk_internal", "-q_qbk_internal more args", "-q_qbk_internalX"})
        EXPECT_TRUE(hasInternalPrefix(line)) << line;
    for (const char* line : {"-Q_QBK_INTERNAL", "-q_qbk_interna", " -q_qbk_internal", ""})
        EXPECT_FALSE(hasInternalPrefix(line)) << line;
    EXPECT_FALSE(hasInternalPrefix(nullptr));
}

std::string replaced(const char* text, const char* placeholder, const char* value) {
    Text<kTextSize> t(text);
    replaceFirstPlaceholder(t, placeholder, value);
    return t.c_str();
}

TEST(MessageText, OnlyTheFirstOccurrenceIsReplaced) {
    EXPECT_EQ(replaced("code %ERROR_CODE% and %ERROR_CODE%", "%ERROR_CODE%", "16"), "code 16 and %ERROR_CODE%");
    EXPECT_EQ(replaced("no placeholder here", "%ERROR_CODE%", "16"), "no placeholder here");
    EXPECT_EQ(replaced("The %ENV_VAR_NAME% variable", "%ENV_VAR_NAME%", ""), "The  variable");
    EXPECT_EQ(replaced("%FILE_NAME%", "%FILE_NAME%", "a.jar"), "a.jar");
    EXPECT_EQ(replaced("%error_code%", "%ERROR_CODE%", "7"), "%error_code%");
    // A value that itself holds the placeholder is not replaced again.
    EXPECT_EQ(replaced("x %P% y", "%P%", "%P%%P%"), "x %P%%P% y");
}

TEST(MessageText, ResultLongerThanTheBufferIsCutAtTheBuffer) {
    // A result of exactly 8191 characters fits whole; one more is cut.
    for (size_t extra : {0, 1}) {
        Text<kTextSize> exact("a%V%b");
        std::string value(kTextSize - 1 - 2 + extra, 'v');
        replaceFirstPlaceholder(exact, "%V%", value.c_str());
        EXPECT_EQ(exact.truncated(), extra == 1);
        EXPECT_EQ(exact.size(), kTextSize - 1);
        EXPECT_EQ(exact.c_str()[kTextSize - 2], extra == 1 ? 'v' : 'b');
    }
    std::string text = "head %V% tail";
    std::string value(9000, 'v');
    Text<kTextSize> t(text.c_str());
    EXPECT_TRUE(replaceFirstPlaceholder(t, "%V%", value.c_str()));
    EXPECT_EQ(t.size(), kTextSize - 1);
    EXPECT_TRUE(t.truncated());
    EXPECT_EQ(std::string(t.c_str()).substr(0, 5), "head ");
    EXPECT_EQ(t.c_str()[kTextSize - 2], 'v');
}

TEST(MessageText, TheDownloadQuestionFollowsTheMessageAndNeverLosesTheAddress) {
    const char* address = "https://example.com/java";
    const std::string tail = "Open the download page?\r\nhttps://example.com/java";
    auto composed = [&](const std::string& message) {
        Text<kTextSize> t;
        composeDownloadQuestion(t, message.c_str(), address);
        return std::string(t.c_str());
    };
    EXPECT_EQ(composed("No Java.\r\nInstall one."), "No Java.\r\nInstall one.\r\n\r\n" + tail);
    EXPECT_EQ(composed(""), tail);
    // A message that leaves no room is cut; the question and the address stay whole.
    const size_t room = kTextSize - 1 - 4 - tail.size();
    for (size_t length : {room, room + 1, kTextSize - 1}) {
        std::string text = composed(std::string(length, 'm'));
        EXPECT_EQ(text, std::string(room, 'm') + "\r\n\r\n" + tail) << length;
    }
}

TEST(TextBuffer, NeverWritesPastItsCapacityAndRemembersCuts) {
    Text<8> t;
    EXPECT_TRUE(t.assign("abc"));
    EXPECT_FALSE(t.truncated());
    EXPECT_FALSE(t.append("defgh"));
    EXPECT_STREQ(t.c_str(), "abcdefg");
    EXPECT_TRUE(t.truncated());
    EXPECT_FALSE(t.appendChar('x'));
    EXPECT_STREQ(t.c_str(), "abcdefg");
    t.clear();
    EXPECT_FALSE(t.truncated());
    EXPECT_TRUE(t.appendFormat("%d-%s", 12, "ab"));
    EXPECT_STREQ(t.c_str(), "12-ab");
    EXPECT_FALSE(t.appendFormat("%s", "xyz"));
    EXPECT_STREQ(t.c_str(), "12-abxy");
    EXPECT_EQ(t.size(), 7u);
    // Exactly the capacity less the terminator fits, by every operation.
    Text<8> full;
    EXPECT_TRUE(full.assign("abcdefg"));
    EXPECT_TRUE(full.appendFormat("%s", ""));
    EXPECT_FALSE(full.truncated());
    EXPECT_FALSE(full.appendChar('h'));
    EXPECT_STREQ(full.c_str(), "abcdefg");
    Text<8> formatted;
    EXPECT_TRUE(formatted.appendFormat("%s%d", "abcdef", 7));
    EXPECT_FALSE(formatted.truncated());
    EXPECT_EQ(formatted.size(), 7u);
    EXPECT_FALSE(formatted.assign("abcdefgh"));
    EXPECT_STREQ(formatted.c_str(), "abcdefg");
    // A platform call that reports a result at or above the capacity failed.
    Text<8> p;
    EXPECT_FALSE(p.adoptPlatformResult(8));
    EXPECT_STREQ(p.c_str(), "");
    memcpy(p.data(), "C:\\a", 5);
    EXPECT_TRUE(p.adoptPlatformResult(4));
    EXPECT_EQ(p.size(), 4u);
    memcpy(p.data(), "C:\\abcd", 8);
    EXPECT_TRUE(p.adoptPlatformResult(7));
    EXPECT_STREQ(p.c_str(), "C:\\abcd");
}

}  // namespace
}  // namespace zorvo
