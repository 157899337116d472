#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "support/TerminalTestSupport.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::scrollback;
using vantel::testing::TestTerminal;

namespace {

const Attribute::Color red = Attribute::Color::ansi256(1);
using Rows = std::vector<std::string>;
const Rows filled = {"r0", "r1", "r2", "r3", "r4"};

class RecordingSelection : public SelectionService {
public:
    using SelectionService::SelectionService;
    void adjustForInPlaceScroll(int top, int bottom, int lines) override { calls.emplace_back(top, bottom, lines); }
    std::vector<std::tuple<int, int, int>> calls;
};

}  // namespace

// Erases, inserted and deleted lines, scrolls and line feeds on a 10 x 5 screen reading
// "r0" ... "r4", with a red current background.
TEST(TerminalScrollTest, LineMovesOnAFilledScreen) {
    // How the blank rows left behind are coloured: not checked, the current background, the default one.
    enum Blank { any, current, plain };
    const std::pair<int, int> unmoved{2, 4};
    struct Case {
        const char* name;
        std::string input;
        Rows rows;
        std::pair<int, int> cursor;
        Blank blank = any;
        int yBase = 0;
    } cases[] = {
        {"ED 0", "\x1b[2;2H\x1b[J", {"r0", "r", "", "", ""}, {1, 1}},
        {"ED 1", "\x1b[2;2H\x1b[1J", {"", "", "r2", "r3", "r4"}, {1, 1}},
        {"ED 2", "\x1b[2;2H\x1b[2J", {"", "", "", "", ""}, {1, 1}},
        {"CSI ? 2 J clears like ED 2", "\x1b[?2J", {"", "", "", "", ""}, unmoved},
        {"ED 3 without scroll-back changes nothing", "\x1b[3J", filled, unmoved},
        {"ED 4 does nothing", "\x1b[4J", filled, unmoved},
        {"IL", "\x1b[2;1H\x1b[L", {"r0", "", "r1", "r2", "r3"}, {0, 1}, current},
        {"IL 1000 clears from the cursor down", "\x1b[3;1H\x1b[1000L", {"r0", "r1", "", "", ""}, {0, 2}, current},
        {"IL inside a region", "\x1b[2;4r\x1b[3;1H\x1b[L", {"r0", "r1", "", "r2", "r4"}, {0, 2}, current},
        {"IL outside the region does nothing", "\x1b[2;4r\x1b[5;1H\x1b[L", filled, {0, 4}},
        {"DL", "\x1b[2;1H\x1b[M", {"r0", "r2", "r3", "r4", ""}, {0, 1}, current},
        {"DL 2 inside a region", "\x1b[2;4r\x1b[2;1H\x1b[2M", {"r0", "r3", "", "", "r4"}, {0, 1}, current},
        {"DL 1000", "\x1b[4;1H\x1b[1000M", {"r0", "r1", "r2", "", ""}, {0, 3}, current},
        {"SD 0 scrolls by one", "\x1b[0T", {"", "r0", "r1", "r2", "r3"}, unmoved, plain},
        {"SD 2", "\x1b[2T", {"", "", "r0", "r1", "r2"}, unmoved, plain},
        {"SD 1000 clears the screen", "\x1b[1000T", {"", "", "", "", ""}, unmoved, plain},
        {"SU 1", "\x1b[S", {"r1", "r2", "r3", "r4", ""}, unmoved, plain},
        {"SU 1000 clears the screen", "\x1b[1000S", {"", "", "", "", ""}, unmoved, plain},
        {"SD inside a region", "\x1b[2;4r\x1b[T", {"r0", "", "r1", "r2", "r4"}, {0, 0}, plain},
        {"SU inside a region", "\x1b[2;4r\x1b[2S", {"r0", "r3", "", "", "r4"}, {0, 0}, plain},
        {"RI inside the screen moves up", "\x1b[3;1H\x1bM", filled, {0, 1}},
        {"RI at the top inserts a line", "\x1b[1;1H\x1bM", {"", "r0", "r1", "r2", "r3"}, {0, 0}, current},
        {"RI at the region top scrolls the region", "\x1b[2;4r\x1b[2;1H\x1bM", {"r0", "", "r1", "r2", "r4"}, {0, 1},
         current},
        {"RI on row 0 above the region moves nothing", "\x1b[2;4r\x1b[1;1H\x1bM", filled, {0, 0}},
        {"LF at the region bottom scrolls it", "\x1b[2;4r\x1b[4;1H\n", {"r0", "r2", "r3", "", "r4"}, {0, 3}},
        {"LF on the last row below the region does nothing", "\x1b[1;3r\x1b[5;3H\n", filled, unmoved},
        // A region at the top feeds the scroll-back even when it ends above the bottom.
        {"LF at the bottom of a top region", "\x1b[1;3r\x1b[3;1H\n", {"r1", "r2", "", "r3", "r4"}, {0, 2}, any, 1},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 5);
        t.fillRows();
        t->curAttr.bg = red;
        t.feed(c.input);
        EXPECT_EQ(t.rows(), c.rows) << c.name;
        EXPECT_EQ(t.cursor(), c.cursor) << c.name;
        EXPECT_EQ(t->buffer().yBase(), c.yBase) << c.name;
        if (c.yBase) {
            EXPECT_EQ(t->buffer().lines()[0].translateToString(true), "r0") << c.name;
        }
        for (int y = 0; y < 5; ++y) {
            if (c.blank == any || !t.row(y).empty()) continue;
            EXPECT_EQ(t.cell(0, y).attribute.bg, c.blank == current ? red : Attribute::Color::defaultColor())
                << c.name << " row " << y;
        }
    }
}

