#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/TerminalTestSupport.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

const Attribute::Color red = Attribute::Color::ansi256(1);

// Rows "r0", "r1", ... with the cursor left on the last one.
void fillRows(TestTerminal& t) {
    for (int y = 0; y < t->rows(); ++y) t.feed((y ? "\r\nr" : "r") + std::to_string(y));
}

std::vector<std::string> rows(TestTerminal& t) {
    std::vector<std::string> out;
    for (int y = 0; y < t->rows(); ++y) out.push_back(t.row(y));
    return out;
}

class RecordingSelection : public SelectionService {
public:
    using SelectionService::SelectionService;
    void adjustForInPlaceScroll(int top, int bottom, int lines) override { calls.emplace_back(top, bottom, lines); }
    std::vector<std::tuple<int, int, int>> calls;
};

TestTerminal withScrollback(int cols, int rows, int scrollback) {
    return TestTerminal(cols, rows, [scrollback](TerminalOptions& o) { o.scrollback = scrollback; });
}

}  // namespace

TEST(TerminalScrollTest, IndexAtTheBottomOfAPartialRegionStaysOnScreen) {
    TestTerminal t;
    fillRows(t);
    t.feed("\x1b[6;11r\x1b[11;1H\n");
    EXPECT_EQ(t->buffer().yBase(), 0);
    EXPECT_EQ(t->buffer().lines().count(), 25) << "nothing entered the scroll-back";
    EXPECT_EQ(t.row(4), "r4");
    EXPECT_EQ(t.row(5), "r6");
    EXPECT_EQ(t.row(9), "r10");
    EXPECT_EQ(t.row(10), "");
    EXPECT_EQ(t.row(11), "r11");
    EXPECT_EQ(t.cursor(), std::make_pair(0, 10));
}

TEST(TerminalScrollTest, FullRingRecyclesInsteadOfMovingTheBase) {
    TestTerminal t = withScrollback(10, 5, 3);
    fillRows(t);
    t.feed("\r\n\r\n\r\n");
    ASSERT_EQ(t->buffer().lines().count(), 8);
    EXPECT_EQ(t->buffer().yBase(), 3);
    EXPECT_EQ(t->buffer().totalLinesTrimmed(), 0);

    t->curAttr = Attribute(Attribute::Color::ansi256(3), red, CharacterStyle(CharacterStyle::bold));
    t.feed("\n");
    EXPECT_EQ(t->buffer().yBase(), 3) << "the ring moves, not yBase";
    EXPECT_EQ(t->buffer().yDisp(), 3);
    EXPECT_EQ(t->buffer().totalLinesTrimmed(), 1);
    EXPECT_EQ(t->buffer().lines()[0].translateToString(true), "r1") << "the oldest line was dropped";
    const CharData blank = t.cell(0, 4);
    EXPECT_EQ(blank.code, 0);
    EXPECT_EQ(blank.attribute.bg, red);
    EXPECT_TRUE(blank.attribute.fg.isDefault());
    EXPECT_TRUE(blank.attribute.style.isEmpty());
    t.feed("\n");
    EXPECT_EQ(t->buffer().yBase(), 3);
    EXPECT_EQ(t->buffer().totalLinesTrimmed(), 2);
}

TEST(TerminalScrollTest, RingWithRoomMovesBaseAndView) {
    TestTerminal t = withScrollback(10, 5, 3);
    fillRows(t);
    t.delegate.clear();
    t.feed("\n");
    EXPECT_EQ(t->buffer().yBase(), 1);
    EXPECT_EQ(t->buffer().yDisp(), 1);
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"scrolled:1", "linefeed"}));
}

TEST(TerminalScrollTest, UserScrollingKeepsTheViewOnItsContent) {
    TestTerminal t = withScrollback(10, 5, 3);
    fillRows(t);
    t->userScrolling = true;
    t.feed("\n");
    EXPECT_EQ(t->buffer().yDisp(), 0) << "ring with room: the view stays";
    t.feed("\n\n");
    ASSERT_TRUE(t->buffer().lines().isFull());
    t->buffer().setYDisp(1);
    t.feed("\n");
    EXPECT_EQ(t->buffer().yDisp(), 0) << "the ring dropped a line: the view follows its content";
    t.feed("\n");
    EXPECT_EQ(t->buffer().yDisp(), 0) << "never below 0";
}

