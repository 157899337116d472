// Focus, the key window, sizing and the caret: what the program hears, how the caret looks and
// blinks, and the frame the owner should give the view.
#include <gtest/gtest.h>

#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Size;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::headless::HeadlessWindow;
using vantel::testing::FixedCellView;
using vantel::testing::gridOptions;
using vantel::testing::RecordingViewOwner;

namespace {

constexpr Size cell{10, 20};

// A 10 × 4 view of 10 × 20 cells filling a key window, with an owner.
struct Focused {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    HeadlessWindow window{{100, 80}, 1};
    FixedCellView<> view{cell, Rect{}, nullptr, gridOptions(10, 4)};
    RecordingViewOwner owner;

    Focused() {
        view.scroller().setHidden(true);
        view.setNativeBackgroundColor({0, 0, 0, 1});
        view.setCaretColor({1, 0, 0, 1});
        window.setContentView(&view);
        view.setTerminalDelegate(&owner);
        window.setKeyWindow(true);
    }
    ~Focused() { view.setTerminalDelegate(nullptr); }
    // The red of a device pixel of the caret cell (column 0, row 0).
    int caretRed(int x, int y) {
        window.displayIfNeeded();
        return (window.pixel(x, y) >> 16) & 0xFF;
    }
};

}  // namespace

TEST(TerminalViewFocus, FocusReportsFollowTheFirstResponderOnly) {
    for (bool reports : {true, false}) {
        Focused f;
        if (reports) f.view.feed("\x1b[?1004h");
        f.owner.sent.clear();  // the engine reports the state when the mode is set
        f.window.makeFirstResponder(&f.view);
        EXPECT_TRUE(f.view.hasFocus());
        EXPECT_TRUE(f.view.getTerminal().reportedFocusState);
        // The key window going and coming changes only the caret.
        f.window.setKeyWindow(false);
        EXPECT_FALSE(f.view.hasFocus());
        f.window.setKeyWindow(true);
        f.window.makeFirstResponder(nullptr);
        EXPECT_FALSE(f.view.getTerminal().reportedFocusState);
        EXPECT_EQ(f.owner.sent, reports ? "\x1b[I\x1b[O" : "");
    }
    // Without a window the first responder alone decides.
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    TerminalView alone(Rect{0, 0, 100, 100});
    EXPECT_FALSE(alone.hasFocus());
    alone.becomeFirstResponder();
    EXPECT_TRUE(alone.hasFocus());
}

TEST(TerminalViewFocus, OptimalFrameAndEffectiveWidth) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    FixedCellView<> view(Size{7, 15}, Rect{}, nullptr, gridOptions(80, 24));
    using Style = platform::ui::Scroller::Style;
    EXPECT_EQ(view.getOptimalFrameSize(), (Rect{0, 0, 560 + 15, 360}));
    view.setScrollerStyle(Style::legacy);
    EXPECT_EQ(view.getOptimalFrameSize(), (Rect{0, 0, 560 + 17, 360}));
    view.scroller().setHidden(true);
    EXPECT_EQ(view.getOptimalFrameSize(), (Rect{0, 0, 560, 360}));
    view.scroller().setHidden(false);
    EXPECT_EQ(view.getEffectiveWidth({10, 100}), 0);
}

TEST(TerminalViewFocus, FrameChangesPlaceTheBarAndDropTheSelectionOnlyWhenTheSizeChanges) {
    Focused f;
    f.view.selectAll();
    f.view.setFrame(Rect{5, 5, 100, 80});  // moved, same size
    EXPECT_TRUE(f.view.selectionActive());
    f.view.setFrame(Rect{0, 0, 140, 100});
    EXPECT_FALSE(f.view.selectionActive());
    EXPECT_EQ(f.view.progressBarView()->frame(), (Rect{0, 98, 140, 2}));
    EXPECT_EQ(f.view.getTerminal().cols(), 14);
    EXPECT_EQ(f.owner.sizes.back(), std::make_pair(14, 5));
}

TEST(TerminalViewFocus, InputBringsTheCaretBackUnlessOutputIsHeld) {
    Focused f;
    for (int i = 0; i < 10; ++i) f.view.feed("line\r\n");
    for (bool held : {true, false}) {
        if (held) f.view.feed("\x1b[?2026h");
        f.view.scrollTo(0);
        f.view.ensureCaretIsVisible();
        const Buffer& buffer = f.view.getTerminal().buffer();
        EXPECT_EQ(buffer.yDisp() == buffer.yBase(), !held);
        if (held) f.view.feed("\x1b[?2026l");
    }
}