// Lines that move as a block keep their own paragraph; the row above them does not run on.
TEST(TerminalScrollTest, MovedBlocksCutTheParagraphAboveThem) {
    for (const char* input : {"\x1b[2;1H\x1b[L", "\x1b[2;5r\x1b[T"}) {
        TestTerminal t(10, 5);
        t.feed(std::string(25, 'x'));  // rows 1 and 2 continue row 0
        t.feed(input);
        EXPECT_FALSE(t.wrapped(1)) << input;
        EXPECT_FALSE(t.wrapped(2)) << input;
        EXPECT_TRUE(t.wrapped(3)) << input << ": rows that moved together stay joined";
    }
}

TEST(TerminalScrollTest, IndexAtTheBottomOfAPartialRegionStaysOnScreen) {
    TestTerminal t;
    t.fillRows();
    t.feed("\x1b[6;11r\x1b[11;1H\n");
    EXPECT_EQ(t->buffer().yBase(), 0);
    EXPECT_EQ(t->buffer().lines().count(), 25) << "nothing entered the scroll-back";
    const auto rows = t.rows();
    EXPECT_EQ(Rows(rows.begin() + 4, rows.begin() + 12), (Rows{"r4", "r6", "r7", "r8", "r9", "r10", "", "r11"}));
    EXPECT_EQ(t.cursor(), std::make_pair(0, 10));
}

TEST(TerminalScrollTest, ARingWithRoomMovesTheBaseAFullOneRecycles) {
    TestTerminal t(10, 5, scrollback(3));
    t.fillRows();
    t.delegate.clear();
    t.feed("\n");
    EXPECT_EQ(t->buffer().yBase(), 1);
    EXPECT_EQ(t->buffer().yDisp(), 1);
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"scrolled:1", "linefeed"}));
    t.feed("\n\n");
    ASSERT_EQ(t->buffer().lines().count(), 8);
    EXPECT_EQ(t->buffer().totalLinesTrimmed(), 0);

    t->curAttr = Attribute(Attribute::Color::ansi256(3), red, CharacterStyle(CharacterStyle::bold));
    for (int trimmed = 1; trimmed <= 2; ++trimmed) {
        t.feed("\n");
        EXPECT_EQ(t->buffer().yBase(), 3) << "the ring moves, not yBase";
        EXPECT_EQ(t->buffer().yDisp(), 3);
        EXPECT_EQ(t->buffer().totalLinesTrimmed(), trimmed);
        EXPECT_EQ(t->buffer().lines()[0].translateToString(true), std::string("r").append(std::to_string(trimmed)));
    }
    const CharData blank = t.cell(0, 4);
    EXPECT_EQ(blank.code, 0);
    EXPECT_EQ(blank.attribute.bg, red);
    EXPECT_TRUE(blank.attribute.fg.isDefault());
    EXPECT_TRUE(blank.attribute.style.isEmpty());
}

