#pragma once

#include <cstdint>
#include <span>

#include "platform/gfx/Canvas.h"

namespace vantel {

// A box-drawing cell of a built row, drawn procedurally instead of with a font glyph.
struct BoxDrawingRenderItem {
    int column = 0;
    int columnWidth = 1;
    uint32_t codePoint = 0;
    platform::gfx::Rgba foregroundColor;
};

// Draws the 128 box-drawing characters U+2500...U+257F so that lines meet exactly at cell edges
// and join in the middle of the cell at any cell size and scale. All geometry is worked out in
// whole device pixels of the cell and filled as pixel-aligned rectangles with antialiasing off;
// only rounded corners and diagonals are antialiased paths.
class BoxDrawingRenderer {
public:
    static constexpr uint32_t first = 0x2500;
    static constexpr uint32_t last = 0x257F;

    // Line kinds of one arm.
    enum LineKind : uint8_t { none = 0, light = 1, heavy = 2, double_ = 3 };
    // Four arms packed into 32 bits: up in the lowest byte, then right, down, left.
    using Lines = uint32_t;
    static constexpr Lines lines(LineKind up, LineKind right, LineKind down, LineKind left) {
        return Lines{up} | Lines{right} << 8 | Lines{down} << 16 | Lines{left} << 24;
    }
    // The rounded corners, by the two arms they join.
    enum class Corner : uint8_t { upLeft, upRight, downLeft, downRight };

    // Draws one cell whose bottom-left corner is `cellOrigin` (points, y up) at `scale` device
    // pixels per point; other code points, and a scale or size that is not usable, draw nothing.
    // Antialiasing is left as the caller set it, except for arcs and diagonals.
    static void draw(uint32_t codePoint, platform::gfx::Canvas& canvas, platform::gfx::Point cellOrigin,
                     platform::gfx::Size cellSize, double scale, platform::gfx::Rgba color, int baseThicknessPx);

    // The light line's thickness in device pixels for a font's underline thickness (points).
    static int baseThicknessPx(double underlineThickness, double scale);

    // Draws one row's items with antialiasing off; `lineOrigin` is the row's bottom-left corner.
    // The cells are laid on whole device pixels from the row's origin.
    static void drawItems(std::span<const BoxDrawingRenderItem> items, platform::gfx::Point lineOrigin,
                          platform::gfx::Size cellSize, double scale, int baseThicknessPx,
                          platform::gfx::Canvas& canvas);
};

}  // namespace vantel
