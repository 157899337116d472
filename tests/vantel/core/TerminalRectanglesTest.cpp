#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

// Fills a 6 x 4 screen with rows that read "abcdef", "ghijkl", "mnopqr", "stuvwx".
void letter(TestTerminal& t) {
    ASSERT_EQ(t->cols(), 6);
    char32_t c = 'a';
    for (int row = 0; row < 4; ++row) {
        BufferLine& line = t->buffer().lines()[row];
        for (int col = 0; col < 6; ++col) line.setCell(col, CharData(Attribute::defaultAttribute, c++, 1));
    }
    t->clearUpdateRange();
}

std::vector<std::string> screen(TestTerminal& t) {
    std::vector<std::string> rows;
    for (int row = 0; row < t->rows(); ++row) {
        std::string text;
        for (int col = 0; col < t->cols(); ++col) {
            const int32_t code = t->buffer().lines()[row][col].code;
            text += code == 0 ? '.' : code == ' ' ? '_' : static_cast<char>(code);
        }
        rows.push_back(text);
    }
    return rows;
}

using Rect = Terminal::RectangularArea;

}  // namespace

TEST(TerminalRectanglesTest, RequestsBecomeScreenRectangles) {
    struct Case {
        std::vector<int> pars;
        bool originMode;
        std::optional<Rect> rect;
    } cases[] = {
        {{}, false, Rect{0, 0, 24, 79}},
        {{0, 0, 0, 0}, false, Rect{0, 0, 24, 79}},
        {{2, 3, 4, 5}, false, Rect{1, 2, 3, 4}},
        {{2, 2, 1, 1}, false, std::nullopt},
        {{1, 1, 99, 999}, false, Rect{0, 0, 24, 79}},
        {{30, 1, 40, 1}, false, std::nullopt},
        {{1, 1, 1, 1}, true, Rect{5, 2, 5, 2}},
        {{1, 1, 25, 80}, true, Rect{5, 2, 24, 79}},
        {{65535, 65535, 65535, 65535}, true, std::nullopt},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t->buffer().setScrollTop(5);
        t->buffer().marginLeft = 2;
        t->originMode = c.originMode;
        EXPECT_EQ(t->getRectangleFromRequest(c.pars), c.rect) << ::testing::PrintToString(c.pars);
    }
}

