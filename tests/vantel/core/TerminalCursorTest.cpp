#include <gtest/gtest.h>

#include <string>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

struct MoveCase {
    const char* name;
    std::string input;
    std::pair<int, int> cursor;  // x, y
};

void runMoves(std::initializer_list<MoveCase> cases) {
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.cursor(), c.cursor) << c.name;
    }
}

}  // namespace

TEST(TerminalCursorTest, RelativeAndAbsoluteMoves) {
    runMoves({
        {"CUU above the region goes to row 0", "\x1b[5;10r\x1b[3;1H\x1b[10A", {0, 0}},
        {"CUU inside the region stops at its top", "\x1b[5;10r\x1b[7;1H\x1b[10A", {0, 4}},
        {"CUD below the region goes to the last row", "\x1b[5;10r\x1b[12;1H\x1b[30B", {0, 24}},
        {"CUD inside the region stops at its bottom", "\x1b[5;10r\x1b[7;1H\x1b[30B", {0, 9}},
        {"CUF 0 moves one", "\x1b[0C", {1, 0}},
        {"CUF stops at the last column", "\x1b[200C", {79, 0}},
        {"CHA 0 is column 0", "\x1b[5G\x1b[0G", {0, 0}},
        {"CHA beyond the screen", "\x1b[500G", {79, 0}},
        {"CUP without parameters homes", "\x1b[5;5H\x1b[H", {0, 0}},
        {"CUP with only a column", "\x1b[;5H", {4, 0}},
        {"CUP beyond the screen", "\x1b[100;200H", {79, 24}},
        {"HPR stops at the last column", "\x1b[300a", {79, 0}},
        {"VPA beyond the screen", "\x1b[99d", {0, 24}},
        {"CNL", "\x1b[5;5H\x1b[2E", {0, 6}},
        {"NEL", "ab\x1b" "E", {0, 1}},
        {"IND keeps the column", "ab\x1b" "D", {2, 1}},
        {"HT at the last stop goes to the last column", "\x1b[75G\t\t", {79, 0}},
        {"CBT", "\x1b[30G\x1b[2Z", {16, 0}},
        {"TBC clears the stop under the cursor", "\x1b[9G\x1b[g\x1b[G\t", {16, 0}},
        {"TBC 3 clears every stop", "\x1b[3g\t", {79, 0}},
        {"HTS sets a stop", "\x1b[4G\x1bH\x1b[G\t", {3, 0}},
        {"DECSTBM with top below bottom still homes", "\x1b[5;5H\x1b[10;5r", {0, 0}},
        {"CUD ends a pending wrap", std::string(80, 'x') + "\x1b[2B", {79, 2}},
        {"VPR ends a pending wrap", std::string(80, 'x') + "\x1b[e", {79, 1}},
        // Origin mode counts from the region.
        {"CUP is relative to the region top", "\x1b[?6h\x1b[5;10r\x1b[2;3H", {2, 5}},
        {"CUP beyond the region lands on its bottom", "\x1b[?6h\x1b[5;10r\x1b[20;1H", {0, 9}},
        {"DECSTBM homes to the region top", "\x1b[?6h\x1b[5;10r", {0, 4}},
        {"HVP adds the region top but is not held by it", "\x1b[?6h\x1b[5;10r\x1b[20;1f", {0, 23}},
        {"VPA counts from the region top", "\x1b[?6h\x1b[5;10r\x1b[2d", {0, 5}},
        {"CUU keeps a pending wrap column", std::string(80, 'x') + "\x1b[2;1H" + std::string(80, 'x') + "\x1b[A",
         {80, 0}},
    });
}

// In origin mode HPA and VPA count from the region and the margins, and stay inside them.
TEST(TerminalCursorTest, OriginModeHoldsAbsolutePositionsInTheRegion) {
    const std::string origin = "\x1b[4;8r\x1b[?6h";
    const std::string margins = origin + "\x1b[?69h\x1b[5;9s\x1b[H";
    struct Case {
        const char* name;
        std::string input;
        const char* reply;
    } cases[] = {
        {"VPA, a print, VPA beyond the region", origin + "\x1b[2;3H\x1b[1d\x1b[?6nX\x1b[9d\x1b[6n",
         "\x1b[?1;3;1R\x1b[5;4R"},
        {"HPA counts from the left margin", margins + "\x1b[2`\x1b[6n", "\x1b[1;2R"},
        {"HPA stops at the right margin", margins + "\x1b[20`\x1b[6n", "\x1b[1;5R"},
        {"HPA without margin mode", origin + "\x1b[20`\x1b[6n", "\x1b[1;12R"},
        {"VPA leaves the column, HPA the row", margins + "\x1b[3;4H\x1b[5d\x1b[2`\x1b[6n", "\x1b[5;2R"},
        {"without origin mode nothing is offset", "\x1b[4;8r\x1b[2d\x1b[3`\x1b[6n", "\x1b[2;3R"},
    };
    for (const auto& c : cases) {
        TestTerminal t(12, 10);
        t.feed(c.input);
        EXPECT_EQ(t.delegate.replies(), c.reply) << c.name;
    }
    TestTerminal t(12, 10);
    t.feed(origin + "\x1b[2;3H\x1b[1dX");
    EXPECT_EQ(t.row(3), std::string("\0\0X", 3));
}