TEST(TerminalScrollTest, AlternateScreenLosesItsTopLine) {
    TestTerminal t(10, 5);
    t->activateAltBuffer(std::nullopt);
    t.feed("\x1b[H");
    fillRows(t);
    t->clearUpdateRange();
    t.feed("\n");
    EXPECT_EQ(rows(t), (std::vector<std::string>{"r1", "r2", "r3", "r4", ""}));
    EXPECT_EQ(t->buffer().yBase(), 0);
    EXPECT_EQ(t->buffer().totalLinesTrimmed(), 0);
    EXPECT_TRUE(t->getScrollInvariantUpdateRange().has_value()) << "no scroll-back: rows are marked as changed";
}

TEST(TerminalScrollTest, RegionAtTheTopEndingAboveTheBottomFeedsTheScrollback) {
    TestTerminal t(10, 5);
    fillRows(t);
    t.feed("\x1b[1;3r\x1b[3;1H\n");
    EXPECT_EQ(rows(t), (std::vector<std::string>{"r1", "r2", "", "r3", "r4"}));
    EXPECT_EQ(t->buffer().yBase(), 1);
    EXPECT_EQ(t->buffer().lines()[0].translateToString(true), "r0");
}

TEST(TerminalScrollTest, WrapAtTheBottomContinuesTheParagraph) {
    TestTerminal t(10, 3);
    t->getLine(2)->setBidiState({BidiSupportMode::explicit_, false, BidiDirection::rightToLeft, true});
    t.feed("\x1b[3;1H" + std::string(12, 'x'));
    EXPECT_TRUE(t.wrapped(2));
    EXPECT_EQ(t->getLine(2)->bidiState(), t->getLine(1)->bidiState());
    EXPECT_EQ(t->getLine(2)->bidiState().fallbackDirection, BidiDirection::rightToLeft);
}

TEST(TerminalScrollTest, ScrollUpAndDown) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;
    } cases[] = {
        {"SD 0 scrolls by one", "\x1b[0T", {"", "r0", "r1", "r2", "r3"}},
        {"SD 2", "\x1b[2T", {"", "", "r0", "r1", "r2"}},
        {"SD 1000 clears the screen", "\x1b[1000T", {"", "", "", "", ""}},
        {"SU 1", "\x1b[S", {"r1", "r2", "r3", "r4", ""}},
        {"SU 1000 clears the screen", "\x1b[1000S", {"", "", "", "", ""}},
        {"SD inside a region", "\x1b[2;4r\x1b[T", {"r0", "", "r1", "r2", "r4"}},
        {"SU inside a region", "\x1b[2;4r\x1b[2S", {"r0", "r3", "", "", "r4"}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 5);
        fillRows(t);
        t->curAttr.bg = red;
        t.feed(c.input);
        EXPECT_EQ(rows(t), c.rows) << c.name;
        EXPECT_EQ(t->buffer().yBase(), 0) << c.name << ": nothing enters the scroll-back";
        for (int y = 0; y < 5; ++y) {
            if (t.row(y).empty()) {
                EXPECT_TRUE(t.cell(0, y).attribute.bg.isDefault()) << c.name << " row " << y;
            }
        }
    }
}

TEST(TerminalScrollTest, ScrollDownCutsParagraphsAtTheMovedBlock) {
    TestTerminal t(10, 5);
    t.feed(std::string(25, 'x'));  // rows 0-2, rows 1 and 2 continue row 0
    t.feed("\x1b[2;5r\x1b[T");
    EXPECT_FALSE(t.wrapped(1)) << "inserted blank";
    EXPECT_FALSE(t.wrapped(2)) << "first moved row no longer continues the unmoved row 0";
    EXPECT_TRUE(t.wrapped(3)) << "rows that moved together stay joined";
}

