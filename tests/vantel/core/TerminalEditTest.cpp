#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

const Attribute::Color red = Attribute::Color::ansi256(1);

std::string empty(int n) { return std::string(static_cast<size_t>(n), '\0'); }

void fillRows(TestTerminal& t) {
    for (int y = 0; y < t->rows(); ++y) t.feed((y ? "\r\nr" : "r") + std::to_string(y));
}

std::vector<std::string> rows(TestTerminal& t) {
    std::vector<std::string> out;
    for (int y = 0; y < t->rows(); ++y) out.push_back(t.row(y));
    return out;
}

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
    t.feed("ABCDEFGHIJ");
    t->curAttr = Attribute(Attribute::Color::ansi256(3), red, CharacterStyle(CharacterStyle::bold),
                           UnderlineStyle::single, Attribute::Color::ansi256(5));
    t.feed("\x1b[2K");
    for (int x : {0, 5, 79}) {
        const CharData cell = t.cell(x, 0);
        EXPECT_EQ(cell.code, 0);
        EXPECT_EQ(cell.attribute.bg, red);
        EXPECT_TRUE(cell.attribute.fg.isDefault());
        EXPECT_TRUE(cell.attribute.style.isEmpty());
        EXPECT_EQ(cell.attribute.underlineStyle, UnderlineStyle::none);
        EXPECT_FALSE(cell.attribute.hasUnderlineColor());
    }
    t.feed("\x1b[2;1HABC\x1b[2;1H\x1b[P\x1b[X");
    EXPECT_EQ(t.cell(79, 1).attribute.bg, red) << "DCH fills with the erase cell";
    EXPECT_EQ(t.cell(0, 1).attribute.bg, red) << "ECH too";
}

TEST(TerminalEditTest, EraseInDisplay) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;
    } cases[] = {
        {"ED 0", "\x1b[2;2H\x1b[J", {"r0", "r", "", "", ""}},
        {"ED 1", "\x1b[2;2H\x1b[1J", {"", "", "r2", "r3", "r4"}},
        {"ED 2", "\x1b[2;2H\x1b[2J", {"", "", "", "", ""}},
        {"CSI ? 2 J clears like ED 2", "\x1b[?2J", {"", "", "", "", ""}},
        {"ED 3 without scroll-back changes nothing", "\x1b[3J", {"r0", "r1", "r2", "r3", "r4"}},
        {"ED 4 does nothing", "\x1b[4J", {"r0", "r1", "r2", "r3", "r4"}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 5);
        fillRows(t);
        const auto cursor = t.cursor();
        t.feed(c.input);
        EXPECT_EQ(rows(t), c.rows) << c.name;
        if (std::string(c.input).find(';') != std::string::npos) EXPECT_EQ(t.cursor(), std::make_pair(1, 1)) << c.name;
        else EXPECT_EQ(t.cursor(), cursor) << c.name;
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
    const auto before = rows(t);
    const auto cursor = t.cursor();
    t.feed("\x1b[3J");
    EXPECT_EQ(rows(t), before);
    EXPECT_EQ(t.cursor(), cursor);
    EXPECT_EQ(t->buffer().yBase(), 0);
    EXPECT_EQ(t->buffer().yDisp(), 0);
    EXPECT_EQ(t->buffer().lines().count(), 3);
    t.feed("\x1b[3J");
    EXPECT_EQ(rows(t), before);
}

TEST(TerminalEditTest, InsertAndDeleteLines) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;
    } cases[] = {
        {"IL", "\x1b[2;1H\x1b[L", {"r0", "", "r1", "r2", "r3"}},
        {"IL 1000 clears from the cursor down", "\x1b[3;1H\x1b[1000L", {"r0", "r1", "", "", ""}},
        {"IL inside a region", "\x1b[2;4r\x1b[3;1H\x1b[L", {"r0", "r1", "", "r2", "r4"}},
        {"IL outside the region does nothing", "\x1b[2;4r\x1b[5;1H\x1b[L", {"r0", "r1", "r2", "r3", "r4"}},
        {"DL", "\x1b[2;1H\x1b[M", {"r0", "r2", "r3", "r4", ""}},
        {"DL 2 inside a region", "\x1b[2;4r\x1b[2;1H\x1b[2M", {"r0", "r3", "", "", "r4"}},
        {"DL 1000", "\x1b[4;1H\x1b[1000M", {"r0", "r1", "r2", "", ""}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 5);
        fillRows(t);
        t->curAttr.bg = red;
        t.feed(c.input);
        EXPECT_EQ(rows(t), c.rows) << c.name;
        EXPECT_EQ(t->buffer().yBase(), 0) << c.name;
    }
    TestTerminal t(10, 5);
    fillRows(t);
    t->curAttr.bg = red;
    t.feed("\x1b[2;1H\x1b[L");
    EXPECT_EQ(t.cell(0, 1).attribute.bg, red) << "inserted lines are erased in the current background";
}

TEST(TerminalEditTest, InsertLinesInsideMarginsMovesOnlyTheirColumns) {
    TestTerminal t(10, 3);
    t.setMarginMode(true);
    t.feed("abcdefghij\r\nklmnopqrst\r\nuvwxyz0123\x1b[3;6s\x1b[1;4H\x1b[L");
    EXPECT_EQ(rows(t), (std::vector<std::string>{std::string("ab\0\0\0\0ghij", 10), "klcdefqrst", "uvmnop0123"}));
    t.feed("\x1b[M");
    EXPECT_EQ(rows(t), (std::vector<std::string>{"abcdefghij", "klmnopqrst", std::string("uv\0\0\0\0" "0123", 10)}));
}

TEST(TerminalEditTest, InsertLinesCutParagraphsAtTheMovedBlock) {
    TestTerminal t(10, 5);
    t.feed(std::string(25, 'x'));  // rows 1 and 2 continue row 0
    t.feed("\x1b[2;1H\x1b[L");
    EXPECT_FALSE(t.wrapped(1));
    EXPECT_FALSE(t.wrapped(2)) << "the moved row no longer continues row 0";
    EXPECT_TRUE(t.wrapped(3));
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

    TestTerminal popsgr;
    popsgr->silentLog = false;
    ::testing::internal::CaptureStdout();
    popsgr.feed("\x1b[1;2#}");
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Info: CSI # } not implemented- XTPOPSGR with [1, 2]\n");
}

TEST(TerminalEditTest, ScreenAlignmentFillsWithE) {
    TestTerminal t(4, 3);
    t.feed("ab\x1b[2;3r" + std::string(10, 'x'));
    t->curAttr.fg = red;
    t.feed("\x1b#8");
    EXPECT_EQ(rows(t), (std::vector<std::string>{"EEEE", "EEEE", "EEEE"}));
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
