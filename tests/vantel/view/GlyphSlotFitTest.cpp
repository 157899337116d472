#include "vantel/view/GlyphSlotFit.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Shaper.h"
#include "support/CanvasInk.h"
#include "vantel/view/FontDimensions.h"

using namespace vantel;
using platform::gfx::Font;
using platform::gfx::Size;

namespace {

const Size cell{8, 16};  // DejaVu Sans Mono at 13 pt

}  // namespace

// The identity for one column, no cell size or no advance; ink that fits is centred at full size.
TEST(GlyphSlotFit, IdentityOrCentred) {
    auto mono = Font::systemFont();
    uint32_t a = mono->glyphIndex('A');
    EXPECT_EQ(glyphSlotFit(*mono, a, 1, cell, *mono), GlyphSlotFit{});
    EXPECT_EQ(glyphSlotFit(*mono, a, 2, std::nullopt, *mono), GlyphSlotFit{});
    EXPECT_EQ(glyphSlotFit(*mono, 0xFFFFFF, 2, cell, *mono), GlyphSlotFit{});
    EXPECT_EQ(glyphSlotFit(*mono, a, 2, cell, *mono), (GlyphSlotFit{(16 - mono->advance(a)) / 2, 0, 1}));
}

// Oversized ink is shrunk into the slot and its middle put on the cell's middle; the baseline
// stands ceil(descent + leading) = 4 above the cell's bottom.
TEST(GlyphSlotFit, OversizedInkIsShrunkAndCentredOnTheCell) {
    auto mono = Font::systemFont();
    struct Case {
        double inkHeight;  // in cells
        char32_t character;
        int columns;
        double scale;  // 0: just below 1
    } cases[] = {{2, '|', 2, 0.5}, {2, 'W', 2, 0}, {1.1, '|', 3, 0}, {60, 'W', 2, 0.1}};
    double barHeightPerPoint = mono->inkBounds(mono->glyphIndex('|')).height / mono->size();
    for (const Case& c : cases) {
        auto font = Font::create("monospace", c.inkHeight * cell.height / barHeightPerPoint);
        uint32_t g = font->glyphIndex(c.character);
        GlyphSlotFit fit = glyphSlotFit(*font, g, c.columns, cell, *mono);
        platform::gfx::Rect ink = font->inkBounds(g);
        if (c.scale == 0) EXPECT_LT(fit.scale, 1) << c.inkHeight;
        else EXPECT_NEAR(fit.scale, c.scale, 0.01) << c.inkHeight;
        if (c.scale == 0.1) continue;  // at the floor it may overflow
        double middle = 4 + fit.dy + (ink.minY() + ink.height / 2) * fit.scale;
        EXPECT_NEAR(middle, 8, 1e-9) << c.inkHeight;
        EXPECT_GE(fit.dx + ink.minX() * fit.scale, -1e-9);
        EXPECT_LE(fit.dx + ink.maxX() * fit.scale, c.columns * 8 + 1e-9);
    }
}

// An emoji of the 13 pt system font, fitted into its two cells, draws inside them.
TEST(GlyphSlotFit, EmojiDrawnFittedStayInsideTheirCells) {
    auto mono = Font::systemFont();
    platform::gfx::ShapedText shaped = platform::gfx::Shaper::shape(u"\U0001F600", mono);
    const auto& run = shaped.runs.at(0);
    for (double scale : {1.0, 2.0}) {
        Size cellSize = computeFontDimensions(*mono, 1, scale);
        platform::gfx::Canvas canvas({4 * cellSize.width, 3 * cellSize.height}, scale);
        // Columns 1-2 of the middle row.
        GlyphSlotFit fit = glyphSlotFit(*run.font, run.glyphs[0].glyph, 2, cellSize, *mono);
        double baseline = cellSize.height + std::ceil(mono->descent() + mono->leading());
        platform::gfx::GlyphPlacement glyph{run.glyphs[0].glyph, {cellSize.width + fit.dx, baseline + fit.dy}, fit.scale};
        canvas.drawGlyphs(*run.font, std::span(&glyph, 1), {1, 1, 1, 1});
        auto box = platform::gfx::testing::inkBox(canvas);
        ASSERT_FALSE(box.isEmpty());
        EXPECT_GE(box.x0, cellSize.width * scale);
        EXPECT_LE(box.x1, 3 * cellSize.width * scale);
        EXPECT_GE(box.y0, cellSize.height * scale);
        EXPECT_LE(box.y1, 2 * cellSize.height * scale);
        EXPECT_NE((canvas.pixel((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2) >> 16 & 0xFF),
                  (canvas.pixel((box.x0 + box.x1) / 2, (box.y0 + box.y1) / 2) & 0xFF));  // in colour
    }
}
