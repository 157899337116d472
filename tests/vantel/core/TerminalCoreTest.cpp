#include <gtest/gtest.h>

#include "support/TerminalTestSupport.h"
#include "vantel/core/SelectionService.h"

using namespace vantel;
using vantel::testing::RecordingDelegate;
using vantel::testing::TestTerminal;

TEST(TerminalCoreTest, LookupsOutsideTheScreenFindNothing) {
    TestTerminal t;
    EXPECT_NE(t->getLine(24), nullptr);
    EXPECT_EQ(t->getLine(25), nullptr);
    EXPECT_EQ(t->getLine(-1), nullptr);
    EXPECT_FALSE(t->getCharData(80, 0).has_value());
    EXPECT_TRUE(t->getCharData(79, 0).has_value());
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
        {"\x1b]9;4;5\x07", "Info: Vantel: Unknown OSC code: 9\n"},
        {"\x1b_X1\x1b\\", "Info: Vantel: Unknown APC code: X\n"},
        {"\x1b[=t", "Info: Unhandled csiT [61]\n"},
        {"\x1b(X", "Info: Vantel: Unknown ESC Code: ESC + X txt=[40]\n"},
        {"\x1b[1;2#}", "Info: CSI # } not implemented- XTPOPSGR with [1, 2]\n"},
        {"\x1b[?9999h", "Info: Unhandled DEC Private Mode Set (DECSET) with 9999\n"},
        {"\x1b[?41l\x1b[99l\x1b[>5l", ""},
        {"\x1b[99h", "Info: Unhandled verbatim setMode with 99 and []\n"},
        {"\x1b[>5h", "Info: Unhandled setMode (SM) with 5 and [62]\n"},
        {"\x1b[999m", "Info: Unknown SGR attribute: 999 [999]\n"},
        {"\x1b['z", "Info: TODO: Enable Locator Reporting (DECELR)\n"},
    };
    for (const auto& c : cases) {
        TestTerminal t;
        ::testing::internal::CaptureStdout();
        t.feed(c.input);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), "") << "silent by default: " << c.input;
        EXPECT_EQ(t.logged(c.input), c.line);
    }
}

TEST(TerminalCoreTest, SynchronizedOutputTimesOutAfterOneSecondFromTheLastSet) {
    TestTerminal t;
    t.feed("\x1b[?2026h");
    t.scheduler.advance(0.5);
    t.feed("\x1b[?2026h");  // restarts the time-out
    t.scheduler.advance(0.9);
    EXPECT_TRUE(t->synchronizedOutputActive());
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
    EXPECT_EQ(t.delegate.sends, std::vector<std::string>{"\x1b[3;5R"});

    Terminal orphan(nullptr, TerminalOptions());
    orphan.sendResponse(std::string_view("x"));  // dropped, no crash
    orphan.feed("\x1b[c\x1b[6n\x1b]10;?\x07\x1b[22;0t\x1b[18t\x1b[1t\x1bPq#0;2;100;0;0#0~~\x1b\\\x1b]2;kept\x07");
    orphan.hideCursor();
    EXPECT_EQ(orphan.terminalTitle, "kept");
    EXPECT_TRUE(orphan.cursorHidden);
    EXPECT_TRUE(orphan.terminalTitleStack.empty());
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

// The payload table is the whole process's: one terminal may not take all of it.
TEST(TerminalCoreTest, PayloadCodesStopAtTheTerminalsQuota) {
    TestTerminal a(80, 25, [](TerminalOptions& o) { o.maximumPayloadCodes = 3; });
    TestTerminal b;
    auto link = [](int n) { return "\x1b]8;;https://q/" + std::to_string(n) + "\x1b\\x\x1b]8;;\x1b\\"; };
    for (int n = 0; n < 5; ++n) a.feed(link(n));
    EXPECT_EQ(a->payloadCodes().size(), 3u);
    EXPECT_NE(a.cell(2, 0).payload.code, 0);
    EXPECT_EQ(a.cell(3, 0).payload.code, 0) << "past the quota, in this terminal only";
    b.feed(link(9));
    EXPECT_NE(b.cell(0, 0).payload.code, 0);
    EXPECT_EQ(a.delegate.count("payloadCodesUsedUp"), 1u) << "said once, however many are refused";
    EXPECT_EQ(a->payloadCodesRefused(), 2u);
    a.feed("\x1b[2J");
    a->garbageCollectPayload();
    a.feed(link(7));
    EXPECT_NE(a.cell(5, 0).payload.code, 0) << "codes freed by collection are available again";

    // Without the host: codes of erased links come back once output has paid for the walk of the
    // lines, and at once after a reset.
    auto codeOfLastCell = [&a] { return a.cell(a->buffer().x() - 1, a->buffer().y()).payload.code; };
    a.feed(link(8) + link(9) + link(10));
    EXPECT_EQ(codeOfLastCell(), 0);
    EXPECT_EQ(a.delegate.count("payloadCodesUsedUp"), 2u) << "said again once half of the codes were free";
    a.feed("\x1b[2J" + link(11));
    EXPECT_EQ(codeOfLastCell(), 0) << "too little output since the last look";
    a.feed("\x1b[2J" + std::string(80 * 25, ' ') + link(12));
    EXPECT_NE(codeOfLastCell(), 0);
    a.feed(link(13) + link(14) + "\x1b" "c" + link(15));
    EXPECT_NE(codeOfLastCell(), 0);
    EXPECT_EQ(a.delegate.count("payloadCodesUsedUp"), 2u);
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

TEST(TerminalCoreTest, UpdateRangesIgnoreRowsAboveTheScreen) {
    TestTerminal t;
    t->clearUpdateRange();
    t->updateRange(-1);
    EXPECT_FALSE(t->getUpdateRange().has_value());
    t->updateRange(5, true);
    t->updateRange(3);
    EXPECT_EQ(t->getUpdateRange(), std::make_pair(3, 5));
    EXPECT_EQ(t->getScrollInvariantUpdateRange(), std::make_pair(3, 3)) << "scrolling rows move with the content";
}

TEST(TerminalCoreTest, EnvironmentOptionLimitsAndStyleNames) {
    EXPECT_EQ(Terminal::getEnvironmentVariables(std::nullopt, false)[1], "LANG=en_US.UTF-8") << "COLORTERM only on request";
    EXPECT_EQ(Terminal::getEnvironmentVariables(std::string("vt100"), true)[0], "TERM=vt100");
    TerminalOptions options;
    options.setMaximumBidiParagraphRows(-3);
    EXPECT_EQ(options.maximumBidiParagraphRows, 1);
    EXPECT_EQ(cursorStyleFromTagName("steadyBar"), CursorStyle::steadyBar);
    EXPECT_FALSE(cursorStyleFromTagName("SteadyBar").has_value()) << "tags are matched exactly";
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

