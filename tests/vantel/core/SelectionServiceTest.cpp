#include <gtest/gtest.h>

#include "support/BufferTextFill.h"
#include "support/TerminalTestSupport.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::TestTerminal;
using vantel::testing::writeCells;

namespace {

struct Range {
    Position start, end;
    bool hasRange;
};

}  // namespace

TEST(SelectionServiceTest, DoubleClickSelectsWordsRunsAndBalancedExpressions) {
    struct Case {
        const char* name;
        const char* row0;
        const char* row1;
        Position click;
        Range expected;
    } cases[] = {
        {"token of letters, digits, dot, dash, underscore", "x foo.bar-1_z y", "", {4, 0}, {{2, 0}, {13, 0}, true}},
        {"lone dot selects nothing", "a . b", "", {2, 0}, {{2, 0}, {2, 0}, false}},
        {"open paren through matching close", "f(a[b]{c})", "", {1, 0}, {{1, 0}, {10, 0}, true}},
        {"close paren back to its opener", "f(a[b]{c})", "", {9, 0}, {{1, 0}, {10, 0}, true}},
        {"inner bracket pair", "f(a[b]{c})", "", {3, 0}, {{3, 0}, {6, 0}, true}},
        {"balanced across rows", "(ab", "cd) x", {0, 0}, {{0, 0}, {3, 1}, true}},
        {"backwards across rows", "(ab", "cd) x", {2, 1}, {{0, 0}, {3, 1}, true}},
        {"unbalanced open paren", "f(a[b]", "", {1, 0}, {{1, 0}, {1, 0}, false}},
        {"quote is no bracket", "say \"hi\"", "", {4, 0}, {{4, 0}, {4, 0}, false}},
        {"less-than is no bracket", "a<b>", "", {1, 0}, {{1, 0}, {1, 0}, false}},
        {"run of spaces", "ab   cd", "", {3, 0}, {{2, 0}, {5, 0}, true}},
        {"run of empty cells", "ab", "", {5, 0}, {{2, 0}, {20, 0}, true}},
        {"click past the last column reads as empty", "abc", "", {99, 0}, {{3, 0}, {20, 0}, true}},
    };
    for (const auto& c : cases) {
        TestTerminal t(20, 4);
        writeCells(t->buffer(), 0, c.row0);
        writeCells(t->buffer(), 1, c.row1);
        SelectionService s(*t);
        t.delegate.clear();
        s.selectWordOrExpression(c.click, t->buffer());
        EXPECT_EQ(s.start(), c.expected.start) << c.name;
        EXPECT_EQ(s.end(), c.expected.end) << c.name;
        EXPECT_EQ(s.hasSelectionRange(), c.expected.hasRange) << c.name;
        EXPECT_EQ(s.selectionMode, SelectionService::SelectionMode::word) << c.name;
        ASSERT_TRUE(s.wordSelectionAnchor) << c.name;
        EXPECT_EQ(s.wordSelectionAnchor->first, c.expected.start) << c.name;
        EXPECT_TRUE(s.active()) << c.name;
        EXPECT_EQ(t.delegate.count("selectionChanged"), 1u) << c.name;
    }
}

TEST(SelectionServiceTest, SelectedTextOfABracketDoubleClick) {
    TestTerminal t(20, 2);
    writeCells(t->buffer(), 0, "f(a[b]{c}) tail");
    SelectionService s(*t);
    s.selectWordOrExpression({1, 0}, t->buffer());
    EXPECT_EQ(s.getSelectedText(), "(a[b]{c})");
}

TEST(SelectionServiceTest, ShiftClickKeepsTheFarEnd) {
    struct Case {
        Position start, end, click;
        Position expectedStart, expectedEnd;
    } cases[] = {
        {{5, 2}, {10, 4}, {0, 1}, {10, 4}, {0, 1}},  // before a forward selection
        {{5, 2}, {10, 4}, {3, 5}, {5, 2}, {3, 5}},   // after it
        {{10, 4}, {5, 2}, {0, 6}, {5, 2}, {0, 6}},   // after a backward selection
        {{10, 4}, {5, 2}, {0, 1}, {10, 4}, {0, 1}},  // before it
    };
    for (const auto& c : cases) {
        TestTerminal t(20, 10);
        SelectionService s(*t);
        s.setSelection(c.start, c.end);
        s.shiftExtend(c.click);
        EXPECT_EQ(s.start(), c.expectedStart);
        EXPECT_EQ(s.end(), c.expectedEnd);
        EXPECT_TRUE(s.hasSelectionRange());
    }
}