TEST(TerminalScrollTest, UserScrollingKeepsTheViewOnItsContent) {
    TestTerminal t(10, 5, scrollback(3));
    t.fillRows();
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
    t.fillRows();
    t->clearUpdateRange();
    t.feed("\n");
    EXPECT_EQ(t.rows(), (Rows{"r1", "r2", "r3", "r4", ""}));
    EXPECT_EQ(t->buffer().yBase(), 0);
    EXPECT_EQ(t->buffer().totalLinesTrimmed(), 0);
    EXPECT_TRUE(t->getScrollInvariantUpdateRange().has_value()) << "no scroll-back: rows are marked as changed";
}

TEST(TerminalScrollTest, WrapAtTheBottomContinuesTheParagraph) {
    TestTerminal t(10, 3);
    t->getLine(2)->setBidiState({BidiSupportMode::explicit_, false, BidiDirection::rightToLeft, true});
    t.feed("\x1b[3;1H" + std::string(12, 'x'));
    EXPECT_TRUE(t.wrapped(2));
    EXPECT_EQ(t->getLine(2)->bidiState(), t->getLine(1)->bidiState());
    EXPECT_EQ(t->getLine(2)->bidiState().fallbackDirection, BidiDirection::rightToLeft);
}

// With left and right margins only the columns between them move.
TEST(TerminalScrollTest, MarginsLimitLineMovesToTheirColumns) {
    const std::string screen = "abcdefghij\r\nklmnopqrst\r\nuvwxyz0123\x1b[3;6s";
    const std::string blank4(4, '\0');
    struct Case {
        const char* name;
        std::string input;
        Rows rows;
        std::optional<std::pair<int, int>> cursor;
    } cases[] = {
        {"IL", "\x1b[1;4H\x1b[L", {"ab" + blank4 + "ghij", "klcdefqrst", "uvmnop0123"}, std::nullopt},
        {"IL then DL", "\x1b[1;4H\x1b[L\x1b[M", {"abcdefghij", "klmnopqrst", "uv" + blank4 + "0123"}, std::nullopt},
        {"LF at the bottom", "\x1b[3;4H\n", {"abmnopghij", "klwxyzqrst", "uv" + blank4 + "0123"}, std::pair{3, 2}},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 3);
        t.setMarginMode(true);
        t.feed(screen + c.input);
        EXPECT_EQ(t.rows(), c.rows) << c.name;
        if (c.cursor) {
            EXPECT_EQ(t.cursor(), *c.cursor) << c.name;
        }
        EXPECT_EQ(t->buffer().yBase(), 0) << c.name;
    }
}

// At the region's top a cursor left of the margins moves nothing, as one right of them.
TEST(TerminalScrollTest, ReverseIndexLeftOfTheMarginsAtTheRegionTop) {
    const std::string margins = "\x1b[2;5r\x1b[?69h\x1b[3;8s";
    struct Case {
        const char* name;
        std::string input;
        const char* reply;
    } cases[] = {
        {"left of the margins at the region top", margins + "\x1b[2;1H\x1bM\x1b[6n", "\x1b[2;1R"},
        {"right of the margins at the region top", margins + "\x1b[2;10H\x1bM\x1b[6n", "\x1b[2;10R"},
        {"left of the margins below the region top", margins + "\x1b[4;1H\x1bM\x1b[6n", "\x1b[3;1R"},
    };
    for (const auto& c : cases) {
        TestTerminal t(10, 6);
        t.fillRows();
        t.feed(c.input);
        EXPECT_EQ(t.rows(), Rows({"r0", "r1", "r2", "r3", "r4", "r5"})) << c.name;
        EXPECT_EQ(t.delegate.replies(), c.reply) << c.name;
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

TEST(TerminalScrollTest, SelectionsFollowInPlaceScrolls) {
    TestTerminal t(10, 5, scrollback(2));
    RecordingSelection selection(*t);
    t.fillRows();
    t.feed("\r\n\r\n");  // the ring is full now
    selection.calls.clear();
    t.feed("\n");
    t.feed("\x1b[2;4r\x1b[4;1H\n");
    t.feed("\x1b[2;1H\x1bM");
    t.feed("\x1b[3T\x1b[2S");
    EXPECT_EQ(selection.calls, (std::vector<std::tuple<int, int, int>>{
                                   {0, 6, 1}, {3, 5, 1}, {3, 5, -1}, {3, 5, -3}, {3, 5, 2}}));
}
