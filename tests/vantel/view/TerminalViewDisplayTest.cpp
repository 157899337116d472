// Display scheduling on the virtual clock: coalescing, synchronized output, the immediate redraw
// after input, the rectangles invalidated, and nothing running at rest.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/ui/SystemSettings.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"
#include "vantel/view/CaretView.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Size;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::headless::HeadlessWindow;
using vantel::testing::FixedCellView;
using vantel::testing::gridOptions;

namespace {

constexpr Size cell{8, 16};

// A 20 × 10 view filling a headless window, drawn once, with the caret hidden so that only the
// rows the program changes become dirty.
struct Screen {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    HeadlessWindow window{{20 * cell.width, 10 * cell.height}, 1};
    FixedCellView<> view{cell, Rect{0, 0, 20 * cell.width, 10 * cell.height}, nullptr, gridOptions(20, 10)};

    Screen() {
        view.scroller().setHidden(true);
        view.processSizeChange({20 * cell.width, 10 * cell.height});
        window.setContentView(&view);
        view.feed("\x1b[?25l");
        settle();
    }
    void settle() {
        loop.advance(20ms);
        window.displayIfNeeded();
    }
    // The dirty rectangles as screen rows (top row first), and whether they reach the bottom edge.
    Rect dirty() const {
        Rect all;
        for (const Rect& r : window.dirtyRects()) all = all.united(r);
        return all;
    }
};

}  // namespace

TEST(TerminalViewDisplay, NothingIsDrawnUnderSynchronizedOutputEverythingAfterIt) {
    Screen s;
    s.view.feed("\x1b[3;1H");
    s.settle();
    const uint64_t updates = s.view.displayUpdateCount();
    s.view.feed("\x1b[?2026hheld back\x1b[8;1Hand this");
    s.loop.advance(500ms);
    EXPECT_FALSE(s.window.needsDisplay());
    EXPECT_FALSE(s.view.pendingDisplay());
    EXPECT_EQ(s.view.displayUpdateCount(), updates);
    s.view.feed("\x1b[?2026l");
    EXPECT_TRUE(s.view.pendingDisplay());
    s.loop.advance(17ms);
    EXPECT_EQ(s.view.displayUpdateCount(), updates + 1);
    // The end of synchronized output redraws the whole screen.
    EXPECT_EQ(s.dirty(), s.window.bounds());
}

TEST(TerminalViewDisplay, RequestsWithinOneFrameAreCoalesced) {
    Screen s;
    const uint64_t updates = s.view.displayUpdateCount();
    s.view.feed("a");
    s.loop.advance(10ms);
    s.view.feed("b");
    s.view.queuePendingDisplay();
    s.loop.advance(6ms);
    EXPECT_EQ(s.view.displayUpdateCount(), updates);
    s.loop.advance(1ms);
    EXPECT_EQ(s.view.displayUpdateCount(), updates + 1);
    s.loop.advance(100ms);
    EXPECT_EQ(s.view.displayUpdateCount(), updates + 1);
}

TEST(TerminalViewDisplay, AnEchoRightAfterInputIsDrawnInTheFeedCall) {
    struct Case {
        std::chrono::milliseconds after;
        bool drawnAtOnce;
    } cases[] = {{0ms, true}, {150ms, true}, {151ms, false}, {200ms, false}};
    for (const Case& c : cases) {
        Screen s;
        const uint64_t updates = s.view.displayUpdateCount();
        s.view.send(std::string_view("x"));
        s.loop.skipTime(c.after);
        s.view.feed("x");
        EXPECT_EQ(s.view.displayUpdateCount(), updates + (c.drawnAtOnce ? 1 : 0)) << c.after.count();
        EXPECT_EQ(s.window.needsDisplay(), c.drawnAtOnce) << c.after.count();
        EXPECT_EQ(s.view.pendingDisplay(), !c.drawnAtOnce) << c.after.count();
    }
    // Under synchronized output even an echo waits.
    Screen s;
    s.view.send(std::string_view("x"));
    s.view.feed("\x1b[?2026hx");
    EXPECT_FALSE(s.window.needsDisplay());
}

TEST(TerminalViewDisplay, OnlyTheDirtyRowsAreInvalidated) {
    struct Case {
        const char* place;
        Rect expected;
    } cases[] = {
        // A middle row takes the row below it along.
        {"\x1b[4;1H", {0, 5 * cell.height, 20 * cell.width, 2 * cell.height}},
        // The last row reaches down to the bottom edge.
        {"\x1b[10;1H", {0, 0, 20 * cell.width, cell.height}},
        {"\x1b[1;1H", {0, 8 * cell.height, 20 * cell.width, 2 * cell.height}},
    };
    for (const Case& c : cases) {
        Screen s;
        s.view.feed(c.place);
        s.settle();
        s.view.feed("x");
        s.loop.advance(17ms);
        EXPECT_EQ(s.dirty(), c.expected) << c.place;
    }
}

