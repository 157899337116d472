#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"

using namespace vantel;
using vantel::testing::TestTerminal;

namespace {

struct ReplyCase {
    const char* setup;
    const char* query;
    const char* reply;
};

}  // namespace

TEST(TerminalModesTest, ModeReportsFollowTheModes) {
    const ReplyCase cases[] = {
        {"", "\x1b[?1049$p", "\x1b[?1049;0$y"},
        {"", "\x1b[?25$p", "\x1b[?25;1$y"},
        {"\x1b[?25l", "\x1b[?25$p", "\x1b[?25;2$y"},
        {"", "\x1b[$p", "\x1b[;0$y"},
        {"", "\x1b[?$p", "\x1b[;0$y"},
        {"\x1b G", "\x1b[$p", "\x9b;0$y"},
        {"\x1b[20h", "\x1b[20$p", "\x1b[20;1$y"},
        {"\x1b[20h\x1b[20l", "\x1b[20$p", "\x1b[20;2$y"},
        {"", "\x1b[12$p", "\x1b[12;1$y"},
        {"", "\x1b[1$p", "\x1b[1;4$y"},
        {"", "\x1b[2$p", "\x1b[2;2$y"},
        {"", "\x1b[6$p", "\x1b[6;0$y"},
        {"\x1b[4h", "\x1b[4$p", "\x1b[4;1$y"},
        {"", "\x1b[8$p", "\x1b[8;1$y"},
        {"\x1b[8l", "\x1b[8$p", "\x1b[8;2$y"},
        {"\x1b[?1;7l", "\x1b[?7$p", "\x1b[?7;2$y"},
        {"\x1b[?1;66h", "\x1b[?66$p", "\x1b[?66;1$y"},
        {"\x1b[?1;66h", "\x1b[?1$p", "\x1b[?1;1$y"},
        {"", "\x1b[?7$p", "\x1b[?7;1$y"},
        {"", "\x1b[?1007$p", "\x1b[?1007;1$y"},
        {"", "\x1b[?2$p", "\x1b[?2;1$y"},
        {"", "\x1b[?10$p", "\x1b[?10;4$y"},
        {"", "\x1b[?1001$p", "\x1b[?1001;2$y"},
        {"", "\x1b[?3$p", "\x1b[?3;2$y"},
        {"\x1b[?1006h", "\x1b[?1006$p", "\x1b[?1006;1$y"},
        // Encodings are one setting: resetting any of them returns to the X10 form.
        {"\x1b[?1006h\x1b[?1015l", "\x1b[?1006$p", "\x1b[?1006;2$y"},
        {"\x1b[?1016h", "\x1b[?1016$p", "\x1b[?1016;1$y"},
        {"\x1b[?1002h", "\x1b[?1002$p", "\x1b[?1002;1$y"},
        {"\x1b[?1002h", "\x1b[?1000$p", "\x1b[?1000;2$y"},
        {"\x1b[?1003h\x1b[?9l", "\x1b[?1003$p", "\x1b[?1003;2$y"},
        {"\x1b[?9h", "\x1b[?9$p", "\x1b[?9;1$y"},
        {"\x1b[?1049h", "\x1b[?47$p", "\x1b[?47;1$y"},
        {"\x1b[?1047h\x1b[?1047l", "\x1b[?47$p", "\x1b[?47;2$y"},
        {"\x1b[?2004h", "\x1b[?2004$p", "\x1b[?2004;1$y"},
        {"\x1b[?2026h", "\x1b[?2026$p", "\x1b[?2026;1$y"},
        {"\x1b[?2026h\x1b[?2026l", "\x1b[?2026$p", "\x1b[?2026;2$y"},
        {"\x1b[?1243h", "\x1b[?1243$p", "\x1b[?1243;1$y"},
        {"\x1b[?2501l", "\x1b[?2501$p", "\x1b[?2501;2$y"},
        {"\x1b[?7l\x1b[?45h", "\x1b[?45$p", "\x1b[?45;2$y"},
        {"\x1b[?7h\x1b[?45h", "\x1b[?45$p", "\x1b[?45;1$y"},
        {"\x1b[?4;5;6;12;40;69h", "\x1b[?69$p", "\x1b[?69;1$y"},
        {"\x1b[?4;5;6;12;40;69h", "\x1b[?12$p", "\x1b[?12;1$y"},
        // Saved bidi modes come back; other modes are never saved.
        {"\x1b[?2500h\x1b[?2500s\x1b[?2500l\x1b[?2500r", "\x1b[?2500$p", "\x1b[?2500;1$y"},
        {"\x1b[?1243h\x1b[?1243s\x1b[?1243l\x1b[?1243r", "\x1b[?1243$p", "\x1b[?1243;1$y"},
        {"\x1b[?1s\x1b[?1h\x1b[?1r", "\x1b[?1$p", "\x1b[?1;1$y"},
        {"\x1b[?2500s\x1b[?2500h\x1b[?9999r", "\x1b[?2500$p", "\x1b[?2500;1$y"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.setup);
        t.delegate.clear();
        t.feed(c.query);
        EXPECT_EQ(t.delegate.replies(), c.reply) << "after " << ::testing::PrintToString(std::string(c.setup))
                                                 << " asking " << ::testing::PrintToString(std::string(c.query));
    }
}

