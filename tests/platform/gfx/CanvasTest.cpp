#include "platform/gfx/Canvas.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <functional>
#include <vector>
#include <limits>
#include <utility>

#include "platform/gfx/BoxBlur.h"
#include "support/CanvasInk.h"

using namespace platform::gfx;
using platform::gfx::testing::inkBox;

namespace {

const Rgba white{1, 1, 1, 1};

int alphaAt(const Canvas& c, int x, int y) { return static_cast<int>(c.pixel(x, y) >> 24); }

int partialPixels(const Canvas& c) {
    int count = 0;
    for (int y = 0; y < c.pixelHeight(); ++y) {
        for (int x = 0; x < c.pixelWidth(); ++x) count += alphaAt(c, x, y) % 255 != 0;
    }
    return count;
}

}  // namespace

// Row r spans y = height − (r + 1) × cell height up to + cell height in the views' y-up points.
TEST(Canvas, RowZeroLandsOnTheTopDeviceRows) {
    for (double scale : {1.0, 2.0}) {
        Canvas c({80, 48}, scale);
        c.fill({0, 48 - 16, 80, 16}, white);
        ASSERT_EQ(c.pixelHeight(), 48 * scale);
        for (int y = 0; y < c.pixelHeight(); ++y) EXPECT_EQ(alphaAt(c, 3, y), y < 16 * scale ? 255 : 0) << scale << " " << y;
    }
}

TEST(Canvas, AntialiasingOffLeavesNoPartialPixelOnHalfPointEdges) {
    for (bool antialias : {true, false}) {
        Canvas c({20, 20}, 1);
        c.setAntialias(antialias);
        c.fill({2.5, 2.5, 10, 10}, white);
        Path diagonal;
        diagonal.moveTo({1.5, 15.5});
        diagonal.lineTo({18.5, 17});
        c.stroke(diagonal, white, StrokeStyle{.width = 1.5, .dashes = {}});
        if (antialias) EXPECT_GT(partialPixels(c), 0);
        else EXPECT_EQ(partialPixels(c), 0);
    }
}

TEST(Canvas, FillRulesDashesClearAndClip) {
    Path ring;
    ring.addRect({0, 0, 10, 10});
    ring.addRect({3, 3, 4, 4});
    for (auto rule : {Canvas::FillRule::winding, Canvas::FillRule::evenOdd}) {
        Canvas c({10, 10}, 1);
        c.fill(ring, white, rule);
        EXPECT_EQ(alphaAt(c, 5, 5), rule == Canvas::FillRule::evenOdd ? 0 : 255);
        EXPECT_EQ(alphaAt(c, 1, 1), 255);
    }

    Canvas dashed({20, 4}, 1);
    Path line;
    line.moveTo({0, 2});
    line.lineTo({20, 2});
    dashed.stroke(line, white, StrokeStyle{.width = 2, .dashes = {4, 4}});
    EXPECT_EQ(alphaAt(dashed, 2, 2), 255);
    EXPECT_EQ(alphaAt(dashed, 6, 2), 0);
    EXPECT_EQ(alphaAt(dashed, 10, 2), 255);

    Canvas c({10, 10}, 2);
    c.fill({0, 0, 10, 10}, white);
    c.clear({0, 0, 5, 10});
    EXPECT_EQ(alphaAt(c, 2, 2), 0);
    EXPECT_EQ(alphaAt(c, 12, 2), 255);
    c.save();
    c.clip({0, 0, 2, 2});
    c.fill({0, 0, 10, 10}, Rgba{1, 0, 0, 1});
    c.restore();
    c.fill({0, 8, 1, 1}, Rgba{0, 0, 1, 1});  // the clip ended with restore
    EXPECT_EQ(c.pixel(1, 18), 0xFFFF0000u);
    EXPECT_EQ(c.pixel(1, 14), 0u);
    EXPECT_EQ(c.pixel(1, 2), 0xFF0000FFu);
}

TEST(Canvas, ImagesAreDrawnUpright) {
    Image image{1, 2, {0xFFFF0000, 0xFF0000FF}};  // red on top
    Canvas c({4, 4}, 1);
    c.drawImage(image, {0, 0, 4, 4});
    EXPECT_EQ(c.pixel(1, 0), 0xFFFF0000u);
    EXPECT_EQ(c.pixel(1, 3), 0xFF0000FFu);
}

