#include "platform/ui/BlurView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <memory>

#include "platform/gfx/BoxBlur.h"
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

// A rectangle of one colour that counts how often it was drawn.
class Square : public View {
public:
    Square(const Rect& frame, Rgba color) : View(frame), color(color) {}
    bool isOpaque() const override { return true; }
    void draw(platform::gfx::Canvas& canvas, const Rect&) override {
        ++draws;
        canvas.fill(bounds(), color);
    }
    Rgba color;
    int draws = 0;
};

class BlurViewTest : public ::testing::Test {
protected:
    BlurViewTest() {
        window.setContentView(&root);
        root.setLayerBackgroundColor(Rgba{0.2, 0.3, 0.4, 1});
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

// Stripes, a box with a square in it beneath the blur, a translucent scrim and a card over it.
struct Scene {
    explicit Scene(double scale) : window({120, 80}, scale) {
        window.setContentView(&root);
        root.setLayerBackgroundColor(Rgba{0.2, 0.3, 0.4, 1});
        root.addSubview(&stripes);
        root.addSubview(&box);
        box.addSubview(&inner);
        root.addSubview(&blur);
        scrim.setLayerBackgroundColor(Rgba{0, 0, 0, 0.4});
        root.addSubview(&scrim);
        root.addSubview(&card);
        blur.setTint(Rgba{0, 0, 0.2, 0.3});
    }
    headless::HeadlessWindow window;
    View root;
    StripesView stripes{Rect{0, 0, 64, 80}};
    View box{Rect{20, 20, 40, 30}};
    Square inner{Rect{5, 5, 12, 10}, Rgba{0, 1, 0, 1}};
    BlurView blur{Rect{8, 8, 104, 64}};
    View scrim{Rect{8, 8, 104, 64}};
    Square card{Rect{30, 30, 30, 20}, Rgba{1, 0.5, 0, 1}};
};

// Counts the device pixels where two windows differ.
int differences(const headless::HeadlessWindow& a, const headless::HeadlessWindow& b) {
    const auto x = a.surface().image(), y = b.surface().image();
    if (x.pixels.size() != y.pixels.size()) return -1;
    int n = 0;
    for (size_t i = 0; i < x.pixels.size(); ++i) n += x.pixels[i] != y.pixels[i];
    return n;
}

class BlurCover : public ::testing::TestWithParam<double> {
protected:
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    // Draws, lets the blur settle and draws what it asked for.
    void settle(Scene& scene) {
        for (int i = 0; i < 3; ++i) {
            scene.window.displayIfNeeded();
            loop.advance(150ms);
        }
        scene.window.displayIfNeeded();
    }
};

TEST_P(BlurCover, DrawnPiecemealItShowsWhatAFreshDrawingShows) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> change;
    };
    const Case cases[] = {
        {"card moves within the blur", [](Scene& s) { s.card.setFrameOrigin({50, 12}); }},
        {"card moves past its edge", [](Scene& s) { s.card.setFrameOrigin({100, 62}); }},
        {"stripes change beneath", [](Scene& s) {
             s.stripes.shift = 2;
             s.stripes.setNeedsDisplay(Rect{0, 0, 70, 80});
             s.stripes.setNeedsDisplay(Rect{70, 0, 50, 80});
         }},
        {"a nested view beneath changes", [](Scene& s) {
             s.inner.color = Rgba{1, 0, 0, 1};
             s.inner.setNeedsDisplay(Rect{1, 1, 3, 3});
             s.inner.setNeedsDisplay();
         }},
        {"a view beneath moves", [](Scene& s) { s.box.setFrameOrigin({61, 33}); }},
        {"a view beneath moves out from under the card", [](Scene& s) {
             s.box.setLayerBackgroundColor(Rgba{1, 1, 1, 1});
             s.card.setFrameOrigin({22, 22});
             s.box.setFrameOrigin({70, 8});
         }},
        {"a view beneath hides", [](Scene& s) { s.box.setHidden(true); }},
        {"a view beneath is raised over the blur", [](Scene& s) { s.root.addSubview(&s.box); }},
        {"the card is lowered beneath the blur", [](Scene& s) { s.root.addSubview(&s.card, &s.blur); }},
        {"the tint changes", [](Scene& s) { s.blur.setTint(Rgba{1, 1, 1, 0.25}); }},
        {"the blur moves", [](Scene& s) { s.blur.setFrameOrigin({4, 12}); }},
        {"the blur shrinks", [](Scene& s) { s.blur.setFrameSize({60, 40}); }},
        {"the blur hides and shows", [](Scene& s) {
             s.blur.setHidden(true);
             s.window.displayIfNeeded();
             s.inner.color = Rgba{1, 1, 0, 1};
             s.inner.setNeedsDisplay();
             s.window.displayIfNeeded();
             s.blur.setHidden(false);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene drawn(GetParam());
        settle(drawn);
        ASSERT_TRUE(drawn.blur.coversBeneath());
        c.change(drawn);
        settle(drawn);
        // The same scene drawn once from nothing.
        Scene fresh(GetParam());
        c.change(fresh);
        fresh.window.displayIfNeeded();
        EXPECT_EQ(differences(drawn.window, fresh.window), 0);
    }
}

TEST_P(BlurCover, AppearingOverADrawnWindowItShowsWhatAFreshDrawingShows) {
    struct Case {
        const char* name;
        bool cardBeneath;  // the card lies beneath the blur until it appears
        std::function<void(Scene&)> change;  // just before it appears, not yet drawn
        bool innerDrawn;  // the views beneath are drawn again where the square lies
    };
    // The card clear of the square, so that only a change draws it.
    auto place = [](Scene& s, bool cardBeneath) {
        s.card.setFrameOrigin({70, 45});
        if (cardBeneath) s.root.addSubview(&s.card, &s.blur);
    };
    const Case cases[] = {
        {"nothing changed", false, [](Scene&) {}, false},
        {"a view beneath changed", false, [](Scene& s) {
             s.inner.color = Rgba{1, 0, 0, 1};
             s.inner.setNeedsDisplay();
         }, true},
        {"a view beneath moved", false, [](Scene& s) { s.box.setFrameOrigin({61, 33}); }, true},
        {"the ground changed", false, [](Scene& s) { s.root.setLayerBackgroundColor(Rgba{0.5, 0.1, 0.1, 1}); }, true},
        {"the card over it moved away", false, [](Scene& s) { s.card.setFrameOrigin({75, 40}); }, false},
        {"the card is raised over it and moves", true, [](Scene& s) {
             s.root.addSubview(&s.card);
             s.card.setFrameOrigin({12, 14});
         }, true},
        {"a view beneath hidden, moved and shown again", false, [](Scene& s) {
             s.box.setHidden(true);
             s.box.setFrameOrigin({50, 12});
             s.box.setHidden(false);
         }, true},
        {"a view beneath moved across its edge", false, [](Scene& s) { s.box.setFrameOrigin({0, 40}); }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene drawn(GetParam());
        place(drawn, c.cardBeneath);
        drawn.blur.setHidden(true);
        drawn.scrim.setHidden(true);
        settle(drawn);
        const int inner = drawn.inner.draws;
        c.change(drawn);
        drawn.blur.setHidden(false);
        drawn.scrim.setHidden(false);
        drawn.window.displayIfNeeded();
        EXPECT_TRUE(drawn.blur.coversBeneath());
        EXPECT_EQ(drawn.inner.draws > inner, c.innerDrawn);
        Scene fresh(GetParam());
        place(fresh, c.cardBeneath);
        c.change(fresh);
        fresh.window.displayIfNeeded();
        EXPECT_EQ(differences(drawn.window, fresh.window), 0) << "first frame";
        settle(drawn);
        settle(fresh);
        EXPECT_EQ(differences(drawn.window, fresh.window), 0) << "settled";
    }
}

TEST_P(BlurCover, ViewsBeneathAreDrawnOnlyWhereTheyChanged) {
    Scene s(GetParam());
    settle(s);
    ASSERT_TRUE(s.blur.coversBeneath());
    const int blurs = s.blur.blurCount(), inner = s.inner.draws;
    // The card over the blur moves: nothing beneath is drawn and nothing blurred again.
    for (double x = 10; x < 80; x += 7) {
        s.card.setFrameOrigin({x, 20});
        s.window.displayIfNeeded();
        loop.advance(16ms);
    }
    EXPECT_EQ(s.inner.draws, inner);
    EXPECT_EQ(s.blur.blurCount(), blurs);
    // A change beneath is drawn and blurred.
    s.inner.color = Rgba{0, 0, 1, 1};
    s.inner.setNeedsDisplay();
    settle(s);
    EXPECT_GT(s.inner.draws, inner);
    EXPECT_EQ(s.blur.blurCount(), blurs + 1);
    // Pixels beneath the blur are not moved: the view is drawn again instead.
    EXPECT_FALSE(s.inner.scrollRect(s.inner.bounds(), 2));
}

TEST_P(BlurCover, ABlurThatLetsLightThroughCoversNothing) {
    Scene s(GetParam());
    // Nothing paints the window: it is clear there.
    s.root.setLayerBackgroundColor(std::nullopt);
    s.stripes.setHidden(true);
    settle(s);
    EXPECT_FALSE(s.blur.coversBeneath());
    const int inner = s.inner.draws;
    s.card.setFrameOrigin({22, 22});
    s.window.displayIfNeeded();
    EXPECT_GT(s.inner.draws, inner);
}

// The blur written into the window's pixels is what stretching its blocks over the view with
// the canvas's own filter, and filling the tint over that, showed: within two levels.
TEST_P(BlurCover, ItsPixelsAreTheBlocksStretchedAndTinted) {
    const double scale = GetParam();
    Scene s(scale);
    s.blur.setHidden(true);
    s.scrim.setHidden(true);
    s.card.setHidden(true);
    settle(s);
    const int x = int(8 * scale), y = int(8 * scale), w = int(104 * scale), h = int(64 * scale);
    platform::gfx::Image blocks = s.window.surface().downsampledPixels(x, y, w, h, BlurView::reduction);
    platform::gfx::boxBlur(blocks, BlurView::blurRadius, 3, platform::gfx::BlurEdges::extended);
    platform::gfx::Canvas expected({104, 64}, scale);
    expected.drawImage(blocks, Rect{0, 0, 104, 64});
    expected.fill(Rect{0, 0, 104, 64}, *s.blur.tint());
    s.blur.setHidden(false);
    settle(s);
    ASSERT_TRUE(s.blur.coversBeneath());
    int worst = 0;
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            const uint32_t a = s.window.pixel(x + col, y + row), b = expected.pixel(col, row);
            for (int c = 0; c < 32; c += 8) worst = std::max(worst, std::abs(int((a >> c) & 0xff) - int((b >> c) & 0xff)));
        }
    }
    EXPECT_LE(worst, 2);
}

// A view over the blur shows each change of its own at once, the blur's kept pixels around it
// unchanged, as a fresh drawing shows them.
TEST_P(BlurCover, AViewOverItRefreshesAroundTheKeptBlur) {
    Scene drawn(GetParam());
    settle(drawn);
    ASSERT_TRUE(drawn.blur.coversBeneath());
    const int blurs = drawn.blur.blurCount();
    const Rgba colors[] = {{0, 0, 1, 1}, {1, 1, 1, 1}, {0.3, 0.6, 0.1, 1}};
    for (const Rgba& color : colors) {
        drawn.card.color = color;
        drawn.card.setNeedsDisplay();
        drawn.window.displayIfNeeded();
        Scene fresh(GetParam());
        fresh.card.color = color;
        settle(fresh);
        EXPECT_EQ(differences(drawn.window, fresh.window), 0) << color.red << " " << color.green << " " << color.blue;
    }
    EXPECT_EQ(drawn.blur.blurCount(), blurs);
}

// Hidden where it covered, it puts back what lay beneath it: the views beneath are drawn only
// where they changed since it took them, and the window shows what a fresh drawing without it
// shows.
TEST_P(BlurCover, HiddenItPutsBackWhatLayBeneathIt) {
    struct Case {
        const char* name;
        std::function<void(Scene&)> before, after;
        bool innerDrawn;
    };
    auto recolour = [](Scene& s) {
        s.inner.color = Rgba{0, 0, 1, 1};
        s.inner.setNeedsDisplay();
    };
    const Case cases[] = {
        {"nothing changed", nullptr, nullptr, false},
        {"a view beneath changed while it showed", recolour, nullptr, false},
        {"a view beneath changed as it went", nullptr, recolour, true},
        {"the card moved as it went", nullptr, [](Scene& s) { s.card.setFrameOrigin({70, 40}); }, false},
        {"a view beneath moved as it went", nullptr, [](Scene& s) { s.box.setFrameOrigin({30, 24}); }, true},
        {"a view beneath scrolled as it went", nullptr, [](Scene& s) { s.inner.scrollRect(s.inner.bounds(), 2); }, true},
        {"the stripes changed while it showed", [](Scene& s) {
             s.stripes.shift = 2;
             s.stripes.setNeedsDisplay();
         }, nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Scene drawn(GetParam());
        settle(drawn);
        ASSERT_TRUE(drawn.blur.coversBeneath());
        if (c.before) {
            c.before(drawn);
            settle(drawn);
        }
        const int inner = drawn.inner.draws;
        drawn.blur.setHidden(true);
        drawn.scrim.setHidden(true);
        if (c.after) c.after(drawn);
        drawn.window.displayIfNeeded();
        EXPECT_EQ(drawn.inner.draws > inner, c.innerDrawn);
        Scene fresh(GetParam());
        if (c.before) c.before(fresh);
        if (c.after) c.after(fresh);
        fresh.blur.setHidden(true);
        fresh.scrim.setHidden(true);
        settle(fresh);
        EXPECT_EQ(differences(drawn.window, fresh.window), 0);
        // Shown again, it takes what lies beneath afresh.
        drawn.blur.setHidden(false);
        drawn.scrim.setHidden(false);
        settle(drawn);
        fresh.blur.setHidden(false);
        fresh.scrim.setHidden(false);
        settle(fresh);
        EXPECT_EQ(differences(drawn.window, fresh.window), 0) << "shown again";
    }
}

// Hidden, it goes on putting back what lay beneath it as the card over it moves, until something
// beneath changes; after that the views beneath are drawn as usual. Every frame shows what a
// fresh drawing shows.
TEST_P(BlurCover, HiddenItPutsBackUntilSomethingBeneathChanges) {
    Scene drawn(GetParam());
    settle(drawn);
    ASSERT_TRUE(drawn.blur.coversBeneath());
    drawn.blur.setHidden(true);
    drawn.scrim.setHidden(true);
    struct Step {
        const char* name;
        Rect card;
        bool recolour, innerDrawn;
    };
    const Step steps[] = {
        {"hidden", {30, 30, 30, 20}, false, false},
        {"the card moves over the square", {22, 24, 30, 20}, false, false},
        {"the card moves away", {70, 40, 30, 20}, false, false},
        {"the card moves back, the square changes", {24, 26, 30, 20}, true, true},
        {"the card moves away again", {70, 10, 30, 20}, false, true},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const int inner = drawn.inner.draws;
        drawn.card.setFrame(step.card);
        if (step.recolour) {
            drawn.inner.color = Rgba{0, 0, 1, 1};
            drawn.inner.setNeedsDisplay();
        }
        drawn.window.displayIfNeeded();
        EXPECT_EQ(drawn.inner.draws > inner, step.innerDrawn);
        Scene fresh(GetParam());
        fresh.blur.setHidden(true);
        fresh.scrim.setHidden(true);
        fresh.card.setFrame(step.card);
        fresh.inner.color = drawn.inner.color;
        settle(fresh);
        EXPECT_EQ(differences(drawn.window, fresh.window), 0);
    }
}

// A change beneath that the card over the blur hides whole never reaches the blur's copy: it is
// drawn again when the blur goes.
TEST_P(BlurCover, AChangeHiddenUnderACardIsDrawnWhenTheBlurGoes) {
    Scene drawn(GetParam());
    Square under{Rect{35, 33, 10, 8}, Rgba{1, 0, 1, 1}};
    drawn.root.addSubview(&under, &drawn.blur);
    settle(drawn);
    ASSERT_TRUE(drawn.blur.coversBeneath());
    under.color = Rgba{0, 1, 1, 1};
    under.setNeedsDisplay();
    settle(drawn);
    drawn.card.setFrameOrigin({70, 40});
    drawn.blur.setHidden(true);
    drawn.scrim.setHidden(true);
    drawn.window.displayIfNeeded();
    Scene fresh(GetParam());
    Square under2{Rect{35, 33, 10, 8}, Rgba{0, 1, 1, 1}};
    fresh.root.addSubview(&under2, &fresh.blur);
    fresh.card.setFrameOrigin({70, 40});
    fresh.blur.setHidden(true);
    fresh.scrim.setHidden(true);
    settle(fresh);
    EXPECT_EQ(differences(drawn.window, fresh.window), 0);
    under.removeFromSuperview();
    under2.removeFromSuperview();
}

// Hidden and shown again between two passes with the scrim over it, while views beneath it move:
// the window's surface still holds their own pictures, not what lies beneath them, and nothing of
// that is taken for it.
TEST_P(BlurCover, HiddenAndShownAgainBetweenTwoPasses) {
    const std::function<void(Scene&)> changes[] = {
        [](Scene&) {},
        [](Scene& s) { s.box.setFrameOrigin({61, 33}); },
        [](Scene& s) {
            s.inner.color = Rgba{1, 0, 1, 1};
            s.inner.setNeedsDisplay();
        },
    };
    for (size_t c = 0; c < std::size(changes); ++c) {
        SCOPED_TRACE(c);
        Scene drawn(GetParam());
        settle(drawn);
        ASSERT_TRUE(drawn.blur.coversBeneath());
        drawn.blur.setHidden(true);
        drawn.scrim.setHidden(true);
        changes[c](drawn);
        drawn.blur.setHidden(false);
        drawn.scrim.setHidden(false);
        settle(drawn);
        Scene fresh(GetParam());
        changes[c](fresh);
        settle(fresh);
        EXPECT_EQ(differences(drawn.window, fresh.window), 0);
    }
}

// Small squares beneath the blur, each of its own colour, redrawn one by one.
class Dots : public View {
public:
    explicit Dots(const Rect& frame) : View(frame) {}
    static constexpr int count = 20;
    Rect square(int i) const { return Rect{4.0 + (i % 8) * 12, 4.0 + (i / 8) * 11, 5, 5}; }
    void draw(platform::gfx::Canvas& canvas, const Rect&) override {
        for (int i = 0; i < count; ++i) {
            const double v = ((i * 7 + phase) % 10) / 10.0;
            canvas.fill(square(i), Rgba{v, 1 - v, 0.5, 1});
        }
    }
    int phase = 0;
};

// More changes beneath in one frame than the blur keeps apart, in fewer rectangles than the
// window does: what the window did not draw beneath in that frame is not taken into the blur's
// copies, shown or hidden.
TEST_P(BlurCover, ManySmallChangesBeneathInOneFrame) {
    const auto change = [](Dots& dots) {
        ++dots.phase;
        // Each told twice, as a flood tells its rows: the window keeps one rectangle of each.
        for (int i = 0; i < 2 * Dots::count; ++i) dots.setNeedsDisplay(dots.square(i % Dots::count));
    };
    for (const bool hideAfter : {false, true}) {
        SCOPED_TRACE(hideAfter ? "hidden after" : "shown");
        Scene drawn(GetParam());
        Dots dots{Rect{10, 10, 100, 60}};
        drawn.root.addSubview(&dots, &drawn.blur);
        settle(drawn);
        ASSERT_TRUE(drawn.blur.coversBeneath());
        change(dots);
        settle(drawn);
        if (hideAfter) {
            drawn.blur.setHidden(true);
            drawn.scrim.setHidden(true);
            drawn.card.setFrameOrigin({70, 40});
            settle(drawn);
        }
        Scene fresh(GetParam());
        Dots freshDots{Rect{10, 10, 100, 60}};
        freshDots.phase = dots.phase;
        fresh.root.addSubview(&freshDots, &fresh.blur);
        if (hideAfter) {
            fresh.blur.setHidden(true);
            fresh.scrim.setHidden(true);
            fresh.card.setFrameOrigin({70, 40});
        }
        settle(fresh);
        EXPECT_EQ(differences(drawn.window, fresh.window), 0);
        dots.removeFromSuperview();
        freshDots.removeFromSuperview();
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, BlurCover, ::testing::Values(1.0, 2.0));

}  // namespace
