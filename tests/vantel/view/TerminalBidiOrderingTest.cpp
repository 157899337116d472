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
        bool expected, written = false;  // written: straight into the cells (printing drops lone controls)
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

// Marks and the first letter decide; digits, punctuation and overrides do not.
TEST(TerminalBidiOrderingTest, DetectedBaseDirection) {
    const std::tuple<std::u32string, BidiDirection, BidiDirection> cases[] = {
        {U"\u200F abc", ltr, rtl},   {U"123 \u05E9\u05DC", ltr, rtl}, {U"abc \u05E9", rtl, ltr},
        {U"\u202E 123 !", ltr, ltr}, {U"\u200E\u05E9", rtl, ltr},      {U"", rtl, rtl},
    };
    for (const auto& [text, fallback, expected] : cases) {
        EXPECT_EQ(TerminalBidi::detectedBaseDirection(cellsOf(text), fallback), expected) << toUtf8(text);
    }
}

TEST(TerminalBidiOrderingTest, ProbeScalar) {
    const std::pair<Character, char16_t> cases[] = {
        {U"", u' '},            {U"a", u'a'},             {U"\u0301", u'\u00B7'},  {U"\u064E", u'\u00B7'},
        {U"\u20DD", u'\u00B7'}, {U"\u0628", u'\u0621'},   {U"\u06FF", u'\u0621'},  {U"\u200D", u'\u0621'},
        {U"\u05D0", u'\u05D0'}, {U"\u0661", u'\u0661'},   {U"\U00010800", u'\u200F'}, {U"\U0001E900", u'\u200F'},
        {U"\U0001F600", u'\u00B7'}, {U"a\u0301", u'a'},   {U"\u200F", u'\u200F'},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(TerminalBidi::probeScalar(text), expected) << toUtf8(text);
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
        {U"a\u2029b", ltr, 0, 3, {}, {}},  // a line may not cross a paragraph separator: nothing
    };
    for (const Case& tc : cases) {
        auto typesetter = TerminalBidi::makeTypesetter(cellsOf(tc.text), tc.base);
        ASSERT_TRUE(typesetter);
        auto visual = TerminalBidi::computeVisualOrder(tc.lo, tc.hi, *typesetter, tc.base);
        ASSERT_EQ(visual.has_value(), tc.text != U"a\u2029b") << toUtf8(tc.text);
        if (!visual) continue;
        EXPECT_EQ(visual->order, tc.order) << toUtf8(tc.text);
        EXPECT_EQ(visual->rtl, tc.rtl) << toUtf8(tc.text);
    }
    EXPECT_FALSE(TerminalBidi::makeTypesetter({}, ltr));
}

// Cells that have no glyph take their nearest neighbour's direction and stand beside their
// logical neighbour; duplicate and foreign glyphs are ignored.
TEST(TerminalBidiOrderingTest, MissingGlyphsAreFilledIn) {
    // Name, glyphs, lo, n, base, order, rtl.
    const std::tuple<const char*, std::vector<Glyph>, int, int, BidiDirection, std::vector<int>, std::vector<bool>>
        cases[] = {
        {"left-to-right gap", {{10, 0, false}, {12, 1, false}}, 10, 3, ltr, {0, 1, 2}, {false, false, false}},
        {"right-to-left gap", {{12, 0, true}, {10, 1, true}}, 10, 3, ltr, {2, 1, 0}, {true, true, true}},
        {"gap at the start takes the next cell's side", {{1, 0, true}}, 0, 2, ltr, {1, 0}, {true, true}},
        {"no glyphs in a right-to-left paragraph", {}, 0, 3, rtl, {2, 1, 0}, {true, true, true}},
        {"duplicates and foreign indices", {{0, 0, false}, {0, 1, false}, {7, 2, true}, {1, 3, false}}, 0, 2, ltr,
         {0, 1}, {false, false}},
        {"equal positions keep logical order", {{1, 0, false}, {0, 0, false}}, 0, 2, ltr, {0, 1}, {false, false}},
    };
    for (const auto& [name, glyphs, lo, n, base, order, rtl] : cases) {
        auto visual = TerminalBidi::visualOrderFromGlyphs(glyphs, lo, n, base);
        ASSERT_TRUE(visual) << name;
        EXPECT_EQ(std::tie(visual->order, visual->rtl), std::tie(order, rtl)) << name;
    }
}