// Input that would put Cairo into its error state for good is ignored: the canvas keeps drawing.
TEST(Canvas, UnusableInputLeavesTheCanvasWorking) {
    double nan = std::numeric_limits<double>::quiet_NaN();
    Canvas c({10, 10}, nan);
    EXPECT_EQ(c.scale(), 1);
    c.scaleBy(0, 1);
    c.translate(nan, 1);
    c.clip({nan, 0, 5, 5});
    c.fill({0, 0, nan, 5}, white);
    c.fill({0, 0, 10, 10}, Rgba{nan, nan, nan, nan});
    EXPECT_EQ(c.pixel(5, 5), 0u);
    Path bad;
    bad.arc({5, 5}, -3, 0, 7);
    c.fill(bad, white);
    c.stroke(bad, white, StrokeStyle{.width = 1, .dashes = {nan, -1}});
    c.fill({0, 0, 10, 10}, white);
    EXPECT_EQ(c.pixel(5, 5), 0xFFFFFFFFu);
    EXPECT_EQ(Canvas({1e9, 1}, 1).pixelWidth(), Canvas::maxPixelSide);
}

// Glyph blits honour the clip whether it is a box on whole pixels (blitted directly) or not
// (composited by Cairo), and the canvas's edges.
TEST(Canvas, GlyphsStayInsideTheClip) {
    FontRef font = Font::systemFont(40);
    GlyphPlacement w[] = {{font->glyphIndex('W'), {-6, 10}}, {font->glyphIndex('W'), {30, -12}}};
    for (double clipTop : {24.0, 23.5}) {
        Canvas c({40, 40}, 1);
        c.clip({0, 0, 40, clipTop});
        c.drawGlyphs(*font, w, white);
        auto box = inkBox(c);
        EXPECT_EQ(box.x0, 0);
        EXPECT_EQ(box.y0, std::floor(40 - clipTop)) << clipTop;
        EXPECT_EQ(box.y1, 40);  // the second glyph runs past the bottom edge
    }
}

// A doubled row (x scaled by 2) gets a glyph rendered twice as wide, not a stretched bitmap.
TEST(Canvas, GlyphsFollowTheTransformsScale) {
    FontRef font = Font::systemFont(13);
    GlyphPlacement w{font->glyphIndex('W'), {0, 4}};
    Canvas normal({40, 20}, 1), doubled({40, 20}, 1), retina({40, 20}, 2);
    normal.drawGlyphs(*font, std::span(&w, 1), white);
    doubled.scaleBy(2, 1);
    doubled.drawGlyphs(*font, std::span(&w, 1), white);
    retina.drawGlyphs(*font, std::span(&w, 1), white);
    auto n = inkBox(normal), d = inkBox(doubled), r = inkBox(retina);
    EXPECT_NEAR(d.x1 - d.x0, 2 * (n.x1 - n.x0), 2);
    EXPECT_EQ(d.y1 - d.y0, n.y1 - n.y0);
    EXPECT_NEAR(r.y1 - r.y0, 2 * (n.y1 - n.y0), 2);
    EXPECT_EQ(n.y1, 16);  // the baseline at y = 4 is device row 16
}

// Clearing replaces pixels with the clear colour (translucent ones too); a clear repeated over a
// freshly cleared box is skipped, but never once something was drawn or the colour changed.
TEST(Canvas, ClearUsesTheClearColourAndRepeatsOnlyWhenNeeded) {
    Canvas c({10, 10}, 1);
    const Rgba halfBlue{0, 0, 1, 0.5};
    c.fill({0, 0, 10, 10}, white);
    c.setClearColor(halfBlue);
    c.clear({0, 0, 10, 10});
    EXPECT_EQ(c.pixel(5, 5), halfBlue.premultipliedArgb());
    struct Step {
        const char* what;
        std::function<void()> between;
        uint32_t expected;
    } steps[] = {
        {"after a fill", [&] { c.fill({0, 0, 10, 10}, white); }, halfBlue.premultipliedArgb()},
        {"another colour", [&] { c.setClearColor(Rgba{0, 0, 0, 0}); }, 0u},
        {"nothing between", [] {}, 0u},
    };
    for (const Step& s : steps) {
        s.between();
        c.clear({2, 2, 4, 4});
        EXPECT_EQ(c.pixel(3, 6), s.expected) << s.what;
    }
}

TEST(Canvas, ClipToSeveralRectanglesLeavesTheGapBetween) {
    Canvas c({30, 10}, 1);
    std::vector<Rect> rects{{0, 0, 10, 10}, {20, 0, 10, 10}};
    c.clip(rects);
    c.fill({0, 0, 30, 10}, white);
    EXPECT_EQ(alphaAt(c, 5, 5), 255);
    EXPECT_EQ(alphaAt(c, 15, 5), 0);
    EXPECT_EQ(alphaAt(c, 25, 5), 255);
}

