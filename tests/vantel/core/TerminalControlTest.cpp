#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

TEST(TerminalControlTest, LineFeedsVerticalTabsAndFormFeedsAreTheSame) {
    for (const char* feed : {"\n", "\v", "\f"}) {
        TestTerminal t(10, 3);
        t.feed(std::string("ab") + feed + "c");
        EXPECT_EQ(t.row(0), "ab");
        EXPECT_EQ(t.cursor(), std::make_pair(3, 1)) << "no carriage return";
        EXPECT_EQ(t.delegate.count("linefeed"), 1u);
    }
}

TEST(TerminalControlTest, LineFeedModeReturnsTheCarriage) {
    TestTerminal t;
    t->lineFeedMode = true;
    t.feed("abc\n");
    EXPECT_EQ(t.cursor(), std::make_pair(0, 1));

    TestTerminal margins;
    margins->lineFeedMode = true;
    margins->originMode = true;
    margins.setMarginMode(true);
    margins.feed("\x1b[5;20s\x1b[1;10H\n");
    EXPECT_EQ(margins.cursor().first, 4) << "to the left margin in origin and margin mode";
}

TEST(TerminalControlTest, LineFeedInMarginModeScrollsOnlyFromInsideTheMargins) {
    struct Case {
        const char* name;
        std::string input;
        std::string row0;
        std::pair<int, int> cursor;
    } cases[] = {
        {"left of the margins", "top\x1b[5;10s\x1b[4;2H\n", "top", {1, 3}},
        {"inside them only their columns scroll", "top\x1b[5;10s\x1b[4;6H\n", "top", {5, 3}},
        {"a pending wrap at the edge is inside full margins", "top\x1b[4;1H" + std::string(20, 'x') + "\n", "",
         {19, 3}},
    };
    for (const auto& c : cases) {
        TestTerminal t(20, 4);
        t.setMarginMode(true);
        t.feed(c.input);
        EXPECT_EQ(t.row(0), c.row0) << c.name;
        EXPECT_EQ(t.cursor(), c.cursor) << c.name;
    }
}

// NEL is an index decided at the cursor's column, then a carriage return: at the region's
// bottom inside the margins it scrolls their columns.
TEST(TerminalControlTest, NextLineScrollsFromInsideTheMargins) {
    const std::string margins = "\x1b[?69h\x1b[3;8s\x1b[2;5r";
    const std::vector<std::string> unchanged = {"r0", "r1", "r2", "r3", "r4", "r5"};
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;
        const char* reply;
    } cases[] = {
        {"at the region bottom inside the margins", margins + "\x1b[5;4HA\x1b" "EB\x1b[?6n",
         {"r0", "r1", "r2", std::string("r3\0A", 4), "r4B", "r5"}, "\x1b[?5;4;1R"},
        {"left of the margins: no scroll, column 1", margins + "\x1b[5;2H\x1b" "E\x1b[?6n", unchanged,
         "\x1b[?5;1;1R"},
        {"right of the margins: no scroll, the left margin", margins + "\x1b[5;10H\x1b" "E\x1b[?6n", unchanged,
         "\x1b[?5;3;1R"},
        {"origin mode returns to the left margin", margins + "\x1b[?6h\x1b[2;1H\x1b" "E\x1b[6n", unchanged,
         "\x1b[3;1R"},
        {"without margin mode to column 1", "\x1b[2;5r\x1b[5;4H\x1b" "E\x1b[6n",
         {"r0", "r2", "r3", "r4", "", "r5"}, "\x1b[5;1R"},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 6);
        t.fillRows();
        t.feed(c.input);
        EXPECT_EQ(t.rows(), c.rows) << c.name;
        EXPECT_EQ(t.delegate.replies(), c.reply) << c.name;
    }
}

TEST(TerminalControlTest, LineFeedEndsAPendingWrap) {
    TestTerminal t(10, 3);
    t.feed(std::string(10, 'x') + "\ny");
    EXPECT_EQ(t.row(1), std::string(9, '\0') + "y");
    EXPECT_FALSE(t.wrapped(1));
}

TEST(TerminalControlTest, Backspace) {
    struct Case {
        const char* name;
        std::string input;
        bool reverseWraparound;
        std::pair<int, int> cursor;
    } cases[] = {
        {"one left", "abc\b", false, {2, 0}},
        {"nothing at column 0", "\b", false, {0, 0}},
        {"from the pending wrap to cols-2", std::string(80, 'x') + "\b", false, {78, 0}},
        {"from the pending wrap to cols-1 with reverse wrap", std::string(80, 'x') + "\b", true, {79, 0}},
        {"reverse wrap to the previous row", "\x1b[3;1H\b", true, {79, 1}},
        {"reverse wrap at the region top goes to its bottom", "\x1b[5;10r\x1b[5;1H\b", true, {79, 9}},
        {"reverse wrap at home of the full screen", "\b", true, {79, 24}},
        {"reverse wrap above the region", "\x1b[5;10r\x1b[3;1H\b", true, {79, 1}},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t->reverseWraparound = c.reverseWraparound;
        t.feed(c.input);
        EXPECT_EQ(t.cursor(), c.cursor) << c.name;
    }
}

