#include "platform/ui/BlurView.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Rgba;

namespace {

// Black and white stripes 4 points wide, or one colour.
class StripesView : public View {
public:
    using View::View;
    void draw(platform::gfx::Canvas& canvas, const Rect&) override {
        canvas.fill(bounds(), Rgba{1, 1, 1, 1});
        for (double x = shift; x < bounds().width; x += 8) canvas.fill(Rect{x, 0, 4, bounds().height}, Rgba{0, 0, 0, 1});
    }
    double shift = 0;
};

int red(uint32_t pixel) { return int((pixel >> 16) & 0xff); }

class BlurViewTest : public ::testing::Test {
protected:
    BlurViewTest() {
        window.setContentView(&root);
        root.addSubview(&stripes);
        root.addSubview(&blur);
    }
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{120, 80}, 2};
    View root;
    StripesView stripes{Rect{0, 0, 120, 80}};
    BlurView blur{Rect{10, 10, 100, 60}};
};

TEST_F(BlurViewTest, ShowsWhatLiesBeneathBlurred) {
    window.displayIfNeeded();
    EXPECT_EQ(blur.blurCount(), 1);
    // Stripes outside the view keep their contrast; under it they are smoothed to grey.
    EXPECT_EQ(red(window.pixel(2, 80)), 0);
    EXPECT_EQ(red(window.pixel(10, 80)), 255);
    for (int x = 60; x < 140; x += 3) {
        EXPECT_GT(red(window.pixel(x, 80)), 60) << x;
        EXPECT_LT(red(window.pixel(x, 80)), 195) << x;
    }
}

TEST_F(BlurViewTest, BlursAgainOnlyAfterAChangeAndAtMostTenTimesASecond) {
    window.displayIfNeeded();
    window.displayIfNeeded();  // the whole view, once more, after the first blur
    ASSERT_EQ(blur.blurCount(), 1);
    // Drawn again with nothing changed beneath: no new blur.
    blur.setNeedsDisplay();
    window.displayIfNeeded();
    EXPECT_EQ(blur.blurCount(), 1);
    // A change within 0.1 s of the last blur waits for the tenth of a second.
    loop.advance(30ms);
    stripes.shift = 2;
    stripes.setNeedsDisplay();
    window.displayIfNeeded();
    EXPECT_EQ(blur.blurCount(), 1);
    loop.advance(60ms);
    EXPECT_EQ(blur.blurCount(), 1);
    loop.advance(10ms);
    EXPECT_EQ(blur.blurCount(), 2);
    EXPECT_TRUE(window.needsDisplay());
    window.displayIfNeeded();
    EXPECT_EQ(blur.blurCount(), 2);
    // A change long after blurs at once.
    loop.advance(1s);
    stripes.shift = 0;
    stripes.setNeedsDisplay();
    window.displayIfNeeded();
    EXPECT_EQ(blur.blurCount(), 3);
}

TEST_F(BlurViewTest, HiddenItBlursNothingAndTakesNoClicks) {
    blur.setHidden(true);
    window.displayIfNeeded();
    EXPECT_EQ(blur.blurCount(), 0);
    EXPECT_EQ(red(window.pixel(66, 80)), 0);
    blur.setHidden(false);
    EXPECT_EQ(root.hitTest({50, 40}), &stripes);
}

TEST_F(BlurViewTest, TintLiesOverTheBlur) {
    stripes.setHidden(true);
    blur.setTint(Rgba{0, 0, 1, 1});
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(100, 80), 0xff0000ffu);
}

}  // namespace