TEST(Canvas, GradientsRunFromStartToEnd) {
    const std::vector<GradientStop> stops = {{0, Rgba{1, 0, 0, 1}}, {1, Rgba{1, 0, 0, 0}}};
    // y up: from the bottom edge (strong) to the top edge (clear).
    Canvas linear({20, 100}, 1);
    linear.fillLinearGradient({0, 0, 20, 100}, {0, 0}, {0, 100}, stops);
    EXPECT_GT(alphaAt(linear, 10, 99), 250);
    EXPECT_NEAR(alphaAt(linear, 10, 50), 128, 3);
    EXPECT_LT(alphaAt(linear, 10, 0), 4);

    Canvas radial({100, 60}, 2);
    radial.fillRadialGradient({0, 0, 100, 60}, {50, 30}, 50, 30, stops);
    EXPECT_GT(alphaAt(radial, 100, 60), 250);
    EXPECT_NEAR(alphaAt(radial, 150, 60), 128, 4);  // halfway along x
    EXPECT_NEAR(alphaAt(radial, 100, 90), 128, 4);  // halfway along y: an ellipse
    EXPECT_EQ(alphaAt(radial, 1, 1), 0);

    // Degenerate input: nothing drawn, or the last colour, and no error state.
    Canvas odd({10, 10}, 1);
    odd.fillLinearGradient({0, 0, 10, 10}, {0, NAN}, {0, 10}, stops);
    odd.fillRadialGradient({0, 0, 10, 10}, {5, 5}, 0, 5, {});
    EXPECT_TRUE(inkBox(odd).isEmpty());
    odd.fillRadialGradient({0, 0, 10, 10}, {5, 5}, 0, 5, stops);
    EXPECT_EQ(alphaAt(odd, 5, 5), 0);
    odd.fill({0, 0, 10, 10}, white);
    EXPECT_EQ(odd.pixel(5, 5), 0xFFFFFFFFu);
}

TEST(Canvas, RotationTurnsCounterClockwiseWithYUp) {
    Canvas canvas({40, 40}, 1);
    canvas.translate(20, 20);
    canvas.rotate(M_PI / 2);
    canvas.rotate(NAN);
    // A bar along +x turns to +y (up on screen).
    canvas.fill({0, -1, 15, 2}, white);
    const auto box = inkBox(canvas);
    EXPECT_EQ(box.x0, 19);
    EXPECT_EQ(box.x1, 21);
    EXPECT_EQ(box.y0, 5);
    EXPECT_EQ(box.y1, 20);
}

TEST(Canvas, ReplacedPixelsComeFromTheSameBoxOfTheSourceCutAtBoth) {
    struct Case {
        const char* name;
        int sx, sy, width, height, x, y;
    };
    // A 6 × 8 source whose pixel (x, y) holds x + 16 y in its blue byte, onto a 5 × 4 canvas
    // (with a clip and a transform that the copy ignores).
    const std::vector<Case> cases = {
        {"inside both", 1, 2, 3, 2, 1, 1},
        {"to the canvas's corner", 0, 0, 6, 8, 0, 0},
        {"from left of the source", -2, 1, 4, 2, 0, 0},
        {"to above the canvas", 2, 3, 2, 4, 3, -2},
        {"past the canvas's right and bottom", 0, 0, 4, 4, 3, 2},
        {"past the source's bottom", 1, 6, 3, 5, 0, 0},
        {"empty", 1, 1, 0, 3, 1, 1},
    };
    auto value = [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x + 16 * y); };
    Canvas source({6, 8}, 1);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 6; ++x) source.fill(Rect{double(x), double(7 - y), 1, 1}, Rgba::fromBytes(0, 0, value(x, y) & 0xFF));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas({5, 4}, 1);
        canvas.fill(Rect{0, 0, 5, 4}, Rgba{1, 0, 0, 1});
        canvas.clip(Rect{0, 0, 1, 1});
        canvas.translate(2, 2);
        canvas.replacePixels(source, c.sx, c.sy, c.width, c.height, c.x, c.y);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 5; ++x) {
                const int fromX = x - c.x + c.sx, fromY = y - c.y + c.sy;
                const bool copied = x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height && fromX >= 0 &&
                                    fromX < 6 && fromY >= 0 && fromY < 8;
                EXPECT_EQ(canvas.pixel(x, y), copied ? value(fromX, fromY) : 0xFFFF0000u) << x << ", " << y;
            }
        }
    }
}

