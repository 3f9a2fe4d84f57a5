// Wide texts carried as UTF-8 and handed to Java as UTF-16 again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/utf8.h"

namespace zorvo {
namespace {

std::string encode(const std::u16string& text) {
    std::vector<uint16_t> units(text.begin(), text.end());
    units.push_back(0);
    std::string out(utf8Length(units.data()), '\0');
    std::vector<char> buffer(out.size() + 1, 'x');
    encodeUtf8(units.data(), buffer.data());
    EXPECT_EQ(buffer[out.size()], '\0');
    return std::string(buffer.data());
}

std::u16string decode(const std::string& text, size_t capacity = 100) {
    std::vector<uint16_t> units(capacity);
    size_t n = decodeUtf8(text.c_str(), units.data(), capacity);
    return std::u16string(units.begin(), units.begin() + static_cast<long>(n));
}

TEST(Utf8, WideTextsGoThereAndBackUnchanged) {
    struct Case {
        std::u16string wide;
        std::string utf8;
    } cases[] = {
        {u"plain -Dx=\"a b\"", "plain -Dx=\"a b\""},
        {u"caf\u00e9 \u0080", "caf\xC3\xA9 \xC2\x80"},
        {u"\u0394\u03bf\u03ba\u03b9\u03bc\u03ae \u20ac.txt", "\xCE\x94\xCE\xBF\xCE\xBA\xCE\xB9\xCE\xBC\xCE\xAE \xE2\x82\xAC.txt"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        // Lone surrogates, which a Windows command line may hold, are kept.
        {std::u16string(1, u'\xD800') + u"a" + std::u16string(1, u'\xDFFF'), "\xED\xA0\x80" "a\xED\xBF\xBF"},
        {u"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(encode(c.wide), c.utf8);
        EXPECT_EQ(decode(c.utf8), c.wide);
    }
}

TEST(Utf8, BytesOutsideWellFormedSequencesStandForThemselves) {
    // A stray continuation byte, a cut sequence, overlong forms and values
    // beyond U+10FFFF: each byte becomes the character of its value.
    EXPECT_EQ(decode("\x80z"), u"\u0080z");
    EXPECT_EQ(decode("\xE2\x82"), u"\u00e2\u0082");
    EXPECT_EQ(decode("\xC0\xAF"), u"\u00c0\u00af");
    EXPECT_EQ(decode("\xE0\x80\xAF"), u"\u00e0\u0080\u00af");
    EXPECT_EQ(decode("\xF4\x90\x80\x80"), u"\u00f4\u0090\u0080\u0080");
    EXPECT_EQ(decode("\xFF\xE9"), u"\u00ff\u00e9");
}

TEST(Utf8, DecodingStopsAtTheCapacityWithoutSplittingAPair) {
    EXPECT_EQ(decode("abcdef", 4), u"abcd");
    EXPECT_EQ(decode("ab\xF0\x9F\x98\x80", 3), u"ab");
    EXPECT_EQ(decode("ab\xF0\x9F\x98\x80", 4), u"ab\U0001F600");
    EXPECT_EQ(decode("\xE2\x82\xAC", 0), u"");
}

}  // namespace
}  // namespace zorvo