TEST(SelectionServiceTest, WordDragNeverShrinksBelowTheAnchorWord) {
    TestTerminal t(30, 3);
    writeCells(t->buffer(), 0, "one two three four");
    SelectionService s(*t);
    s.selectWordOrExpression({5, 0}, t->buffer());  // "two"
    s.dragExtend(Position{9, 0});                   // inside "three"
    EXPECT_EQ(s.start(), (Position{4, 0}));
    EXPECT_EQ(s.end(), (Position{13, 0}));
    s.dragExtend(Position{5, 0});  // back inside the anchor word
    EXPECT_EQ(s.start(), (Position{4, 0}));
    EXPECT_EQ(s.end(), (Position{7, 0}));
    s.dragExtend(Position{1, 0});  // into "one"
    EXPECT_EQ(s.start(), (Position{0, 0}));
    EXPECT_EQ(s.end(), (Position{7, 0}));
    EXPECT_EQ(s.getSelectedText(), "one two");
}

TEST(SelectionServiceTest, RowsAndAll) {
    TestTerminal t(80, 25, [](TerminalOptions& o) { o.scrollback = 500; });
    SelectionService s(*t);
    s.select(3);
    EXPECT_EQ(s.start(), (Position{0, 3}));
    EXPECT_EQ(s.end(), (Position{79, 3}));
    EXPECT_TRUE(s.selectingRows);
    s.dragExtend(Position{4, 1});
    EXPECT_EQ(s.start(), (Position{0, 1}));
    EXPECT_EQ(s.end(), (Position{79, 3}));
    s.shiftExtend(Position{0, 6});
    EXPECT_EQ(s.start(), (Position{0, 3}));
    EXPECT_EQ(s.end(), (Position{79, 6}));

    writeCells(t->buffer(), 0, "top");
    writeCells(t->buffer(), 24, "bottom");
    s.selectAll();
    EXPECT_EQ(s.end(), (Position{79, 524})) << "the ring's capacity, not the lines present";
    EXPECT_EQ(s.getSelectedText(), "top\n" + std::string(23, '\n') + "bottom");
}

TEST(SelectionServiceTest, PivotExtendAndSoftStart) {
    TestTerminal t(20, 5);
    t->buffer().setYDisp(0);
    SelectionService s(*t);
    s.startSelection(2, 3);
    EXPECT_EQ(s.start(), (Position{3, 2}));
    EXPECT_FALSE(s.hasSelectionRange());
    s.pivot = Position{5, 2};
    s.pivotExtend(Position{1, 1});
    EXPECT_EQ(s.start(), (Position{1, 1}));
    EXPECT_EQ(s.end(), (Position{5, 2}));
    s.pivotExtend(Position{5, 2});
    EXPECT_FALSE(s.hasSelectionRange());
    s.setActive(false);
    EXPECT_FALSE(s.pivot.has_value());
    s.pivotExtend(Position{9, 4});
    EXPECT_EQ(s.end(), (Position{5, 2})) << "no pivot, no change";
}

TEST(SelectionServiceTest, InPlaceScrollMovesOrClears) {
    struct Case {
        int fromRow, toRow;
        int top, bottom, lines;
        bool staysActive;
        int movedFrom, movedTo;
    } cases[] = {
        {5, 6, 0, 23, 1, true, 4, 5},       // moves with the text
        {0, 3, 0, 23, 1, false, 0, 0},      // row 0 would leave the region
        {20, 30, 0, 23, 1, false, 0, 0},    // straddles the region
        {30, 31, 0, 23, 1, true, 30, 31},   // outside the region: untouched
        {5, 6, 0, 23, -2, true, 7, 8},      // moved down
        {5, 6, 0, 23, 0, true, 5, 6},       // nothing to do
    };
    for (const auto& c : cases) {
        TestTerminal t(20, 40);
        SelectionService s(*t);
        s.setSelection({2, c.fromRow}, {4, c.toRow});
        s.pivot = Position{2, c.fromRow};
        s.adjustForInPlaceScroll(c.top, c.bottom, c.lines);
        EXPECT_EQ(s.active(), c.staysActive) << c.fromRow << ".." << c.toRow << " by " << c.lines;
        if (!c.staysActive) continue;
        EXPECT_EQ(s.start(), (Position{2, c.movedFrom}));
        EXPECT_EQ(s.end(), (Position{4, c.movedTo}));
        EXPECT_EQ(s.pivot, (Position{2, c.movedFrom})) << "a pivot on an end moves with it";
    }
}