TEST(TerminalViewDisplay, ScrolledBackAnyDirtyRowRedrawsTheWholeFrame) {
    Screen s;
    for (int i = 0; i < 30; ++i) s.view.feed("line\r\n");
    s.settle();
    s.view.scrollTo(0);
    EXPECT_TRUE(s.view.userScrolling());
    s.settle();
    s.view.feed("more");
    s.loop.advance(17ms);
    EXPECT_EQ(s.dirty(), s.window.bounds());
}

TEST(TerminalViewDisplay, TheOwnerHearsTheChangedRowsWhenItAsks) {
    Screen s;
    vantel::testing::RecordingViewOwner owner;
    s.view.setTerminalDelegate(&owner);
    s.view.feed("\x1b[5;1Hx");
    s.loop.advance(17ms);
    EXPECT_TRUE(owner.ranges.empty());
    TerminalViewSettings settings = s.view.settings();
    settings.notifyUpdateChanges = true;
    s.view.apply(settings);
    s.view.feed("x");
    s.loop.advance(17ms);
    s.view.updateDisplay(false);  // nothing dirty: the cursor's row
    EXPECT_EQ(owner.ranges, (std::vector<std::pair<int, int>>{{4, 4}, {4, 4}}));
    s.view.setTerminalDelegate(nullptr);
}

// Eight views on a wall that have drawn their output leave no timer and no frame tick behind.
TEST(TerminalViewDisplay, IdleViewsCostNothing) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    HeadlessWindow window({8 * 100, 200}, 1);
    platform::ui::View wall(Rect{0, 0, 8 * 100, 200});
    window.setContentView(&wall);
    std::vector<std::unique_ptr<TerminalView>> views;
    for (int i = 0; i < 8; ++i) {
        views.push_back(std::make_unique<TerminalView>(Rect{i * 100.0, 0, 100, 200}));
        wall.addSubview(views.back().get());
        views.back()->feed("\x1b[1mhello\x1b[m\r\n$ ");
    }
    loop.advance(1s);
    window.displayIfNeeded();
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
    EXPECT_FALSE(window.frameClock().isRunning());
    // The view with the keyboard blinks its caret: that one animation ticks, at its steps, nothing else.
    window.setKeyWindow(true);
    window.makeFirstResponder(views[0].get());
    EXPECT_TRUE(views[0]->caretView()->hasAnimations());
    EXPECT_EQ(loop.pendingTimerCount(), 1u);
    window.makeFirstResponder(nullptr);
    loop.advance(100ms);
    EXPECT_FALSE(window.frameClock().isRunning());
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
    // Past the desktop's blink timeout the caret holds still: nothing ticks until the next key.
    window.makeFirstResponder(views[1].get());
    loop.advance(std::chrono::seconds(static_cast<int>(platform::ui::SystemSettings::caretBlink().timeout)) + 1s);
    EXPECT_FALSE(views[1]->caretView()->hasAnimations());
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
    views[1]->send(std::string_view("x"));
    loop.advance(TerminalView::caretBlinkHoldAfterInput + 1ms);
    EXPECT_TRUE(views[1]->caretView()->hasAnimations());
}

