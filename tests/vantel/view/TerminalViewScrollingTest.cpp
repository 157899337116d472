// The wheel and the touchpad: reports, arrow keys on the alternate screen, or the scroll-back.
#include <gtest/gtest.h>

#include "support/InputTestSupport.h"

using namespace vantel;
using namespace vantel::testing;

namespace {

// A 10 × 4 view with 40 lines of scroll-back, scrolled up by `above` lines from the bottom.
struct Scrolled : InputFixture {
    int bottom = 0;
    explicit Scrolled(int above = 10) {
        for (int i = 0; i < 40; ++i) view.feed(std::to_string(i) + "\r\n");
        bottom = view.getTerminal().buffer().yDisp();
        view.scrollTo(bottom - above);
        take();
    }
    int yDisp() { return view.getTerminal().buffer().yDisp(); }
};

}  // namespace

TEST(TerminalViewScrolling, WheelStepsInLines) {
    // The view's own unit: dy in lines for a wheel (a notch is three).
    const struct {
        double dy;
        int moved;  // up is positive
    } cases[] = {{0.3, 1}, {1.5, 2}, {-1.5, -2}, {-0.3, -1}, {3, 3}, {-3, -3}, {2.5, 3}};
    for (const auto& c : cases) {
        Scrolled f;
        const int before = f.yDisp();
        f.view.scrollWheelBy(c.dy, false, ScrollEvent{});
        EXPECT_EQ(before - f.yDisp(), c.moved) << c.dy;
        EXPECT_EQ(f.view.scrollAccumulator(), 0);
    }
    // A notch of the wheel is three lines; scrolling down is negative.
    Scrolled f;
    const int before = f.yDisp();
    f.scroll(1);
    EXPECT_EQ(f.yDisp(), before - 3);
    f.scroll(-1);
    EXPECT_EQ(f.yDisp(), before);
    EXPECT_EQ(f.take(), "");
}

TEST(TerminalViewScrolling, TouchpadDeltasAccumulate) {
    Scrolled f;
    const double cellHeight = InputFixture::cell.height;
    const int before = f.yDisp();
    f.view.scrollWheelBy(0.4 * cellHeight, true, ScrollEvent{});
    f.view.scrollWheelBy(0.4 * cellHeight, true, ScrollEvent{});
    EXPECT_EQ(f.yDisp(), before);
    f.view.scrollWheelBy(0.4 * cellHeight, true, ScrollEvent{});
    EXPECT_EQ(f.yDisp(), before - 1);
    EXPECT_NEAR(f.view.scrollAccumulator(), 0.2 * cellHeight, 1e-9);
    // A touchpad's unit is three cell heights.
    f.view.setScrollAccumulator(0);
    f.scroll(-1, true);
    EXPECT_EQ(f.yDisp(), before + 2);
}

TEST(TerminalViewScrolling, AtTheTopTheScrollBackStaysAtRowZero) {
    Scrolled f(100);
    EXPECT_EQ(f.yDisp(), 0);
    f.scroll(1);
    EXPECT_EQ(f.yDisp(), 0);
}

TEST(TerminalViewScrolling, TheAlternateScreen) {
    InputFixture f;
    f.view.feed("\x1b[?1049h");
    f.take();
    f.scroll(1);
    EXPECT_EQ(f.take(), "\x1b[A\x1b[A\x1b[A") << "arrow keys while alternate scroll is on";
    f.view.feed("\x1b[?1h");
    f.scroll(-1);
    EXPECT_EQ(f.take(), "\x1bOB\x1bOB\x1bOB");
    f.view.feed("\x1b[?1007l");
    f.view.setScrollAccumulator(7);
    f.scroll(1, true);
    EXPECT_EQ(f.take(), "");
    EXPECT_EQ(f.view.scrollAccumulator(), 0) << "nothing happens and the remainder goes";
}

TEST(TerminalViewScrolling, ReportsInMouseModes) {
    const struct {
        const char* mode;
        ModifierFlags modifiers;
        std::string sent;
    } cases[] = {
        {"\x1b[?1000h", 0, "\x1b[<64;3;2M\x1b[<64;3;2M\x1b[<64;3;2M"},
        {"\x1b[?1002h", Mod::control, "\x1b[<80;3;2M\x1b[<80;3;2M\x1b[<80;3;2M"},
        {"\x1b[?9h", Mod::control, "\x1b[<64;3;2M\x1b[<64;3;2M\x1b[<64;3;2M"},
        // Shift scrolls the view when the program has not claimed it.
        {"\x1b[?1000h", Mod::shift, ""},
    };
    for (const auto& c : cases) {
        Scrolled f;
        f.view.feed(std::string(c.mode) + "\x1b[?1006h");
        f.take();
        f.scroll(1, false, c.modifiers, f.at(2, 1));
        EXPECT_EQ(f.take(), c.sent) << c.mode;
    }
    Scrolled f;
    f.view.feed("\x1b[?1000h\x1b[?1006h");
    TerminalViewSettings settings = f.view.settings();
    settings.allowMouseReporting = false;
    f.view.apply(settings);
    const int before = f.yDisp();
    f.scroll(-1, false, 0, f.at(2, 1));
    EXPECT_EQ(f.take(), "");
    EXPECT_EQ(f.yDisp(), before + 3);
}
