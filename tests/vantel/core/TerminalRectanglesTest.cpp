#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

// A 6 x 4 screen that reads "abcdef/ghijkl/mnopqr/stuvwx".
struct Lettered : TestTerminal {
    Lettered() : TestTerminal(6, 4) {
        char32_t c = 'a';
        for (int row = 0; row < 4; ++row) {
            for (int col = 0; col < 6; ++col) {
                terminal->buffer().lines()[row].setCell(col, CharData(Attribute::defaultAttribute, c++, 1));
            }
        }
    }
    // Rows joined by '/'; empty cells read '.', spaces '_'.
    std::string screen() {
        std::string text;
        for (int row = 0; row < 4; ++row) {
            if (row) text += '/';
            for (int col = 0; col < 6; ++col) {
                const int32_t code = terminal->buffer().lines()[row][col].code;
                text += code == 0 ? '.' : code == ' ' ? '_' : static_cast<char>(code);
            }
        }
        return text;
    }
};

}  // namespace

TEST(TerminalRectanglesTest, CopyEraseAndFill) {
    const std::pair<const char*, const char*> cases[] = {
        // DECCRA: a block one row down and right overlaps its source and still copies the original.
        {"\x1b[1;1;2;3;1;2;2;1$v", "abcdef/gabckl/mghiqr/stuvwx"},
        {"\x1b[2;2;3;4;1;1;1;1$v", "hijdef/nopjkl/mnopqr/stuvwx"},
        {"\x1b[1;1;2;3;1;4;5;1$v", "abcdef/ghijkl/mnopqr/stuvab"},
        {"\x1b[1;1;2;3;2;2;2;1$v", "abcdef/ghijkl/mnopqr/stuvwx"},
        // DECERA, DECSERA, DECFRA.
        {"\x1b[$z", "______/______/______/______"},
        {"\x1b[2;2;1;1$z", "abcdef/ghijkl/mnopqr/stuvwx"},
        {"\x1b[2;2;3;3$z", "abcdef/g__jkl/m__pqr/stuvwx"},
        {"\x1b[2;5${", "abcdef/ghij__/mnop__/stuv__"},
        {"\x1b[42;1;1;1;2$x", "**cdef/ghijkl/mnopqr/stuvwx"},
        {"\x1b[55296;1;1;1;1$x", "_bcdef/ghijkl/mnopqr/stuvwx"},
        {"\x1b[$x", "....../....../....../......"},
        {"\x1b[1;1;1;1${\x1b[42;1;1;1;1x\x1b[1;1;1;1#z", "_bcdef/ghijkl/mnopqr/stuvwx"},
    };
    for (const auto& [input, screen] : cases) {
        Lettered t;
        t.feed(input);
        EXPECT_EQ(t.screen(), screen) << ::testing::PrintToString(std::string(input));
    }
}

TEST(TerminalRectanglesTest, ErasedAndFilledCellsTakeTheCurrentAttribute) {
    Lettered t;
    const Attribute red(Attribute::Color::ansi256(1), Attribute::Color::ansi256(4),
                        CharacterStyle(CharacterStyle::bold), UnderlineStyle::curly);
    t->buffer().lines()[0].setCell(0, CharData('a', 1, TinyAtom(), 3, red));
    t->clearUpdateRange();
    t.feed("\x1b[1;1;1;1${");
    EXPECT_EQ(t->buffer().lines()[0][0], CharData(' ', 1, TinyAtom(), 3, red));
    t.feed("\x1b[32m\x1b[1;2;1;2$z\x1b[12354;3;3;3;3$x");
    EXPECT_EQ(t->buffer().lines()[0][1], CharData(' ', 1, TinyAtom(), 0, t->curAttr));
    EXPECT_EQ(t->buffer().lines()[2][2], CharData(0x3042, 1, TinyAtom(), 0, t->curAttr));
    // Changed rows are redrawn.
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(0, 2));
}