TEST(TerminalScrollTest, ReverseIndex) {
    struct Case {
        const char* name;
        std::string input;
        std::vector<std::string> rows;
        std::pair<int, int> cursor;
    } cases[] = {
        {"inside the screen moves up", "\x1b[3;1H\x1bM", {"r0", "r1", "r2", "r3", "r4"}, {0, 1}},
        {"at the top inserts a line", "\x1b[1;1H\x1bM", {"", "r0", "r1", "r2", "r3"}, {0, 0}},
        {"at the region top scrolls the region", "\x1b[2;4r\x1b[2;1H\x1bM", {"r0", "", "r1", "r2", "r4"}, {0, 1}},
        {"at row 0 above the region nothing moves", "\x1b[2;4r\x1b[1;1H\x1bM", {"r0", "r1", "r2", "r3", "r4"},
         {0, 0}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 5);
        fillRows(t);
        t->curAttr.bg = red;
        t.delegate.clear();
        t.feed(c.input);
        EXPECT_EQ(rows(t), c.rows) << c.name;
        EXPECT_EQ(t.cursor(), c.cursor) << c.name;
        EXPECT_EQ(t.delegate.count("scrolled:0"), 0u) << c.name;
        for (int y = 0; y < 5; ++y) {
            if (t.row(y).empty()) {
                EXPECT_EQ(t.cell(0, y).attribute.bg, red) << c.name << ": current background";
            }
        }
    }
}

TEST(TerminalScrollTest, ColumnScrollsInsideTheMargins) {
    auto make = [] {
        auto t = std::make_unique<TestTerminal>(30, 6);
        t->setMarginMode(true);
        for (int y = 0; y < 6; ++y) t->feed("\x1b[" + std::to_string(y + 1) + ";1Habcdefghijklmnopqrstuvwxyz");
        t->feed("\x1b[10;20s\x1b[2;5r");
        return t;
    };
    auto forward = make();
    (*forward)->curAttr.bg = red;
    forward->feed("\x1b[3;20H\x1b" "9");
    for (int y = 1; y <= 4; ++y) {
        EXPECT_EQ(forward->row(y), "abcdefghiklmnopqrst uvwxyz") << "row " << y;
        EXPECT_EQ(forward->cell(19, y).code, 0x20);
        EXPECT_EQ(forward->cell(19, y).attribute.bg, red);
    }
    EXPECT_EQ(forward->row(0), "abcdefghijklmnopqrstuvwxyz") << "outside the region";
    EXPECT_EQ(forward->cursor(), std::make_pair(19, 2));

    auto back = make();
    back->feed("\x1b[3;10H\x1b" "6");
    EXPECT_EQ(back->row(2), "abcdefghi jklmnopqrsuvwxyz");
    EXPECT_TRUE(back->cell(9, 2).attribute.bg.isDefault());

    auto inside = make();
    inside->feed("\x1b[3;15H\x1b" "9\x1b" "6\x1b" "6");
    EXPECT_EQ(inside->cursor(), std::make_pair(13, 2)) << "away from the margins the cursor just moves";
    EXPECT_EQ(inside->row(2), "abcdefghijklmnopqrstuvwxyz");
}

TEST(TerminalScrollTest, NarrowMarginsScrollOnlyTheirColumns) {
    TestTerminal t(10, 3);
    t.setMarginMode(true);
    t.feed("abcdefghij\r\nklmnopqrst\r\nuvwxyz0123\x1b[3;6s\x1b[3;4H\n");
    EXPECT_EQ(rows(t), (std::vector<std::string>{"abmnopghij", "klwxyzqrst", std::string("uv\0\0\0\0" "0123", 10)}));
    EXPECT_EQ(t->buffer().yBase(), 0);
    EXPECT_EQ(t.cursor(), std::make_pair(3, 2));
}

TEST(TerminalScrollTest, SelectionsFollowInPlaceScrolls) {
    TestTerminal t = withScrollback(10, 5, 2);
    RecordingSelection selection(*t);
    fillRows(t);
    t.feed("\r\n\r\n");  // the ring is full now
    selection.calls.clear();
    t.feed("\n");
    t.feed("\x1b[2;4r\x1b[4;1H\n");
    t.feed("\x1b[2;1H\x1bM");
    t.feed("\x1b[3T\x1b[2S");
    EXPECT_EQ(selection.calls, (std::vector<std::tuple<int, int, int>>{
                                   {0, 6, 1}, {3, 5, 1}, {3, 5, -1}, {3, 5, -3}, {3, 5, 2}}));
}
