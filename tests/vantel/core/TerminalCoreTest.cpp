#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::RecordingDelegate;
using vantel::testing::TestTerminal;

TEST(TerminalCoreTest, SizesAreRaisedToTheMinimum) {
    TestTerminal t(1, 0);
    EXPECT_EQ(t->cols(), 2);
    EXPECT_EQ(t->rows(), 1);
    TestTerminal d;
    EXPECT_NE(d->getLine(24), nullptr);
    EXPECT_EQ(d->getLine(25), nullptr);
    EXPECT_EQ(d->getLine(-1), nullptr);
    EXPECT_FALSE(d->getCharData(80, 0).has_value());
    EXPECT_TRUE(d->getCharData(79, 0).has_value());
}

TEST(TerminalCoreTest, OptionSizesApplyThroughSetup) {
    TestTerminal t(132, 50);
    EXPECT_EQ(t->buffer().cols(), 132);
    EXPECT_EQ(t->buffer().rows(), 50);
    EXPECT_EQ(t->altBuffer().cols(), 132);
    EXPECT_EQ(t->buffer().lines().count(), 50);
    EXPECT_EQ(t->buffer().scrollBottom(), 49);
    EXPECT_EQ(t->buffer().marginRight, 131);
    EXPECT_TRUE(t->wraparound);
}

TEST(TerminalCoreTest, TitlesFromOsc) {
    TestTerminal t;
    t.feed("\x1b]2;hi\x07");
    t.feed("\x1b]1;icon\x1b\\");
    t.feed("\x1b]0;\xff\xfe\x07");
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"title:hi", "icon:icon", "title:"}));
    EXPECT_EQ(t->terminalTitle, "");
    EXPECT_EQ(t->iconTitle, "icon");
}

TEST(TerminalCoreTest, RegisteredOscHandlerTakesPrecedence) {
    TestTerminal t;
    std::string seen;
    t->registerOscHandler(2, [&](std::span<const uint8_t> data) { seen.assign(data.begin(), data.end()); });
    t.feed("\x1b]2;mine\x07");
    EXPECT_EQ(seen, "mine");
    EXPECT_TRUE(t.delegate.events.empty());
}

TEST(TerminalCoreTest, UnknownSequencesAreLoggedOnlyWhenAsked) {
    struct Case {
        const char* input;
        const char* line;
    } cases[] = {
        {"\x1b[5^", "Info: Vantel: Unknown CSI Code (collect=[] code=^ pars=[5])\n"},
        {"\x1b[?1;2w", "Info: Vantel: Unknown CSI Code (collect=[63] code=w pars=[1, 2])\n"},
        {"\x1b#7", "Info: Vantel: Unknown ESC Code: ESC + 7 txt=[35]\n"},
        {"\x1b]4242;x\x07", "Info: Vantel: Unknown OSC code: 4242\n"},
        {"\x1b_X1\x1b\\", "Info: Vantel: Unknown APC code: X\n"},
        {"\x1b[=t", "Info: Unhandled csiT [61]\n"},
        {"\x1b(X", "Info: Vantel: Unknown ESC Code: ESC + X txt=[40]\n"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        ::testing::internal::CaptureStdout();
        t.feed(c.input);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "silent by default: " << c.input;
        t->silentLog = false;
        ::testing::internal::CaptureStdout();
        t.feed(c.input);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.line);
    }
}

TEST(TerminalCoreTest, SynchronizedOutputTimesOutAfterOneSecond) {
    TestTerminal t;
    t->beginSynchronizedOutput();
    t.scheduler.advance(0.5);
    t->beginSynchronizedOutput();  // restarts the time-out
    t.scheduler.advance(0.9);
    EXPECT_TRUE(t->synchronizedOutputActive());
    EXPECT_EQ(t.delegate.count("sync:on"), 1u);
    t.scheduler.advance(0.2);
    EXPECT_FALSE(t->synchronizedOutputActive());
    EXPECT_EQ(t.delegate.events, (std::vector<std::string>{"sync:on", "sync:off"}));
    EXPECT_EQ(t.scheduler.pending(), 0u);
    t->endSynchronizedOutput();
    EXPECT_EQ(t.delegate.events.size(), 2u) << "ending when inactive calls nothing";
}

