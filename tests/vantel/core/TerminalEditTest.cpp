#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

const Attribute::Color red = Attribute::Color::ansi256(1);

std::string empty(int n) { return std::string(static_cast<size_t>(n), '\0'); }

}  // namespace

TEST(TerminalEditTest, LineEdits) {
    struct Case {
        const char* name;
        std::string input;
        std::string row0;
        std::pair<int, int> cursor;
    } cases[] = {
        {"DCH", "ABCDEFGHIJ\x1b[1;3H\x1b[3P", "ABFGHIJ", {2, 0}},
        {"DCH beyond the row", "ABCDEF\x1b[1;2H\x1b[999P", "A", {1, 0}},
        {"DCH in the pending-wrap position changes nothing", "ABCDEFGHIJ\x1b[P", "ABCDEFGHIJ", {10, 0}},
        {"ICH", "ABCDEF\x1b[1;2H\x1b[2@", std::string("A\0\0" "BCDEF", 8), {1, 0}},
        {"ICH pushes cells off the edge", "ABCDEFGHIJ\x1b[1;2H\x1b[3@", std::string("A\0\0\0" "BCDEFG", 10), {1, 0}},
        {"ICH in the pending-wrap position blanks the last column", "ABCDEFGHIJ\x1b[@", "ABCDEFGHI", {10, 0}},
        {"ICH with an intermediate is still ICH", "ABC\x1b[1;1H\x1b[1 @", empty(1) + "ABC", {0, 0}},
        {"ECH", "ABCDEF\x1b[1;2H\x1b[2X", std::string("A\0\0" "DEF", 6), {1, 0}},
        {"EL 0", "ABCDEF\x1b[1;3H\x1b[K", "AB", {2, 0}},
        {"EL 1", "ABCDEF\x1b[1;3H\x1b[1K", empty(3) + "DEF", {2, 0}},
        {"EL 9 erases nothing", "ABCDEF\x1b[1;3H\x1b[9K", "ABCDEF", {2, 0}},
        {"CSI ? K is EL", "ABCDEF\x1b[1;3H\x1b[?K", "AB", {2, 0}},
        {"REP", "ab\x1b[3b", "abbbb", {5, 0}},
        {"REP wraps", "abcdefgh\x1b[5b", "abcdefghhh", {3, 1}},
        {"REP at column 0 prints blanks", "\x1b[3b", "", {3, 0}},
        {"REP after a wide character repeats its spacer", "\u4e2d\x1b[2b", "\u4e2d", {4, 0}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 3);
        t.feed(c.input);
        EXPECT_EQ(t.row(0), c.row0) << c.name;
        EXPECT_EQ(t.cursor(), c.cursor) << c.name;
    }
}

TEST(TerminalEditTest, ErasedCellsTakeOnlyTheBackground) {
    TestTerminal t;
    t.feed("ABCDEFGHIJ\x1b[33;41;1;4;58;5;5m\x1b[2K\x1b[2;1HABC\x1b[2;1H\x1b[P\x1b[X");
    // EL, then DCH and ECH on the next row.
    for (auto [x, y] : {std::pair{0, 0}, {5, 0}, {79, 0}, {79, 1}, {0, 1}}) {
        EXPECT_EQ(t.cell(x, y), CharData(0, 1, TinyAtom(), 0, Attribute(Attribute::Color::defaultColor(), red,
                                                                           CharacterStyle())))
            << x << "," << y;
    }
}

TEST(TerminalEditTest, EraseInDisplayUnwrapsWhereItCuts) {
    TestTerminal t(10, 4);
    t.feed(std::string(25, 'x'));
    t.feed("\x1b[2;1H\x1b[J");
    EXPECT_FALSE(t.wrapped(1)) << "ED 0 at column 0 cuts the row off the one above";

    TestTerminal last(10, 4);
    last.feed(std::string(25, 'x'));
    last.feed("\x1b[1;10H\x1b[1J");
    EXPECT_FALSE(last.wrapped(1)) << "ED 1 in the last column unwraps the next row";
    EXPECT_TRUE(last.wrapped(2));
}

