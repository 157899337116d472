#include "quiltdeck/wall/ScalerView.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Store.h"
#include "support/ViewTestSupport.h"
#include "vantel/view/TerminalView.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::gfx::Rect;

TEST(ScalerSize, ByTheMinimumFontSize) {
    struct Case {
        double minimum, ordinary, zoomed;
    };
    const Case cases[] = {{11.5, 11.5, 15.5}, {8, 9, 13}, {9, 9, 13}, {20, 20, 24}, {22, 22, 24}, {30, 22, 24}, {NAN, 11.5, 15.5}};
    for (const Case& c : cases) {
        EXPECT_EQ(ScalerView::targetSize(c.minimum, false), c.ordinary) << c.minimum;
        EXPECT_EQ(ScalerView::targetSize(c.minimum, true), c.zoomed) << c.minimum;
    }
}

class ScalerTest : public ::testing::Test {
protected:
    ScalerTest() {
        Store::shared().setMinFontSize(11.5);
        window.setContentView(&root);
        root.addSubview(&scaler);
        terminal.setTerminalDelegate(&owner);
        scaler.setTerminal(&terminal, &terminal);
        // As a tile's first layout does.
        scaler.fit();
    }
    void fill(const char* text) {
        const std::string bytes(text);
        terminal.feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::ui::headless::HeadlessWindow window{{800, 600}, 1};
    platform::ui::View root;
    ScalerView scaler{Rect{0, 0, 600, 400}};
    vantel::TerminalView terminal{Rect{0, 0, 900, 600}};
    vantel::testing::RecordingViewOwner owner;
};

TEST_F(ScalerTest, TenSizeChangesMakeOneFitFontFirst) {
    loop.advance(1s);
    const int before = scaler.fitCount();
    for (int i = 0; i < 10; ++i) {
        scaler.setFrameSize({500.0 + i, 300.0 + i});
        loop.advance(7ms);
    }
    EXPECT_EQ(scaler.fitCount(), before);
    loop.advance(80ms);
    EXPECT_EQ(scaler.fitCount(), before + 1);
    EXPECT_EQ(terminal.frame(), (Rect{18, 18, 509 - 36, 309 - 36}));
    EXPECT_NEAR(terminal.font()->size(), 11.5, 0.01);
    // Zoomed: the larger font, set before the frame, so the child hears of one size.
    owner.sizes.clear();
    scaler.setInteractive(true);
    scaler.setFrameSize({700, 500});
    loop.advance(100ms);
    EXPECT_NEAR(terminal.font()->size(), 15.5, 0.01);
    EXPECT_EQ(owner.sizes.size(), 1u);
}

TEST_F(ScalerTest, SmallScalers) {
    loop.advance(1s);
    const int before = scaler.fitCount();
    scaler.setFrameSize({1, 400});
    loop.advance(100ms);
    EXPECT_EQ(scaler.fitCount(), before);
    scaler.setFrameSize({300, 30});
    loop.advance(100ms);
    EXPECT_EQ(terminal.frame(), (Rect{18, 18, 264, 1}));
    EXPECT_GE(terminal.getTerminal().rows(), 1);
}

TEST_F(ScalerTest, ABlankTerminalIsNudgedTwentyTimesAtMost) {
    loop.advance(79ms);
    EXPECT_EQ(scaler.nudgeCount(), 0);
    loop.advance(1ms);  // the fit: a new frame starts the watch
    const Rect kept = terminal.frame();
    loop.advance(399ms);
    EXPECT_EQ(scaler.nudgeCount(), 0);
    loop.advance(1ms);
    EXPECT_EQ(scaler.nudgeCount(), 1);
    EXPECT_EQ(terminal.frame().height, kept.height - 1);  // shrunk by a point...
    loop.advance(50ms);
    EXPECT_EQ(terminal.frame(), kept);  // ...for 0.05 s
    loop.advance(1450ms);
    EXPECT_EQ(scaler.nudgeCount(), 2);
    loop.advance(60s);
    EXPECT_EQ(scaler.nudgeCount(), ScalerView::blankCheckLimit);
    EXPECT_EQ(scaler.blankWatch(), ScalerView::blankCheckLimit);
}

TEST_F(ScalerTest, TextStopsTheWatchAndAFitThatChangesNothingStartsNone) {
    fill("hello");
    loop.advance(5s);
    EXPECT_EQ(scaler.nudgeCount(), 0);
    EXPECT_EQ(scaler.blankWatch(), 1);
    // Same frame, other font: no watch.
    Store::shared().setMinFontSize(14);
    scaler.fit();
    loop.advance(5s);
    EXPECT_NEAR(terminal.font()->size(), 14, 0.01);
    EXPECT_EQ(scaler.blankWatch(), 1);
    Store::shared().setMinFontSize(11.5);
}

TEST_F(ScalerTest, ANudgedOnePointTerminalKeepsARow) {
    scaler.setFrameSize({300, 37});
    loop.advance(479ms);
    ASSERT_EQ(terminal.frame().height, 1);
    loop.advance(1ms);
    ASSERT_EQ(scaler.nudgeCount(), 1);
    EXPECT_EQ(terminal.frame().height, 0);
    EXPECT_GE(terminal.getTerminal().rows(), 1);
    loop.advance(50ms);
    EXPECT_EQ(terminal.frame().height, 1);
    EXPECT_GE(terminal.getTerminal().rows(), 1);
}

TEST_F(ScalerTest, ClicksReachTheTerminalOnlyWhileZoomed) {
    loop.advance(1s);
    EXPECT_EQ(root.hitTest({100, 100}), &scaler);
    scaler.setInteractive(true);
    EXPECT_EQ(root.hitTest({100, 100}), &terminal);
}

TEST(ResizeGrip, ReportsPressesAndDragsInWindowPoints) {
    platform::ui::headless::HeadlessWindow window{{100, 100}, 1};
    ResizeGrip grip{Rect{70, 70, 22, 22}};
    window.setContentView(nullptr);
    platform::ui::MouseEvent e;
    e.locationInWindow = {80, 81};
    grip.mouseDown(e);  // no callback: nothing
    std::vector<platform::gfx::Point> points;
    grip.onDrag = [&](platform::gfx::Point p) { points.push_back(p); };
    grip.mouseDown(e);
    e.locationInWindow = {90, 91};
    grip.mouseDragged(e);
    grip.mouseUp(e);
    EXPECT_EQ(points, (std::vector<platform::gfx::Point>{{80, 81}, {90, 91}}));
    EXPECT_EQ(grip.cursorName(), "crosshair");
}

}  // namespace
}  // namespace quiltdeck
