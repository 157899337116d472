#include <gtest/gtest.h>

#include "platform/ui/Layers.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using platform::gfx::Rect;
using platform::gfx::Rgba;

namespace {

class FillView : public View {
public:
    FillView(const Rect& frame, Rgba color) : View(frame), color_(color) {}
    void draw(platform::gfx::Canvas& canvas, const Rect&) override { canvas.fill(bounds(), color_); }
    bool acceptsFirstResponder() const override { return true; }

private:
    Rgba color_;
};

class FlippedRoot : public View {
public:
    using View::View;
    bool isFlipped() const override { return true; }
};

constexpr Rgba white{1, 1, 1, 1}, red{1, 0, 0, 1}, blue{0, 0, 1, 1}, green{0, 1, 0, 1};
constexpr uint32_t opaqueWhite = 0xffffffff, opaqueRed = 0xffff0000, opaqueBlue = 0xff0000ff, opaqueGreen = 0xff00ff00;

std::vector<View*> order(std::initializer_list<View*> views) { return views; }

class LayerStyleTest : public ::testing::Test {
protected:
    LayerStyleTest() {
        root.setLayerBackgroundColor(white);
        window.setContentView(&root);
    }
    // A device pixel by points from the top-left (the window's scale is 1).
    uint32_t at(int x, int y) {
        window.displayIfNeeded();
        return window.pixel(x, y);
    }
    headless::HeadlessWindow window{{200, 200}, 1};
    FlippedRoot root;
};

TEST_F(LayerStyleTest, SiblingOrder) {
    FillView a({0, 0, 10, 10}, red), b({0, 0, 10, 10}, red), c({0, 0, 10, 10}, red), d({0, 0, 10, 10}, red);
    root.addSubview(&a);
    root.addSubview(&b);
    root.addSubview(&c);
    struct Case {
        const char* name;
        View* view;
        View::Ordering ordering;
        View* sibling;
        std::vector<View*> order;
    };
    using O = View::Ordering;
    const Case cases[] = {
        {"AboveTheFirst", &c, O::above, &a, order({&a, &c, &b})},
        {"AboveTheLast", &a, O::above, &b, order({&c, &b, &a})},
        {"BelowTheLast", &c, O::below, &a, order({&b, &c, &a})},
        {"OnTopWithoutSibling", &b, O::above, nullptr, order({&c, &a, &b})},
        {"AtTheBottomWithoutSibling", &b, O::below, nullptr, order({&b, &c, &a})},
        {"AboveItself", &b, O::above, &b, order({&c, &a, &b})},
        {"ANewViewBelowOne", &d, O::below, &a, order({&c, &d, &a, &b})},
    };
    for (const Case& c : cases) {
        root.addSubview(c.view, c.ordering, c.sibling);
        EXPECT_EQ(root.subviews(), c.order) << c.name;
    }
    // A move among siblings keeps the view in its window and the keyboard with it.
    ASSERT_TRUE(window.makeFirstResponder(&a));
    root.addSubview(&a, View::Ordering::below, nullptr);
    EXPECT_EQ(a.window(), &window);
    EXPECT_EQ(window.firstResponder(), &a);
}

TEST_F(LayerStyleTest, RoundedBackgroundAndBorder) {
    View card(Rect{20, 20, 100, 60});
    card.setLayerBackgroundColor(red);
    card.setCornerRadius(16);
    card.setBorder(2, blue);
    root.addSubview(&card);
    EXPECT_EQ(at(21, 21), opaqueWhite);   // outside the rounded corner
    EXPECT_EQ(at(70, 50), opaqueRed);     // inside
    EXPECT_EQ(at(70, 20), opaqueBlue);    // the border's top edge
    EXPECT_EQ(at(119, 50), opaqueBlue);   // its right edge
    EXPECT_EQ(at(70, 23), opaqueRed);     // just inside it
}

TEST_F(LayerStyleTest, RoundedClippingCutsSubviewsAtTheCornersAndTheBorderLiesOverThem) {
    View card(Rect{20, 20, 100, 60});
    card.setCornerRadius(16);
    card.setClipsToBounds(true);
    card.setBorder(1, blue);
    FillView inside(Rect{0, 0, 100, 60}, green);
    card.addSubview(&inside);
    root.addSubview(&card);
    EXPECT_EQ(at(21, 21), opaqueWhite);
    EXPECT_EQ(at(118, 78), opaqueWhite);
    EXPECT_EQ(at(70, 50), opaqueGreen);
    EXPECT_EQ(at(25, 50), opaqueGreen);   // the body's full-width band
    EXPECT_EQ(at(70, 20), opaqueBlue);
    // Without a corner radius the cut is the plain rectangle.
    card.setCornerRadius(0);
    EXPECT_EQ(at(20, 20), opaqueBlue);
    EXPECT_EQ(at(21, 21), opaqueGreen);
}

TEST_F(LayerStyleTest, ShadowFallsBelowAndFollowsTheView) {
    FillView tile(Rect{50, 50, 60, 40}, red);
    View::Shadow shadow;
    shadow.opacity = 1;
    shadow.radius = 14;
    shadow.offset = {0, -4};
    shadow.cornerRadius = 16;
    tile.setShadow(shadow);
    root.addSubview(&tile);
    EXPECT_GT(tile.shadowOutset(), 20);
    const uint32_t below = at(80, 95), above = at(80, 45);
    EXPECT_NE(below, opaqueWhite);
    EXPECT_LT(below & 0xff, above & 0xff);  // darker under the view than over it
    EXPECT_EQ(at(80, 5), opaqueWhite);      // beyond its reach
    EXPECT_EQ(at(80, 70), opaqueRed);       // the view lies over its shadow
    // Moved away, it leaves no shadow behind.
    tile.setFrameOrigin({50, 140});
    EXPECT_EQ(at(80, 95), opaqueWhite);
    EXPECT_NE(at(80, 185), opaqueWhite);
    tile.setShadow(View::Shadow{});
    EXPECT_EQ(tile.shadowOutset(), 0);
    EXPECT_EQ(at(80, 185), opaqueWhite);
}

TEST_F(LayerStyleTest, TranslucentColourCompositesOverWhatLiesBeneath) {
    FillView beneath(Rect{0, 0, 100, 100}, red);
    View scrim(Rect{0, 0, 100, 100});
    scrim.setLayerBackgroundColor(Rgba{0, 0, 0, 0.5});
    root.addSubview(&beneath);
    root.addSubview(&scrim);
    const uint32_t pixel = at(50, 50);  // half-dark red, not a hole
    EXPECT_EQ(pixel >> 24, 0xffu);
    EXPECT_NEAR(double((pixel >> 16) & 0xff), 127.5, 1);
    EXPECT_EQ(pixel & 0xffff, 0u);
}

// Dark pixels in a band of rows, column by column from the left.
std::vector<int> inkColumns(headless::HeadlessWindow& window, int width, int top, int bottom) {
    window.displayIfNeeded();
    std::vector<int> columns;
    for (int x = 0; x < width; ++x) {
        int dark = 0;
        for (int y = top; y < bottom; ++y) dark += (window.pixel(x, y) & 0xff) < 128;
        columns.push_back(dark);
    }
    return columns;
}

TEST_F(LayerStyleTest, TextLayerTakesStyledTextAndCutsItsTail) {
    TextLayer layer(Rect{0, 0, 80, 30});
    layer.setForegroundColor(Rgba{0, 0, 0, 1});
    layer.setString("WWWWWWWWWWWWWWWWWWWWWWWW");
    root.addSubview(&layer);
    const double plainWidth = layer.fittingSize().width;
    EXPECT_GT(plainWidth, 80);  // the whole line, not the bounds
    // Styled text brings its own font; the string follows its characters.
    TextAttributes big;
    big.font = platform::gfx::InterfaceFont::system(24, platform::gfx::FontWeight::regular);
    layer.setRichText(RichText("WWWWWWWWWWWWWWWWWWWWWWWW", big));
    EXPECT_EQ(layer.string(), "WWWWWWWWWWWWWWWWWWWWWWWW");
    EXPECT_GT(layer.fittingSize().width, plainWidth * 1.5);
    // The same characters as a plain string drop the styled text.
    layer.setString("WWWWWWWWWWWWWWWWWWWWWWWW");
    EXPECT_FALSE(layer.richText());
    EXPECT_EQ(layer.fittingSize().width, plainWidth);
    // Cut at the tail, the last columns of the bounds show the ellipsis's dots, not a letter.
    const std::vector<int> uncut = inkColumns(window, 80, 0, 30);
    layer.setTruncation(Truncation::tail);
    const std::vector<int> cut = inkColumns(window, 80, 0, 30);
    EXPECT_NE(uncut, cut);
    int inkUncut = 0, inkCut = 0;
    for (int x = 0; x < 80; ++x) {
        inkUncut += uncut[x];
        inkCut += cut[x];
    }
    EXPECT_LT(inkCut, inkUncut);
    EXPECT_GT(inkCut, 0);
}

}  // namespace
