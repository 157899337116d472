// Feeding, sending and moving through the scroll-back.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"

using namespace vantel;
using platform::gfx::Rect;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using vantel::testing::RecordingViewOwner;

namespace {

TerminalOptions withScrollback() {
    TerminalOptions options = TerminalOptions::defaultOptions();
    options.scrollback = 20000;
    return options;
}

// A 10-column, 25-row view holding `lines` lines (the last 25 on screen).
struct Scrolled {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    TerminalView view{Rect{0, 0, 10 * 8 + 15, 25 * 16}, nullptr, withScrollback()};
    RecordingViewOwner owner;

    explicit Scrolled(int lines = 100) {
        view.setTerminalDelegate(&owner);
        for (int i = 1; i < lines; ++i) view.feed("x\r\n");
    }
    ~Scrolled() { view.setTerminalDelegate(nullptr); }
    Buffer& buffer() { return view.getTerminal().buffer(); }
};

}  // namespace

TEST(TerminalViewFeed, ScrollToClampsAndTellsTheOwner) {
    struct Case {
        int row;
        int yDisp;
        bool userScrolling;
    } cases[] = {{-5, 0, true}, {10, 10, true}, {75, 75, false}, {500, 75, false}};
    for (const Case& c : cases) {
        Scrolled s;
        s.view.scrollTo(c.row);
        EXPECT_EQ(s.buffer().yDisp(), c.yDisp) << c.row;
        EXPECT_EQ(s.view.userScrolling(), c.userScrolling) << c.row;
        EXPECT_EQ(s.view.getTerminal().userScrolling, c.userScrolling) << c.row;
        EXPECT_EQ(s.view.scroller().doubleValue(), s.view.scrollPosition()) << c.row;
    }
    // The current row again: only the scrolling flag is looked at, nobody is told.
    Scrolled s;
    s.owner.positions.clear();
    s.view.scrollTo(75);
    EXPECT_TRUE(s.owner.positions.empty());
}

// Positions come from the scroller: clamped first, and ignored when they are not finite.
TEST(TerminalViewFeed, ScrollToPositionClampsAndIgnoresWhatIsNotFinite) {
    struct Case {
        double position;
        int yDisp;
    } cases[] = {{0, 0},
                 {0.5, 37},
                 {1, 75},
                 {7.5, 75},
                 {-3, 0},
                 {1e300, 75},
                 {std::numeric_limits<double>::quiet_NaN(), 40},
                 {std::numeric_limits<double>::infinity(), 40},
                 {-std::numeric_limits<double>::infinity(), 40}};
    for (const Case& c : cases) {
        Scrolled s;
        s.view.scrollTo(40);
        s.view.scroll(c.position);
        EXPECT_EQ(s.buffer().yDisp(), c.yDisp) << c.position;
    }
}

TEST(TerminalViewFeed, PagesScrollTheNormalScreenAndAreSentFromTheAlternateOne) {
    Scrolled s;
    s.view.scrollTo(30);
    s.view.pageUp();
    EXPECT_EQ(s.buffer().yDisp(), 5);
    s.view.pageUp();
    EXPECT_EQ(s.buffer().yDisp(), 0);
    s.view.pageDown();
    EXPECT_EQ(s.buffer().yDisp(), 25);
    EXPECT_EQ(s.owner.sent, "");
    s.view.feed("\x1b[?1049h");
    const int yDisp = s.view.getTerminal().buffer().yDisp();
    s.view.pageUp();
    s.view.pageDown();
    EXPECT_EQ(s.owner.sent, "\x1b[5~\x1b[6~");
    EXPECT_EQ(s.view.getTerminal().buffer().yDisp(), yDisp);
}

TEST(TerminalViewFeed, ScrollerThumbAndScrollbackChanges) {
    Scrolled s(10000);
    EXPECT_EQ(s.view.scrollThumbsize(), 0.01);  // not 25 / 10,000
    s.view.updateScroller();
    EXPECT_TRUE(s.view.scroller().isEnabled());
    s.view.changeScrollback(std::nullopt);
    EXPECT_EQ(s.view.getTerminal().options().scrollback, 0);
    EXPECT_FALSE(s.view.scroller().isEnabled());
    EXPECT_FALSE(s.owner.positions.empty());
}

