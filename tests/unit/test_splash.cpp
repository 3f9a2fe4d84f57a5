// The splash window's placement, font height and status text conversion.
#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>

#include <string>
#include <vector>

#include "splash/splash_rules.h"

namespace zorvo {
namespace {

TEST(SplashRules, OriginCentresAndDropsTheHalfPixel) {
    EXPECT_EQ(splashOrigin(1024, 540), 242);
    EXPECT_EQ(splashOrigin(768, 399), 184);
    EXPECT_EQ(splashOrigin(1024, 541), 241);  // odd difference: 241.5 truncated
    EXPECT_EQ(splashOrigin(1024, 1024), 0);
    EXPECT_EQ(splashOrigin(1024, 0), 512);
    // A splash wider than the desktop sticks out on both sides, truncated
    // toward zero, not rounded down.
    EXPECT_EQ(splashOrigin(1024, 1025), 0);
    EXPECT_EQ(splashOrigin(1024, 1027), -1);
    // Extreme sizes from a damaged configuration do not overflow.
    EXPECT_EQ(splashOrigin(1024, INT_MIN), static_cast<int>((1024LL - INT_MIN) / 2));
    EXPECT_EQ(splashOrigin(0, INT_MAX), -(INT_MAX / 2));
}

TEST(SplashRules, MulDivRoundsHalvesAwayFromZero) {
    struct Case {
        int a, b, c, expected;
    } cases[] = {
        {10, 96, 72, 13},        // 13.33
        {9, 96, 72, 12},         // exactly 12
        {3, 1, 2, 2},            // 1.5 -> 2
        {-3, 1, 2, -2},          // -1.5 -> -2
        {3, -1, 2, -2},
        {3, 1, -2, -2},          // a negative divisor flips the sign
        {-3, -1, -2, -2},
        {5, 1, 4, 1},            // 1.25
        {7, 1, 4, 2},            // 1.75
        {INT_MAX, 2, 2, INT_MAX},  // the product does not overflow on the way
        {INT_MAX, 2, 1, -1},     // the result does not fit
        {INT_MIN, 1, 1, -1},
        {1, 1, 0, -1},           // no divisor
        {0, 5, 3, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mulDivRounded(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
    }
}

TEST(SplashRules, FontHeightIsTheNegativeCharacterHeight) {
    EXPECT_EQ(splashFontHeight(10, 96), -13);
    EXPECT_EQ(splashFontHeight(9, 96), -12);
    EXPECT_EQ(splashFontHeight(8, 96), -11);   // 10.67
    EXPECT_EQ(splashFontHeight(12, 120), -20);
    EXPECT_EQ(splashFontHeight(0, 96), 0);     // no size: the system's default height
}

std::string narrow(const std::u16string& units, size_t count, size_t capacity) {
    std::vector<char> dest(capacity, '#');
    size_t written = narrowStatusText(reinterpret_cast<const uint16_t*>(units.data()), count, dest.data(), capacity);
    EXPECT_EQ(dest[written], '\0');
    EXPECT_EQ(written, strlen(dest.data()));
    return std::string(dest.data(), written);
}

TEST(SplashRules, StatusTextKeepsLatin1AndStopsBeforeWiderUnits) {
    EXPECT_EQ(narrow(u"Loading", 7, 64), "Loading");
    EXPECT_EQ(narrow(u"\u00e9t\u00e9 \u00ff\u00a0", 6, 64), "\xe9t\xe9 \xff\xa0");
    EXPECT_EQ(narrow(u"abc\u0100def", 7, 64), "abc");      // U+0100 ends the text
    EXPECT_EQ(narrow(u"ab\u20acz", 4, 64), "ab");
    EXPECT_EQ(narrow(u"\u4e2d", 1, 64), "");
    EXPECT_EQ(narrow(u"\u0001\u001f\u007f", 3, 64), "\x01\x1f\x7f");
}

TEST(SplashRules, StatusTextIsBoundedByLengthZeroAndBuffer) {
    // The string's length bounds the text: what follows is not read.
    std::u16string withTail = u"Ready" u"WWWW";
    EXPECT_EQ(narrow(withTail, 5, 64), "Ready");
    EXPECT_EQ(narrow(std::u16string(u"Rea\0dy", 6), 6, 64), "Rea");  // a zero unit ends it too
    EXPECT_EQ(narrow(u"", 0, 64), "");
    // The buffer bounds it: 8191 bytes and the terminator, never more.
    std::u16string longText(9000, u'x');
    EXPECT_EQ(narrow(longText, longText.size(), 8192), std::string(8191, 'x'));
    EXPECT_EQ(narrow(u"abc", 3, 1), "");
    EXPECT_EQ(narrow(u"abc", 3, 3), "ab");
}

}  // namespace
}  // namespace zorvo
