#include <gtest/gtest.h>

#include "support/BufferTextFill.h"
#include "support/TerminalTestSupport.h"
#include "vantel/view/TerminalBidi.h"

using namespace vantel;
using vantel::testing::TestTerminal;
using Glyph = platform::gfx::BidiTypesetter::Glyph;
constexpr auto ltr = BidiDirection::leftToRight;
constexpr auto rtl = BidiDirection::rightToLeft;

namespace {

std::vector<TerminalBidi::Cell> cellsOf(std::u32string_view text) {
    std::vector<TerminalBidi::Cell> cells;
    for (char32_t c : text) cells.push_back({0, static_cast<int>(cells.size()), 1, Character(1, c)});
    return cells;
}

}  // namespace

TEST(TerminalBidiOrderingTest, MayNeedBidi) {
    struct Case {
        const char* name;
        const char* fed;  // printed through the terminal, so that clusters get grapheme codes
        int cols;
        bool expected;
        bool written = false;  // put straight into the cells (printing drops lone format controls)
    } cases[] = {
        {"latin", "hello, world", 20, false},
        {"hebrew", "abc \xD7\xA9", 20, true},
        {"only a right-to-left mark", "abc\xE2\x80\x8F", 20, true, true},
        {"only an override", "\xE2\x80\xAE" "123", 20, true, true},
        {"only a left-to-right mark", "\xE2\x80\x8E" "abc", 20, false, true},
        {"emoji sequence", "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x92\xBB", 20, false},
        {"hebrew letter with a point", "\xD7\x90\xD6\xB4", 20, true},
        {"candidate past the columns looked at", "abcd\xD7\xA9", 4, false},
        {"empty row", "", 20, false},
        {"no columns", "\xD7\xA9", 0, false},
    };
    for (const Case& tc : cases) {
        TestTerminal t(20, 3);
        if (tc.written) vantel::testing::writeCells(t->buffer(), 0, tc.fed);
        else t.feed(tc.fed);
        EXPECT_EQ(TerminalBidi::mayNeedBidi(t->buffer().lines()[0], tc.cols, *t), tc.expected) << tc.name;
    }
}

TEST(TerminalBidiOrderingTest, DetectedBaseDirection) {
    struct Case {
        const char* name;
        std::u32string text;
        BidiDirection fallback;
        BidiDirection expected;
    } cases[] = {
        {"right-to-left mark before any letter", U"\u200F abc", ltr, rtl},
        {"digits do not decide", U"123 \u05E9\u05DC", ltr, rtl},
        {"the first letter decides", U"abc \u05E9", rtl, ltr},
        {"an override does not decide", U"\u202E 123 !", ltr, ltr},
        {"nor an isolate", U"\u2067 .", rtl, rtl},
        {"left-to-right mark", U"\u200E\u05E9", rtl, ltr},
        {"arabic letter", U"\u0628x", ltr, rtl},
        {"nothing", U"", rtl, rtl},
    };
    for (const Case& tc : cases) {
        EXPECT_EQ(TerminalBidi::detectedBaseDirection(cellsOf(tc.text), tc.fallback), tc.expected) << tc.name;
    }
}

TEST(TerminalBidiOrderingTest, ProbeScalar) {
    struct Case {
        Character text;
        char16_t expected;
    } cases[] = {
        {U"", u' '},            {U"a", u'a'},             {U"\u0301", u'\u00B7'},  {U"\u064E", u'\u00B7'},
        {U"\u20DD", u'\u00B7'}, {U"\u0628", u'\u0621'},   {U"\u06FF", u'\u0621'},  {U"\u200D", u'\u0621'},
        {U"\u05D0", u'\u05D0'}, {U"\u0661", u'\u0661'},   {U"\U00010800", u'\u200F'}, {U"\U0001E900", u'\u200F'},
        {U"\U0001F600", u'\u00B7'}, {U"a\u0301", u'a'},   {U"\u200F", u'\u200F'},
    };
    for (const Case& tc : cases) EXPECT_EQ(TerminalBidi::probeScalar(tc.text), tc.expected) << toUtf8(tc.text);
}

TEST(TerminalBidiOrderingTest, VisualOrderOfMixedText) {
    struct Case {
        std::u32string text;
        BidiDirection base;
        int lo, hi;
        std::vector<int> order;
        std::vector<bool> rtl;
    } cases[] = {
        {U"abc\u0628\u062A\u062B", ltr, 0, 6, {0, 1, 2, 5, 4, 3}, {false, false, false, true, true, true}},
        {U"abc\u0628\u062A\u062B", rtl, 0, 6, {5, 4, 3, 0, 1, 2}, {false, false, false, true, true, true}},
        {U"abc\u0628\u062A\u062B", rtl, 2, 5, {2, 1, 0}, {false, true, true}},  // one line of the paragraph
        {U"\u05D0 12 \u05D1", rtl, 0, 6, {5, 4, 2, 3, 1, 0}, {true, true, false, false, true, true}},
        {U"abc", ltr, 1, 1, {}, {}},
    };
    for (const Case& tc : cases) {
        auto typesetter = TerminalBidi::makeTypesetter(cellsOf(tc.text), tc.base);
        ASSERT_TRUE(typesetter);
        auto visual = TerminalBidi::computeVisualOrder(tc.lo, tc.hi, *typesetter, tc.base);
        ASSERT_TRUE(visual) << toUtf8(tc.text);
        EXPECT_EQ(visual->order, tc.order) << toUtf8(tc.text);
        EXPECT_EQ(visual->rtl, tc.rtl) << toUtf8(tc.text);
    }
    EXPECT_FALSE(TerminalBidi::makeTypesetter({}, ltr));
}

// Cells that have no glyph take their nearest neighbour's direction and stand beside their
// logical neighbour; duplicate and foreign glyphs are ignored.
TEST(TerminalBidiOrderingTest, MissingGlyphsAreFilledIn) {
    struct Case {
        const char* name;
        std::vector<Glyph> glyphs;
        int lo, n;
        BidiDirection base;
        std::vector<int> order;
        std::vector<bool> rtl;
    } cases[] = {
        {"left-to-right gap", {{10, 0, false}, {12, 1, false}}, 10, 3, ltr, {0, 1, 2}, {false, false, false}},
        {"right-to-left gap", {{12, 0, true}, {10, 1, true}}, 10, 3, ltr, {2, 1, 0}, {true, true, true}},
        {"gap at the start takes the next cell's side", {{1, 0, true}}, 0, 2, ltr, {1, 0}, {true, true}},
        {"no glyphs in a right-to-left paragraph", {}, 0, 3, rtl, {2, 1, 0}, {true, true, true}},
        {"no glyphs in a left-to-right paragraph", {}, 0, 2, ltr, {0, 1}, {false, false}},
        {"duplicates and foreign indices", {{0, 0, false}, {0, 1, false}, {7, 2, true}, {1, 3, false}}, 0, 2, ltr,
         {0, 1}, {false, false}},
        {"equal positions keep logical order", {{1, 0, false}, {0, 0, false}}, 0, 2, ltr, {0, 1}, {false, false}},
    };
    for (const Case& tc : cases) {
        auto visual = TerminalBidi::visualOrderFromGlyphs(tc.glyphs, tc.lo, tc.n, tc.base);
        ASSERT_TRUE(visual) << tc.name;
        EXPECT_EQ(visual->order, tc.order) << tc.name;
        EXPECT_EQ(visual->rtl, tc.rtl) << tc.name;
    }
}