TEST(TerminalEditTest, EraseScrollbackKeepsTheScreen) {
    TestTerminal t(10, 3);
    for (int i = 0; i < 8; ++i) t.feed(std::string("l").append(std::to_string(i)).append("\r\n"));
    t.feed("x");
    ASSERT_EQ(t->buffer().yBase(), 6);
    const auto before = t.rows();
    const auto cursor = t.cursor();
    t.feed("\x1b[3J");
    EXPECT_EQ(t.rows(), before);
    EXPECT_EQ(t.cursor(), cursor);
    EXPECT_EQ(t->buffer().yBase(), 0);
    EXPECT_EQ(t->buffer().yDisp(), 0);
    EXPECT_EQ(t->buffer().lines().count(), 3);
    t.feed("\x1b[3J");
    EXPECT_EQ(t.rows(), before);
}

// With margins on, IL and DL from outside them leave the screen alone; a cursor waiting to
// wrap stands in the last column.
TEST(TerminalEditTest, LineEditsOutsideTheMargins) {
    const std::string screen = "abcde\r\nfghij\r\nklmno\r\npqrst\r\nuvwxy\x1b[?69h";
    const std::vector<std::string> unchanged = {"abcde", "fghij", "klmno", "pqrst", "uvwxy", ""};
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;
    } cases[] = {
        {"DL left of the margins", "\x1b[2;4s\x1b[2;1H\x1b[M", unchanged},
        {"IL left of the margins", "\x1b[2;4s\x1b[3;1H\x1b[L", unchanged},
        {"DL right of the margins", "\x1b[2;4s\x1b[2;6H\x1b[M", unchanged},
        {"DL, IL, DL in a row", "\x1b[2;4s\x1b[2;1H\x1b[M\x1b[3;1H\x1b[L\x1b[2;6H\x1b[M", unchanged},
        {"DL inside the margins moves only their columns", "\x1b[2;4s\x1b[2;2H\x1b[M",
         {"abcde", "flmnj", "kqrso", "pvwxt", std::string("u\0\0\0y", 5), ""}},
        {"IL waiting to wrap at the edge", "\x1b[6;10s\x1b[1;6HABCDE\x1b[L",
         {"abcde", "fghijABCDE", "klmno", "pqrst", "uvwxy", ""}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 6);
        t.feed(screen + c.input);
        EXPECT_EQ(t.rows(), c.rows) << c.name;
    }
}

TEST(TerminalEditTest, InsertAndDeleteColumns) {
    TestTerminal t(10, 4);
    t.feed("abcdefghij\r\nklmnopqrst\r\nuvwxyz0123\x1b[1;3r\x1b[2;3H");
    t->curAttr.bg = red;
    t.feed("\x1b[2'}");
    EXPECT_EQ(t.row(0), "ab  cdefgh");
    EXPECT_EQ(t.row(1), "kl  mnopqr");
    EXPECT_EQ(t.row(2), "uv  wxyz01");
    EXPECT_EQ(t.row(3), "");
    EXPECT_EQ(t.cell(2, 0).code, 0x20);
    EXPECT_EQ(t.cell(2, 0).attribute.bg, red);
    t.feed("\x1b[3'~");
    EXPECT_EQ(t.row(0), "abdefgh   ");
    EXPECT_EQ(t.cell(9, 0).attribute.bg, red);
}

TEST(TerminalEditTest, ScreenAlignmentFillsWithE) {
    TestTerminal t(4, 3);
    t.feed("ab\x1b[2;3r" + std::string(10, 'x'));
    t->curAttr.fg = red;
    t.feed("\x1b#8");
    EXPECT_EQ(t.rows(), (std::vector<std::string>{"EEEE", "EEEE", "EEEE"}));
    EXPECT_EQ(t.cursor(), std::make_pair(0, 0));
    EXPECT_EQ(t.cell(3, 2).attribute.fg, red);
    for (int y = 0; y < 3; ++y) EXPECT_FALSE(t.wrapped(y));
    EXPECT_EQ(t->buffer().scrollTop(), 1) << "the region stays";
}

TEST(TerminalEditTest, LineRenderModes) {
    struct Case {
        const char* input;
        BufferLine::RenderLineMode mode;
    } cases[] = {
        {"\x1b#3", BufferLine::RenderLineMode::doubledTop},
        {"\x1b#4", BufferLine::RenderLineMode::doubledDown},
        {"\x1b#6", BufferLine::RenderLineMode::doubleWidth},
        {"\x1b#6\x1b#5", BufferLine::RenderLineMode::single},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed("\x1b[3;1Habc");
        t.feed(c.input);
        EXPECT_EQ(t->getLine(2)->renderMode(), c.mode);
        EXPECT_EQ(t.row(2), "abc");
    }
}
