#pragma once

#include <cstdint>
#include <span>

#include "platform/gfx/Canvas.h"
#include "vantel/view/BlockElementMapping.h"

namespace vantel {

// A block-element cell of a built row, drawn as rectangles instead of a font glyph.
struct BlockElementRenderItem {
    int column = 0;       // the cell's column in the row
    int columnWidth = 1;  // 1 or 2: the rectangles span every column
    uint32_t codePoint = 0;
    std::span<const BlockElementRect> rects;  // from BlockElementMapping
    platform::gfx::Rgba foregroundColor;
};

class BlockElementRenderer {
public:
    // Fills the rectangles of one row's items. `lineOrigin` is the row's bottom-left corner in
    // points (y up); `scale` the backing scale. Without antialiasing every rectangle grows outwards
    // to whole device pixels; with it the edges stay where the eighths fall.
    static void draw(std::span<const BlockElementRenderItem> items, platform::gfx::Point lineOrigin,
                     platform::gfx::Size cellSize, double scale, bool antialias, platform::gfx::Canvas& canvas);
    // Fills the rectangles of one item whose cells (all its columns) start at `origin`, the
    // bottom-left corner, in `color` scaled by each rectangle's shade. `snap` grows them outwards
    // to whole device pixels of `scale`.
    static void fillRects(std::span<const BlockElementRect> rects, platform::gfx::Point origin,
                          platform::gfx::Size size, double scale, bool snap, platform::gfx::Rgba color,
                          platform::gfx::Canvas& canvas);
};

}  // namespace vantel