TEST(Canvas, PixelsHeldElsewhereReplaceTheBoxCutAtTheCanvas) {
    struct Case {
        const char* name;
        int sx, sy, width, height, x, y;
    };
    // Rows of 6 words, 8 of them, pixel (x, y) holding x + 16 y in its blue byte, onto 5 × 4.
    const std::vector<Case> cases = {
        {"inside", 1, 2, 3, 2, 1, 1},           {"to the corner", 0, 0, 5, 4, 0, 0},
        {"from left of the canvas", 1, 1, 4, 2, -2, 0}, {"to above the canvas", 2, 3, 2, 4, 3, -2},
        {"past the right and bottom", 0, 0, 4, 4, 3, 2}, {"empty", 1, 1, 0, 3, 1, 1},
    };
    auto value = [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x + 16 * y); };
    std::vector<uint32_t> rows;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 6; ++x) rows.push_back(value(x, y));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas({5, 4}, 1);
        canvas.fill(Rect{0, 0, 5, 4}, Rgba{1, 0, 0, 1});
        canvas.clip(Rect{0, 0, 1, 1});
        canvas.replacePixels(rows.data(), 6, c.sx, c.sy, c.width, c.height, c.x, c.y);
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 5; ++x) {
                const bool copied = x >= c.x && x < c.x + c.width && y >= c.y && y < c.y + c.height;
                EXPECT_EQ(canvas.pixel(x, y), copied ? value(x - c.x + c.sx, y - c.y + c.sy) : 0xFFFF0000u) << x << ", " << y;
            }
        }
    }
}

// Read in place, the box averages what a copy of it averages, cut at the surface alike.
TEST(Canvas, DownsampledPixelsAverageWhatACopyOfThemAverages) {
    Canvas canvas({13, 9}, 2);
    for (int i = 0; i < 20; ++i) canvas.fill(Rect{i * 0.65, i * 0.4, 1.3, 2.1}, Rgba::fromBytes(uint8_t(i * 12), uint8_t(200 - i * 9), 90));
    struct Box {
        int x, y, width, height, factor;
    };
    for (const Box& b : {Box{0, 0, 26, 18, 4}, Box{3, 5, 11, 9, 4}, Box{-3, -2, 12, 9, 2}, Box{20, 10, 12, 12, 3}, Box{30, 0, 4, 4, 2}}) {
        const Image expected = downsampled(canvas.copyPixels(b.x, b.y, b.width, b.height), b.factor);
        const Image inPlace = canvas.downsampledPixels(b.x, b.y, b.width, b.height, b.factor);
        EXPECT_EQ(inPlace.width, expected.width) << b.x << "," << b.y;
        EXPECT_EQ(inPlace.height, expected.height) << b.x << "," << b.y;
        EXPECT_EQ(inPlace.pixels, expected.pixels) << b.x << "," << b.y;
    }
}

// Read into rows of its own, a box holds what a copy of it holds; words for pixels outside the
// surface are left as they were.
TEST(Canvas, ReadPixelsHoldWhatACopyHoldsAndLeaveTheRestAlone) {
    Canvas canvas({7, 5}, 2);
    for (int i = 0; i < 9; ++i) canvas.fill(Rect{i * 0.7, i * 0.5, 1.5, 1.1}, Rgba::fromBytes(uint8_t(30 * i), 90, uint8_t(250 - 20 * i)));
    struct Box {
        int x, y, width, height;
    };
    for (const Box& b : {Box{0, 0, 14, 10}, Box{3, 2, 5, 4}, Box{-2, -3, 6, 7}, Box{10, 7, 8, 6}, Box{20, 0, 3, 3}}) {
        std::vector<uint32_t> rows(size_t(b.width * b.height), 0x01020304u);
        canvas.readPixels(b.x, b.y, b.width, b.height, rows.data(), b.width);
        for (int y = 0; y < b.height; ++y) {
            for (int x = 0; x < b.width; ++x) {
                const int px = b.x + x, py = b.y + y;
                const bool inside = px >= 0 && px < 14 && py >= 0 && py < 10;
                EXPECT_EQ(rows[size_t(y * b.width + x)], inside ? canvas.pixel(px, py) : 0x01020304u) << px << "," << py;
            }
        }
    }
}

TEST(Canvas, MovedPixelsKeepTheirRowsOrderAndStayInTheBox) {
    struct Case {
        const char* name;
        int x0, y0, x1, y1, dy;
    };
    // A 6 × 8 canvas whose pixel (x, y) holds x + 16 y in its blue byte.
    const std::vector<Case> cases = {
        {"whole rows down", 0, 1, 6, 7, 2},
        {"whole rows up", 0, 0, 6, 8, -3},
        {"part of the rows down", 1, 2, 4, 8, 1},
        {"part of the rows up", 2, 0, 5, 5, -2},
        {"farther than the box: nothing", 0, 0, 6, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas canvas({6, 8}, 1);
        auto value = [](int x, int y) { return 0xFF000000u | static_cast<uint32_t>(x + 16 * y); };
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 6; ++x) {
                canvas.fill(Rect{double(x), double(7 - y), 1, 1}, Rgba::fromBytes(0, 0, value(x, y) & 0xFF));
            }
        }
        canvas.movePixels(c.x0, c.y0, c.x1, c.y1, c.dy);
        const bool moves = std::abs(c.dy) < c.y1 - c.y0;
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 6; ++x) {
                const bool inBox = x >= c.x0 && x < c.x1 && y >= c.y0 && y < c.y1;
                const int from = y - c.dy;
                const bool arrived = moves && inBox && from >= c.y0 && from < c.y1;
                EXPECT_EQ(canvas.pixel(x, y), arrived ? value(x, from) : value(x, y)) << x << ", " << y;
            }
        }
    }
}

