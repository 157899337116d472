#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::scrollback;
using vantel::testing::TestTerminal;

namespace {

// The modes, attributes and regions a reset puts back, as one comparable line.
std::string modes(Terminal& t) {
    std::string out;
    for (bool flag : {t.applicationCursor, t.applicationKeypad, t.originMode, t.insertMode, t.wraparound,
                      t.reverseWraparound, t.bracketedPasteMode, t.marginMode, t.lineFeedMode, t.sendFocus,
                      t.charset != nullptr, t.cc.send8bit, t.isCurrentBufferAlternate(), t.cursorHidden,
                      t.ansiColors == t.defaultAnsiColors, t.synchronizedOutputActive()}) {
        out += flag ? '1' : '0';
    }
    for (int value : {static_cast<int>(t.mouseMode), static_cast<int>(t.mouseProtocol), t.keyboardModeNormal.flags.rawValue,
                      t.keyboardModeAlt.flags.rawValue, t.buffer().scrollTop(), t.buffer().scrollBottom(),
                      t.buffer().marginLeft, t.buffer().marginRight, t.buffer().lines().maxLength(), t.options().cols,
                      t.options().rows}) {
        out += ' ' + std::to_string(value);
    }
    return out + ' ' + t.curAttr.toSgr();
}

}  // namespace

TEST(TerminalResetTest, FullResetRestoresPowerOnStateButKeepsSizeAndHiddenCursor) {
    TestTerminal t(30, 8, scrollback(100));
    t->resize(40, 10);
    t.feed("old text\x1b[?1h\x1b=\x1b[?6h\x1b[4h\x1b[?7l\x1b[?45h\x1b[?2004h\x1b[?1003h\x1b[44m\x1b[>5u");
    t.feed("\x1b[3;9r\x1b[?69h\x1b[2;7s\x1b(0\x1b G\x1b[?2026h\x1b[?1049h\x1b[>1u\x1b[?25l\x1b[?6l\x1b[5;6H");
    t.delegate.clear();
    t.feed("\x1b" "c");

    TestTerminal fresh(40, 10, scrollback(100));
    fresh.feed("\x1b[?25l");
    EXPECT_EQ(modes(*t), modes(*fresh));
    EXPECT_EQ(t.rows(), fresh.rows());
    EXPECT_EQ(t->buffer().lines().count(), 10);
    EXPECT_TRUE(t->cursorHidden);
    EXPECT_EQ(t.delegate.count("showCursor") + t.delegate.count("hideCursor"), 0u);
    EXPECT_EQ(t.delegate.count("bufferActivated"), 1u);
    EXPECT_EQ(t->getUpdateRange().value_or(std::make_pair(-1, -1)).first, 0);
    EXPECT_EQ(t.cursor(), std::make_pair(0, 0)) << "reset on the alternate screen still starts at home";
}

TEST(TerminalResetTest, ResizeClampsAndIgnoresTheCurrentSize) {
    struct Case {
        int startCols, startRows, cols, rows;
        int expectedCols, expectedRows;
        bool endsSynchronizedOutput;
    } cases[] = {
        {2, 1, 1, 0, 2, 1, false},               // raised to the minimum, which is the current size
        {80, 25, 80, 25, 80, 25, false},         // unchanged
        {80, 25, 100, 30, 100, 30, true},
        {80, 25, 1000000, 1000000, 4096, 2048, true},  // a child asking for an absurd size
        {80, 25, -5, -5, 2, 1, true},
    };
    for (const auto& c : cases) {
        TestTerminal t(c.startCols, c.startRows);
        t->beginSynchronizedOutput();
        t->resize(c.cols, c.rows);
        EXPECT_EQ(t->cols(), c.expectedCols);
        EXPECT_EQ(t->rows(), c.expectedRows);
        EXPECT_EQ(t->buffer().cols(), c.expectedCols);
        EXPECT_EQ(t->altBuffer().rows(), c.expectedRows);
        EXPECT_EQ(t->options().rows, c.expectedRows);
        EXPECT_EQ(t->synchronizedOutputActive(), !c.endsSynchronizedOutput) << c.cols << "x" << c.rows;
    }
    TestTerminal small(1, 0);
    EXPECT_EQ(std::make_pair(small->cols(), small->rows()), std::make_pair(2, 1)) << "construction clamps too";
}

TEST(TerminalResetTest, ResizeKeepsTabStopsOfTheOldWidth) {
    TestTerminal t(20, 5);
    Buffer& b = t->buffer();
    b.tabClear(8);
    b.tabSet(3);
    t->resize(30, 5);
    EXPECT_TRUE(b.tabStops[3]);
    EXPECT_FALSE(b.tabStops[8]);
    EXPECT_TRUE(b.tabStops[24]);
    EXPECT_EQ(b.tabStops.size(), 30u);
}

// A terminal made wider than 80 columns has default stops across its whole width, on both
// screens and after a full reset.
TEST(TerminalResetTest, TabStopsSpanTheWidthTheTerminalWasMadeWith) {
    TestTerminal t(200, 10);
    auto tabFrom = [&](int column) {
        t.feed("\x1b[1;" + std::to_string(column + 1) + "H\t");
        return t.cursor().first;
    };
    for (const char* setup : {"", "\x1b[?1049h", "\x1b[?1049l\x1b" "c", "\x1b[?1049h"}) {
        t.feed(setup);
        EXPECT_EQ(tabFrom(123), 128) << "after \"" << setup << "\"";
        EXPECT_EQ(tabFrom(190), 192);
        EXPECT_EQ(tabFrom(193), 199) << "no stop after the last: the right margin";
    }
}

TEST(TerminalResetTest, TitlesAlwaysReachTheHostCursorOnlyOnChange) {
    TestTerminal t;
    t->setTitle("build");
    t->setTitle("build");
    t->setIconTitle("b");
    t->hideCursor();
    t->hideCursor();
    t->showCursor();
    t->showCursor();
    EXPECT_EQ(t.delegate.events,
              (std::vector<std::string>{"title:build", "title:build", "icon:b", "hideCursor", "showCursor"}));
    EXPECT_EQ(t->terminalTitle, "build");
    EXPECT_EQ(t->iconTitle, "b");
}
