#include "vantel/gpu/GlyphRasterizer.h"

#include <cmath>

#include "platform/gfx/RasterGlyph.h"

namespace vantel {

std::optional<GlyphBitmap> GlyphRasterizer::rasterize(const platform::gfx::Font& font, uint16_t glyph) const {
    return rasterize(font, glyph, font.size(), font.size());
}

std::optional<GlyphBitmap> GlyphRasterizer::rasterize(const platform::gfx::Font& font, uint32_t glyph, double sizeX,
                                                      double sizeY, bool* inkless) const {
    if (inkless) *inkless = false;
    // FreeType's bitmap box is the outline's box rounded out to whole pixels, as pixelBox says.
    std::optional<platform::gfx::RasterGlyph> raster =
        platform::gfx::RasterGlyph::render(font, glyph, sizeX, sizeY, fontSmoothing);
    if (!raster) return std::nullopt;
    if (raster->width <= 0 || raster->height <= 0) {
        if (inkless) *inkless = true;
        return std::nullopt;
    }
    GlyphBitmap bitmap;
    bitmap.width = raster->width;
    bitmap.height = raster->height;
    bitmap.bearingX = raster->left;
    bitmap.bearingY = raster->top - raster->height;
    bitmap.pixels.resize(static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height) * 4);
    uint8_t* out = bitmap.pixels.data();
    for (int y = 0; y < bitmap.height; ++y) {
        const uint8_t* row = raster->pixels.data() + static_cast<size_t>(y) * raster->stride;
        if (raster->color) {
            out = std::copy(row, row + static_cast<size_t>(bitmap.width) * 4, out);
            continue;
        }
        for (int x = 0; x < bitmap.width; ++x) {
            uint8_t coverage = row[x];
            *out++ = coverage;
            *out++ = coverage;
            *out++ = coverage;
            *out++ = coverage;
        }
    }
    // A glyph from a colour table carries its own colours even where they are greys (a black heart,
    // a white circle): tinting it with the text colour would paint it over.
    bitmap.isColor = raster->color;
    return bitmap;
}

bool GlyphRasterizer::hasColor(const std::vector<uint8_t>& bgra) {
    for (size_t i = 0; i + 3 < bgra.size(); i += 4) {
        if (bgra[i] != bgra[i + 1] || bgra[i + 1] != bgra[i + 2]) return true;
    }
    return false;
}

GlyphRasterizer::PixelBox GlyphRasterizer::pixelBox(const platform::gfx::Rect& ink) {
    auto usable = [](double v) { return std::isfinite(v) && std::fabs(v) < 1e6; };
    if (!usable(ink.x) || !usable(ink.y) || !usable(ink.width) || !usable(ink.height)) return PixelBox{0, 0, 0, 0};
    double left = std::floor(ink.minX()), bottom = std::floor(ink.minY());
    return PixelBox{static_cast<int>(left), static_cast<int>(bottom), static_cast<int>(std::ceil(ink.maxX()) - left),
                    static_cast<int>(std::ceil(ink.maxY()) - bottom)};
}

}  // namespace vantel
