#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

std::string quoted(const char* text) { return ::testing::PrintToString(std::string(text)); }

// Counts the size changes the host hears of.
struct SizeCountingDelegate : vantel::testing::RecordingDelegate {
    void sizeChanged(Terminal& source) override { sizes.emplace_back(source.cols(), source.rows()); }
    std::vector<std::pair<int, int>> sizes;
};

}  // namespace

TEST(TerminalModesTest, DelegateHearsOfRealChangesOnly) {
    struct Case {
        const char* input;
        std::vector<std::string> events;
    } cases[] = {
        {"\x1b[?25l\x1b[?25l\x1b[?25h\x1b[?25h", {"hideCursor", "showCursor"}},
        {"\x1b[?5h\x1b[?5h\x1b[?5l", {"colorChanged:all", "colorChanged:all"}},
        {"\x1b[?1000h\x1b[?1006h\x1b[?1000l", {"mouseModeChanged", "mouseModeChanged"}},
        {"\x1b[?2026h\x1b[?2026h\x1b[?2026l", {"sync:on", "sync:off"}},
        {"\x1b[?25l\x1b[?47h\x1b[?47l", {"hideCursor", "showCursor", "bufferActivated", "bufferActivated"}},
        {"\x1b[?3h", {}},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.delegate.events, c.events) << quoted(c.input);
    }
}

TEST(TerminalModesTest, ModesReachBothBuffers) {
    TestTerminal t;
    t.feed("\x1b[4h\x1b[?69h\x1b[?7l\x1b[?2500h");
    EXPECT_TRUE(t->insertMode && t->normalBuffer().insertMode && t->altBuffer().insertMode);
    EXPECT_TRUE(t->marginMode && t->normalBuffer().marginMode && t->altBuffer().marginMode);
    EXPECT_FALSE(t->wraparound || t->normalBuffer().wraparound || t->altBuffer().wraparound);
    EXPECT_TRUE(t->normalBuffer().defaultBidiState.boxMirroring && t->altBuffer().defaultBidiState.boxMirroring);
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(0, 25));
}

// DECCOLM changes the width and clears the page; the modes and the scroll-back stay, so the
// program can switch back.
TEST(TerminalModesTest, ColumnModeNeedsPermissionAndKeepsTheModes) {
    vantel::testing::TestTerminalOf<SizeCountingDelegate> t(80, 10, vantel::testing::scrollback(100));
    t.feed("\x1b[?3h");
    EXPECT_EQ(t->cols(), 80);
    for (int i = 0; i < 15; ++i) t.feed("line " + std::to_string(i) + "\r\n");
    t.feed("\x1b[H\x1b#6\x1b[3;8r\x1b[?69h\x1b[5;20s\x1b[1m\x1b[5;5Hx");
    t.feed("\x1b[?40h\x1b[?2004h\x1b[?3h");
    t.feed("\x1b[?40$p\x1b[?2004$p\x1b[?69$p\x1b[18t\x1bP$qr\x1b\\\x1bP$qs\x1b\\\x1bP$qm\x1b\\");
    EXPECT_EQ(t.delegate.replies(), "\x1b[?40;1$y\x1b[?2004;1$y\x1b[?69;1$y\x1b[8;10;132t\x1bP1$r1;10r\x1b\\"
                                    "\x1bP1$r1;132s\x1b\\\x1bP1$r0;1m\x1b\\");
    EXPECT_EQ(t.cursor(), std::make_pair(0, 0));
    EXPECT_EQ(t.rows(), std::vector<std::string>(10, ""));
    EXPECT_EQ(t->getLine(0)->renderMode(), BufferLine::RenderLineMode::single);
    EXPECT_EQ(t->buffer().lines()[0].translateToString(true), "line 0") << "the scroll-back stays";

    t.delegate.clear();
    t.feed("\x1b[?3l\x1b[?3$p");
    EXPECT_EQ(t->cols(), 80);
    EXPECT_EQ(t.delegate.replies(), "\x1b[?3;2$y");
    EXPECT_EQ(t.delegate.sizes, (std::vector<std::pair<int, int>>{{132, 10}, {80, 10}}));

    // On the alternate screen only that screen is blanked; the normal one keeps its text.
    t.feed("\x1b[Hkept\x1b[?1049h\x1b[5;5Halt\x1b[?3h");
    EXPECT_EQ(t.rows(), std::vector<std::string>(10, ""));
    EXPECT_EQ(t.cursor(), std::make_pair(0, 0));
    t.feed("\x1b[?1049l");
    EXPECT_EQ(t.row(0), "kept");
}