TEST(Canvas, ImagesAtAPixelMatchALayerAtTheirOpacity) {
    struct Case {
        const char* name;
        double opacity;
        int x, y;
        bool clipped;
    };
    const std::vector<Case> cases = {
        {"opaque", 1, 2, 3, false},      {"half", 0.5, 0, 0, false},      {"faint", 0.07, 5, 1, false},
        {"past the edge", 0.8, 7, 6, false}, {"inside a clip", 0.6, 1, 1, true}, {"above one", 3, 2, 2, false},
    };
    // A 4 × 3 image of colours and alphas that round differently.
    Image image{4, 3, {}};
    for (int i = 0; i < 12; ++i) {
        const uint32_t a = 40 + 18 * i;
        image.pixels.push_back(Image::premultipliedPixel(200 - 11 * i, 30 + 17 * i, 90, a));
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas direct({10, 8}, 1), layered({10, 8}, 1);
        for (Canvas* canvas : {&direct, &layered}) {
            canvas->fillLinearGradient(Rect{0, 0, 10, 8}, {0, 0}, {10, 8},
                                       std::vector<GradientStop>{{0, Rgba{0.1, 0.5, 0.9, 1}}, {1, Rgba{0.9, 0.2, 0.1, 1}}});
            if (c.clipped) canvas->clip(Rect{2, 3, 2, 3});
        }
        direct.drawImageAtPixel(image, c.x, c.y, c.opacity);
        // The same pixels through a layer: the image upright in the device rectangle.
        layered.beginTransparencyLayer();
        layered.drawImage(image, Rect{double(c.x), double(8 - c.y - 3), 4, 3});
        layered.endTransparencyLayer(c.opacity);
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 10; ++x) EXPECT_EQ(direct.pixel(x, y), layered.pixel(x, y)) << x << ", " << y;
        }
    }
    Canvas canvas({4, 4}, 1);
    for (double opacity : {0.0, -1.0}) {
        canvas.drawImageAtPixel(image, 0, 0, opacity);
        EXPECT_EQ(canvas.pixel(0, 0), 0u) << opacity;
    }
    canvas.drawImageAtPixel(Image{}, 0, 0);
    canvas.drawImageAtPixel(image, 0, 0, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(canvas.pixel(0, 0), image.pixels[0]);
}

namespace {

// Whether the mapping holding `address` is left out of forked children (VmFlags "dc").
bool doesNotCopyOnFork(const void* address) {
    std::ifstream maps("/proc/self/smaps");
    const auto at = reinterpret_cast<uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(maps, line);) {
        unsigned long from = 0, to = 0;
        // Only a mapping's first line reads as two hexadecimal addresses and a dash.
        if (std::sscanf(line.c_str(), "%lx-%lx ", &from, &to) == 2) {
            inside = at >= from && at < to;
        } else if (inside && line.rfind("VmFlags:", 0) == 0) {
            return line.find(" dc") != std::string::npos;
        }
    }
    return false;
}

}  // namespace

