#include "platform/ui/View.h"

#include <gtest/gtest.h>

#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Point;
using platform::gfx::Rect;

namespace {

class FlippedView : public View {
public:
    using View::View;
    bool isFlipped() const override { return true; }
};

class RecordingView : public View {
public:
    using View::View;
    void draw(platform::gfx::Canvas&, const Rect& dirty) override {
        drawn.push_back(dirty);
        rects = rectsBeingDrawn();
    }
    std::vector<Rect> drawn;
    std::vector<Rect> rects;
};

}  // namespace

// A point of a child converted to the window, for every mix of flipped parent and child. The
// parent sits at (10, 20) and is 100 × 50; the child at (5, 6) in it is 30 × 10.
TEST(View, ConvertsBetweenFlippedAndUnflippedCoordinates) {
    struct Case {
        bool parentFlipped, childFlipped;
        Point expected;  // the child's point (1, 2) in the window
    } cases[] = {
        {false, false, {16, 28}},            // both y up: 20 + 6 + 2
        {false, true, {16, 20 + 6 + 10 - 2}},  // child counts down from its top edge
        {true, false, {16, 20 + 50 - 6 - 10 + 2}},  // child's frame origin is its top-left in the parent
        {true, true, {16, 20 + 50 - 6 - 2}},
    };
    for (const Case& c : cases) {
        std::unique_ptr<View> parent = c.parentFlipped ? std::make_unique<FlippedView>(Rect{10, 20, 100, 50})
                                                       : std::make_unique<View>(Rect{10, 20, 100, 50});
        std::unique_ptr<View> child = c.childFlipped ? std::make_unique<FlippedView>(Rect{5, 6, 30, 10})
                                                     : std::make_unique<View>(Rect{5, 6, 30, 10});
        parent->addSubview(child.get());
        Point p = child->convertToWindow(Point{1, 2});
        EXPECT_EQ(p, c.expected) << c.parentFlipped << c.childFlipped;
        Rect back = child->convertFromWindow(Rect{p.x, p.y, 0, 0});
        EXPECT_NEAR(back.x, 1, 1e-9);
        EXPECT_NEAR(back.y, 2, 1e-9);
    }
}

// Subviews are not owned and leave when destroyed; no view holds itself or an ancestor.
TEST(View, SubviewsAreNotOwned) {
    View parent(Rect{0, 0, 100, 100});
    auto orphan = std::make_unique<View>(Rect{0, 0, 5, 5});
    {
        View child(Rect{0, 0, 10, 10});
        parent.addSubview(&child);
        child.addSubview(orphan.get());
        child.addSubview(&parent);
        parent.addSubview(&parent);
        EXPECT_EQ(parent.subviews(), std::vector<View*>{&child});
        EXPECT_EQ(child.subviews(), std::vector<View*>{orphan.get()});
    }
    EXPECT_TRUE(parent.subviews().empty());
    EXPECT_EQ(orphan->superview(), nullptr);
}

// Outside a window a view only remembers that it must be drawn; in one, its rectangles become the
// window's. Drawing gets their union and the list, in the view's own (here flipped) coordinates.
TEST(View, DirtyRectanglesReachDrawInTheViewsCoordinates) {
    RecordingView leaf(Rect{10, 10, 50, 40});
    leaf.setNeedsDisplay(Rect{40, 30, 30, 30});
    EXPECT_TRUE(leaf.needsDisplay());

    headless::HeadlessWindow window({200, 100}, 2);
    View content;
    FlippedView holder(Rect{20, 10, 100, 80});
    content.addSubview(&holder);
    holder.addSubview(&leaf);
    window.setContentView(&content);
    window.displayIfNeeded();
    EXPECT_FALSE(leaf.needsDisplay());
    leaf.drawn.clear();
    leaf.setNeedsDisplay(Rect{1, 2, 3, 4});
    leaf.setNeedsDisplay(Rect{30, 20, 50, 50});  // cut at the bounds
    EXPECT_TRUE(window.displayScheduled());
    EXPECT_EQ(window.dirtyRects()[0], (Rect{31, 42, 3, 4}));  // the leaf's bottom edge is at y 40
    window.displayIfNeeded();
    ASSERT_EQ(leaf.drawn.size(), 1u);
    EXPECT_EQ(leaf.rects, (std::vector<Rect>{{1, 2, 3, 4}, {30, 20, 20, 20}}));
    EXPECT_EQ(leaf.drawn[0], (Rect{1, 2, 49, 38}));
}
