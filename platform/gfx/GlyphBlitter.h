#pragma once

#include <cstdint>

#include "platform/gfx/RasterGlyph.h"

namespace platform::gfx {

// Composites rendered glyphs straight into Cairo ARGB32 pixels (premultiplied 0xAARRGGBB words),
// with the same rounding as Cairo's own solid-over-mask path.
class GlyphBlitter {
public:
    struct Target {
        uint32_t* pixels;
        int stride;  // in words
        int width;
        int height;
    };
    // A device-pixel rectangle, half open.
    struct Box {
        int x0, y0, x1, y1;
    };

    // Draws the glyph with its top-left pixel at (x, y), inside `clip`. Coverage glyphs are tinted
    // with `color` (premultiplied); colour glyphs keep their colours and take only its alpha.
    static void blit(const RasterGlyph& glyph, const Target& target, int x, int y, uint32_t color, Box clip);
    // Whether coverage glyphs may go eight pixels at a time where the processor can (the result is
    // the same to the bit; tests compare the two ways).
    static bool wideVectorsAllowed;
};

}  // namespace platform::gfx
