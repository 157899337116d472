// Row geometry on the GPU path: the pixels a filled rectangle covers, decoration rectangles and
// picture quads.
#include <gtest/gtest.h>

#include "platform/gfx/Canvas.h"
#include "platform/gpu/Device.h"
#include "support/GpuTestSupport.h"
#include "vantel/gpu/GpuGeometry.h"

using namespace vantel;
using Box = GpuGeometry::Box;
using Quad = GpuGeometry::Quad;
using Mode = BufferLine::RenderLineMode;
using platform::gfx::Rect;

// The pixels the view's own drawing fills without antialiasing, counted from the bottom.
TEST(GpuGeometry, SnappingTakesThePixelsTheViewFills) {
    struct Case {
        Box box;
        std::optional<Box> expected;
    } cases[] = {
        {{0.5f, 0.5f, 1.5f, 1.5f}, Box{0, 1, 1, 2}}, {{0.4f, 0.4f, 1.6f, 1.6f}, Box{0, 0, 2, 2}},
        {{0.6f, 0.6f, 1.6f, 1.6f}, Box{1, 1, 2, 2}}, {{0.2f, 0.2f, 0.8f, 0.8f}, Box{0, 0, 1, 1}},
        {{0, 0, 1.5f, 1.5f}, Box{0, 0, 1, 2}},       {{0.6f, 0.6f, 1.4f, 1.4f}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(GpuGeometry::snapped(c.box), c.expected) << c.box.x0 << " " << c.box.x1;

    // The same as a canvas filling the rectangle without antialiasing.
    for (const Case& c : cases) {
        platform::gfx::Canvas canvas({4, 4}, 1);
        canvas.setAntialias(false);
        canvas.fill(Rect{c.box.x0, c.box.y0, c.box.x1 - c.box.x0, c.box.y1 - c.box.y0},
                    platform::gfx::Rgba{1, 0, 0, 1});
        for (int y = 0; y < 4; ++y) {
            for (int x = 0; x < 4; ++x) {
                const bool filled = (canvas.pixel(x, 3 - y) >> 24) != 0;
                const bool inside = c.expected && x >= c.expected->x0 && x < c.expected->x1 && y >= c.expected->y0 &&
                                    y < c.expected->y1;
                EXPECT_EQ(filled, inside) << x << "," << y;
            }
        }
    }
}

TEST(GpuGeometry, DecorationRectangles) {
    const Float4 white{1, 1, 1, 1};
    struct Case {
        UnderlineStyle style;
        double x0, x1;
        Mode mode;
        std::vector<Box> expected;
    } cases[] = {
        {UnderlineStyle::single, 0, 16, Mode::single, {{0, 9, 16, 11}}},
        // Dots as long as the line is thick (at least the scale), three of them apart.
        {UnderlineStyle::dotted, 0, 16, Mode::single, {{0, 9, 2, 11}, {6, 9, 8, 11}, {12, 9, 14, 11}}},
        {UnderlineStyle::dashed, 0, 16, Mode::single, {{0, 9, 4, 11}, {8, 9, 12, 11}}},
        // A dot shorter than one dash is cut at x1.
        {UnderlineStyle::dotted, 0, 1, Mode::single, {{0, 9, 1, 11}}},
        // Twice as wide and twice as thick about the pivot.
        {UnderlineStyle::single, 0, 16, Mode::doubledDown, {{0, 18, 32, 22}}},
        {UnderlineStyle::none, 0, 16, Mode::single, {}},
    };
    for (const Case& c : cases) {
        std::vector<ColorCell> out;
        GpuGeometry::appendUnderlineSegments(c.x0, c.x1, 10, 2, white, c.style, 2, c.mode, 0, std::nullopt, out);
        ASSERT_EQ(out.size(), c.expected.size()) << int(c.style);
        for (size_t i = 0; i < out.size(); ++i) {
            const Box got{out[i].position.x, out[i].position.y, out[i].position.x + out[i].size.x,
                          out[i].position.y + out[i].size.y};
            EXPECT_EQ(got, c.expected[i]) << int(c.style) << " " << i;
        }
    }
    // A curly line is a row of steps; a clip that cuts a step away keeps the others.
    std::vector<ColorCell> curl, clipped;
    GpuGeometry::appendUnderlineSegments(0, 16, 10, 1, white, UnderlineStyle::curly, 2, Mode::single, 0, std::nullopt,
                                         curl);
    GpuGeometry::appendUnderlineSegments(0, 16, 10, 1, white, UnderlineStyle::curly, 2, Mode::single, 0,
                                         ClipRect{0, 0, 16, 11}, clipped);
    EXPECT_EQ(curl.size(), 8u);
    EXPECT_LT(clipped.size(), curl.size());
    EXPECT_GT(clipped.size(), 0u);
}

TEST(GpuGeometry, PictureQuads) {
    GPU_TEST_DEVICE(device);
    auto texture = device->makeTexture(platform::gpu::PixelFormat::bgra8Unorm, 1, 1);
    // Clipped to its left half: uMin stays, uMax halfway.
    auto half = GpuGeometry::imageDraw(texture, Rect{0, 0, 10, 10}, Rect{0, 0, 1, 1}, Mode::single,
                                       ClipRect{0, 0, 5, 10}, 0, 1);
    ASSERT_TRUE(half);
    EXPECT_FLOAT_EQ(half->vertices[0].texCoord.x, 0);
    EXPECT_FLOAT_EQ(half->vertices[1].texCoord.x, 0.5f);
    EXPECT_FLOAT_EQ(half->vertices[1].position.x, 5);
    // The minimum corner takes (uMin, vMin), six vertices in the fixed order, white.
    auto whole = GpuGeometry::imageDraw(texture, Rect{1, 2, 3, 4}, Rect{0, 0, 1, 1}, Mode::single, std::nullopt, 0, 2);
    ASSERT_TRUE(whole);
    const float expected[6][4] = {{2, 4, 0, 0}, {8, 4, 1, 0},  {2, 12, 0, 1},
                                  {8, 4, 1, 0}, {8, 12, 1, 1}, {2, 12, 0, 1}};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(whole->vertices[i].position, (Float2{expected[i][0], expected[i][1]})) << i;
        EXPECT_EQ(whole->vertices[i].texCoord, (Float2{expected[i][2], expected[i][3]})) << i;
        EXPECT_EQ(whole->vertices[i].color, (Float4{1, 1, 1, 1}));
    }
    // Outside its clip, or without area under one: nothing; without a clip an empty quad is made.
    EXPECT_FALSE(GpuGeometry::imageDraw(texture, Rect{20, 0, 10, 10}, Rect{0, 0, 1, 1}, Mode::single,
                                        ClipRect{0, 0, 10, 10}, 0, 1));
    EXPECT_FALSE(GpuGeometry::imageDraw(texture, Rect{2, 0, 0, 10}, Rect{0, 0, 1, 1}, Mode::single,
                                        ClipRect{0, 0, 10, 10}, 0, 1));
    EXPECT_TRUE(GpuGeometry::imageDraw(texture, Rect{2, 0, 0, 10}, Rect{0, 0, 1, 1}, Mode::single, std::nullopt, 0, 1));
    // On a double-width row a picture at column 3 (24 points) lands at twice its x and width.
    auto wide =
        GpuGeometry::imageDraw(texture, Rect{24, 0, 10, 10}, Rect{0, 0, 1, 1}, Mode::doubleWidth, std::nullopt, 0, 1);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->vertices[0].position.x, 48);
    EXPECT_EQ(wide->vertices[1].position.x, 68);
}