TEST(TerminalModesTest, ModesSetTheTerminalAndBothBuffers) {
    TestTerminal t;
    t.feed("\x1b[4h\x1b[?69h\x1b[?7l");
    EXPECT_TRUE(t->insertMode && t->normalBuffer().insertMode && t->altBuffer().insertMode);
    EXPECT_TRUE(t->marginMode && t->normalBuffer().marginMode && t->altBuffer().marginMode);
    EXPECT_FALSE(t->wraparound || t->normalBuffer().wraparound || t->altBuffer().wraparound);
    t.feed("\x1b[4l\x1b[?69l\x1b[?7h");
    EXPECT_FALSE(t->insertMode || t->normalBuffer().insertMode || t->altBuffer().insertMode);
    EXPECT_FALSE(t->marginMode || t->normalBuffer().marginMode || t->altBuffer().marginMode);
    EXPECT_TRUE(t->wraparound && t->normalBuffer().wraparound && t->altBuffer().wraparound);
    t.feed("\x1b[h");
    EXPECT_FALSE(t->insertMode);
}

TEST(TerminalModesTest, DelegateHearsOfRealChangesOnly) {
    struct Case {
        const char* input;
        std::vector<std::string> events;
    } cases[] = {
        {"\x1b[?25l\x1b[?25l", {"hideCursor"}},
        {"\x1b[?25h", {}},
        {"\x1b[?25l\x1b[?25h", {"hideCursor", "showCursor"}},
        {"\x1b[?5h\x1b[?5h\x1b[?5l", {"colorChanged:all", "colorChanged:all"}},
        {"\x1b[?1000h\x1b[?1006h\x1b[?1000l", {"mouseModeChanged", "mouseModeChanged"}},
        {"\x1b[?2026h\x1b[?2026h\x1b[?2026l", {"sync:on", "sync:off"}},
        {"\x1b[?1049h", {"bufferActivated"}},
        {"\x1b[?25l\x1b[?47h", {"hideCursor", "showCursor", "bufferActivated"}},
        {"\x1b[?47h\x1b[?47l", {"bufferActivated", "bufferActivated"}},
        {"\x1b[?3h", {}},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t.delegate.events, c.events) << ::testing::PrintToString(std::string(c.input));
    }
}

TEST(TerminalModesTest, SynchronizedOutputRestartsItsTimeOutOnEverySet) {
    TestTerminal t;
    t.feed("\x1b[?2026h");
    t.scheduler.advance(0.8);
    t.feed("\x1b[?2026h");
    t.scheduler.advance(0.8);
    EXPECT_TRUE(t->synchronizedOutputActive());
    t.scheduler.advance(0.3);
    EXPECT_FALSE(t->synchronizedOutputActive());
    EXPECT_EQ(t.delegate.count("sync:on"), 1u);
}

TEST(TerminalModesTest, FocusReportingAnswersAtOnce) {
    TestTerminal t;
    t.feed("\x1b[?1004h");
    EXPECT_EQ(t.delegate.replies(), "\x1b[I");
    t.feed("\x1b[?1004l");
    t->setTerminalFocus(false);
    t.feed("\x1b[?1004h");
    EXPECT_EQ(t.delegate.replies(), "\x1b[I\x1b[O");
}

TEST(TerminalModesTest, AlternateScreenIsClearedOnlyWhenAsked) {
    TestTerminal t;
    t.feed("\x1b[?1047h");
    ASSERT_TRUE(t->isCurrentBufferAlternate());
    t->buffer().lines()[0].setCell(0, CharData(Attribute::defaultAttribute, 'x', 1));
    t.feed("\x1b[?47l");
    EXPECT_FALSE(t->isCurrentBufferAlternate());
    EXPECT_EQ(t->altBuffer().lines().count(), 25);
    t.feed("\x1b[?47h\x1b[?1047l");
    EXPECT_EQ(t->altBuffer().lines().count(), 0);
    t.feed("\x1b[?1049h");
    EXPECT_EQ(t->altBuffer().lines()[0][0].code, 0);
    EXPECT_TRUE(t->getUpdateRange().has_value());
}

TEST(TerminalModesTest, AnsiModeResetsG0) {
    TestTerminal t;
    t->gCharsets[0] = t->charset = CharSets::find('0');
    ASSERT_NE(t->charset, nullptr);
    t.feed("\x1b[?2h");
    EXPECT_EQ(t->gCharsets[0], nullptr);
    EXPECT_EQ(t->charset, nullptr);
}

TEST(TerminalModesTest, BidiModesReachBothBuffersAndRedraw) {
    TestTerminal t;
    t.feed("\x1b[?2500h\x1b[8l");
    EXPECT_TRUE(t->currentBidiState.boxMirroring);
    EXPECT_EQ(t->currentBidiState.supportMode, BidiSupportMode::explicit_);
    EXPECT_EQ(t->normalBuffer().defaultBidiState, t->currentBidiState);
    EXPECT_EQ(t->altBuffer().defaultBidiState, t->currentBidiState);
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(0, 25));
}

