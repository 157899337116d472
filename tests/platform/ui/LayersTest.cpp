#include "platform/ui/Layers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <vector>

#include "platform/gfx/BoxBlur.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/CanvasInk.h"

using namespace platform::ui;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::gfx::testing::worstDifference;

namespace {

struct Scene {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    headless::HeadlessWindow window{{100, 100}, 1};
    FlippedView root;
    Scene() { window.setContentView(&root); }
    ~Scene() { window.setContentView(nullptr); }
    int alpha(int x, int y) const { return static_cast<int>(window.pixel(x, y) >> 24); }
    // How many pixels in each quarter around (50, 50): right-top, left-top, left-bottom, right-bottom.
    std::array<int, 4> quarters() const {
        std::array<int, 4> count{};
        for (int y = 0; y < 100; ++y) {
            for (int x = 0; x < 100; ++x) {
                if (alpha(x, y) < 200) continue;
                const bool right = x >= 50, top = y < 50;
                count[right && top ? 0 : top ? 1 : !right ? 2 : 3] += 1;
            }
        }
        return count;
    }
};

platform::gfx::Path ring() {
    platform::gfx::Path path;
    // Counter-clockwise on screen in the flipped layer.
    path.arc({50, 50}, 30, 0, -2 * M_PI, true);
    return path;
}

TEST(ShapeLayer, StrokesAStretchTurnedAboutItsCentre) {
    Scene s;
    ShapeLayer shape({0, 0, 100, 100});
    s.root.addSubview(&shape);
    shape.setPath(ring());
    shape.setStrokeColor(Rgba{1, 1, 1, 1});
    shape.setLineWidth(4);
    shape.setStrokeEnd(0.25);
    struct Case {
        double rotation;
        int quarter;
    } cases[] = {{0, 0}, {M_PI / 2, 1}, {M_PI, 2}, {-M_PI / 2, 3}};
    for (const Case& c : cases) {
        shape.setRotation(c.rotation);
        s.window.display();
        const auto q = s.quarters();
        for (int i = 0; i < 4; ++i) {
            if (i == c.quarter) EXPECT_GT(q[size_t(i)], 100) << c.rotation;
            else EXPECT_LT(q[size_t(i)], 8) << c.rotation << " quarter " << i;
        }
    }
    // An animation of the stretch wins over the value while it runs.
    Animation longer = Animation::basic(1, 1, 10);
    longer.keyPath = ShapeLayer::strokeEndKey;
    shape.addAnimation("longer", longer);
    EXPECT_EQ(shape.presentationStrokeEnd(), 1);
    shape.setStrokeStart(1);
    s.window.display();
    EXPECT_EQ(s.quarters(), (std::array<int, 4>{}));
}

TEST(ShapeLayer, ShadowReachesPastTheShape) {
    Scene s;
    ShapeLayer dot({0, 0, 100, 100});
    s.root.addSubview(&dot);
    platform::gfx::Path circle;
    circle.arc({50, 50}, 5, 0, 2 * M_PI);
    dot.setPath(circle);
    dot.setFillColor(Rgba{1, 0.5, 0, 1});
    s.window.display();
    EXPECT_EQ(s.alpha(50, 62), 0);
    dot.setShadow(ShapeLayer::Shadow{Rgba{1, 0.5, 0, 1}, 0.9, 8});
    s.window.display();
    EXPECT_GT(s.alpha(50, 58), 20);
    EXPECT_GT(s.alpha(50, 62), 0);
    EXPECT_EQ(s.alpha(50, 50), 255);
}

TEST(Layers, AFadingLayerTheWindowPutsInALayerShowsItsOpacityOnce) {
    // A border (even a clear one) or a subview makes the window draw the view in a layer at its
    // opacity; the view must not fade itself as well.
    for (bool glow : {true, false}) {
        SCOPED_TRACE(glow ? "gradient" : "shape");
        auto draw = [&](bool bordered) {
            Scene s;
            s.root.setLayerBackgroundColor(Rgba{0, 0, 0, 1});
            s.root.setFrame({0, 0, 100, 100});
            GradientLayer gradient({0, 0, 100, 100});
            gradient.setStops({{0, Rgba{1, 1, 1, 1}}, {1, Rgba{1, 1, 1, 1}}});
            ShapeLayer shape({0, 0, 100, 100});
            platform::gfx::Path square;
            square.addRect({10, 10, 80, 80});
            shape.setPath(square);
            shape.setFillColor(Rgba{1, 1, 1, 1});
            View& layer = glow ? static_cast<View&>(gradient) : static_cast<View&>(shape);
            layer.setOpacity(0.5);
            if (bordered) layer.setBorder(1, Rgba{0, 0, 0, 0});
            s.root.addSubview(&layer);
            s.window.display();
            return s.window.pixel(50, 50) & 0xFF;
        };
        EXPECT_NEAR(draw(false), 128, 1);
        EXPECT_NEAR(draw(true), 128, 1);
    }
}

// A layer changed after it was drawn shows what one drawn changed from the start shows: a level
// apart at most where the window clips the redraw to several rectangles. With `redrawUnchanged`,
// a redraw before the change must leave the pixels as they were.
template <typename Layer>
void expectChangeShownAsDrawnFresh(const std::function<void(Layer&)>& setUp, const std::function<void(Layer&)>& change,
                                   bool redrawUnchanged) {
    Scene late, early;
    Layer changed, fresh;
    setUp(changed);
    setUp(fresh);
    late.root.addSubview(&changed);
    early.root.addSubview(&fresh);
    late.window.display();
    const std::vector<uint32_t> before = late.window.surface().image().pixels;
    if (redrawUnchanged) {
        changed.setNeedsDisplay();
        late.window.displayIfNeeded();
        EXPECT_EQ(late.window.surface().image().pixels, before);
    }
    change(changed);
    late.window.displayIfNeeded();
    change(fresh);
    early.window.display();
    const std::vector<uint32_t> after = late.window.surface().image().pixels;
    EXPECT_NE(after, before);
    EXPECT_LE(worstDifference(after, early.window.surface().image().pixels), 1);
}

TEST(ShapeLayer, AStillShapeShowsEveryChangeOfWhatItDraws) {
    struct Case {
        const char* name;
        std::function<void(ShapeLayer&)> change;
    };
    const std::vector<Case> cases = {
        {"stroke colour", [](ShapeLayer& l) { l.setStrokeColor(Rgba{0, 1, 0, 1}); }},
        {"fill", [](ShapeLayer& l) { l.setFillColor(Rgba{0, 0, 1, 0.5}); }},
        {"line width", [](ShapeLayer& l) { l.setLineWidth(6); }},
        {"line cap", [](ShapeLayer& l) { l.setLineCap(platform::gfx::StrokeStyle::Cap::round); }},
        {"stroke end", [](ShapeLayer& l) { l.setStrokeEnd(0.6); }},
        {"stroke start", [](ShapeLayer& l) { l.setStrokeStart(0.1); }},
        {"rotation", [](ShapeLayer& l) { l.setRotation(1); }},
        {"shadow", [](ShapeLayer& l) { l.setShadow(ShapeLayer::Shadow{Rgba{1, 0, 0, 1}, 0.8, 6}); }},
        {"path", [](ShapeLayer& l) {
             platform::gfx::Path p;
             p.arc({50, 50}, 20, 0, -2 * M_PI, true);
             l.setPath(p);
         }},
        {"a quarter point further", [](ShapeLayer& l) { l.setFrame({10.25, 10.25, 80, 80}); }},
    };
    auto setUp = [](ShapeLayer& l) {
        l.setFrame({10, 10, 80, 80});
        l.setPath(ring());
        l.setStrokeColor(Rgba{1, 1, 1, 1});
        l.setLineWidth(3);
        l.setStrokeEnd(0.3);
        l.setOpacity(0.7);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectChangeShownAsDrawnFresh<ShapeLayer>(setUp, c.change, false);
    }
}

TEST(ShapeLayer, AFadingStillShapeMatchesItsDrawingInALayer) {
    for (double scale : {1.0, 2.0}) {
        SCOPED_TRACE(scale);
        platform::runtime::VirtualMainLoop loop;
        platform::runtime::ScopedMainLoop scoped{loop};
        headless::HeadlessWindow window{{100, 100}, scale};
        FlippedView root;
        root.setFrame({0, 0, 100, 100});
        root.setLayerBackgroundColor(Rgba{0.1, 0.1, 0.12, 1});
        window.setContentView(&root);
        ShapeLayer shape({0.5, 0.25, 100, 100});
        shape.setPath(ring());
        shape.setStrokeColor(Rgba{1, 0.7, 0.4, 1});
        shape.setFillColor(Rgba{0.2, 0.4, 1, 0.3});
        shape.setLineWidth(2.5);
        shape.setOpacity(0.6);
        root.addSubview(&shape);
        window.display();

        platform::gfx::Canvas expected({100, 100}, scale);
        expected.fill(Rect{0, 0, 100, 100}, Rgba{0.1, 0.1, 0.12, 1});
        expected.translate(0, 100);
        expected.scaleBy(1, -1);
        expected.clip(Rect{0.5, 0.25, 100, 100});
        expected.translate(0.5, 0.25);
        expected.beginTransparencyLayer();
        expected.fill(ring(), Rgba{0.2, 0.4, 1, 0.3});
        platform::gfx::StrokeStyle style;
        style.width = 2.5;
        style.join = platform::gfx::StrokeStyle::Join::round;
        expected.stroke(ring(), Rgba{1, 0.7, 0.4, 1}, style);
        expected.endTransparencyLayer(0.6);
        EXPECT_LE(worstDifference(window.surface().image().pixels, expected.image().pixels), 1);
        window.setContentView(nullptr);
    }
}

TEST(ShapeLayer, ATurnedShadowMatchesTheWholeBlurredShapeTurned) {
    struct Case {
        const char* name;
        double scale, rotation, margin;  // margin: room round the ring for its shadow
    } const cases[] = {
        {"room for the shadow", 1, 0.9, 12}, {"room at 2", 2, -2.4, 12},
        {"the shadow reaches the edges", 1, 2.2, 3}, {"reaching them at 2", 2, 0.3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::runtime::VirtualMainLoop loop;
        platform::runtime::ScopedMainLoop scoped{loop};
        headless::HeadlessWindow window{{100, 100}, c.scale};
        FlippedView root;
        root.setFrame({0, 0, 100, 100});
        root.setLayerBackgroundColor(Rgba{0.1, 0.1, 0.12, 1});
        window.setContentView(&root);
        const double side = 44 + 2 * c.margin;
        platform::gfx::Path arc;
        arc.arc({side / 2, side / 2}, 20.5, 0, -2 * M_PI, true);
        ShapeLayer shape({20, 15, side, side});
        shape.setPath(arc);
        shape.setStrokeColor(Rgba{1, 0.7, 0.4, 1});
        shape.setLineWidth(2.5);
        shape.setStrokeEnd(0.3);
        shape.setRotation(c.rotation);
        const ShapeLayer::Shadow shadow{Rgba{1, 0.7, 0.4, 1}, 0.7, 6};
        shape.setShadow(shadow);
        root.addSubview(&shape);
        window.display();

        // The shadow as a whole image of the bounds, drawn turned.
        const platform::gfx::Path trimmed = arc.trimmed(0, 0.3);
        platform::gfx::StrokeStyle style;
        style.width = 2.5;
        style.join = platform::gfx::StrokeStyle::Join::round;
        platform::gfx::Canvas blurred({side, side}, c.scale);
        blurred.translate(0, side);
        blurred.scaleBy(1, -1);
        blurred.stroke(trimmed, Rgba{1, 0.7, 0.4, 0.7}, style);
        platform::gfx::Image image = blurred.image();
        platform::gfx::boxBlur(image, static_cast<int>(std::lround(6 * c.scale / 2)), 3);
        platform::gfx::Canvas expected({100, 100}, c.scale);
        expected.fill(Rect{0, 0, 100, 100}, Rgba{0.1, 0.1, 0.12, 1});
        expected.translate(0, 100);
        expected.scaleBy(1, -1);
        expected.clip(Rect{20, 15, side, side});
        expected.translate(20 + side / 2, 15 + side / 2);
        expected.rotate(-c.rotation);
        expected.translate(-side / 2, -side / 2);
        drawImageFlipped(expected, image, {0, 0, side, side});
        expected.stroke(trimmed, Rgba{1, 0.7, 0.4, 1}, style);
        EXPECT_LE(worstDifference(window.surface().image().pixels, expected.image().pixels), 1);
        window.setContentView(nullptr);
    }
}

TEST(TextLayer, ShowsEveryChangeOfWhatItDraws) {
    struct Case {
        const char* name;
        std::function<void(TextLayer&)> change;
    };
    const std::vector<Case> cases = {
        {"string", [](TextLayer& l) { l.setString("stopping"); }},
        {"font", [](TextLayer& l) { l.setFont(platform::gfx::InterfaceFont::system(15, platform::gfx::FontWeight::bold)); }},
        {"colour", [](TextLayer& l) { l.setForegroundColor(Rgba{1, 0, 0, 1}); }},
        {"alignment", [](TextLayer& l) { l.setAlignment(TextAlignment::right); }},
        {"truncation", [](TextLayer& l) { l.setTruncation(Truncation::tail); }},
        {"lines", [](TextLayer& l) { l.setMaximumLines(3); }},
        {"styled text", [](TextLayer& l) {
             TextAttributes a;
             a.font = platform::gfx::InterfaceFont::system(12, platform::gfx::FontWeight::regular);
             a.color = Rgba{0, 1, 0, 1};
             l.setRichText(RichText("styled", a));
         }},
        {"width", [](TextLayer& l) { l.setFrame({0, 10, 60, 40}); }},
    };
    auto setUp = [](TextLayer& l) {
        l.setFrame({0, 10, 100, 40});
        l.setForegroundColor(Rgba{1, 1, 1, 1});
        l.setString("starting the assistant in a narrow layer");
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        expectChangeShownAsDrawnFresh<TextLayer>(setUp, c.change, true);
    }
}

TEST(ImageLayer, FitsProportionallyAndCentres) {
    platform::gfx::Image wide;
    wide.width = 40;
    wide.height = 20;
    wide.pixels.assign(800, 0xFFFFFFFF);
    struct Case {
        Rect frame;
        Rect drawn;
    } cases[] = {
        {{0, 0, 26, 26}, {0, 6.5, 26, 13}},
        {{0, 0, 100, 20}, {30, 0, 40, 20}},
        {{0, 0, 0, 10}, {}},
    };
    ImageLayer layer;
    EXPECT_EQ(layer.imageRect(), Rect{});
    layer.setImage(wide);
    for (const Case& c : cases) {
        layer.setFrame(c.frame);
        EXPECT_EQ(layer.imageRect(), c.drawn);
    }
    layer.setImage(platform::gfx::Image{});
    EXPECT_FALSE(layer.image());
}

TEST(GradientLayer, RadialFromTheCentreToTheEdges) {
    Scene s;
    GradientLayer glow({0, 0, 100, 100});
    s.root.addSubview(&glow);
    glow.setType(GradientLayer::Type::radial);
    glow.setStops({{0, Rgba{1, 0, 0, 1}}, {1, Rgba{1, 0, 0, 0}}});
    glow.setPoints({0.5, 0.5}, {1, 1});
    s.window.display();
    EXPECT_GT(s.alpha(50, 50), 245);
    EXPECT_NEAR(s.alpha(75, 50), 128, 6);
    EXPECT_NEAR(s.alpha(50, 25), 128, 6);
    EXPECT_LT(s.alpha(99, 50), 6);
    EXPECT_EQ(s.alpha(1, 1), 0);
}

TEST(GradientLayer, FadingOnAnyPhaseMatchesTheGradientInALayer) {
    struct Case {
        const char* name;
        double scale;
        Rect frame;
        double opacity;
    } const cases[] = {
        {"whole points", 1, {10, 20, 60, 50}, 0.55},      {"quarter points", 1, {10.25, 20.75, 60, 50}, 0.8},
        {"half points at 2", 2, {10.5, 20.5, 61, 49}, 0.3}, {"thirds at 1.5", 1.5, {3.3, 7.7, 70.1, 40.2}, 0.9},
        {"opaque", 2, {0.25, 0.25, 99.5, 99.5}, 1},
    };
    const std::vector<platform::gfx::GradientStop> stops{{0, Rgba{1, 0.4, 0.2, 0.9}}, {1, Rgba{0.2, 0.6, 1, 0.35}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::runtime::VirtualMainLoop loop;
        platform::runtime::ScopedMainLoop scoped{loop};
        headless::HeadlessWindow window{{100, 100}, c.scale};
        FlippedView root;
        root.setLayerBackgroundColor(Rgba{0.1, 0.1, 0.12, 1});
        window.setContentView(&root);
        root.setFrame({0, 0, 100, 100});
        GradientLayer glow({40, 40, 20, 20});
        glow.setType(GradientLayer::Type::radial);
        glow.setStops(stops);
        glow.setPoints({0.5, 0.5}, {1, 1});
        glow.setOpacity(c.opacity);
        root.addSubview(&glow);
        // Drawn once elsewhere first: what is kept must follow the layer to its new place.
        window.display();
        glow.setFrame(c.frame);
        window.display();

        platform::gfx::Canvas expected({100, 100}, c.scale);
        expected.fill(Rect{0, 0, 100, 100}, Rgba{0.1, 0.1, 0.12, 1});
        expected.translate(0, 100);
        expected.scaleBy(1, -1);
        expected.beginTransparencyLayer();
        const Rect& f = c.frame;
        expected.fillRadialGradient(f, {f.x + f.width / 2, f.y + f.height / 2}, f.width / 2, f.height / 2, stops);
        expected.endTransparencyLayer(c.opacity);
        EXPECT_LE(worstDifference(window.surface().image().pixels, expected.image().pixels), 1);
        window.setContentView(nullptr);
    }
}

}  // namespace

namespace {

// Rows of the scene with any ink, from the top.
int inkedRows(const Scene& s) {
    int rows = 0;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            if (s.alpha(x, y) > 100) {
                ++rows;
                break;
            }
        }
    }
    return rows;
}

TEST(TextLayer, WrapsUpToItsLinesAndCutsTheLast) {
    struct Case {
        int lines;
        int minimumRows, maximumRows;
    } const cases[] = {{1, 5, 16}, {2, 17, 32}, {3, 29, 48}};
    for (const Case& c : cases) {
        Scene s;
        TextLayer layer({0, 0, 100, 100});
        layer.setForegroundColor(Rgba{0, 0, 0, 1});
        layer.setTruncation(Truncation::tail);
        layer.setMaximumLines(c.lines);
        layer.setString("Last request: a long text that needs many lines in a narrow layer to be shown whole");
        s.root.addSubview(&layer);
        s.window.display();
        const int rows = inkedRows(s);
        EXPECT_GE(rows, c.minimumRows) << c.lines;
        EXPECT_LE(rows, c.maximumRows) << c.lines;
    }
    TextLayer layer;
    layer.setMaximumLines(0);
    EXPECT_EQ(layer.maximumLines(), 1);
}

}  // namespace
