// The progress bar's look for each report, and the bell styles' tags.
#include <gtest/gtest.h>

#include "platform/ui/headless/HeadlessWindow.h"
#include "support/ViewTestSupport.h"
#include "vantel/view/TerminalProgressBarView.h"
#include "vantel/view/TerminalViewSettings.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using State = ProgressReport::State;

TEST(BellStyle, TagsAndNames) {
    EXPECT_EQ(bellStyleFromTag("soundAndVisual"), BellStyle::soundAndVisual);
    EXPECT_EQ(bellStyleFromTag("Sound"), std::nullopt);  // tags are case-sensitive
    EXPECT_EQ(bellStyleFromTag(""), std::nullopt);
    for (BellStyle style : allBellStyles) EXPECT_EQ(bellStyleFromTag(tagName(style)), style);
    EXPECT_EQ(displayName(BellStyle::soundAndVisual), "Sound and Visual");
}

TEST(TerminalProgressBarView, EachStateHasItsLook) {
    struct Case {
        State state;
        std::optional<uint8_t> progress;
        platform::gfx::Rgba colour;
        bool track;
        double barWidth;  // once any animation of the width has ended
        bool sweeps;
    } cases[] = {
        {State::error, 40, TerminalProgressBarView::errorColor, false, 80, false},
        {State::set, 100, TerminalProgressBarView::accentColor, false, 200, false},
        {State::pause, 70, TerminalProgressBarView::pauseColor, false, 140, false},
        {State::indeterminate, std::nullopt, TerminalProgressBarView::accentColor, true, 50, true},
    };
    for (const Case& c : cases) {
        VirtualMainLoop loop;
        ScopedMainLoop scoped(loop);
        TerminalProgressBarView bar(Rect{0, 98, 200, 2});
        bar.apply(c.state, c.progress);
        loop.advance(300ms);
        EXPECT_FALSE(bar.isHidden());
        EXPECT_EQ(bar.barLayer().color, c.colour);
        EXPECT_EQ(bar.trackLayer().hidden, !c.track);
        EXPECT_EQ(bar.trackLayer().color->alpha, 0.3);
        EXPECT_EQ(bar.barLayer().frame.width, c.barWidth);
        EXPECT_EQ(bar.animation(TerminalProgressBarView::indeterminateAnimationKey) != nullptr, c.sweeps);
    }
}

TEST(TerminalProgressBarView, TheSweepGoesEndToEndAndBack) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    TerminalProgressBarView bar(Rect{0, 0, 200, 2});
    bar.apply(State::indeterminate, std::nullopt);
    EXPECT_EQ(bar.presentationBarFrame().x, 0);
    loop.advance(1200ms);
    EXPECT_NEAR(bar.presentationBarFrame().x, 150, 1e-6);
    loop.advance(1200ms);
    EXPECT_NEAR(bar.presentationBarFrame().x, 0, 1e-6);
    // Determinate widths move in 0.2 s, and jump on a new size.
    bar.apply(State::set, 50);
    loop.advance(100ms);
    EXPECT_GT(bar.presentationBarFrame().width, 50);
    EXPECT_LT(bar.presentationBarFrame().width, 100);
    loop.advance(100ms);
    EXPECT_EQ(bar.presentationBarFrame().width, 100);
    bar.setFrameSize({400, 2});
    EXPECT_EQ(bar.presentationBarFrame().width, 200);
}

TEST(TerminalProgressBarView, ZeroWidthAndRemove) {
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    TerminalProgressBarView bar(Rect{});
    bar.apply(State::indeterminate, std::nullopt);
    EXPECT_EQ(bar.animation(TerminalProgressBarView::indeterminateAnimationKey), nullptr);
    EXPECT_EQ(bar.barLayer().frame.width, 0);
    bar.setFrameSize({100, 2});
    EXPECT_NE(bar.animation(TerminalProgressBarView::indeterminateAnimationKey), nullptr);
    bar.apply(State::remove, std::nullopt);
    EXPECT_TRUE(bar.isHidden());
    EXPECT_EQ(bar.animation(TerminalProgressBarView::indeterminateAnimationKey), nullptr);
    EXPECT_EQ(bar.barLayer().color, TerminalProgressBarView::accentColor);  // colours kept
}