TEST(TerminalRectanglesTest, OriginModeOffsetsTheRectangleAndTheCopyDestination) {
    Lettered t;
    t->buffer().setScrollTop(2);
    t.feed("\x1b[?6h\x1b[1;1;1;1$z\x1b[2;2;2;2;1;1;1;1$v");
    EXPECT_EQ(t.screen(), "abcdef/ghijkl/tnopqr/stuvwx");

    TestTerminal margins(12, 10);
    margins.feed("abcdefgh\r\nijklmnop\r\nqrstuvwx\r\nyz012345\r\nABCDEFGH\r\nIJKLMNOP\r\nQRSTUVWX\r\nYZ6789!@");
    margins.feed("\x1b[?69h\x1b[2;9s\x1b[2;9r\x1b[?6h\x1b[1;1;3;3;1;4;4;1$v");
    EXPECT_EQ(margins.rows(), (std::vector<std::string>{"abcdefgh", "ijklmnop", "qrstuvwx", "yz012345", "ABCDjklH",
                                                         "IJKLrstP", "QRSTz01X", "YZ6789!@", "", ""}));
}

// Once margin mode is off the left margin no longer moves a rectangle, as it no longer moves CUP.
TEST(TerminalRectanglesTest, LeftMarginCountsOnlyInMarginMode) {
    const std::string setUp = "\x1b[5;7r\x1b[?69h\x1b[5;7s\x1b[?6h\x1b[1;1HX\x1b[?69l\x1b[r";
    TestTerminal t(12, 8);
    t.feed(setUp + "\x1b[1;1;5;5;5;5*y");
    EXPECT_EQ(t.delegate.replies(), "\x1bP1!~0058\x1b\\");

    // Each operation on row 5, column 5 reaches the X there, not the cell four columns right.
    struct Case {
        const char* name;
        const char* input;
        std::pair<int, int> changed;
        int32_t code;
    } cases[] = {
        {"DECERA", "\x1b[5;5;5;5$z", {4, 4}, ' '},
        {"DECSERA", "\x1b[5;5;5;5${", {4, 4}, ' '},
        {"DECFRA", "\x1b[42;5;5;5;5$x", {4, 4}, '*'},
        {"DECCRA source", "\x1b[5;5;5;5;1;1;1;1$v", {0, 0}, 'X'},
    };
    for (const auto& c : cases) {
        TestTerminal r(12, 8);
        r.feed(setUp + "\x1b[5;9H+" + c.input);
        EXPECT_EQ(r.cell(c.changed.first, c.changed.second).code, c.code) << c.name;
        EXPECT_EQ(r.cell(8, 4).code, '+') << c.name;
    }
    TestTerminal report(12, 8);
    report.feed(setUp + "\x1b[1;5H\x1b[6n");
    EXPECT_EQ(report.delegate.replies(), "\x1b[1;5R");
}

TEST(TerminalRectanglesTest, PresentationDirection) {
    using Dir = BidiDirection;
    struct Case {
        const char* input;
        Dir initial;
        Dir expected;
    } cases[] = {
        {"\x1b[3 S\x1b[1 S", Dir::leftToRight, Dir::rightToLeft}, {"\x1b[3 S\x1b[ S", Dir::leftToRight, Dir::leftToRight},
        {"\x1b[2 k\x1b[3 k", Dir::leftToRight, Dir::rightToLeft}, {"\x1b[1 k\x1b[0 k", Dir::rightToLeft, Dir::rightToLeft},
        {"\x1b[2k", Dir::leftToRight, Dir::leftToRight},
    };
    for (const auto& c : cases) {
        TestTerminal t(80, 25, [&](TerminalOptions& o) { o.initialBidiState.fallbackDirection = c.initial; });
        t.feed("\x1b[?1049h");
        t.feed(c.input);
        EXPECT_EQ(t->currentBidiState.fallbackDirection, c.expected) << ::testing::PrintToString(std::string(c.input));
        EXPECT_EQ(t->normalBuffer().defaultBidiState, t->currentBidiState);
        EXPECT_EQ(t->altBuffer().defaultBidiState, t->currentBidiState);
    }
}