// A view at rest draws nothing and nothing ticks, unless it shows a blinking caret with the
// keyboard (or one that does not follow focus): only that caret's fade ticks, at its steps (not
// at every frame), as long as the desktop lets carets blink.
TEST(TerminalViewDisplay, OnlyABlinkingCaretTicksInAViewAtRest) {
    using Blink = platform::ui::SystemSettings::CaretBlink;
    struct Case {
        const char* name;
        const char* style;
        bool keyWindow, firstResponder, tracksFocus;
        bool blinks;
        Blink desktop = {};
        // Still before the end: the desktop's timeout came.
        bool stillAtTheEnd = false;
    } cases[] = {
        {"blinking block", "\x1b[1 q", true, true, true, true},
        {"blinking bar", "\x1b[5 q", true, true, true, true},
        {"steady block", "\x1b[2 q", true, true, true, false},
        {"window not key", "\x1b[1 q", false, true, true, false},
        {"not the first responder", "\x1b[1 q", true, false, true, false},
        {"blinking without focus tracking", "\x1b[3 q", false, false, false, true},
        {"the desktop's carets do not blink", "\x1b[1 q", true, true, true, false, {false, 1.2, 10}},
        {"the desktop's faster blink", "\x1b[1 q", true, true, true, true, {true, 0.5, 10}},
        {"the desktop's timeout", "\x1b[1 q", true, true, true, true, {true, 1.2, 2}, true},
    };
    for (const Case& c : cases) {
        VirtualMainLoop loop;
        ScopedMainLoop scoped(loop);
        platform::ui::SystemSettings::setCaretBlink(c.desktop);
        HeadlessWindow window({200, 100}, 1);
        TerminalView view(Rect{0, 0, 200, 100});
        window.setContentView(&view);
        view.feed(std::string("$ ") + c.style);
        view.setCaretViewTracksFocus(c.tracksFocus);
        window.setKeyWindow(c.keyWindow);
        if (c.firstResponder) window.makeFirstResponder(&view);
        loop.advance(100ms);
        window.displayIfNeeded();
        const int before = window.displayCount();
        bool ticked = false;
        for (int step = 0; step < 500; ++step) {
            loop.advance(10ms);
            ticked = ticked || window.frameClock().isRunning() || loop.pendingTimerCount() > 0;
            window.displayIfNeeded();
        }
        EXPECT_EQ(ticked, c.blinks) << c.name;
        // Drawn once a step, out and back: a few times a second, not at every frame.
        const double blinks = 5 / c.desktop.period;
        EXPECT_LE(window.displayCount() - before, 2 * CaretView::blinkSteps * blinks + 2) << c.name;
        // At the desktop's rate: a faster blink is drawn that much more often.
        if (c.blinks && !c.stillAtTheEnd) {
            EXPECT_GE(window.displayCount() - before, CaretView::blinkSteps * blinks) << c.name;
        }
        if (!c.blinks || c.stillAtTheEnd) {
            EXPECT_EQ(loop.pendingTimerCount(), 0u) << c.name;
            EXPECT_FALSE(view.caretView()->hasAnimations()) << c.name;
            EXPECT_EQ(view.caretView()->presentationOpacity(), 1) << c.name;
        }
        if (!c.blinks) {
            EXPECT_EQ(window.displayCount(), before) << c.name;
        }
    }
    platform::ui::SystemSettings::setCaretBlink({});
}

// Codes of links that left the screen go back to the process after a redraw, at most once a second.
TEST(TerminalViewDisplay, LinkCodesAreCollectedAfterRedrawsAtMostOnceASecond) {
    Screen s;
    Terminal& t = s.view.getTerminal();
    auto linkThenClear = [&](const char* url) {
        s.view.feed(std::string("\x1b]8;;") + url + "\x1b\\link\x1b]8;;\x1b\\\x1b[2J");
    };
    linkThenClear("http://one");
    EXPECT_EQ(t.payloadCodes().size(), 1u);
    s.loop.advance(17ms);
    EXPECT_EQ(t.payloadCodes().size(), 0u);
    linkThenClear("http://two");
    s.loop.advance(17ms);
    EXPECT_EQ(t.payloadCodes().size(), 1u);  // within the second
    s.loop.advance(1s);
    s.view.feed("x");
    s.loop.advance(17ms);
    EXPECT_EQ(t.payloadCodes().size(), 0u);

    // At the quota the count cannot grow: a link refused there asks for the next collection.
    TerminalOptions options = t.options();
    options.maximumPayloadCodes = 1;
    t.setOptions(options);
    s.loop.advance(1s);
    s.view.feed("\x1b]8;;http://three\x1b\\link\x1b]8;;\x1b\\");
    s.loop.advance(17ms);
    s.view.feed("\x1b[2J\x1b]8;;http://four\x1b\\link\x1b]8;;\x1b\\");
    EXPECT_EQ(t.payloadCodesRefused(), 1u);
    EXPECT_EQ(t.payloadCodes().size(), 1u);
    s.loop.advance(1s);
    EXPECT_EQ(t.payloadCodes().size(), 0u);
}

