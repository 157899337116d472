#include "platform/ui/Window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/CanvasInk.h"

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
    // Too many: the nearest become one, and the far ones stay apart.
    for (int i = 0; i < 40; ++i) window.invalidate(Rect{double(i * 2), 50, 1, 1});
    ASSERT_EQ(window.dirtyRects().size(), Window::maxDirtyRects);
    double area = 0;
    for (const Rect& d : window.dirtyRects()) {
        area += d.width * d.height;
        EXPECT_TRUE(d == (Rect{1, 1, 2.5, 2.5}) || d == (Rect{0, 90, 100, 10}) || (d.y == 50 && d.height == 1)) << d.x;
    }
    // Ten merges, each of two points and the gap between them.
    EXPECT_EQ(area, 2.5 * 2.5 + 1000 + 40 + 10);
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

namespace {

// A view of stripes one point high, each its own colour, so that a move shows where each went.
class StripesView : public View {
public:
    using View::View;
    bool isOpaque() const override { return opaque; }
    bool opaque = true;
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override {
        ++draws;
        canvas.clear(dirty);
        for (int y = 0; y < bounds().height; ++y) {
            canvas.fill(Rect{0, double(y), bounds().width, 1}, Rgba{(shift + y) % 7 / 7.0, 0, 1, 1});
        }
    }
    // What the stripes show moves up by one per step.
    int shift = 0;
    int draws = 0;
};

// Counts what a backend hears of changes: new dirt, and changes inside what was already dirty.
class CountingWindow : public headless::HeadlessWindow {
public:
    using HeadlessWindow::HeadlessWindow;
    int invalidated = 0;
    int changedWithinDirty = 0;

protected:
    void didInvalidate(const Rect& rect) override {
        ++invalidated;
        HeadlessWindow::didInvalidate(rect);
    }
    void didChangeWithinDirty() override { ++changedWithinDirty; }
};

}  // namespace

