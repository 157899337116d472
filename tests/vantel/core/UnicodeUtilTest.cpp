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


// The tables hold Unicode 17.0 where that data exists: characters new in 17.0, the one
// category change, and the emoji properties as 17.0 has them.
TEST(UnicodeUtilTest, Unicode17Properties) {
    using G = GeneralCategory;
    // Scalar, category, Alphabetic, Emoji, Extended_Pictographic.
    const std::tuple<char32_t, G, bool, bool, bool> cases[] = {
        {0x10940, G::Lo, true, false, false},   // a script new in 17.0
        {0x0295, G::Lo, true, false, false},    // Ll before 17.0
        {0x1FAEF, G::So, false, true, true},    // a new emoji
        {0x2701, G::So, false, false, false},   // no longer pictographic
        {0x05D0, G::Lo, true, false, false},    {0x0661, G::Nd, false, false, false},
        {0x0030, G::Nd, false, true, false},    {0x064E, G::Mn, true, false, false},
        {0x110000, G::Cn, false, false, false},
    };
    EXPECT_STREQ(ucd::unicodeVersion, "17.0.0");
    for (const auto& [c, category, alphabetic, emoji, pictographic] : cases) {
        EXPECT_EQ(std::tuple(UnicodeUtil::generalCategory(c), UnicodeUtil::isAlphabetic(c), UnicodeUtil::isEmoji(c),
                             (ucd::properties(c).flags & ucd::flagExtendedPictographic) != 0),
                  std::tuple(category, alphabetic, emoji, pictographic)) << hex(c);
    }
}
