// What lies under an opaque view is not drawn where the view covers the dirty rectangle.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/CanvasInk.h"

namespace platform::ui {
namespace {

using gfx::Rect;
using gfx::Rgba;
using gfx::testing::worstDifference;

// Counts its draws; paints its whole frame in one colour when opaque.
class Counted : public View {
public:
    Counted(const Rect& frame, Rgba color, bool opaque) : View(frame), color_(color), opaque_(opaque) {}
    bool isOpaque() const override { return opaque_; }
    void draw(gfx::Canvas& canvas, const Rect&) override {
        ++draws;
        canvas.fill(bounds(), color_);
    }
    int draws = 0;

private:
    Rgba color_;
    bool opaque_;
};

TEST(OcclusionTest, ViewsUnderAnOpaqueSiblingAreLeftUndrawnWhereItCoversTheDirtyArea) {
    struct Case {
        const char* name;
        bool opaque;
        double radius, opacity;
        Rect dirty;
        bool underDrawn;
    } const cases[] = {
        {"Covered", true, 0, 1, {20, 20, 10, 10}, false},
        {"Partly covered", true, 0, 1, {5, 5, 30, 30}, true},
        {"Not opaque", false, 0, 1, {20, 20, 10, 10}, true},
        {"Rounded, inside its corners", true, 8, 1, {20, 20, 10, 10}, false},
        {"Rounded, at a corner", true, 8, 1, {10, 10, 4, 4}, true},
        {"Fading", true, 0, 0.5, {20, 20, 10, 10}, true},
    };
    for (const Case& c : cases) {
        runtime::VirtualMainLoop loop;
        runtime::ScopedMainLoop scoped{loop};
        headless::HeadlessWindow window({100, 100}, 1);
        View root;  // window coordinates (y up) throughout
        window.setContentView(&root);
        Counted under({0, 0, 100, 100}, Rgba{1, 0, 0, 1}, true);
        Counted over({10, 10, 60, 60}, Rgba{0, 0, 1, 1}, c.opaque);
        over.setCornerRadius(c.radius);
        over.setOpacity(c.opacity);
        root.addSubview(&under);
        root.addSubview(&over);
        window.display();
        under.draws = over.draws = 0;
        window.invalidate(c.dirty);
        window.displayIfNeeded();
        EXPECT_EQ(under.draws > 0, c.underDrawn) << c.name;
        EXPECT_EQ(over.draws, 1) << c.name;
        // What shows is the same either way.
        const uint32_t pixel = window.pixel(25, 100 - 25);  // from the top
        if (c.opacity >= 1) {
            EXPECT_EQ(pixel & 0xFFFFFF, 0x0000FFu) << c.name;
        }
        window.setContentView(nullptr);
    }
}

TEST(OcclusionTest, AViewIsLeftUndrawnWhereOpaqueSubviewsOrTheirsPaintOver) {
    struct Case {
        const char* name;
        bool grandchild;  // the opaque view one level further down, in a middle view
        bool clips;       // the middle view clips (rounded by `radius`)
        double radius, opacity;
        bool hidden;
        Rect leaf;  // in its superview
        Rect dirty;
        bool parentDrawn;
    } const cases[] = {
        {"an opaque child covers it", false, false, 0, 1, false, {10, 10, 80, 80}, {20, 20, 10, 10}, false},
        {"partly covered", false, false, 0, 1, false, {10, 10, 80, 80}, {5, 5, 30, 30}, true},
        {"a hidden child", false, false, 0, 1, true, {10, 10, 80, 80}, {20, 20, 10, 10}, true},
        {"a grandchild covers it", true, false, 0, 1, false, {0, 0, 80, 80}, {40, 40, 10, 10}, false},
        {"a grandchild under a fading view", true, false, 0, 0.5, false, {0, 0, 80, 80}, {40, 40, 10, 10}, true},
        {"the middle of a rounded clip", true, true, 12, 1, false, {-10, -10, 100, 100}, {40, 40, 10, 10}, false},
        {"the corner of a rounded clip", true, true, 12, 1, false, {-10, -10, 100, 100}, {10, 10, 4, 4}, true},
        {"a grandchild clipped away there", true, true, 0, 1, false, {-10, -10, 100, 100}, {2, 2, 6, 6}, true},
        {"on half points, whole pixels inside", false, false, 0, 1, false, {10.5, 10.5, 30, 30}, {12, 12, 20, 20}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto draw = [&](bool partly, int* parentDraws) {
            runtime::VirtualMainLoop loop;
            runtime::ScopedMainLoop scoped{loop};
            headless::HeadlessWindow window({100, 100}, 1);
            View root;
            window.setContentView(&root);
            Counted parent({0, 0, 100, 100}, Rgba{1, 0, 0, 1}, false);
            View middle({10, 10, 80, 80});
            middle.setClipsToBounds(c.clips);
            middle.setCornerRadius(c.radius);
            middle.setOpacity(c.opacity);
            middle.setBorder(2, Rgba{0, 1, 0, 0.5});
            Counted leaf(c.leaf, Rgba{0, 0, 1, 1}, true);
            leaf.setHidden(c.hidden);
            root.addSubview(&parent);
            if (c.grandchild) {
                parent.addSubview(&middle);
                middle.addSubview(&leaf);
            } else {
                parent.addSubview(&leaf);
            }
            window.display();
            if (partly) {
                parent.draws = 0;
                window.invalidate(c.dirty);
                window.displayIfNeeded();
                *parentDraws = parent.draws;
            }
            std::vector<uint32_t> pixels = window.surface().image().pixels;
            window.setContentView(nullptr);
            return pixels;
        };
        int parentDraws = 0;
        const std::vector<uint32_t> partly = draw(true, &parentDraws);
        EXPECT_EQ(parentDraws > 0, c.parentDrawn);
        // What shows is the same either way, the middle view's border included.
        EXPECT_LE(worstDifference(partly, draw(false, nullptr)), 3);
    }
}

TEST(OcclusionTest, ABorderIsStrokedWhereverADirtyAreaReachesIt) {
    const Rect dirties[] = {{5, 5, 10, 90}, {40, 85, 20, 10}, {84, 84, 10, 10}, {30, 30, 40, 40}};
    for (const Rect& dirty : dirties) {
        SCOPED_TRACE(dirty.x);
        auto draw = [&](bool partly) {
            runtime::VirtualMainLoop loop;
            runtime::ScopedMainLoop scoped{loop};
            headless::HeadlessWindow window({100, 100}, 2);
            View root;
            window.setContentView(&root);
            Counted card({10.5, 10.5, 80, 80}, Rgba{0.2, 0.2, 0.25, 1}, true);
            card.setCornerRadius(10);
            card.setBorder(1.5, Rgba{1, 1, 1, 0.6});
            root.addSubview(&card);
            window.display();
            if (partly) {
                window.invalidate(dirty);
                window.displayIfNeeded();
            }
            std::vector<uint32_t> pixels = window.surface().image().pixels;
            window.setContentView(nullptr);
            return pixels;
        };
        // A rounded stroke rasterised under another clip may round a few levels apart on its arcs.
        EXPECT_LE(worstDifference(draw(true), draw(false)), 3);
    }
}

}  // namespace
}  // namespace platform::ui