TEST(TerminalViewFeed, SendingStampsInputBringsTheCaretBackAndReachesTheOwner) {
    Scrolled s;
    s.loop.advance(std::chrono::milliseconds(5));
    s.view.scrollTo(0);
    EXPECT_EQ(s.view.lastUserInputUptimeNs(), 0u);
    s.view.send(std::string_view("ls\r"));
    EXPECT_EQ(s.view.lastUserInputUptimeNs(), 5'000'000u);
    EXPECT_EQ(s.buffer().yDisp(), s.buffer().yBase());
    EXPECT_EQ(s.owner.sent, "ls\r");
    // Replies of the engine are not input: no stamp.
    s.loop.advance(std::chrono::milliseconds(5));
    s.view.feed("\x1b[5n");
    EXPECT_EQ(s.owner.sent, "ls\r\x1b[0n");
    EXPECT_EQ(s.view.lastUserInputUptimeNs(), 5'000'000u);
}

TEST(TerminalViewFeed, FeedingDropsTheSelectionOnlyWhileMouseReportingIsAllowed) {
    for (bool reporting : {true, false}) {
        Scrolled s(3);
        TerminalViewSettings settings = s.view.settings();
        settings.allowMouseReporting = reporting;
        s.view.apply(settings);
        s.view.selectAll();
        s.view.feed("y");
        EXPECT_EQ(s.view.selectionActive(), !reporting);
    }
}

TEST(TerminalViewFeed, HorizontalKeysFollowTheLinesDirectionWhenSwapped) {
    struct Case {
        const char* setup;
        bool swap;
        bool left;
        const char* sent;
    } cases[] = {
        {"abc", false, true, "\x1b[D"},
        {"abc", true, true, "\x1b[D"},
        // A right-to-left line with the swap on: Left sends Right.
        {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d", true, true, "\x1b[C"},
        {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d", true, false, "\x1b[D"},
        {"\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d", false, true, "\x1b[D"},
        {"\x1b[?1h\xd7\xa9\xd7\x9c\xd7\x95\xd7\x9d", true, true, "\x1bOC"},
    };
    for (const Case& c : cases) {
        Scrolled s(1);
        s.view.feed(c.setup);
        s.view.getTerminal().bidiArrowKeySwap = c.swap;
        s.view.sendHorizontalKey(c.left);
        EXPECT_EQ(s.owner.sent, c.sent) << c.setup << " swap " << c.swap;
    }
}

// The scroller beside the text: a press above the knob pages up, below it pages down, and the
// knob moves the view with it.
TEST(TerminalViewFeed, TheScrollerPagesAndFollowsItsKnob) {
    Scrolled s;
    platform::ui::headless::HeadlessWindow window({10 * 8 + 15, 25 * 16}, 1);
    window.setContentView(&s.view);
    platform::ui::Scroller& scroller = s.view.scroller();
    EXPECT_EQ(scroller.frame(), (Rect{80, 0, 15, 400}));
    EXPECT_TRUE(scroller.isEnabled());
    EXPECT_EQ(scroller.doubleValue(), 1);
    auto press = [&](double y, double time) {
        platform::ui::MouseEvent e;
        e.type = platform::ui::MouseEvent::Type::down;
        e.locationInWindow = {87, y};
        e.timestamp = time;
        window.sendMouseEvent(e);
        e.type = platform::ui::MouseEvent::Type::up;
        window.sendMouseEvent(e);
    };
    press(390, 0);  // above the knob, which sits at the bottom
    EXPECT_EQ(s.buffer().yDisp(), 75 - 25);
    EXPECT_DOUBLE_EQ(scroller.doubleValue(), s.view.scrollPosition());
    press(5, 1);
    EXPECT_EQ(s.buffer().yDisp(), 75);
    // Drag the knob (100 points long, at the bottom) to the top.
    platform::ui::MouseEvent drag;
    drag.type = platform::ui::MouseEvent::Type::down;
    drag.locationInWindow = {87, 50};
    drag.timestamp = 2;
    window.sendMouseEvent(drag);
    drag.type = platform::ui::MouseEvent::Type::dragged;
    drag.locationInWindow = {87, 400};
    window.sendMouseEvent(drag);
    EXPECT_EQ(s.buffer().yDisp(), 0);
    EXPECT_TRUE(s.view.userScrolling());
    window.setContentView(nullptr);
}