TEST(TerminalRectanglesTest, CopyEraseAndFill) {
    struct Case {
        const char* input;
        std::vector<std::string> screen;
    } cases[] = {
        // DECCRA: a block one row down and right overlaps its source and still copies the original.
        {"\x1b[1;1;2;3;1;2;2;1$v", {"abcdef", "gabckl", "mghiqr", "stuvwx"}},
        {"\x1b[2;2;3;4;1;1;1;1$v", {"hijdef", "nopjkl", "mnopqr", "stuvwx"}},
        // Cut off at the right edge and the last row.
        {"\x1b[1;1;2;3;1;4;5;1$v", {"abcdef", "ghijkl", "mnopqr", "stuvab"}},
        {"\x1b[1;1;2;3;1;2;2;2$v", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[1;1;2;3;2;2;2;1$v", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[1;1;2;3;1;2;2v", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
        // DECERA, DECSERA, DECFRA.
        {"\x1b[$z", {"______", "______", "______", "______"}},
        {"\x1b[2;2;1;1$z", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[2;2;3;3$z", {"abcdef", "g__jkl", "m__pqr", "stuvwx"}},
        {"\x1b[2;5${", {"abcdef", "ghij__", "mnop__", "stuv__"}},
        {"\x1b[2;2;3;3{", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[42;1;1;1;2$x", {"**cdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[55296;1;1;1;1$x", {"_bcdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[$x", {"......", "......", "......", "......"}},
        {"\x1b[42;3;3;2;2$x", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[42;1;1;1;2x", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
        {"\x1b[1;1;1;1'z", {"abcdef", "ghijkl", "mnopqr", "stuvwx"}},
    };
    for (const auto& c : cases) {
        TestTerminal t(6, 4);
    letter(t);
        ::testing::internal::CaptureStdout();
        t.feed(c.input);
        ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(screen(t), c.screen) << ::testing::PrintToString(std::string(c.input));
    }
}

TEST(TerminalRectanglesTest, ErasedAndFilledCellsTakeTheCurrentAttribute) {
    TestTerminal t(6, 4);
    letter(t);
    const Attribute red(Attribute::Color::ansi256(1), Attribute::Color::ansi256(4),
                        CharacterStyle(CharacterStyle::bold), UnderlineStyle::curly);
    t->buffer().lines()[0].setCell(0, CharData('a', 1, TinyAtom(), 3, red));
    t->buffer().lines()[0].setCell(1, CharData('b', 1, TinyAtom(), 3, red));
    t.feed("\x1b[1;1;1;1${");
    EXPECT_EQ(t->buffer().lines()[0][0], CharData(' ', 1, TinyAtom(), 3, red));
    t.feed("\x1b[32m\x1b[1;2;1;2$z");
    EXPECT_EQ(t->buffer().lines()[0][1], CharData(' ', 1, TinyAtom(), 0, t->curAttr));
    t.feed("\x1b[12354;3;3;3;3$x");
    EXPECT_EQ(t->buffer().lines()[2][2], CharData(0x3042, 1, TinyAtom(), 0, t->curAttr));
    // Changed rows are redrawn.
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(0, 2));
}

TEST(TerminalRectanglesTest, OriginModeOffsetsTheRectangle) {
    TestTerminal t(6, 4);
    letter(t);
    t->buffer().setScrollTop(2);
    t.feed("\x1b[?6h\x1b[1;1;1;1$z");
    EXPECT_EQ(screen(t), (std::vector<std::string>{"abcdef", "ghijkl", "_nopqr", "stuvwx"}));
    // The copy's destination is not moved by origin mode.
    t.feed("\x1b[2;2;2;2;1;1;1;1$v");
    EXPECT_EQ(screen(t), (std::vector<std::string>{"tbcdef", "ghijkl", "_nopqr", "stuvwx"}));
}

TEST(TerminalRectanglesTest, OtherIntermediatesAreLogged) {
    const std::pair<const char*, const char*> cases[] = {
        {"\x1b[#{", "Info: CSI # { not implemented - XTPUSHSGR with [0]\n"},
        {"\x1b[1;2x", "Info: Not implemented CSI x with collect: collect=[] and pars=[1, 2]\n"},
        {"\x1b[1#x", "Info: Not implemented CSI x with collect: collect=[35] and pars=[1]\n"},
        {"\x1b['z", "TODO: Enable Locator Reporting (DECELR)\n"},
        {"\x1b[#z", ""},
    };
    for (const auto& [input, line] : cases) {
        TestTerminal t;
        t->silentLog = false;
        ::testing::internal::CaptureStdout();
        t.feed(input);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), line) << ::testing::PrintToString(std::string(input));
    }
}

TEST(TerminalRectanglesTest, PresentationDirection) {
    struct Case {
        const char* input;
        BidiDirection initial;
        BidiDirection expected;
    } cases[] = {
        {"\x1b[3 S", BidiDirection::leftToRight, BidiDirection::rightToLeft},
        {"\x1b[3 S\x1b[ S", BidiDirection::leftToRight, BidiDirection::leftToRight},
        {"\x1b[3 S\x1b[1 S", BidiDirection::leftToRight, BidiDirection::rightToLeft},
        {"\x1b[2 k", BidiDirection::leftToRight, BidiDirection::rightToLeft},
        {"\x1b[2 k\x1b[1 k", BidiDirection::leftToRight, BidiDirection::leftToRight},
        {"\x1b[0 k", BidiDirection::rightToLeft, BidiDirection::rightToLeft},
        {"\x1b[1 k\x1b[ k", BidiDirection::rightToLeft, BidiDirection::rightToLeft},
        {"\x1b[1 k\x1b[3 k", BidiDirection::rightToLeft, BidiDirection::leftToRight},
        {"\x1b[2k", BidiDirection::leftToRight, BidiDirection::leftToRight},
    };
    for (const auto& c : cases) {
        TestTerminal t(80, 25, [&](TerminalOptions& o) { o.initialBidiState.fallbackDirection = c.initial; });
        t.feed("\x1b[?1049h");
        t->clearUpdateRange();
        t.feed(c.input);
        EXPECT_EQ(t->currentBidiState.fallbackDirection, c.expected) << ::testing::PrintToString(std::string(c.input));
        EXPECT_EQ(t->normalBuffer().defaultBidiState, t->currentBidiState);
        EXPECT_EQ(t->altBuffer().defaultBidiState, t->currentBidiState);
    }
    TestTerminal t;
    t.feed("\x1b[3 S");
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(0, 25));
}