namespace {

// When each view drew (its update count went up), on the loop's clock, fed a character every
// 2 ms for `span`, one millisecond at a time; and the longest wait of a character of the first
// view for its redraw.
struct Streamed {
    std::vector<std::vector<std::chrono::nanoseconds>> draws;
    std::chrono::nanoseconds longestWait{0};
};

Streamed stream(VirtualMainLoop& loop, std::vector<TerminalView*> views, std::chrono::milliseconds span) {
    Streamed out;
    out.draws.resize(views.size());
    std::vector<uint64_t> seen;
    for (TerminalView* view : views) seen.push_back(view->displayUpdateCount());
    // When the oldest character of the first view not drawn yet came; negative: none waits.
    std::chrono::nanoseconds waiting{-1};
    for (std::chrono::milliseconds t{0}; t < span; t += 1ms) {
        if (t.count() % 2 == 0) {
            for (TerminalView* view : views) view->feed("x");
            if (waiting.count() < 0) waiting = loop.now().time_since_epoch();
        }
        loop.advance(1ms);
        const auto now = loop.now().time_since_epoch();
        for (size_t i = 0; i < views.size(); ++i) {
            if (views[i]->displayUpdateCount() == seen[i]) continue;
            seen[i] = views[i]->displayUpdateCount();
            out.draws[i].push_back(now);
            if (i > 0 || waiting.count() < 0) continue;
            out.longestWait = std::max(out.longestWait, now - waiting);
            waiting = std::chrono::nanoseconds(-1);
        }
    }
    return out;
}

}  // namespace

// Output streaming into a view paced at 30 frames a second is drawn every other frame (every
// frame once it was typed into within the last second), and no later than 100 ms after it came.
TEST(TerminalViewDisplay, StreamingOutputIsPacedWhileNobodyTypesIntoTheView) {
    struct Case {
        const char* name;
        std::optional<platform::runtime::Duration> interval;
        std::optional<std::chrono::milliseconds> typedAgo;
        std::chrono::milliseconds gap;
    } cases[] = {
        {"not paced", std::nullopt, std::nullopt, 17ms},
        {"paced", 33'333'333ns, std::nullopt, 33ms},
        {"paced, typed into half a second ago", 33'333'333ns, 500ms, 17ms},
        {"paced, typed into over a second ago", 33'333'333ns, 1100ms, 33ms},
    };
    for (const Case& c : cases) {
        Screen s;
        s.view.setStreamingDisplayInterval(c.interval);
        if (c.typedAgo) {
            s.view.send(std::string_view("x"));
            s.loop.advance(*c.typedAgo);
        }
        const Streamed result = stream(s.loop, {&s.view}, 400ms);
        const auto& draws = result.draws[0];
        ASSERT_GT(draws.size(), 5u) << c.name;
        // Past the first two draws, which start from rest.
        for (size_t i = 3; i < draws.size(); ++i) {
            const auto gap = draws[i] - draws[i - 1];
            EXPECT_GE(gap, c.gap - 1ms) << c.name << ", draw " << i;
            EXPECT_LE(gap, c.gap + 1ms) << c.name << ", draw " << i;
        }
        EXPECT_LE(result.longestWait, 100ms) << c.name;
    }
}

// Views paced together take turns: never drawn in the same frame, each every other one.
TEST(TerminalViewDisplay, ViewsPacedTogetherTakeTurns) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    FixedCellView<> first{cell, Rect{0, 0, 160, 160}, nullptr, gridOptions(20, 10)};
    FixedCellView<> second{cell, Rect{0, 0, 160, 160}, nullptr, gridOptions(20, 10)};
    first.setStreamingDisplayInterval(33'333'333ns);
    second.setStreamingDisplayInterval(33'333'333ns);
    const Streamed result = stream(loop, {&first, &second}, 400ms);
    // A draw is seen within the millisecond it came in, and frames are 16.67 ms long.
    const auto frameOf = [](std::chrono::nanoseconds t) { return (t - 1ns).count() / 16'666'667; };
    std::set<int64_t> framesOfFirst;
    for (size_t i = 2; i < result.draws[0].size(); ++i) framesOfFirst.insert(frameOf(result.draws[0][i]));
    ASSERT_GT(framesOfFirst.size(), 8u);
    ASSERT_GT(result.draws[1].size(), 10u);
    for (size_t i = 2; i < result.draws[1].size(); ++i) {
        EXPECT_EQ(framesOfFirst.count(frameOf(result.draws[1][i])), 0u) << "both drawn in frame " << frameOf(result.draws[1][i]);
    }
    // A redraw asked for says when it comes.
    first.feed("y");
    ASSERT_TRUE(first.pendingDisplayDue());
    const auto due = *first.pendingDisplayDue();
    const uint64_t before = first.displayUpdateCount();
    loop.advance(due - loop.now() - 1ns);
    EXPECT_EQ(first.displayUpdateCount(), before);
    loop.advance(1ns);
    EXPECT_EQ(first.displayUpdateCount(), before + 1);
    EXPECT_FALSE(first.pendingDisplayDue());
}
