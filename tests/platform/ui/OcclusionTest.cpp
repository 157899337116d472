// What lies under an opaque view is not drawn where the view covers the dirty rectangle.
#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"

namespace platform::ui {
namespace {

using gfx::Rect;
using gfx::Rgba;

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
        {"Rounded", true, 8, 1, {20, 20, 10, 10}, true},
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

}  // namespace
}  // namespace platform::ui
