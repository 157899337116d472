#include <gtest/gtest.h>

#include "support/BufferTextFill.h"
#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::ringRowText;
using vantel::testing::TestTerminal;
using vantel::testing::writeCells;

namespace {

// Moves a few values off their power-on state, as a busy child would.
void disturb(Terminal& t) {
    t.applicationCursor = true;
    t.applicationKeypad = true;
    t.originMode = true;
    t.insertMode = true;
    t.wraparound = false;
    t.bracketedPasteMode = true;
    t.mouseMode = Terminal::MouseMode::anyEvent;
    t.curAttr.bg = Attribute::Color::ansi256(4);
    t.keyboardModeNormal.flags = KittyKeyboardFlags(5);
    t.buffer().setScrollTop(2);
    t.cc.send8bit = true;
    writeCells(t.buffer(), 0, "old text");
    t.activateAltBuffer(std::nullopt);
}

}  // namespace

TEST(TerminalResetTest, FullResetRestoresPowerOnStateButKeepsSizeAndHiddenCursor) {
    TestTerminal t(30, 8, [](TerminalOptions& o) { o.scrollback = 100; });
    t->resize(40, 10);
    disturb(*t);
    t->hideCursor();
    t.delegate.clear();
    t->feed("\x1b" "c");

    EXPECT_EQ(t->cols(), 40);
    EXPECT_EQ(t->rows(), 10);
    EXPECT_EQ(t->options().cols, 40);
    EXPECT_TRUE(t->cursorHidden);
    EXPECT_EQ(t.delegate.count("showCursor") + t.delegate.count("hideCursor"), 0u);
    EXPECT_FALSE(t->isCurrentBufferAlternate());
    EXPECT_EQ(ringRowText(*t, 0), "");
    EXPECT_EQ(t->buffer().lines().maxLength(), 110);
    EXPECT_EQ(t->buffer().cols(), 40);
    EXPECT_EQ(t->buffer().scrollTop(), 0);
    EXPECT_EQ(t->buffer().scrollBottom(), 9);
    EXPECT_FALSE(t->applicationCursor);
    EXPECT_FALSE(t->applicationKeypad);
    EXPECT_FALSE(t->originMode);
    EXPECT_FALSE(t->insertMode);
    EXPECT_TRUE(t->wraparound);
    EXPECT_FALSE(t->bracketedPasteMode);
    EXPECT_EQ(t->mouseMode, Terminal::MouseMode::off);
    EXPECT_EQ(t->curAttr, Attribute::defaultAttribute);
    EXPECT_EQ(t->keyboardModeNormal.flags, KittyKeyboardFlags());
    EXPECT_FALSE(t->cc.send8bit);
    EXPECT_EQ(t.delegate.count("bufferActivated"), 1u);
    auto range = t->getUpdateRange();
    ASSERT_TRUE(range);
    EXPECT_EQ(range->first, 0);
}

TEST(TerminalResetTest, HiddenCursorByDectcemSurvivesReset) {
    TestTerminal t;
    t.feed("\x1b[?25l");
    if (!t->cursorHidden) GTEST_SKIP() << "DECTCEM is not handled on this branch";
    t.feed("\x1b" "c");
    EXPECT_TRUE(t->cursorHidden);
    EXPECT_EQ(t->cols(), 80);
    EXPECT_EQ(t->rows(), 25);
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

TEST(TerminalResetTest, ScrollbackCanBeClearedAndResized) {
    TestTerminal t(10, 3, [](TerminalOptions& o) { o.scrollback = 50; });
    Buffer& b = t->buffer();
    for (int i = 0; i < 5; ++i) b.lines().push(b.getBlankLine(Attribute::defaultAttribute));
    b.setYBase(5);
    b.setYDisp(5);
    t->clearScrollback();
    EXPECT_EQ(b.yBase(), 0);
    EXPECT_EQ(b.lines().count(), 3);

    t->changeScrollback(std::nullopt);
    EXPECT_EQ(t->options().scrollback, 0);
    EXPECT_FALSE(b.hasScrollback());
    EXPECT_EQ(b.lines().maxLength(), 3);
    t->changeHistorySize(7);
    EXPECT_EQ(t->options().scrollback, 7);
    EXPECT_EQ(b.lines().maxLength(), 10);
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

    Terminal silent(nullptr, TerminalOptions());
    silent.setTitle("kept");
    silent.hideCursor();
    EXPECT_EQ(silent.terminalTitle, "kept");
    EXPECT_TRUE(silent.cursorHidden);
}
