#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/gfx/Font.h"

namespace platform::gfx {

// One glyph rendered at a device size: 8-bit coverage, or premultiplied BGRA for colour glyphs
// (Cairo's ARGB32 in memory). Rows run from the top; each row is `stride` bytes (a multiple of 4,
// as Cairo wants).
struct RasterGlyph {
    static constexpr int maxSide = 4096;

    int width = 0;    // 0: the glyph has no ink
    int height = 0;
    int left = 0;     // device pixels from the pen position to the bitmap's left edge
    int top = 0;      // device pixels from the baseline up to the bitmap's top row
    int stride = 0;
    bool color = false;
    std::vector<uint8_t> pixels;

    // Renders one glyph with FreeType at `sizeX` by `sizeY` device pixels per em. Smoothing turns on
    // light hinting (vertical only); without it outlines are rendered as designed. Output is always
    // grayscale, never LCD. Colour strikes are scaled from their strike to the size. Nothing when
    // the bitmap would pass maxSide on a side or the size is not usable.
    static std::optional<RasterGlyph> render(const Font& font, uint32_t glyph, double sizeX, double sizeY,
                                             bool smoothing);

    // Area-averages (a box filter) `source` by fx, fy into a box of `width` x `height`; each output
    // pixel takes what lies under it, so the partial last row and column come out partly
    // transparent. How strikes are scaled.
    static RasterGlyph resample(const RasterGlyph& source, double fx, double fy, int width, int height);
};

}  // namespace platform::gfx
