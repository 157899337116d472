#include <gtest/gtest.h>

#include <cstdio>

#include "vantel/core/UnicodeUtil.h"

using namespace vantel;

namespace {

std::string hex(char32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
    return buf;
}

}  // namespace

TEST(UnicodeUtilTest, ColumnWidths) {
    struct Case {
        char32_t c;
        int width;
    };
    const Case cases[] = {
        {0x0000, 0},  {0x0007, -1}, {0x001F, -1}, {U'A', 1},    {0x007E, 1},    {0x007F, -1},
        {0x009B, -1}, {0x009F, -1}, {0x00A0, 1},  {0x00AD, 1},  {0x200B, 0},    {0x0301, 0},
        {0x0903, 0},  {0x20DD, 0},  {0x1100, 2},  {0x115F, 2},  {0x1160, 0},    {0x11FF, 0},
        {0xAC00, 2},  {0xD7A3, 2},  {0xD7B0, 0},  {0xD7FF, 0},  {0x1F600, 2},   {0x1F3FB, 0},
        {0x1F3FF, 0}, {0x1F1E6, 2}, {0x1F1FF, 2}, {0xFF3E, 2},  {0xFF40, 2},    {0xFFE3, 2},
        {0xFF61, 1},  {0x2028, 0},  {0x2029, 0},  {0x4E00, 2},  {0x20000, 2},   {0x3FFFD, 2},
        {0x3FFFE, 1}, {0xFEFF, 0},  {0xE0001, 0}, {0x231A, 2},  {0x2764, 1},    {0x10FFFF, 1},
        {0x110000, 1}, {0xFFFFFFFF, 1}, {0x1FAEF, 2},  // listed wide though unassigned in the data
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(UnicodeUtil::computeColumnWidth(tc.c), tc.width) << hex(tc.c);
    }
}

TEST(UnicodeUtilTest, LowPlaneTableMatchesComputation) {
    const auto& low = UnicodeUtil::lowPlaneWidths();
    ASSERT_EQ(low.size(), 0x2000u);
    for (char32_t c = 0; c < 0x2000; ++c) {
        ASSERT_EQ(low[c], UnicodeUtil::computeColumnWidth(c)) << hex(c);
    }
    EXPECT_EQ(&low, &UnicodeUtil::lowPlaneWidths());
}

TEST(UnicodeUtilTest, WidthsStayInRangeForEveryCodePoint) {
    for (char32_t c = 0; c <= 0x10FFFF; ++c) {
        int w = UnicodeUtil::computeColumnWidth(c);
        ASSERT_TRUE(w >= -1 && w <= 2) << hex(c);
        if (w == -1) {
            ASSERT_TRUE(c < 0x20 || (c >= 0x7F && c < 0xA0)) << hex(c);
        }
    }
}

TEST(UnicodeUtilTest, LeadByteTable) {
    struct Span {
        int from, to;
        uint8_t value;
    };
    const Span spans[] = {
        {0x00, 0x7F, 0xF0}, {0x80, 0xC1, 0xF1}, {0xC2, 0xDF, 0x02}, {0xE0, 0xE0, 0x13},
        {0xE1, 0xEC, 0x03}, {0xED, 0xED, 0x23}, {0xEE, 0xEF, 0x03}, {0xF0, 0xF0, 0x34},
        {0xF1, 0xF3, 0x04}, {0xF4, 0xF4, 0x44}, {0xF5, 0xFF, 0xF1},
    };
    int next = 0;
    for (const Span& s : spans) {
        ASSERT_EQ(s.from, next);
        for (int b = s.from; b <= s.to; ++b) EXPECT_EQ(UnicodeUtil::first[b], s.value) << "byte " << b;
        next = s.to + 1;
    }
    EXPECT_EQ(next, 256);
}

TEST(UnicodeUtilTest, Bisearch) {
    const UnicodeUtil::LH table[] = {{0x10, 0x1F}, {0x30, 0x30}, {0x40, 0x4F}};
    struct Case {
        char32_t c;
        int max;
        int expected;
    };
    const Case cases[] = {
        {0x0F, 2, 0}, {0x10, 2, 1}, {0x1F, 2, 1}, {0x20, 2, 0}, {0x30, 2, 1},
        {0x31, 2, 0}, {0x4F, 2, 1}, {0x50, 2, 0}, {0x40, 1, 0},  // past table[max]
        {0x10, 0, 1}, {0x30, 0, 0},
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(UnicodeUtil::bisearch(tc.c, table, tc.max), tc.expected) << hex(tc.c) << " max " << tc.max;
    }
}