TEST(TerminalControlTest, ReverseWrapUnwrapsTheRowItLeaves) {
    TestTerminal t(10, 3);
    t->reverseWraparound = true;
    t.feed(std::string(12, 'x'));
    ASSERT_TRUE(t.wrapped(1));
    t.feed("\r\b");
    EXPECT_FALSE(t.wrapped(1));
    EXPECT_EQ(t.cursor(), std::make_pair(9, 0));
}

TEST(TerminalControlTest, CharacterSets) {
    struct Case {
        const char* name;
        std::string input;
        std::string row0;
    } cases[] = {
        {"line drawing in G1 through SO and SI", "\x1b)0\x0elqqk\x0flqqk", "\u250c\u2500\u2500\u2510lqqk"},
        {"designating the invoked set takes effect at once", "\x0e\x1b)0q", "\u2500"},
        {"ESC - designates G1 like ESC )", "\x1b-0\x0eq", "\u2500"},
        {"G0 designation", "\x1b(0x\x1b(Bx", "\u2502x"},
        {"ESC n invokes G2", "\x1b*0\x1bnq\x1b~q", "\u2500q"},
        {"ESC o and ESC | invoke G3", "\x1b+0\x1boq\x0fq\x1b|q", "\u2500q\u2500"},
        {"ESC } invokes G2 like ESC n", "\x1b.0\x1b}q", "\u2500"},
        {"United Kingdom pound", "\x1b(A#", "\u00a3"},
        {"ESC % G clears G0 and invokes it, keeping G1", "\x1b(0\x1b)0\x1b%Gq\x0eq", "q\u2500"},
        {"bytes with the high bit are never translated", "\x1b(0\xc3\xa9", "\u00e9"},
        {"unknown final goes nowhere", "\x1b(0\x1b(Xq", "\u2500"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.row(0), c.row0) << c.name;
    }
}

TEST(TerminalControlTest, BidiStateReachesOnlyParagraphStarts) {
    auto rtl = [](Terminal& t) {
        t.currentBidiState.fallbackDirection = BidiDirection::rightToLeft;
        t.applyCurrentBidiStateAtParagraphStart({Terminal::BidiStateProperty::fallbackDirection});
    };
    auto direction = [](TestTerminal& t, int y) { return t->getLine(y)->bidiState().fallbackDirection; };

    TestTerminal mid(10, 5);
    mid.feed("a");
    rtl(*mid);
    EXPECT_EQ(direction(mid, 0), BidiDirection::leftToRight) << "not at column 0";
    mid.feed("\r\nb");
    EXPECT_EQ(direction(mid, 1), BidiDirection::rightToLeft) << "a line feed starts the next paragraph with it";

    TestTerminal wrapped(10, 5);
    wrapped.feed(std::string(25, 'x') + "\r\nnext\x1b[1;1H");
    rtl(*wrapped);
    EXPECT_EQ(direction(wrapped, 0), BidiDirection::rightToLeft);
    EXPECT_EQ(direction(wrapped, 1), BidiDirection::rightToLeft);
    EXPECT_EQ(direction(wrapped, 2), BidiDirection::rightToLeft);
    EXPECT_EQ(direction(wrapped, 3), BidiDirection::leftToRight) << "the next paragraph keeps its state";

    TestTerminal continuation(10, 5);
    continuation.feed(std::string(15, 'x') + "\x1b[2;1H");
    rtl(*continuation);
    EXPECT_EQ(direction(continuation, 1), BidiDirection::leftToRight) << "column 0 of a continuation row";

    TestTerminal onlyMirroring(10, 5);
    onlyMirroring->getLine(0)->setBidiState({BidiSupportMode::explicit_, false, BidiDirection::rightToLeft, false});
    onlyMirroring->currentBidiState.boxMirroring = true;
    onlyMirroring->applyCurrentBidiStateAtParagraphStart({Terminal::BidiStateProperty::boxMirroring});
    EXPECT_EQ(onlyMirroring->getLine(0)->bidiState(),
              (BidiPresentationState{BidiSupportMode::explicit_, false, BidiDirection::rightToLeft, true}));
}