TEST(TerminalModesTest, UnhandledModesAreLogged) {
    const std::pair<const char*, const char*> cases[] = {
        {"\x1b[?9999h", "Info: Unhandled DEC Private Mode Set (DECSET) with 9999\n"},
        {"\x1b[?9999l", "Info: Unhandled DEC Private Mode Reset (DECRST) with 9999\n"},
        {"\x1b[?41h", "Info: Unhandled DEC Private Mode Set (DECSET) with 41\n"},
        {"\x1b[?41l", ""},
        {"\x1b[?63l", "Info: Unhandled DEC Private Mode Reset (DECRST) with 63\n"},
        {"\x1b[?2l", "Info: Unhandled DEC Private Mode Reset (DECRST) with 2\n"},
        {"\x1b[99h", "Info: Unhandled verbatim setMode with 99 and []\n"},
        {"\x1b[99l", ""},
        {"\x1b[>5h", "Info: Unhandled setMode (SM) with 5 and [62]\n"},
        {"\x1b[>5l", ""},
        {"\x1b[>1p", "Info: Unhandled CSI 62 with pars=[1]\n"},
    };
    for (const auto& [input, line] : cases) {
        TestTerminal t;
        t->silentLog = false;
        ::testing::internal::CaptureStdout();
        t.feed(input);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), line) << ::testing::PrintToString(std::string(input));
    }
}

TEST(TerminalModesTest, SoftResetRestoresModesButKeepsScreenAndCursor) {
    TestTerminal t;
    t.feed("\x1b[4h\x1b[?6h\x1b[?7l\x1b[?1h\x1b=\x1b[1;31m\x1b[?25l\x1b[?2500h\x1b[?2500s\x1b[20h");
    t.feed("\x1b[>3u\x1b[?1000h\x1b[?2004h\x1b[?69h");
    t->gCharsets[0] = t->charset = CharSets::find('0');
    t->buffer().setScrollTop(4);
    t->buffer().setScrollBottom(9);
    t->buffer().setX(7);
    t->buffer().setY(5);
    t->buffer().savedX = 3;
    t->ansiColors[1] = Color(1, 2, 3);
    t.delegate.clear();

    t.feed("\x1b[!p");
    EXPECT_FALSE(t->insertMode || t->buffer().insertMode);
    EXPECT_FALSE(t->originMode);
    EXPECT_TRUE(t->wraparound && t->buffer().wraparound);
    EXPECT_FALSE(t->applicationCursor || t->applicationKeypad || t->cursorHidden || t->lineFeedMode);
    EXPECT_EQ(t->curAttr, Attribute::defaultAttribute);
    EXPECT_EQ(t->buffer().scrollTop(), 0);
    EXPECT_EQ(t->buffer().scrollBottom(), 24);
    EXPECT_EQ(t->buffer().savedX, 0);
    EXPECT_EQ(t->charset, nullptr);
    EXPECT_FALSE(t->currentBidiState.boxMirroring);
    EXPECT_TRUE(t->savedBidiPrivateModes.empty());
    EXPECT_EQ(t->ansiColors, t->defaultAnsiColors);
    EXPECT_EQ(t.cursor(), std::make_pair(7, 5));
    // Left alone: margins mode, mouse, paste and keyboard flags.
    EXPECT_TRUE(t->marginMode);
    EXPECT_EQ(t->mouseMode, Terminal::MouseMode::vt200);
    EXPECT_TRUE(t->bracketedPasteMode);
    EXPECT_EQ(t->keyboardEnhancementFlags(), KittyKeyboardFlags(3));
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"colorChanged:all", "showCursor"}));

    // The cursor is shown again even when it already was.
    t.delegate.clear();
    t.feed("\x1b[!p");
    EXPECT_EQ(t.delegate.count("showCursor"), 1u);
}

TEST(TerminalModesTest, ConformanceLevelChoosesReplyWidth) {
    using Level = Terminal::TerminalConformance;
    struct Case {
        const char* input;
        Level level;
        bool send8bit;
    } cases[] = {
        {"\x1b[62;1\"p", Level::vt200, false},
        {"\x1b[63;2\"p", Level::vt300, true},
        {"\x1b[63;0\"p", Level::vt300, true},
        {"\x1b[61;2\"p", Level::vt100, false},
        {"\x1b G\x1b[64\"p", Level::vt400, true},
        {"\x1b[64\"p", Level::vt400, false},
        {"\x1b[65\"p", Level::vt500, false},
        {"\x1b[62\"p\x1b[99\"p", Level::vt500, false},
        {"\x1b[62\"p\x1b[\"p", Level::vt200, false},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        t.feed(c.input);
        EXPECT_EQ(t->conformance, c.level) << ::testing::PrintToString(std::string(c.input));
        EXPECT_EQ(t->cc.send8bit, c.send8bit) << ::testing::PrintToString(std::string(c.input));
    }
}