TEST(Window, MovedPixelsLandWhereTheyWouldBeDrawnAndWhatTheyUncoverIsDirty) {
    struct Case {
        const char* name;
        double scale;
        double dy;
        Rect uncovered;
    };
    const std::vector<Case> cases = {
        {"up, scale 1", 1, 2, Rect{0, 0, 10, 2}},
        {"down, scale 1", 1, -3, Rect{0, 17, 10, 3}},
        {"up, scale 2", 2, 1.5, Rect{0, 0, 10, 1.5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        headless::HeadlessWindow window({10, 20}, c.scale);
        StripesView view(Rect{0, 0, 10, 20});
        window.setContentView(&view);
        window.displayIfNeeded();
        ASSERT_TRUE(view.scrollRect(view.bounds(), c.dy));
        EXPECT_EQ(window.dirtyRects(), (std::vector<Rect>{c.uncovered}));
        // What stayed equals the stripes drawn one move later.
        headless::HeadlessWindow fresh({10, 20}, c.scale);
        View root(Rect{0, 0, 10, 20});
        StripesView later(Rect{0, c.dy, 10, 20});
        root.addSubview(&later);
        fresh.setContentView(&root);
        fresh.displayIfNeeded();
        const int dirtyTop = static_cast<int>((20 - c.uncovered.maxY()) * c.scale);
        const int dirtyBottom = static_cast<int>((20 - c.uncovered.minY()) * c.scale);
        for (int y = 0; y < 20 * c.scale; ++y) {
            if (y >= dirtyTop && y < dirtyBottom) continue;
            ASSERT_EQ(window.pixel(3, y), fresh.pixel(3, y)) << "row " << y;
        }
    }
}

TEST(Window, MovingPixelsCarriesDirtyPartsAndRedrawsViewsOnTop) {
    headless::HeadlessWindow window({20, 20}, 1);
    StripesView view(Rect{0, 0, 20, 20});
    PaintView caret(Rect{4, 5, 2, 3}, Rgba{1, 1, 1, 1});
    view.addSubview(&caret);
    window.setContentView(&view);
    window.displayIfNeeded();
    window.invalidate(Rect{0, 10, 20, 1});
    ASSERT_TRUE(view.scrollRect(Rect{0, 2, 20, 16}, 4));
    std::vector<Rect> dirty = window.dirtyRects();
    auto has = [&](const Rect& r) { return std::find(dirty.begin(), dirty.end(), r) != dirty.end(); };
    EXPECT_TRUE(has(Rect{0, 10, 20, 1}));  // where it was dirty stays dirty
    EXPECT_TRUE(has(Rect{0, 14, 20, 1}));  // and where its pixels went
    EXPECT_TRUE(has(Rect{0, 2, 20, 4}));   // uncovered
    EXPECT_TRUE(has(Rect{4, 5, 2, 3}));    // the caret where it is
    EXPECT_TRUE(has(Rect{4, 9, 2, 3}));    // and where its pixels went
    // Outside the rectangle nothing moved.
    EXPECT_FALSE(std::any_of(dirty.begin(), dirty.end(), [](const Rect& r) { return r.maxY() > 18 || r.minY() < 2; }));
}

TEST(Window, PixelsThatCannotMoveAreDrawnAgain) {
    struct Case {
        const char* name;
        std::function<void(View& root, StripesView& view, View& clip)> setUp;
        Rect rect;
        double dy;
    };
    const std::vector<Case> cases = {
        {"translucent view", [](View&, StripesView& v, View&) { v.opaque = false; }, Rect{0, 0, 10, 10}, 2},
        {"hidden ancestor", [](View& root, StripesView&, View&) { root.setHidden(true); }, Rect{0, 0, 10, 10}, 2},
        {"fading view", [](View&, StripesView& v, View&) { v.setOpacity(0.5); }, Rect{0, 0, 10, 10}, 2},
        {"half a device pixel", [](View&, StripesView&, View&) {}, Rect{0, 0, 10, 10}, 0.25},
        {"edge off the pixels", [](View&, StripesView&, View&) {}, Rect{0, 0.25, 10, 10}, 1},
        {"moved out entirely", [](View&, StripesView&, View&) {}, Rect{0, 0, 10, 10}, 10},
        {"cut by a clipping ancestor", [](View&, StripesView&, View& clip) { clip.setFrameSize({10, 5}); },
         Rect{0, 0, 10, 10}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        headless::HeadlessWindow window({10, 20}, 2);
        View root(Rect{0, 0, 10, 20});
        View clip(Rect{0, 0, 10, 20});
        clip.setClipsToBounds(true);
        StripesView view(Rect{0, 0, 10, 20});
        root.addSubview(&clip);
        clip.addSubview(&view);
        window.setContentView(&root);
        window.displayIfNeeded();
        c.setUp(root, view, clip);
        window.displayIfNeeded();
        EXPECT_FALSE(view.scrollRect(c.rect, c.dy));
        if (!root.isHidden() && c.rect.minY() == 0 && c.name != std::string("cut by a clipping ancestor")) {
            EXPECT_TRUE(std::any_of(window.dirtyRects().begin(), window.dirtyRects().end(),
                                    [&](const Rect& r) { return r.contains(view.convertToWindow(c.rect)); }));
        }
    }
}

// A backend that places widgets after each change must hear of a view that moves, shows or hides
// inside a region already waiting to be drawn, or its widget stays where it was.
TEST(Window, ChangesInsideADirtyRegionStillReachTheBackend) {
    CountingWindow window({200, 200}, 1);
    View root(Rect{0, 0, 200, 200});
    PaintView child(Rect{10, 10, 20, 20});
    root.addSubview(&child);
    window.setContentView(&root);
    window.displayIfNeeded();
    struct Case {
        const char* name;
        std::function<void()> change;
    };
    const std::vector<Case> cases = {
        {"moved", [&] { child.setFrame(Rect{40, 40, 20, 20}); }},
        {"hidden", [&] { child.setHidden(true); }},
        {"shown", [&] { child.setHidden(false); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.invalidate(Rect{0, 0, 200, 200});
        const int before = window.changedWithinDirty, fresh = window.invalidated;
        c.change();
        EXPECT_GT(window.changedWithinDirty, before);
        EXPECT_EQ(window.invalidated, fresh);  // nothing new to draw
        window.displayIfNeeded();
    }
    // Outside any dirty region the change is new dirt, not a change within it.
    const int before = window.changedWithinDirty;
    child.setFrame(Rect{100, 100, 20, 20});
    EXPECT_EQ(window.changedWithinDirty, before);
    EXPECT_GT(window.invalidated, 0);
}

// Rounded corners and borders around the moved content, and shadows over it, stay where they are:
// after the move and a display the window shows what a fresh drawing of the moved content shows.
TEST(Window, MovedPixelsLeaveCornersBordersAndShadowsInPlace) {
    struct Case {
        const char* name;
        std::function<void(View& frame, StripesView& view, View& above)> setUp;
    };
    const std::vector<Case> cases = {
        {"rounded clipping around", [](View& f, StripesView&, View&) {
             f.setClipsToBounds(true);
             f.setCornerRadius(8);
         }},
        {"a border around", [](View& f, StripesView&, View&) {
             f.setBorder(2, Rgba{1, 1, 0, 1});
         }},
        {"its own border", [](View&, StripesView& v, View&) {
             v.setBorder(3, Rgba{0, 1, 0, 1});
         }},
        {"a shadow over it", [](View&, StripesView&, View& a) {
             View::Shadow shadow;
             shadow.opacity = 1;
             shadow.radius = 4;
             shadow.offset = {0, -2};
             a.setShadow(shadow);
         }},
    };
    auto scene = [](headless::HeadlessWindow& window, View& root, View& frame, StripesView& view, View& above,
                    const Case& c) {
        root.setLayerBackgroundColor(Rgba{1, 1, 1, 1});
        frame.setLayerBackgroundColor(Rgba{0, 0, 0, 1});
        root.addSubview(&frame);
        frame.addSubview(&view);
        above.setLayerBackgroundColor(Rgba{1, 0, 0, 1});
        root.addSubview(&above);
        c.setUp(frame, view, above);
        window.setContentView(&root);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        headless::HeadlessWindow window({60, 60}, 1);
        View root(Rect{0, 0, 60, 60}), frame(Rect{10, 10, 40, 40}), above(Rect{20, 28, 20, 6});
        StripesView view(Rect{0, 0, 40, 40});
        view.shift = 14;
        scene(window, root, frame, view, above, c);
        window.displayIfNeeded();
        ASSERT_TRUE(view.scrollRect(view.bounds(), 3));
        view.shift = 11;  // what each row shows after the move
        window.displayIfNeeded();

        headless::HeadlessWindow fresh({60, 60}, 1);
        View freshRoot(Rect{0, 0, 60, 60}), freshFrame(Rect{10, 10, 40, 40}), freshAbove(Rect{20, 28, 20, 6});
        StripesView later(Rect{0, 0, 40, 40});
        later.shift = 11;
        scene(fresh, freshRoot, freshFrame, later, freshAbove, c);
        fresh.displayIfNeeded();
        int differing = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 60; ++x) differing += window.pixel(x, y) != fresh.pixel(x, y);
        EXPECT_EQ(differing, 0);
    }
}

// A view's dirty area ends where a clipping ancestor cuts it, and dirty areas apart from each
// other (sixteen animated tiles) stay apart rather than becoming their bounding box.
TEST(Window, DirtyAreasStopAtClippingAncestorsAndManyStayApart) {
    headless::HeadlessWindow window({400, 400}, 1);
    View root(Rect{0, 0, 400, 400}), tile(Rect{10, 10, 50, 40});
    View glow(Rect{-100, -100, 300, 300});
    tile.setClipsToBounds(true);
    root.addSubview(&tile);
    tile.addSubview(&glow);
    std::vector<View> spots(16);
    for (size_t i = 0; i < spots.size(); ++i) {
        spots[i].setFrame(Rect{100 + double(i % 4) * 70, 100 + double(i / 4) * 70, 20, 20});
        root.addSubview(&spots[i]);
    }
    window.setContentView(&root);
    window.displayIfNeeded();
    glow.setNeedsDisplay();
    EXPECT_EQ(window.dirtyRects(), (std::vector<Rect>{{10, 10, 50, 40}}));
    for (View& spot : spots) spot.setNeedsDisplay();
    EXPECT_EQ(window.dirtyRects().size(), 17u);
    // A second change beside each (a caret): one too many, and only a spot and its own neighbour
    // become one, never the space between spots.
    for (const View& spot : spots) root.setNeedsDisplay(Rect{spot.frame().maxX(), spot.frame().y, 2, 2});
    EXPECT_EQ(window.dirtyRects().size(), Window::maxDirtyRects);
    double area = 0;
    for (const Rect& d : window.dirtyRects()) area += d.width * d.height;
    EXPECT_EQ(area, 50 * 40 + 16 * 20 * 20 + 16 * 2 * 2 + 18 * 2);
    window.setContentView(nullptr);
}

// Redrawing part of a shadowed view draws the pixels drawing the whole window does, however the
// view's or its subviews' opaque grounds cover the shadow (where they do not, it is drawn).
TEST(Window, AShadowUnderOverlappingDirtyAreasIsDrawnOnce) {
    // Dirty areas that overlap (the window keeps up to 32 apart) over a shadow's reach, drawn in one display.
    const std::vector<std::vector<Rect>> cases = {
        {{10, 10, 60, 40}, {40, 30, 60, 40}},
        {{0, 0, 140, 30}, {20, 0, 30, 120}, {25, 5, 10, 10}},
        {{100, 20, 30, 80}, {90, 80, 40, 30}},
    };
    for (const std::vector<Rect>& dirty : cases) {
        SCOPED_TRACE(dirty.size());
        auto draw = [&](bool partly) {
            headless::HeadlessWindow window({140, 120}, 1);
            View root(Rect{0, 0, 140, 120}), card(Rect{30.5, 30.25, 80, 60});
            root.setLayerBackgroundColor(Rgba{1, 1, 1, 1});
            View::Shadow shadow;
            shadow.opacity = 0.6;
            shadow.radius = 10;
            shadow.offset = {0, 3};
            card.setShadow(shadow);
            card.setCornerRadius(8);
            card.setLayerBackgroundColor(Rgba{0.2, 0.3, 0.4, 1});
            root.addSubview(&card);
            window.setContentView(&root);
            window.displayIfNeeded();
            if (partly) {
                for (const Rect& r : dirty) window.invalidate(r);
                window.displayIfNeeded();
            }
            std::vector<uint32_t> pixels = window.surface().image().pixels;
            window.setContentView(nullptr);
            return pixels;
        };
        EXPECT_LE(platform::gfx::testing::worstDifference(draw(true), draw(false)), 1);
    }
}

TEST(Window, PartlyRedrawnShadowsMatchAWholeDrawing) {
    struct Case {
        const char* name;
        double scale;
        bool groundOnView, clips;
        Rect sub;
    };
    const Case cases[] = {
        {"the view's own ground", 1, true, false, {}},
        {"a rounded subview's ground", 1, false, false, {0, 0, 80, 60}},
        {"a subview on half points", 1, false, false, {0.5, 0.5, 79, 59}},
        {"a subview not reaching the corners", 1, false, false, {10, 10, 60, 40}},
        {"a subview past a clipping view", 1, false, true, {-20, 10, 120, 40}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto draw = [&](bool partly) {
            headless::HeadlessWindow window({140, 120}, c.scale);
            View root(Rect{0, 0, 140, 120}), card(Rect{30.5, 30.25, 80, 60}), sub(c.sub);
            root.setLayerBackgroundColor(Rgba{1, 1, 1, 1});
            View::Shadow shadow;
            shadow.opacity = 0.6;
            shadow.radius = 10;
            shadow.offset = {0, 3};
            shadow.cornerRadius = 8;
            card.setShadow(shadow);
            card.setCornerRadius(8);
            card.setClipsToBounds(c.clips);
            if (c.groundOnView) card.setLayerBackgroundColor(Rgba{0.2, 0.3, 0.4, 1});
            sub.setLayerBackgroundColor(Rgba{0.4, 0.3, 0.2, 1});
            sub.setCornerRadius(8);
            if (!c.groundOnView) card.addSubview(&sub);
            root.addSubview(&card);
            window.setContentView(&root);
            window.displayIfNeeded();
            if (partly) {
                window.invalidate(Rect{0, 0, 140, 120});
                window.displayIfNeeded();
            }
            std::vector<uint32_t> pixels = window.surface().image().pixels;
            if (partly) {
                // Strips across the middle, an edge and a corner.
                for (const Rect& r : {Rect{40, 50, 60, 20}, Rect{20, 40, 30, 30}, Rect{100, 80, 20, 20}}) {
                    window.invalidate(r);
                    window.displayIfNeeded();
                }
                pixels = window.surface().image().pixels;
            }
            window.setContentView(nullptr);
            return pixels;
        };
        // A scaled image sampled from another clip's corner may round a level apart, no more.
        const std::vector<uint32_t> partly = draw(true), whole = draw(false);
        ASSERT_EQ(partly.size(), whole.size());
        int worst = 0;
        for (size_t i = 0; i < partly.size(); ++i) {
            for (int shift = 0; shift < 32; shift += 8) {
                const int a = int(partly[i] >> shift & 0xFF), b = int(whole[i] >> shift & 0xFF);
                worst = std::max(worst, std::abs(a - b));
            }
        }
        EXPECT_LE(worst, 1);
    }
}

namespace {

class TypedView : public PaintView {
public:
    using PaintView::PaintView;
    bool acceptsFirstResponder() const override { return true; }
    void keyDown(const KeyEvent&) override {}
};

// Paints all of itself: its pixels may be moved.
class SolidView : public PaintView {
public:
    using PaintView::PaintView;
    bool isOpaque() const override { return true; }
};

// A window drawn once, its left half the view typed into, its right half another.
struct TypingWindow {
    explicit TypingWindow(bool typingFirst) {
        root.addSubview(&typed);
        root.addSubview(&other);
        window.setDrawsTypingFirst(typingFirst);
        window.setContentView(&root);
        window.displayIfNeeded();
        window.makeFirstResponder(&typed);
    }
    void key() {
        KeyEvent key;
        key.key = Key::character;
        key.characters = "k";
        window.sendKeyEvent(key);
    }
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{100, 50}, 1};
    PaintView root{Rect{0, 0, 100, 50}, Rgba{0, 0, 0, 1}};
    TypedView typed{Rect{0, 0, 50, 50}, Rgba{1, 0, 0, 1}};
    SolidView other{Rect{50, 0, 50, 50}, Rgba{0, 1, 0, 1}};
};

}  // namespace

// A window that draws typing first draws only the first responder's dirty part in the pass after
// a key, when more is dirty elsewhere; the rest comes in the next pass, which draws everything.
// When nothing of the first responder is dirty yet in the first pass after a key, the echo is on
// its way: that pass draws nothing, so that the echo is not kept behind a whole window.
TEST(Window, TheViewTypedIntoIsDrawnFirstAndTheRestInThePassAfter) {
    using namespace std::chrono_literals;
    enum class Pass { whole, alone, held };
    struct Case {
        const char* name;
        bool on;
        std::optional<platform::runtime::Duration> keyAgo;
        bool typedDirty;
        bool movedPixels;
        Pass pass;
        bool passSinceKey = false;
    } cases[] = {
        {"a key just now", true, 0ms, true, false, Pass::alone},
        {"a key within the second", true, 999ms, true, false, Pass::alone},
        {"off", false, 0ms, true, false, Pass::whole},
        {"no key", true, std::nullopt, true, false, Pass::whole},
        {"a key over a second ago", true, 1001ms, true, false, Pass::whole},
        {"nothing of the view typed into dirty yet", true, 0ms, false, false, Pass::held},
        {"nothing dirty yet, the key within the echo's wait", true, 8ms, false, false, Pass::held},
        {"nothing dirty, the key longer ago than an echo takes", true, 9ms, false, false, Pass::whole},
        {"nothing dirty, a pass (held) since the key", true, 0ms, false, false, Pass::whole, true},
        {"nothing dirty, pixels moved meanwhile", true, 0ms, false, true, Pass::whole},
        {"nothing dirty, off", false, 0ms, false, false, Pass::whole},
        {"pixels moved meanwhile", true, 0ms, true, true, Pass::whole},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TypingWindow w(c.on);
        auto& [loop, scoped, window, root, typed, other] = w;
        ASSERT_EQ(window.firstResponder(), &typed);
        if (c.keyAgo) {
            w.key();
            loop.advance(*c.keyAgo);
        }
        if (c.passSinceKey) {
            other.setNeedsDisplay(Rect{0, 0, 5, 5});
            window.displayIfNeeded();
        }
        if (c.typedDirty) typed.setNeedsDisplay();
        other.setNeedsDisplay(Rect{10, 10, 20, 20});
        if (c.movedPixels) {
            ASSERT_TRUE(other.scrollRect(Rect{0, 30, 50, 20}, -10));
        }
        const int typedDraws = typed.draws, otherDraws = other.draws, displays = window.displayCount();
        const uint64_t held = window.passesHeldForEcho();
        window.displayIfNeeded();
        EXPECT_EQ(typed.draws, typedDraws + (c.typedDirty ? 1 : 0));
        EXPECT_EQ(other.draws, otherDraws + (c.pass == Pass::whole ? 1 : 0));
        EXPECT_EQ(window.displayCount(), displays + (c.pass == Pass::held ? 0 : 1));
        EXPECT_EQ(window.passesHeldForEcho(), held + (c.pass == Pass::held ? 1 : 0));
        EXPECT_EQ(window.needsDisplay(), c.pass != Pass::whole);
        if (c.pass == Pass::whole) continue;
        EXPECT_TRUE(window.displayScheduled());
        if (c.pass == Pass::held) {
            EXPECT_EQ(window.dirtyRects(), (std::vector<Rect>{{60, 10, 20, 20}}));
            // The echo comes: it is drawn alone, the rest after it.
            typed.setNeedsDisplay();
            window.displayIfNeeded();
            EXPECT_EQ(typed.draws, typedDraws + 1);
            EXPECT_EQ(other.draws, otherDraws);
        }
        EXPECT_EQ(window.lastDisplayedRects(), (std::vector<Rect>{{0, 0, 50, 50}}));
        EXPECT_EQ(window.dirtyRects(), (std::vector<Rect>{{60, 10, 20, 20}}));
        EXPECT_TRUE(window.displayScheduled());
        // Never twice in a row: the next pass draws everything, the view typed into too.
        typed.setNeedsDisplay();
        window.displayIfNeeded();
        EXPECT_EQ(typed.draws, typedDraws + 2);
        EXPECT_EQ(other.draws, otherDraws + 1);
        EXPECT_FALSE(window.needsDisplay());
        EXPECT_EQ(window.pixel(70, 25), 0xFF00FF00u);
    }
}

// Held for an echo that does not come (a key the first responder does not answer): the pass
// after draws everything, and a key only ever holds one pass.
TEST(Window, AnEchoThatDoesNotComeHoldsOnePassOnly) {
    using namespace std::chrono_literals;
    TypingWindow w(true);
    auto& [loop, scoped, window, root, typed, other] = w;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        w.key();
        other.setNeedsDisplay(Rect{10, 10, 20, 20});
        const int otherDraws = other.draws;
        window.displayIfNeeded();
        EXPECT_EQ(other.draws, otherDraws);
        loop.advance(16ms);
        window.displayIfNeeded();
        EXPECT_EQ(other.draws, otherDraws + 1);
        EXPECT_FALSE(window.needsDisplay());
        // More of the same, no key since: drawn at once.
        other.setNeedsDisplay(Rect{10, 10, 20, 20});
        window.displayIfNeeded();
        EXPECT_EQ(other.draws, otherDraws + 2);
    }
    EXPECT_EQ(typed.draws, 1);
}

// The worst a typist can do to the rest of the window: a key before every frame, each echoed
// after that frame's tick, while the rest changes every frame. The rest is still drawn at least
// every third frame (a held frame, the echo alone, then everything), so a flooded tile paced to
// 30 frames a second shows its output within 100 ms.
TEST(Window, KeysBeforeEveryFrameLeaveTheRestDrawnEveryThirdFrame) {
    using namespace std::chrono_literals;
    for (const bool echoes : {true, false}) {
        SCOPED_TRACE(echoes);
        TypingWindow w(true);
        auto& [loop, scoped, window, root, typed, other] = w;
        int longest = 0, since = 0;
        for (int frame = 0; frame < 30; ++frame) {
            w.key();
            other.setNeedsDisplay(Rect{10, 10, 20, 20});
            const int before = other.draws;
            window.displayIfNeeded();
            since = other.draws > before ? 0 : since + 1;
            longest = std::max(longest, since);
            if (echoes) typed.setNeedsDisplay();
            loop.advance(16ms);
        }
        EXPECT_EQ(longest, echoes ? 2 : 1);
    }
}

// The view typed into stands on fractions of a pixel (a tile of a wall whose width does not divide
// evenly, a zoomed tile): the pass that draws it first and the pass after split the window on whole
// device pixels, and the two leave what one pass over everything leaves.
TEST(Window, DrawnFirstAtFractionsOfAPixelTheTwoPassesMeetOnWholePixels) {
    struct Case {
        double scale;
        Rect typedFrame;
    } cases[] = {
        {1, {10.5, 7.25, 30.5, 20.4}},
        {2, {10.25, 7.75, 30.3, 20.4}},
        {2, {10.5, 7.5, 30, 20}},
        {1, {10, 7, 30, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        SCOPED_TRACE(c.typedFrame.x);
        platform::runtime::VirtualMainLoop loop;
        platform::runtime::ScopedMainLoop scoped(loop);
        auto onPixels = [&](const Rect& r) {
            for (double v : {r.minX(), r.minY(), r.maxX(), r.maxY()}) {
                if (std::fabs(v * c.scale - std::round(v * c.scale)) > 1e-9) return false;
            }
            return true;
        };
        headless::HeadlessWindow split({60, 40}, c.scale), whole({60, 40}, c.scale);
        SolidView splitRoot(Rect{0, 0, 60, 40}, Rgba{0.2, 0.3, 0.9, 1}), wholeRoot(Rect{0, 0, 60, 40}, Rgba{0.2, 0.3, 0.9, 1});
        TypedView splitTyped(c.typedFrame, Rgba{0.9, 0.8, 0.1, 1}), wholeTyped(c.typedFrame, Rgba{0.9, 0.8, 0.1, 1});
        splitRoot.addSubview(&splitTyped);
        wholeRoot.addSubview(&wholeTyped);
        split.setDrawsTypingFirst(true);
        split.setContentView(&splitRoot);
        whole.setContentView(&wholeRoot);
        split.displayIfNeeded();
        ASSERT_TRUE(split.makeFirstResponder(&splitTyped));
        KeyEvent key;
        key.key = Key::character;
        key.characters = "k";
        split.sendKeyEvent(key);
        // All of it asks at once (a resize, a theme): the typed view's part first.
        splitRoot.setNeedsDisplay();
        split.displayIfNeeded();
        ASSERT_TRUE(split.needsDisplay());
        for (const Rect& r : split.lastDisplayedRects()) EXPECT_TRUE(onPixels(r)) << r.x << " " << r.y << " " << r.width << " " << r.height;
        for (const Rect& r : split.dirtyRects()) EXPECT_TRUE(onPixels(r)) << r.x << " " << r.y << " " << r.width << " " << r.height;
        split.displayIfNeeded();
        whole.display();
        EXPECT_EQ(split.surface().image().pixels, whole.surface().image().pixels);
    }
}