TEST(TerminalCoreTest, TimeoutAfterTheTerminalIsGoneDoesNothing) {
    vantel::testing::VirtualScheduler scheduler;
    RecordingDelegate delegate;
    {
        Terminal terminal(&delegate, TerminalOptions(), &scheduler);
        terminal.beginSynchronizedOutput();
    }
    scheduler.advance(2);
    EXPECT_EQ(delegate.count("sync:off"), 0u);
}

TEST(TerminalCoreTest, RepliesGoOutInOneSendAndNowhereWithoutADelegate) {
    TestTerminal t;
    t->sendResponseParts(t->csi(), "3;5", "R");
    t->sendResponse(std::string_view());
    ASSERT_EQ(t.delegate.sends.size(), 2u);
    EXPECT_EQ(std::string(t.delegate.sends[0].begin(), t.delegate.sends[0].end()), "\x1b[3;5R");
    EXPECT_TRUE(t.delegate.sends[1].empty());
    t->cc.send8bit = true;
    EXPECT_EQ(t->csi(), "\x9b");
    EXPECT_EQ(t->st(), "\x9c");

    Terminal orphan(nullptr, TerminalOptions());
    orphan.sendResponse(std::string_view("x"));  // dropped, no crash
    orphan.feed("\x1b[c\x1b[6n\x1b]10;?\x07");
}

TEST(TerminalCoreTest, UpdateRanges) {
    TestTerminal t;
    t->clearUpdateRange();
    EXPECT_FALSE(t->getUpdateRange().has_value());
    t->updateRange(3);
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(3, 3));
    t->updateRange(-1);
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(3, 3));
    t->clearUpdateRange();
    t->updateRange(5, true);
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(5, 5));
    EXPECT_FALSE(t->getScrollInvariantUpdateRange().has_value());
    t->updateFullScreen();
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(0, 25));
}

TEST(TerminalCoreTest, GraphemeInterning) {
    TestTerminal t;
    EXPECT_EQ(t->code(U"a"), 'a');
    EXPECT_EQ(t->code(U"\r\n"), 10);
    int32_t cluster = t->code(U"e\u0301");
    EXPECT_EQ(cluster, 0x400001);
    EXPECT_EQ(t->code(U"e\u0301"), cluster);
    EXPECT_EQ(t->code(U"\U0001F600"), 0x400002);
    EXPECT_EQ(t->character(cluster), U"e\u0301");
    EXPECT_EQ(t->character(0x400999), U" ");
    EXPECT_EQ(t->character(0xD800), U" ");
    EXPECT_EQ(t->character(0x41), U"A");
}

TEST(TerminalCoreTest, PayloadCollectionReleasesOnlyUnusedCodes) {
    TestTerminal t;
    auto used = t->makePayload(std::string("used"));
    auto unused = t->makePayload(std::string("unused"));
    auto beyondCount = t->makePayload(std::string("beyond"));
    ASSERT_TRUE(used && unused && beyondCount);
    CharData cell;
    cell.payload = *used;
    t->buffer().lines()[3].setCell(0, cell);
    // A line past the ring's count still holds its cells and keeps its payload alive.
    Buffer& b = t->buffer();
    cell.payload = *beyondCount;
    b.lines()[b.lines().count() - 1].setCell(1, cell);
    b.lines().pop();
    t->garbageCollectPayload();
    EXPECT_TRUE(used->target().has_value());
    EXPECT_TRUE(beyondCount->target().has_value());
    EXPECT_FALSE(unused->target().has_value());
    EXPECT_EQ(t->payloadCodes().size(), 2u);
}

TEST(TerminalCoreTest, PaletteAndColourObservers) {
    TestTerminal t;
    EXPECT_EQ(t->ansiColors.size(), 256u);
    auto before = t->ansiColors;
    t->installPalette(std::vector<Color>(15));
    t->installPalette(std::vector<Color>(17));
    EXPECT_EQ(t->ansiColors, before);
    EXPECT_TRUE(t.delegate.events.empty());

    t->setBackgroundColor(Color(0xFFFF, 0xFFFF, 0xFFFF));
    EXPECT_EQ(t.delegate.events, std::vector<std::string>{"colorChanged:all"}) << "base16Lab rebuilds";
    t.delegate.clear();
    t->setAnsi256PaletteStrategy(Ansi256PaletteStrategy::xterm);
    EXPECT_EQ(t->ansiColors[231], Color(0xFFFF, 0xFFFF, 0xFFFF));
    t.delegate.clear();
    t->setBackgroundColor(Color(0, 0, 0));
    EXPECT_TRUE(t.delegate.events.empty()) << "xterm strategy does not rebuild";
    t->setAnsi256PaletteStrategy(Ansi256PaletteStrategy::xterm);
    EXPECT_TRUE(t.delegate.events.empty());
}

