#pragma once

#include <cstdint>
#include <vector>

namespace vantel {

// One glyph for a GPU atlas, tightly cropped to its ink. Pixels are premultiplied BGRA bytes (blue,
// green, red, alpha in memory), rows from the top, width × 4 bytes per row; grey glyphs are white
// with their coverage as alpha, so the renderer can tint them.
struct GlyphBitmap {
    int width = 0;
    int height = 0;
    // The bitmap's lower-left corner relative to the glyph origin, in pixels, y up.
    int bearingX = 0;
    int bearingY = 0;
    std::vector<uint8_t> pixels;
    bool isColor = false;  // real colour (an emoji): goes to the colour atlas
};

}  // namespace vantel
