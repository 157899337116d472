#include "vantel/view/BlockElementRenderer.h"

#include <gtest/gtest.h>

#include "support/CanvasInk.h"

using namespace vantel;
using platform::gfx::Canvas;
using platform::gfx::Rgba;
using platform::gfx::Size;
using platform::gfx::testing::inkBox;

namespace {

const Rgba white{1, 1, 1, 1};

int alphaAt(const Canvas& c, int x, int y) { return static_cast<int>(c.pixel(x, y) >> 24); }

// One item in column `column` of a row at the canvas's bottom.
void drawOne(Canvas& canvas, uint32_t codePoint, Size cell, bool antialias, Rgba color = white, int column = 0,
             int columnWidth = 1) {
    BlockElementRenderItem item{column, columnWidth, codePoint, *BlockElementMapping::rects(codePoint), color};
    BlockElementRenderer::draw(std::span(&item, 1), {0, 0}, cell, canvas.scale(), antialias, canvas);
}

}  // namespace

// Eight pixels per side: every eighth is one pixel, so each element's ink box is its table entry.
// The table covers U+2580...U+259F and nothing else.
TEST(BlockElementRenderer, EighthsLandOnTheirPixels) {
    struct Case {
        uint32_t codePoint;
        int x0, y0, x1, y1;  // ink box in pixels from the top-left
    } cases[] = {{0x2580, 0, 0, 8, 4}, {0x2581, 0, 7, 8, 8}, {0x2589, 0, 0, 7, 8}, {0x2590, 4, 0, 8, 8},
                 {0x2595, 7, 0, 8, 8}, {0x2596, 0, 4, 4, 8}, {0x259D, 4, 0, 8, 4}, {0x259E, 0, 0, 8, 8}};
    for (const Case& c : cases) {
        Canvas canvas({8, 8}, 1);
        drawOne(canvas, c.codePoint, {8, 8}, false);
        auto box = inkBox(canvas);
        EXPECT_EQ((std::array{box.x0, box.y0, box.x1, box.y1}), (std::array{c.x0, c.y0, c.x1, c.y1}))
            << std::hex << c.codePoint;
    }
    for (uint32_t c = 0x257F; c <= 0x25A0; ++c)
        EXPECT_EQ(BlockElementMapping::rects(c).has_value(), c != 0x257F && c != 0x25A0);
}

// Shades fill the whole cell with a quarter, half and three quarters of the foreground's alpha.
TEST(BlockElementRenderer, ShadesScaleTheForegroundAlpha) {
    struct Case {
        uint32_t codePoint;
        double alpha;
        int expected;
    } cases[] = {{0x2591, 1, 64}, {0x2592, 1, 128}, {0x2593, 1, 191}, {0x2588, 1, 255}, {0x2591, 0.5, 32},
                 {0x2593, 0.5, 96}};
    for (const Case& c : cases) {
        for (double scale : {1.0, 2.0}) {
            Canvas canvas({8, 16}, scale);
            drawOne(canvas, c.codePoint, {8, 16}, false, Rgba{1, 0, 0, c.alpha});
            for (auto [x, y] : {std::pair{0, 0}, {5, 7}, {canvas.pixelWidth() - 1, canvas.pixelHeight() - 1}}) {
                EXPECT_NEAR(alphaAt(canvas, x, y), c.expected, 1) << std::hex << c.codePoint << " " << scale;
            }
        }
    }
}

// A double-width item's eighths are eighths of both columns: its left half is one whole cell.
TEST(BlockElementRenderer, DoubleWidthItemSpansBothColumns) {
    Canvas canvas({32, 16}, 2);
    drawOne(canvas, 0x258C, {8, 16}, false, white, 1, 2);
    auto box = inkBox(canvas);
    EXPECT_EQ((std::array{box.x0, box.x1, box.y0, box.y1}), (std::array{16, 32, 0, 32}));
}

// Eighths of a 7 × 15 cell fall between device pixels at scale 2: without antialiasing the edges
// move outwards to whole pixels; with it they stay, leaving partial pixels.
TEST(BlockElementRenderer, AntialiasingOffSnapsOutwards) {
    // U+2595 spans x 6.125...7 pt = 12.25...14 px; U+2581 y 0...1.875 pt from the bottom, which is
    // device rows 26.25...30.
    for (bool antialias : {false, true}) {
        Canvas right({7, 15}, 2), lower({7, 15}, 2);
        drawOne(right, 0x2595, {7, 15}, antialias);
        drawOne(lower, 0x2581, {7, 15}, antialias);
        EXPECT_NEAR(alphaAt(right, 12, 10), antialias ? 191 : 255, 1);
        EXPECT_EQ(alphaAt(right, 11, 10), 0);
        EXPECT_EQ(alphaAt(right, 13, 10), 255);
        EXPECT_NEAR(alphaAt(lower, 3, 26), antialias ? 191 : 255, 1);
        EXPECT_EQ(alphaAt(lower, 3, 25), 0);
        EXPECT_EQ(alphaAt(lower, 3, 29), 255);
    }
}
