// Atlas entries: text glyphs from the rasteriser, and the shapes of box-drawing characters, block
// elements and powerline separators drawn white by the view's own renderers.
#include <algorithm>
#include <cmath>

#include "platform/gfx/Canvas.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/BlockElementRenderer.h"
#include "vantel/view/BoxDrawingRenderer.h"
#include "vantel/view/PowerlineRenderer.h"

namespace vantel {

namespace {

uint32_t sixtyFourths(double v) { return static_cast<uint32_t>(std::lround(v * 64)); }

}  // namespace

std::optional<GlyphEntry> GpuTerminalRenderer::glyphEntry(const platform::gfx::FontRef& font, uint32_t glyph,
                                                          double sizeX, double sizeY) {
    if (!font || !(sizeX > 0 && sizeY > 0 && sizeX < 65536 && sizeY < 65536)) return std::nullopt;
    const GlyphKey key{font->id(), sixtyFourths(sizeX), sixtyFourths(sizeY), glyph, rasterizer_.fontSmoothing};
    if (auto found = glyphCache_.find(key); found != glyphCache_.end()) {
        if (found->second.inkless) return std::nullopt;
        return found->second;
    }
    bool inkless = false;
    std::optional<GlyphBitmap> bitmap =
        rasterizer_.rasterize(*font, glyph, key.sizeX64 / 64.0, key.sizeY64 / 64.0, &inkless);
    if (!bitmap) {
        // A space stays a space: remembered, so rows of blanks rasterise nothing.
        if (inkless) {
            GlyphEntry none;
            none.inkless = true;
            glyphCache_.emplace(key, none);
        }
        return std::nullopt;
    }
    GlyphAtlas& atlas = bitmap->isColor ? *colorAtlas_ : *grayscaleAtlas_;
    const int64_t previousSize = atlas.size();
    std::optional<AtlasRegion> region = atlas.ensureRegion(bitmap->width, bitmap->height);
    handleAtlasChange(atlas, previousSize);
    if (!region) return std::nullopt;
    atlas.write(*region, bitmap->pixels, bitmap->width, bitmap->height);
    ++statistics_.glyphsRasterized;
    GlyphEntry entry{*region,
                     bitmap->width,
                     bitmap->height,
                     bitmap->bearingX,
                     bitmap->bearingY,
                     bitmap->isColor,
                     bitmap->isColor ? GlyphAtlasKind::color : GlyphAtlasKind::grayscale,
                     false};
    glyphCache_[key] = entry;
    return entry;
}

std::optional<CustomGlyphEntry> GpuTerminalRenderer::customGlyphEntry(uint32_t codePoint, int cellWidthPx,
                                                                      int cellHeightPx, double scale,
                                                                      int baseThicknessPx, bool antiAlias) {
    const int roundedScale = std::max(1, static_cast<int>(std::lround(std::isfinite(scale) ? scale : 1.0)));
    const CustomGlyphKey key{codePoint, cellWidthPx, cellHeightPx, baseThicknessPx, roundedScale, antiAlias};
    if (auto found = customGlyphCache_.find(key); found != customGlyphCache_.end()) return found->second;
    if (cellWidthPx < 1 || cellHeightPx < 1 || !(scale > 0) || !std::isfinite(scale) ||
        cellWidthPx > platform::gfx::Canvas::maxPixelSide || cellHeightPx > platform::gfx::Canvas::maxPixelSide) {
        return std::nullopt;
    }

    // The slot in points at the drawing scale, its bottom-left corner at the origin: a Cairo
    // ARGB32 surface, premultiplied blue, green, red and alpha bytes.
    const platform::gfx::Size slot{cellWidthPx / scale, cellHeightPx / scale};
    platform::gfx::Canvas canvas(slot, scale);
    if (canvas.pixelWidth() != cellWidthPx || canvas.pixelHeight() != cellHeightPx) return std::nullopt;
    const platform::gfx::Rgba white{1, 1, 1, 1};
    if (PowerlineRenderer::glyph(codePoint)) {
        // Only the shape: the joining column lies outside the slot (the row draws it apart).
        const PowerlineRenderItem item{0, 1, codePoint, white};
        PowerlineRenderer::drawItems({&item, 1}, {0, 0}, BufferLine::RenderLineMode::single, slot, scale, canvas);
    } else if (codePoint >= BoxDrawingRenderer::first && codePoint <= BoxDrawingRenderer::last) {
        canvas.setAntialias(false);
        BoxDrawingRenderer::draw(codePoint, canvas, {0, 0}, slot, scale, white, baseThicknessPx);
    } else if (auto rects = BlockElementMapping::rects(codePoint)) {
        canvas.setAntialias(antiAlias);
        BlockElementRenderer::fillRects(*rects, {0, 0}, slot, scale, !antiAlias, white, canvas);
    } else {
        return std::nullopt;
    }

    const int64_t previousSize = grayscaleAtlas_->size();
    std::optional<AtlasRegion> region = grayscaleAtlas_->ensureRegion(cellWidthPx, cellHeightPx);
    handleAtlasChange(*grayscaleAtlas_, previousSize);
    if (!region) return std::nullopt;
    const platform::gfx::Image pixels = canvas.image();
    grayscaleAtlas_->write(
        *region,
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(pixels.pixels.data()), pixels.pixels.size() * 4),
        cellWidthPx, cellHeightPx);
    ++statistics_.glyphsRasterized;
    const CustomGlyphEntry entry{*region, cellWidthPx, cellHeightPx};
    customGlyphCache_[key] = entry;
    return entry;
}

}  // namespace vantel