TEST(UnicodeUtilTest, RangeTablesHaveTheirSizeAndEnds) {
    const auto& wide = UnicodeUtil::wideCharacterTable;
    const auto& pres = UnicodeUtil::presentationSequenceTable;
    EXPECT_EQ(wide.front().lo, 0x1100u);
    EXPECT_EQ(wide.back().hi, 0x3FFFDu);
    EXPECT_EQ(pres.front().lo, 0x23u);
    EXPECT_EQ(pres.back().hi, 0x1F6F3u);
}

TEST(UnicodeUtilTest, PresentationSequenceBases) {
    struct Case {
        char32_t c;
        bool base;
    };
    const Case cases[] = {
        {U'#', true},     {U'*', true},     {U'0', true},     {U'9', true},     {U'A', false},
        {0x00A9, true},   {0x231A, true},   {0x2764, true},   {0x1F600, false}, {0x1F6F3, true},
        {0x1F6F4, false}, {0x0022, false},
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(UnicodeUtil::isPresentationSequenceBase(tc.c), tc.base) << hex(tc.c);
    }
}

TEST(UnicodeUtilTest, TextPresentation) {
    struct Case {
        Character ch;
        bool prefersText;
    };
    const Case cases[] = {
        {U"A", false},              // below U+0100
        {U"#", false},              // Emoji, but below U+0100
        {U"\u2764", true},          // text by default
        {U"\U0001F600", false},     // emoji by default
        {U"\u2764\uFE0F", false},   // more than one scalar
        {U"", false},
        {U"\u4E00", false},         // not an emoji at all
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(UnicodeUtil::prefersTextPresentation(tc.ch), tc.prefersText) << toUtf8(tc.ch);
        Character expected = tc.ch;
        if (tc.prefersText) expected.push_back(0xFE0E);
        EXPECT_EQ(UnicodeUtil::textPresentationAdjusted(tc.ch), expected) << toUtf8(tc.ch);
    }
}

TEST(UnicodeUtilTest, PropertyAccessors) {
    EXPECT_EQ(UnicodeUtil::generalCategory(U'A'), GeneralCategory::Lu);
    EXPECT_EQ(UnicodeUtil::generalCategory(0x0301), GeneralCategory::Mn);
    EXPECT_EQ(UnicodeUtil::generalCategory(0x0903), GeneralCategory::Mc);
    EXPECT_EQ(UnicodeUtil::generalCategory(0x00AD), GeneralCategory::Cf);
    EXPECT_EQ(UnicodeUtil::generalCategory(0xD800), GeneralCategory::Cs);
    EXPECT_EQ(UnicodeUtil::generalCategory(0xE000), GeneralCategory::Co);
    EXPECT_EQ(UnicodeUtil::generalCategory(0x0378), GeneralCategory::Cn);
    EXPECT_EQ(UnicodeUtil::generalCategory(0x110000), GeneralCategory::Cn);

    EXPECT_EQ(UnicodeUtil::canonicalCombiningClass(U'a'), 0);
    EXPECT_EQ(UnicodeUtil::canonicalCombiningClass(0x0301), 230);
    EXPECT_EQ(UnicodeUtil::canonicalCombiningClass(0x0316), 220);
    EXPECT_EQ(UnicodeUtil::canonicalCombiningClass(0x094D), 9);

    EXPECT_EQ(UnicodeUtil::eastAsianWidth(U'a'), EastAsianWidth::Narrow);
    EXPECT_EQ(UnicodeUtil::eastAsianWidth(0x4E00), EastAsianWidth::Wide);
    EXPECT_EQ(UnicodeUtil::eastAsianWidth(0x3400), EastAsianWidth::Wide);
    EXPECT_EQ(UnicodeUtil::eastAsianWidth(0xFF01), EastAsianWidth::Fullwidth);
    EXPECT_EQ(UnicodeUtil::eastAsianWidth(0xFF61), EastAsianWidth::Halfwidth);
    EXPECT_EQ(UnicodeUtil::eastAsianWidth(0x00A1), EastAsianWidth::Ambiguous);
    EXPECT_EQ(UnicodeUtil::eastAsianWidth(0x0100), EastAsianWidth::Neutral);

    EXPECT_TRUE(UnicodeUtil::isEmoji(0x2764));
    EXPECT_FALSE(UnicodeUtil::isEmojiPresentation(0x2764));
    EXPECT_TRUE(UnicodeUtil::isEmojiPresentation(0x1F600));
    EXPECT_TRUE(UnicodeUtil::isExtendedPictographic(0x1F600));
    EXPECT_TRUE(UnicodeUtil::isExtendedPictographic(0x1FFFD));  // reserved for future pictographs
    EXPECT_FALSE(UnicodeUtil::isExtendedPictographic(U'#'));
    EXPECT_TRUE(UnicodeUtil::isEmoji(U'#'));
    EXPECT_FALSE(UnicodeUtil::isEmoji(U'A'));
}
