#pragma once

#include <cstdint>
#include <optional>

#include "platform/gfx/Font.h"
#include "platform/gfx/Rect.h"
#include "vantel/gpu/GlyphBitmap.h"

namespace vantel {

// Turns single glyphs into bitmaps for the GPU renderer's atlases, through the same FreeType path
// as the view's glyph cache. Results are not cached here.
class GlyphRasterizer {
public:
    bool fontSmoothing = true;

    // The glyph at the font's own size (the caller passes a font already scaled to device pixels).
    // Nothing for a glyph without ink, or one whose bitmap would pass 4096 pixels on a side.
    std::optional<GlyphBitmap> rasterize(const platform::gfx::Font& font, uint16_t glyph) const;
    // The glyph at `sizeX` by `sizeY` device pixels per em (a doubled row's glyphs are drawn wide
    // or tall, not stretched). `inkless`, when given, says whether nothing came because the glyph
    // has no ink (rather than being too large).
    std::optional<GlyphBitmap> rasterize(const platform::gfx::Font& font, uint32_t glyph, double sizeX, double sizeY,
                                         bool* inkless = nullptr) const;

    // Pixels whose blue, green and red bytes are not all equal: white drawn through coverage alone
    // leaves them equal.
    static bool hasColor(const std::vector<uint8_t>& bgra);

    // The whole-pixel box around an ink box: left and bottom rounded down, right and top up.
    struct PixelBox {
        int left, bottom, width, height;
        friend constexpr bool operator==(const PixelBox&, const PixelBox&) = default;
    };
    static PixelBox pixelBox(const platform::gfx::Rect& ink);
};

}  // namespace vantel