namespace {
struct EchoingDelegate : RecordingDelegate {
    int foregroundCalls = 0;
    void setForegroundColor(Terminal& source, const Color& color) override {
        ++foregroundCalls;
        source.setForegroundColor(color);  // assigning back must not recurse
    }
};
}  // namespace

TEST(TerminalCoreTest, DelegateAssigningTheColourBackIsCalledOnce) {
    vantel::testing::TestTerminalOf<EchoingDelegate> t;
    t->setForegroundColor(Color(1, 2, 3));
    EXPECT_EQ(t.delegate.foregroundCalls, 1);
    EXPECT_EQ(t->foregroundColor(), Color(1, 2, 3));
}

TEST(TerminalCoreTest, EnvironmentForChildren) {
    EXPECT_EQ(Terminal::getEnvironmentVariables(std::nullopt, false).at(0), "TERM=xterm-256color");
    EXPECT_EQ(Terminal::getEnvironmentVariables(std::nullopt, false).at(1), "LANG=en_US.UTF-8");
    auto withColor = Terminal::getEnvironmentVariables(std::string("vt100"), true);
    EXPECT_EQ(withColor.at(0), "TERM=vt100");
    EXPECT_EQ(withColor.at(1), "COLORTERM=truecolor");
}

TEST(TerminalCoreTest, OptionsAndCursorStyles) {
    TerminalOptions options;
    options.setMaximumBidiParagraphRows(0);
    EXPECT_EQ(options.maximumBidiParagraphRows, 1);
    options.setMaximumBidiParagraphRows(-3);
    EXPECT_EQ(options.maximumBidiParagraphRows, 1);
    EXPECT_EQ(TerminalOptions::defaultOptions().ansi256PaletteStrategy, Ansi256PaletteStrategy::base16Lab);
    EXPECT_EQ(cursorStyleFromTagName("steadyBar"), CursorStyle::steadyBar);
    EXPECT_FALSE(cursorStyleFromTagName("SteadyBar").has_value());
    EXPECT_EQ(allCursorStyles().size(), 6u);
    EXPECT_STREQ(displayName(CursorStyle::blinkUnderline), "Blinking Underline");
}

TEST(TerminalCoreTest, SelectionsRegisterOnceAndOutliveTheirTerminal) {
    auto t = std::make_unique<TestTerminal>();
    SelectionService selection(**t);
    (*t)->registerSelection(&selection);
    EXPECT_EQ((*t)->selections().size(), 1u);
    {
        SelectionService other(**t);
        EXPECT_EQ((*t)->selections().size(), 2u);
    }
    EXPECT_EQ((*t)->selections().size(), 1u);
    t.reset();
    EXPECT_EQ(selection.terminal(), nullptr);
}

TEST(TerminalCoreTest, ColumnRestrictedScrollDropsOverlappingSelections) {
    TestTerminal t;
    SelectionService inside(*t), besides(*t), multi(*t);
    inside.setSelection({5, 3}, {8, 3});
    besides.setSelection({30, 3}, {40, 3});
    multi.setSelection({70, 1}, {0, 2});
    t->selectionsInvalidateForColumnRestrictedScroll(3, 4, 10, 20);
    EXPECT_TRUE(inside.active()) << "columns 5-8 lie left of 10-20";
    EXPECT_TRUE(besides.active());
    EXPECT_TRUE(multi.active()) << "rows 1-2 end above the region";
    t->selectionsInvalidateForColumnRestrictedScroll(3, 4, 0, 6);
    EXPECT_FALSE(inside.active());
    EXPECT_TRUE(besides.active());
    t->selectionsInvalidateForColumnRestrictedScroll(2, 4, 50, 60);
    EXPECT_FALSE(multi.active()) << "selections over several rows are hit by rows alone";
    EXPECT_TRUE(besides.active());
}