// Without focus every style is the same hollow box; with it, the style's shape in the caret colour.
TEST(TerminalViewFocus, CaretShapes) {
    struct Case {
        const char* style;
        bool focus;
        int centre;  // the red at the cell's centre
        int left;    // at its left edge, halfway up
        int bottom;  // at its bottom edge, halfway across
    } cases[] = {
        {"\x1b[2 q", true, 255, 255, 255},  // steady block
        {"\x1b[4 q", true, 0, 0, 255},      // underline along the bottom
        {"\x1b[6 q", true, 0, 255, 0},      // bar along the left edge
        {"\x1b[5 q", false, 0, 255, 255},   // blinking bar without focus: a hollow box
        {"\x1b[2 q", false, 0, 255, 255},
    };
    for (const Case& c : cases) {
        Focused f;
        f.view.feed(c.style);
        if (c.focus) f.window.makeFirstResponder(&f.view);
        EXPECT_EQ(f.caretRed(5, 10), c.centre) << c.style << c.focus;
        EXPECT_EQ(f.caretRed(0, 10), c.left) << c.style << c.focus;
        EXPECT_EQ(f.caretRed(5, 19), c.bottom) << c.style << c.focus;
    }
}

// A bar or an underline leaves the rest of its cell as the view drew it: the background and the
// character in it, not a hole.
TEST(TerminalViewFocus, ThinCaretsLeaveTheirCellShowing) {
    for (const char* style : {"\x1b[6 q", "\x1b[4 q", "\x1b[2 q"}) {
        Focused f;
        f.view.setNativeBackgroundColor({0, 0, 1, 1});
        f.view.feed(std::string(style) + "\x1b[H");
        f.window.makeFirstResponder(&f.view);
        f.window.displayIfNeeded();
        const uint32_t inside = f.window.pixel(6, 6);  // past a bar, above an underline
        const bool block = std::string(style) == "\x1b[2 q";
        EXPECT_EQ(inside, block ? 0xFFFF0000u : 0xFF0000FFu) << style;
    }
}

// A blinking caret fades out over 0.7 s (ease-in, a fifth of the opacity a step) and back; a
// focus change starts it afresh.
TEST(TerminalViewFocus, CaretBlink) {
    Focused f;
    f.window.makeFirstResponder(&f.view);
    CaretView& caret = *f.view.caretView();
    struct Step {
        std::chrono::milliseconds at;
        double opacity;
    } steps[] = {{0ms, 1}, {250ms, 1}, {350ms, 0.8}, {450ms, 0.6}, {650ms, 0.2}, {1050ms, 0.8}, {1400ms, 1}, {1750ms, 0.8}};
    std::chrono::milliseconds now{0};
    for (const Step& s : steps) {
        f.loop.advance(s.at - now);
        now = s.at;
        EXPECT_NEAR(caret.presentationOpacity(), s.opacity, 0.01) << s.at.count();
    }
    f.window.setKeyWindow(false);
    EXPECT_EQ(caret.presentationOpacity(), 1);
    EXPECT_FALSE(caret.hasAnimations());
    f.window.setKeyWindow(true);
    f.loop.advance(350ms);
    EXPECT_NEAR(caret.presentationOpacity(), 0.8, 0.01);
    // Typing holds it solid (nothing ticks); it blinks again half a second after the last key.
    f.view.send(std::string_view("a"));
    EXPECT_FALSE(caret.hasAnimations());
    f.loop.advance(400ms);
    f.view.send(std::string_view("b"));
    f.loop.advance(400ms);
    EXPECT_FALSE(caret.hasAnimations());
    EXPECT_FALSE(f.window.frameClock().isRunning());
    f.loop.advance(100ms);
    EXPECT_TRUE(caret.hasAnimations());
    f.window.makeFirstResponder(nullptr);
    EXPECT_EQ(caret.presentationOpacity(), 1);
    // A steady style never animates; without focus tracking a blinking one always does.
    f.view.feed("\x1b[2 q");
    f.window.makeFirstResponder(&f.view);
    EXPECT_FALSE(caret.hasAnimations());
    f.view.feed("\x1b[1 q");
    f.window.makeFirstResponder(nullptr);
    f.view.setCaretViewTracksFocus(false);
    EXPECT_TRUE(caret.hasAnimations());
}

TEST(TerminalViewFocus, CaretText) {
    Focused f;
    CaretView& caret = *f.view.caretView();
    auto shown = [&] { return caret.text().text; };
    f.view.feed("A\x1b[D");
    f.view.updateDisplay(false);
    EXPECT_EQ(shown(), u"A");
    // Blinking text in its hidden phase leaves the caret empty.
    f.view.feed("\r\x1b[5m\xee\x82\xb0\x1b[m\x1b[D");
    f.view.updateDisplay(false);
    EXPECT_EQ(caret.powerlineCodePoint(), 0xE0B0u);
    f.view.setTextBlinkVisible(false);
    f.view.updateDisplay(false);
    EXPECT_EQ(shown(), u" ");
    EXPECT_EQ(caret.powerlineCodePoint(), std::nullopt);
    f.view.setTextBlinkVisible(true);
    // The outline separator has no shape of its own: it stays text.
    f.view.feed("\r\xee\x82\xb1\x1b[D");
    f.view.updateDisplay(false);
    EXPECT_EQ(caret.powerlineCodePoint(), std::nullopt);
    EXPECT_EQ(shown(), u"\ue0b1");
    // A wide character: the caret covers both cells.
    f.view.feed("\r\xe4\xb8\xad\x1b[2D");
    f.view.updateDisplay(false);
    EXPECT_EQ(caret.frame().width, 2 * cell.width);
    EXPECT_EQ(caret.glyphColumnWidth(), 2);
}