TEST(TerminalModesTest, AlternateScreenKeepsTheNormalCursor) {
    TestTerminal t;
    t.feed("\x1b[5;7H\x1b[?1049h\x1b[2;2Hx\x1b[?1049l");
    EXPECT_EQ(t.cursor(), std::make_pair(6, 4));
    t.feed("\x1b[?1049h");
    EXPECT_EQ(t.row(1), "");
}

TEST(TerminalModesTest, AlternateScreenIsClearedOnlyWhenAsked) {
    TestTerminal t;
    t.feed("\x1b[?1047h");
    t->buffer().lines()[0].setCell(0, CharData(Attribute::defaultAttribute, 'x', 1));
    t.feed("\x1b[?47l");
    EXPECT_EQ(t->altBuffer().lines()[0][0].code, 'x');
    t.feed("\x1b[?47h\x1b[?1047l");
    EXPECT_EQ(t->altBuffer().lines().count(), 0);
}

TEST(TerminalModesTest, SoftResetRestoresModesButKeepsScreenAndCursor) {
    TestTerminal t;
    t.feed("\x1b[4h\x1b[?6h\x1b[?7l\x1b[?1h\x1b=\x1b[1;31m\x1b[?25l\x1b[?2500h\x1b[?2500s\x1b[20h");
    t.feed("\x1b[>3u\x1b[?1000h\x1b[?2004h\x1b[?69h");
    t.feed("\x1b(0\x1b[3;20s\x1b[5;10r\x1b[6;8H\x1b" "7");
    t->ansiColors[1] = Color(1, 2, 3);
    t.delegate.clear();

    t.feed("\x1b[!p");
    EXPECT_FALSE(t->insertMode || t->buffer().insertMode || t->originMode);
    EXPECT_TRUE(t->wraparound && t->buffer().wraparound);
    EXPECT_FALSE(t->applicationCursor || t->applicationKeypad || t->cursorHidden || t->lineFeedMode);
    EXPECT_EQ(t->curAttr, Attribute::defaultAttribute);
    EXPECT_EQ(t->buffer().scrollTop(), 0);
    EXPECT_EQ(t->buffer().scrollBottom(), 24);
    EXPECT_EQ(t->charset, nullptr);
    EXPECT_FALSE(t->currentBidiState.boxMirroring);
    EXPECT_TRUE(t->savedBidiPrivateModes.empty());
    EXPECT_EQ(t->ansiColors, t->defaultAnsiColors);
    EXPECT_EQ(t.cursor(), std::make_pair(9, 9));
    EXPECT_EQ(std::make_pair(t->buffer().marginLeft, t->buffer().marginRight), std::make_pair(0, 79));
    EXPECT_TRUE(t->marginMode && t->bracketedPasteMode);
    EXPECT_EQ(t->mouseMode, Terminal::MouseMode::vt200);
    EXPECT_EQ(t->keyboardEnhancementFlags(), KittyKeyboardFlags(3));
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"colorChanged:all", "showCursor"}));
    t.feed("\x1b" "8");
    EXPECT_EQ(t.cursor(), std::make_pair(0, 0)) << "the saved cursor is back to its power-on state";
    t.feed("\x1b[HAB\x1b[Hq");
    EXPECT_EQ(t.row(0), "qB");
}

TEST(TerminalModesTest, ConformanceLevelChoosesReplyWidth) {
    using Level = Terminal::TerminalConformance;
    struct Case {
        const char* input;
        Level level;
        bool send8bit;
    } cases[] = {
        {"\x1b[62;1\"p", Level::vt200, false}, {"\x1b[63;2\"p", Level::vt300, true},
        {"\x1b[61;2\"p", Level::vt100, false}, {"\x1b G\x1b[64\"p", Level::vt400, true},
        {"\x1b[62\"p\x1b[99\"p", Level::vt500, false}, {"\x1b[62\"p\x1b[\"p", Level::vt200, false},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t->conformance, c.level) << quoted(c.input);
        EXPECT_EQ(t->cc.send8bit, c.send8bit) << quoted(c.input);
    }
}