TEST(TerminalCursorTest, MarginModeLimitsHorizontalMoves) {
    struct Case {
        const char* name;
        std::string input;
        int x;
    } cases[] = {
        {"CUF stops at the right margin", "\x1b[10;20s\x1b[15G\x1b[30C", 19},
        {"CUF right of the margin goes to the last column", "\x1b[10;20s\x1b[30G\x1b[100C", 79},
        {"CUB stops at the left margin", "\x1b[10;20s\x1b[15G\x1b[30D", 9},
        {"CUB left of the margin goes to column 0", "\x1b[10;20s\x1b[5G\x1b[30D", 0},
        {"CR inside the margins goes to the left margin", "\x1b[10;20s\x1b[15G\r", 9},
        {"CR left of the left margin goes to column 0", "\x1b[10;20s\x1b[5G\r", 0},
        {"DECSLRM with left beyond right gives one column", "\x1b[30;20s\x1b[25G\x1b[5D", 19},
        {"CNL goes to the left margin", "\x1b[10;20s\x1b[15G\x1b[E", 9},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.setMarginMode(true);
        t.feed(c.input);
        EXPECT_EQ(t.cursor().first, c.x) << c.name;
    }
    TestTerminal t;
    t.setMarginMode(true);
    t.feed("\x1b[30;20s");
    EXPECT_EQ(t->buffer().marginLeft, 19);
    EXPECT_EQ(t->buffer().marginRight, 19);
    t.feed("\x1b[s");
    EXPECT_EQ(t->buffer().marginLeft, 0) << "CSI s without parameters: the whole width";
    EXPECT_EQ(t->buffer().marginRight, 79);
}

TEST(TerminalCursorTest, ScrollRegionBounds) {
    TestTerminal t;
    t.feed("\x1b[10;5r");
    EXPECT_EQ(t->buffer().scrollTop(), 0) << "top not above bottom: unchanged";
    EXPECT_EQ(t->buffer().scrollBottom(), 24);
    t.feed("\x1b[3;200r");
    EXPECT_EQ(t->buffer().scrollTop(), 2);
    EXPECT_EQ(t->buffer().scrollBottom(), 24);
    t.feed("\x1b[r");
    EXPECT_EQ(t->buffer().scrollTop(), 0);
    EXPECT_EQ(t->buffer().scrollBottom(), 24);
    t.feed("\x1b[>5;9r");
    EXPECT_EQ(t->buffer().scrollTop(), 0) << "with intermediates it is not DECSTBM";
}

TEST(TerminalCursorTest, RestoreWithoutSaveGivesThePowerOnState) {
    for (const char* restore : {"\x1b" "8", "\x1b[u"}) {
        TestTerminal t;
        t.feed("\x1b[5;5H\x1b(0");
        t->curAttr = Attribute(Attribute::Color::ansi256(1), Attribute::Color::ansi256(2), CharacterStyle(1));
        t->originMode = true;
        t->reverseWraparound = true;
        t.setWraparound(false);
        t.setMarginMode(true);
        t.feed(restore);
        EXPECT_EQ(t.cursor(), std::make_pair(0, 0)) << restore;
        EXPECT_EQ(t->curAttr, Attribute::defaultAttribute) << restore;
        EXPECT_EQ(t->charset, nullptr);
        EXPECT_FALSE(t->originMode);
        EXPECT_FALSE(t->marginMode);
        EXPECT_FALSE(t->normalBuffer().marginMode);
        EXPECT_TRUE(t->wraparound);
        EXPECT_TRUE(t->normalBuffer().wraparound);
        EXPECT_TRUE(t->altBuffer().wraparound);
        EXPECT_FALSE(t->reverseWraparound);
    }
}

TEST(TerminalCursorTest, SaveAndRestoreRoundTrip) {
    TestTerminal t;
    t.feed("\x1b[3;7H\x1b(0");
    t->curAttr.bg = Attribute::Color::ansi256(4);
    t.setWraparound(false);
    t.feed("\x1b" "7\x1b[H\x1b(B");
    t->curAttr = Attribute::defaultAttribute;
    t.setWraparound(true);
    t.feed("\x1b" "8");
    EXPECT_EQ(t.cursor(), std::make_pair(6, 2));
    EXPECT_EQ(t->curAttr.bg, Attribute::Color::ansi256(4));
    EXPECT_EQ(t->charset, CharSets::find('0'));
    EXPECT_FALSE(t->wraparound);

    TestTerminal s;
    s.feed("\x1b[4;4H\x1b[s\x1b[H\x1b[u");
    EXPECT_EQ(s.cursor(), std::make_pair(3, 3));
}

TEST(TerminalCursorTest, EachScreenHasItsOwnSavedCursor) {
    TestTerminal t;
    t.feed("\x1b[5;5H\x1b" "7");
    t->activateAltBuffer(std::nullopt);
    t.feed("\x1b[2;2H\x1b" "7\x1b[10;10H\x1b" "8");
    EXPECT_EQ(t.cursor(), std::make_pair(1, 1));
    t->activateNormalBuffer(false);
    t.feed("\x1b" "8");
    EXPECT_EQ(t.cursor(), std::make_pair(4, 4));
}

TEST(TerminalCursorTest, CursorStyle) {
    struct Case {
        const char* input;
        CursorStyle style;
        size_t events;
    } cases[] = {
        {"\x1b[0 q", CursorStyle::blinkBlock, 1},     {"\x1b[ q", CursorStyle::blinkBlock, 1},
        {"\x1b[2 q", CursorStyle::steadyBlock, 0},    {"\x1b[6 q", CursorStyle::steadyBar, 1},
        {"\x1b[7 q", CursorStyle::steadyBlock, 0},    {"\x1b[4q", CursorStyle::steadyBlock, 0},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed("\x1b[2 q");
        t.delegate.clear();
        t.feed(c.input);
        EXPECT_EQ(t->options().cursorStyle, c.style) << c.input;
        EXPECT_EQ(t.delegate.events.size(), c.events) << c.input;
    }
}
