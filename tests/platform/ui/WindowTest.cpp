#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Rect;
using platform::gfx::Rgba;

namespace {

// Fills its bounds with a colour, or only clears (showing its layer colour).
class PaintView : public View {
public:
    explicit PaintView(const Rect& frame, std::optional<Rgba> paint = std::nullopt) : View(frame), paint_(paint) {}
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override {
        ++draws;
        if (paint_) canvas.fill(bounds(), *paint_);
        else canvas.clear(dirty);
    }
    int draws = 0;

private:
    std::optional<Rgba> paint_;
};

uint32_t argb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) { return uint32_t(a) << 24 | r << 16 | g << 8 | b; }

}  // namespace

TEST(Window, DirtyRectanglesGrowToDevicePixelsAndMerge) {
    headless::HeadlessWindow window({100, 100}, 2);
    window.displayIfNeeded();
    EXPECT_FALSE(window.needsDisplay());
    window.invalidate(Rect{1.2, 1.3, 2, 2});
    EXPECT_EQ(window.dirtyRects(), (std::vector<Rect>{{1, 1, 2.5, 2.5}}));
    window.invalidate(Rect{1.5, 1.5, 1, 1});  // inside: nothing new
    window.invalidate(Rect{-10, 90, 500, 500});  // cut at the bounds
    window.invalidate(Rect{0, 0, std::nan(""), 4});
    EXPECT_EQ(window.dirtyRects().size(), 2u);
    EXPECT_EQ(window.dirtyRects()[1], (Rect{0, 90, 100, 10}));
    for (int i = 0; i < 20; ++i) window.invalidate(Rect{double(i * 4), 50, 1, 1});
    ASSERT_EQ(window.dirtyRects().size(), 1u);  // too many: their bounding box
    EXPECT_EQ(window.dirtyRects()[0], (Rect{0, 1, 100, 99}));
}

// A view with a layer colour shows it where it clears; translucent stays translucent, and what no
// view paints stays transparent. Children draw over their parent.
TEST(Window, LayerColourShowsThroughClearsAndChildrenDrawOnTop) {
    headless::HeadlessWindow window({40, 20}, 2);
    View root;
    PaintView clearing(Rect{0, 0, 20, 20});
    clearing.setLayerBackgroundColor(Rgba{0, 0, 1, 0.5});
    PaintView red(Rect{10, 10, 5, 5}, Rgba{1, 0, 0, 1});
    root.addSubview(&clearing);
    clearing.addSubview(&red);
    window.setContentView(&root);
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(2, 38), argb(128, 0, 0, 128));  // premultiplied half blue
    EXPECT_EQ(window.pixel(60, 10), 0u);                   // nothing there
    EXPECT_EQ(window.pixel(22, 12), argb(255, 255, 0, 0));  // (11, 14) in points, y up
    // A redraw of part of the view repaints only there.
    red.draws = clearing.draws = 0;
    clearing.setNeedsDisplay(Rect{0, 0, 5, 5});
    window.displayIfNeeded();
    EXPECT_EQ(clearing.draws, 1);
    EXPECT_EQ(red.draws, 0);
    EXPECT_EQ(window.lastDisplayedRects(), (std::vector<Rect>{{0, 0, 5, 5}}));
}

TEST(Window, HiddenViewsAndClippedChildrenDrawNothing) {
    headless::HeadlessWindow window({40, 40}, 1);
    View root;
    PaintView parent(Rect{0, 0, 20, 20}, Rgba{0, 1, 0, 1});
    PaintView overhang(Rect{15, 15, 20, 20}, Rgba{1, 0, 0, 1});
    parent.setClipsToBounds(true);
    root.addSubview(&parent);
    parent.addSubview(&overhang);
    window.setContentView(&root);
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(16, 40 - 16), argb(255, 255, 0, 0));
    EXPECT_EQ(window.pixel(25, 40 - 25), 0u);  // outside the clipping parent
    parent.setHidden(true);
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(16, 40 - 16), 0u);
}


// A content view that moves into another window, or under another view, leaves its first window
// without a content view instead of a view it no longer shows.
TEST(Window, AContentViewThatMovesOnLeavesItsWindow) {
    headless::HeadlessWindow first({20, 20}, 1), second({20, 20}, 1);
    View moving(Rect{0, 0, 20, 20}), holder(Rect{0, 0, 20, 20});
    first.setContentView(&moving);
    second.setContentView(&moving);
    EXPECT_EQ(first.contentView(), nullptr);
    EXPECT_EQ(moving.window(), &second);
    holder.addSubview(&moving);
    EXPECT_EQ(second.contentView(), nullptr);
    EXPECT_EQ(moving.window(), nullptr);
    first.setContentView(&holder);
    EXPECT_EQ(moving.window(), &first);
    first.displayIfNeeded();
}