// A resident surface (a window's) draws exactly as an ordinary canvas, starts transparent, and
// is the ordinary kind where it is small; the same drawing gives the same pixels.
TEST(Canvas, ResidentSurfacesDrawAsOrdinaryCanvases) {
    struct Case {
        const char* name;
        Size size;
        double scale;
        bool ownMapping;  // kept out of forked children
    } cases[] = {
        {"small: the ordinary kind", {200, 100}, 1, false},
        {"just over 4 MiB", {1025, 1024}, 1, true},
        {"a 200x60 grid at scale 2", {1600, 960}, 2, true},
        {"an odd width", {1601.5, 700.25}, 1.5, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas ordinary(c.size, c.scale);
        Canvas large(c.size, c.scale, Canvas::Storage::resident);
        EXPECT_EQ(doesNotCopyOnFork(cairo_image_surface_get_data(large.surface())), c.ownMapping);
        EXPECT_FALSE(doesNotCopyOnFork(cairo_image_surface_get_data(ordinary.surface())));
        ASSERT_EQ(large.pixelWidth(), ordinary.pixelWidth());
        ASSERT_EQ(large.pixelHeight(), ordinary.pixelHeight());
        const int w = large.pixelWidth(), h = large.pixelHeight();
        for (auto [x, y] : {std::pair{0, 0}, std::pair{w - 1, h - 1}, std::pair{w / 2, h / 3}}) {
            EXPECT_EQ(large.pixel(x, y), 0u);
        }
        for (Canvas* canvas : {&ordinary, &large}) {
            canvas->fill(Rect{10, 10, c.size.width / 2, c.size.height / 3}, Rgba{0.2, 0.4, 0.6, 1});
            canvas->fill(Rect{c.size.width - 40, c.size.height - 30, 40, 30}, white);
            auto font = Font::systemFont(13);
            std::vector<GlyphPlacement> glyphs{{font->glyphIndex('W'), {20.5, 20.25}}};
            canvas->drawGlyphs(*font, glyphs, Rgba{1, 0, 0, 1});
            canvas->clear(Rect{30, 30, 20, 10});
        }
        EXPECT_EQ(large.image().pixels, ordinary.image().pixels);
    }
}

TEST(Canvas, PaintedImagesWithClearEdgesMatchDrawnOnes) {
    struct Case {
        const char* name;
        double scale, angle;
        Rect rect;
    };
    const std::vector<Case> cases = {
        {"upright", 1, 0, {3, 4, 12, 10}},           {"turned", 1, 0.7, {4, 3, 12, 10}},
        {"turned at 2", 2, -2.1, {3.5, 4.25, 12, 10}}, {"stretched and turned", 1.5, 2.9, {2, 2, 16, 13}},
    };
    // Ink inside a ring of clear pixels.
    Image image{12, 10, std::vector<uint32_t>(120, 0)};
    for (int y = 1; y < 9; ++y) {
        for (int x = 1; x < 11; ++x) image.pixels[size_t(y * 12 + x)] = Image::premultipliedPixel(250, 20 * x, 25 * y, 30 + 20 * x);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas painted({20, 20}, c.scale), drawn({20, 20}, c.scale);
        for (Canvas* canvas : {&painted, &drawn}) {
            canvas->fill(Rect{0, 0, 20, 20}, Rgba{0.1, 0.2, 0.3, 1});
            canvas->clip(Rect{1, 1, 18, 18});
            canvas->translate(10, 10);
            canvas->rotate(c.angle);
            canvas->translate(-10, -10);
        }
        painted.paintImage(image, c.rect);
        drawn.drawImage(image, c.rect);
        EXPECT_LE(platform::gfx::testing::worstDifference(painted.image().pixels, drawn.image().pixels), 1);
        // Nothing past the clip.
        EXPECT_EQ(painted.pixel(0, 0), drawn.pixel(0, 0));
    }
}

// A rectangle on whole pixels filled with an opaque colour gives the pixels Cairo's own fill of
// the same path gives: flipped, scaled, clipped to a box, to several boxes, inside a transparency
// layer, translucent, outside the canvas, with channels out of range.
TEST(Canvas, FilledRectanglesEqualCairosFillOfTheSamePath) {
    struct Case {
        const char* what;
        double scale;
        Rect rect;
        Rgba color;
        std::function<void(Canvas&)> setUp;
    } cases[] = {
        {"whole pixels", 1, {3, 4, 10, 6}, {0.2, 0.4, 0.6, 1}, [](Canvas&) {}},
        {"scale 2, half points", 2, {3.5, 4.5, 10, 6}, {0.9, 0.1, 0.3, 1}, [](Canvas&) {}},
        {"flipped, y up", 2, {1, 2, 7, 3}, {0.123456, 0.654321, 0.999, 1},
         [](Canvas& c) {
             c.translate(0, 20);
             c.scaleBy(1, -1);
         }},
        {"clipped to a box", 1, {0, 0, 30, 20}, {0.33, 0.66, 0.01, 1}, [](Canvas& c) { c.clip(Rect{5, 3, 10, 8}); }},
        {"clipped to two boxes", 2, {0, 0, 30, 20}, {0.7, 0.2, 0.2, 1},
         [](Canvas& c) {
             const Rect boxes[] = {{1, 1, 5, 5}, {12, 8, 6, 4}};
             c.clip(std::span<const Rect>(boxes));
         }},
        {"in a transparency layer", 1, {2, 2, 9, 9}, {0.1, 0.8, 0.3, 1}, [](Canvas& c) { c.beginTransparencyLayer(); }},
        {"translucent", 1, {2, 2, 9, 9}, {0.1, 0.8, 0.3, 0.5}, [](Canvas&) {}},
        {"outside", 1, {40, 40, 5, 5}, {1, 0, 0, 1}, [](Canvas&) {}},
        {"clamped channels", 1, {2, 2, 9, 9}, {1.5, -0.5, std::numeric_limits<double>::quiet_NaN(), 1}, [](Canvas&) {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Canvas direct({30, 20}, c.scale), throughCairo({30, 20}, c.scale);
        for (Canvas* canvas : {&direct, &throughCairo}) {
            canvas->fill(Rect{0, 0, 30, 20}, Rgba{0.25, 0.5, 0.75, 0.5});
            canvas->save();
            c.setUp(*canvas);
        }
        direct.fill(c.rect, c.color);
        Path path;
        path.addRect(c.rect);
        throughCairo.fill(path, c.color);
        for (Canvas* canvas : {&direct, &throughCairo}) {
            if (std::string(c.what) == "in a transparency layer") canvas->endTransparencyLayer(1);
            canvas->restore();
        }
        int differing = 0;
        for (int y = 0; y < direct.pixelHeight(); ++y) {
            for (int x = 0; x < direct.pixelWidth(); ++x) differing += direct.pixel(x, y) != throughCairo.pixel(x, y);
        }
        EXPECT_EQ(differing, 0);
    }
}

// Every 8-bit level of every channel, and colours between them, land as Cairo stores them.
TEST(Canvas, OpaqueFillsStoreCairosBytesForEveryLevel) {
    Canvas direct({48, 16}, 1), throughCairo({48, 16}, 1);
    for (int i = 0; i < 256 * 3; ++i) {
        const double level = (i % 256) / 255.0 + (i / 256 == 2 ? 0.0019 : i / 256 == 1 ? -0.0019 : 0.0);
        const Rgba color{level, 1 - level, level / 3, 1};
        const Rect cell{double(i % 48), double(i / 48), 1, 1};
        direct.fill(cell, color);
        Path path;
        path.addRect(cell);
        throughCairo.fill(path, color);
    }
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 48; ++x) ASSERT_EQ(direct.pixel(x, y), throughCairo.pixel(x, y)) << x << "," << y;
    }
}

// A surface given from outside (one a display server shares) is drawn into where it fits the
// canvas; any other is released and the canvas makes its own.
TEST(Canvas, DrawsIntoAGivenSurfaceOnlyWhereItFits) {
    struct Case {
        const char* name;
        double scale;
        std::function<cairo_surface_t*(int, int)> make;
        bool adopted;
    };
    const auto image = [](cairo_format_t format, int dw, int dh, double deviceScale) {
        return [=](int w, int h) {
            cairo_surface_t* s = cairo_image_surface_create(format, w + dw, h + dh);
            cairo_surface_set_device_scale(s, deviceScale, deviceScale);
            return s;
        };
    };
    const std::vector<Case> cases = {
        {"fits", 1, image(CAIRO_FORMAT_ARGB32, 0, 0, 1), true},
        {"fits at scale 2", 2, image(CAIRO_FORMAT_ARGB32, 0, 0, 1), true},
        {"a pixel too wide", 1, image(CAIRO_FORMAT_ARGB32, 1, 0, 1), false},
        {"a pixel too short", 2, image(CAIRO_FORMAT_ARGB32, 0, -1, 1), false},
        {"no alpha", 1, image(CAIRO_FORMAT_RGB24, 0, 0, 1), false},
        {"scaled already", 2, image(CAIRO_FORMAT_ARGB32, 0, 0, 2), false},
        {"not an image", 1,
         [](int w, int h) {
             const cairo_rectangle_t extents{0, 0, double(w), double(h)};
             return cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
         },
         false},
        {"none given", 1, [](int, int) { return static_cast<cairo_surface_t*>(nullptr); }, false},
        {"in error", 1, [](int, int) { return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, -1, -1); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        cairo_surface_t* given = nullptr;
        int askedWidth = 0, askedHeight = 0;
        {
            Canvas canvas(Size{10.5, 7}, c.scale, [&](int w, int h) {
                askedWidth = w;
                askedHeight = h;
                given = c.make(w, h);
                if (given) cairo_surface_reference(given);
                return given;
            });
            EXPECT_EQ(askedWidth, canvas.pixelWidth());
            EXPECT_EQ(askedHeight, canvas.pixelHeight());
            EXPECT_EQ(canvas.surface() == given, c.adopted);
            ASSERT_NE(canvas.surface(), nullptr);
            EXPECT_EQ(cairo_image_surface_get_width(canvas.surface()), canvas.pixelWidth());
            // Drawn where it lies either way: row zero at the top, in device pixels.
            canvas.fill(Rect{0, 6, 1, 1}, white);
            EXPECT_EQ(canvas.pixel(0, 0), 0xffffffffu);
            EXPECT_EQ(canvas.pixel(0, canvas.pixelHeight() - 1), 0u);
            if (c.adopted) {
                cairo_surface_flush(given);
                EXPECT_EQ(*reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(given)), 0xffffffffu);
            }
        }
        // The canvas let go of the reference it took, adopted or not.
        if (given && cairo_surface_status(given) == CAIRO_STATUS_SUCCESS) {
            EXPECT_EQ(cairo_surface_get_reference_count(given), 1u);
            cairo_surface_destroy(given);
        }
    }
}

// A large image drawn much smaller through its scaled copy gives the pixels drawing it scaled
// gives, within a level or two on rare pixels: at whole and fractional positions, scales 1 and 2, clipped to a row, on a doubled line,
// and moved by whole pixels with the same copy.
TEST(Canvas, SampledCopiesDrawWhatScalingTheImageDraws) {
    Image image{1200, 900, {}};
    image.pixels.resize(size_t{1200} * 900);
    for (int y = 0; y < 900; ++y) {
        for (int x = 0; x < 1200; ++x) {
            image.pixels[size_t(y) * 1200 + size_t(x)] =
                Image::premultipliedPixel((x * 7 + y) & 255, (x ^ y) & 255, (y * 3) & 255, 128 + ((x + y) & 127));
        }
    }
    struct Case {
        const char* name;
        double scale;
        Rect rect;
        Rect clip;
        double stretchX = 1;
    };
    const std::vector<Case> cases = {
        {"whole points", 1, {10, 5, 120, 90}, {0, 0, 200, 120}},
        {"fractional", 1, {10.3, 5.6, 121.7, 93.2}, {0, 0, 200, 120}},
        {"scale 2", 2, {7.25, 3.5, 80.4, 60.1}, {0, 0, 200, 120}},
        {"one row", 2, {4.5, -20.3, 130, 97.5}, {0, 40.25, 200, 17.5}},
        {"doubled line", 1, {3.3, 5, 60, 45}, {0, 0, 200, 120}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Canvas direct({200, 120}, c.scale), copied({200, 120}, c.scale);
        for (Canvas* canvas : {&direct, &copied}) {
            canvas->fill(Rect{0, 0, 200, 120}, Rgba{0.1, 0.2, 0.3, 1});
            canvas->clip(c.clip);
            canvas->scaleBy(c.stretchX, 1);
        }
        direct.drawImage(image, c.rect);
        const std::optional<ImageSampling> sampling = copied.imageSampling({1200, 900}, c.rect);
        ASSERT_TRUE(sampling);
        EXPECT_TRUE(sampling->worthACopy());
        copied.drawSampledCopy(sampling->scaledCopy(image), *sampling, c.rect);
        // The copy samples at offsets moved by whole pixels, which Pixman's fixed-point positions
        // round a hair differently now and then: a level or two on a rare pixel.
        const Image a = direct.image(), b = copied.image();
        EXPECT_LE(platform::gfx::testing::worstDifference(a.pixels, b.pixels), 2);
        size_t differing = 0;
        for (size_t i = 0; i < a.pixels.size(); ++i) differing += a.pixels[i] != b.pixels[i];
        EXPECT_LE(differing, a.pixels.size() / 1000);
    }
    // A move by whole device pixels keeps the copy.
    Canvas canvas({200, 120}, 1);
    const auto a = canvas.imageSampling({1200, 900}, {10.3, 5.6, 120, 90});
    const auto b = canvas.imageSampling({1200, 900}, {13.3, 9.6, 120, 90});
    const auto c = canvas.imageSampling({1200, 900}, {13.5, 9.6, 120, 90});
    ASSERT_TRUE(a && b && c);
    EXPECT_TRUE(a->sameCopyAs(*b));
    EXPECT_FALSE(a->sameCopyAs(*c));
    // Not worth it for a small image or a small change of size; none for a flipped rectangle.
    EXPECT_FALSE(canvas.imageSampling({100, 100}, {0, 0, 10, 10})->worthACopy());
    EXPECT_FALSE(canvas.imageSampling({1200, 900}, {0, 0, 900, 700})->worthACopy());
    EXPECT_FALSE(canvas.imageSampling({1200, 900}, {0, 0, -10, 10}));
    // A copy of another size draws nothing.
    canvas.drawSampledCopy(Image{2, 2, std::vector<uint32_t>(4, 0xFFFFFFFF)}, *a, {10.3, 5.6, 120, 90});
    EXPECT_EQ(canvas.pixel(50, 50), 0u);
}
