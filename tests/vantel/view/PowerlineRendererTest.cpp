#include "vantel/view/PowerlineRenderer.h"

#include <gtest/gtest.h>

#include "support/CanvasInk.h"

using namespace vantel;
using platform::gfx::Canvas;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using Mode = BufferLine::RenderLineMode;

namespace {

const Rgba red{1, 0, 0, 1};
const Rgba blue{0, 0, 1, 1};

void drawOne(Canvas& canvas, uint32_t codePoint, int column, double cellWidth, Mode mode = Mode::single,
             Rgba color = red) {
    PowerlineRenderItem item{column, 1, codePoint, color};
    PowerlineRenderer::drawItems(std::span(&item, 1), {0, 0}, mode, {cellWidth, 16}, canvas.scale(), canvas);
}

}  // namespace

// The glyph table and the join column outside each filled glyph's flat side; outline variants and
// other code points have neither, and draw nothing: they stay text.
TEST(PowerlineRenderer, GlyphsAndJoinColumns) {
    using Glyph = PowerlineRenderer::Glyph;
    struct Case {
        uint32_t codePoint;
        std::optional<Glyph> glyph;
        std::optional<Rect> join;  // of the cell (10, 4, 8, 16)
    } cases[] = {{0xE0B0, Glyph{true, false}, Rect{9, 4, 1, 16}},  {0xE0B1, std::nullopt, std::nullopt},
                 {0xE0B2, Glyph{false, false}, Rect{18, 4, 1, 16}}, {0xE0B3, std::nullopt, std::nullopt},
                 {0xE0B4, Glyph{true, true}, Rect{9, 4, 1, 16}},    {0xE0B5, std::nullopt, std::nullopt},
                 {0xE0B6, Glyph{false, true}, Rect{18, 4, 1, 16}},  {0xE0B7, std::nullopt, std::nullopt},
                 {0xE0AF, std::nullopt, std::nullopt}};
    for (const Case& c : cases) {
        EXPECT_EQ(PowerlineRenderer::glyph(c.codePoint), c.glyph) << std::hex << c.codePoint;
        EXPECT_EQ(PowerlineRenderer::devicePixelJoinRect(c.codePoint, {10, 4, 8, 16}), c.join)
            << std::hex << c.codePoint;
        Canvas canvas({24, 16}, 1);
        drawOne(canvas, c.codePoint, 1, 8);
        EXPECT_EQ(platform::gfx::testing::inkBox(canvas).isEmpty(), !c.glyph) << std::hex << c.codePoint;
    }
    // A rectangle of negative width still has its flat side on the left.
    EXPECT_EQ(PowerlineRenderer::devicePixelJoinRect(0xE0B0, {18, 4, -8, 16}), (Rect{9, 4, 1, 16}));
}

// A triangle after a cell of its own colour whose background ended short of the cell edge (cells
// of 7.5 points): the join column paints the previous cell's last pixel, so no hairline shows.
TEST(PowerlineRenderer, NoHairlineAgainstThePreviousCell) {
    Canvas canvas({30, 16}, 1);
    canvas.setAntialias(false);
    canvas.fill(Rect{0, 0, 6.4, 16}, red);  // falls one pixel short of pixel 6
    canvas.fill(Rect{7.5, 0, 7.5, 16}, blue);
    drawOne(canvas, 0xE0B0, 1, 7.5);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(canvas.pixel(6, y), 0xFFFF0000u) << y;
    }
    EXPECT_EQ(canvas.pixel(7, 8), 0xFFFF0000u);   // the flat side, snapped left to pixel 7
    EXPECT_EQ(canvas.pixel(5, 8), 0xFFFF0000u);   // the previous cell's own background
    EXPECT_EQ(canvas.pixel(15, 8), 0u);           // nothing past the snapped tip
}

// Left-pointing glyphs put the join column right of the snapped cell; half-discs bulge to the tip.
TEST(PowerlineRenderer, ShapesReachTheirTip) {
    struct Case {
        uint32_t codePoint;
        int joinX, tipX;  // pixel columns of a cell of 8 points in column 1
    } cases[] = {{0xE0B0, 7, 15}, {0xE0B4, 7, 15}, {0xE0B2, 16, 8}, {0xE0B6, 16, 8}};
    for (const Case& c : cases) {
        Canvas canvas({32, 16}, 1);
        drawOne(canvas, c.codePoint, 1, 8);
        for (int y = 0; y < 16; ++y) EXPECT_EQ(canvas.pixel(c.joinX, y) >> 24, 255u) << std::hex << c.codePoint;
        EXPECT_GT(canvas.pixel(c.tipX, 8) >> 24, 100u) << std::hex << c.codePoint;
        const int beyond = c.tipX > c.joinX ? c.tipX + 1 : c.tipX - 1;
        EXPECT_EQ(canvas.pixel(beyond, 8), 0u) << std::hex << c.codePoint;
    }
}

// On a double-width row at scale 2 a device pixel is a quarter point across: the left edge of
// column 1 (7.3 points) snaps to 7.25, device pixel 29, and the join column is pixel 28.
TEST(PowerlineRenderer, DoubleWidthRowSnapsToQuarterPoints) {
    Canvas canvas({64, 16}, 2);
    canvas.save();
    canvas.scaleBy(2, 1);
    drawOne(canvas, 0xE0B0, 1, 7.3, Mode::doubleWidth);
    canvas.restore();
    EXPECT_EQ(platform::gfx::testing::inkBox(canvas).x0, 28);
    for (int y = 0; y < 32; ++y) EXPECT_EQ(canvas.pixel(28, y) >> 24, 255u) << y;
    EXPECT_EQ(canvas.pixel(29, 16) >> 24, 255u);
}