// Inserted and deleted lines move a selection below the cursor with its text.
TEST(SelectionServiceTest, InsertedAndDeletedLinesMoveTheSelection) {
    struct Case {
        const char* edit;
        int movedTo;
    } cases[] = {
        {"\x1b[3;1H\x1b[2L", 7},  // two lines inserted above it
        {"\x1b[3;1H\x1b[2M", 3},  // two deleted above it
        {"\x1b[8;1H\x1b[2L", 5},  // below it: untouched
    };
    for (const auto& c : cases) {
        TestTerminal t(20, 10);
        SelectionService s(*t);
        s.setSelection({2, 5}, {4, 5});
        t.feed(c.edit);
        ASSERT_TRUE(s.active()) << c.edit;
        EXPECT_EQ(s.start(), (Position{2, c.movedTo})) << c.edit;
    }
}

// The terminal hands a scroll of rows 1-5, columns 5-10, to every selection it knows.
TEST(SelectionServiceTest, ColumnRestrictedScrollDropsOverlappingSelections) {
    struct Case {
        Position start, end;
        bool cleared;
    } cases[] = {
        {{0, 2}, {3, 2}, false},  // left of the margins
        {{4, 2}, {6, 2}, true},   // inside them
        {{0, 2}, {1, 3}, true},   // more than one row
        {{4, 9}, {6, 9}, false},  // below the region
    };
    TestTerminal t(20, 10);
    std::vector<std::unique_ptr<SelectionService>> selections;
    for (const auto& c : cases) {
        selections.push_back(std::make_unique<SelectionService>(*t));
        selections.back()->setSelection(c.start, c.end);
    }
    t->selectionsInvalidateForColumnRestrictedScroll(1, 5, 5, 10);
    for (size_t i = 0; i < selections.size(); ++i) EXPECT_EQ(selections[i]->active(), !cases[i].cleared) << i;
}

TEST(SelectionServiceTest, SelectNoneOnInactiveSelectionDoesNotNotify) {
    TestTerminal t;
    SelectionService s(*t);
    t.delegate.clear();
    s.selectNone();
    EXPECT_EQ(t.delegate.count("selectionChanged"), 0u);
    s.setSelection({0, 0}, {3, 0});
    s.selectNone();
    EXPECT_EQ(t.delegate.count("selectionChanged"), 2u);
}

// After any gesture, reset leaves an inactive character selection without pivot or anchors, so a
// later shift-click extends by characters from where the range was, not by words or rows.
TEST(SelectionServiceTest, ResetForgetsTheGesture) {
    using Mode = SelectionService::SelectionMode;
    struct Case {
        const char* name;
        std::function<void(SelectionService&, Buffer&)> gesture;
        Position start, end;
    } cases[] = {
        {"word", [](SelectionService& s, Buffer& b) { s.selectWordOrExpression({5, 0}, b); }, {4, 0}, {8, 0}},
        {"row", [](SelectionService& s, Buffer&) { s.select(1); }, {0, 1}, {19, 1}},
        {"drag", [](SelectionService& s, Buffer&) { s.startSelection(0, 2), s.dragExtend(0, 6); }, {2, 0}, {6, 0}},
    };
    for (const Case& c : cases) {
        TestTerminal t(20, 4);
        writeCells(t->buffer(), 0, "abc defg hij");
        SelectionService s(*t);
        c.gesture(s, t->buffer());
        ASSERT_TRUE(s.active()) << c.name;
        t.delegate.clear();
        s.reset();
        EXPECT_FALSE(s.active()) << c.name;
        EXPECT_EQ(t.delegate.count("selectionChanged"), 1u) << c.name;
        EXPECT_EQ(std::tuple(s.selectionMode, s.selectingRows, s.pivot.has_value(), s.wordSelectionAnchor.has_value(),
                             s.rowSelectionAnchor.has_value()),
                  std::tuple(Mode::character, false, false, false, false))
            << c.name;
        EXPECT_EQ(std::pair(s.start(), s.end()), std::pair(c.start, c.end)) << c.name;
        s.shiftExtend(2, 3);
        EXPECT_EQ(s.end(), (Position{3, 2})) << c.name;
        EXPECT_EQ(s.selectionMode, Mode::character) << c.name;
    }
}
