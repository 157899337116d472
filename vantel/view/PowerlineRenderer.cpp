#include "vantel/view/PowerlineRenderer.h"

#include <array>
#include <cmath>

namespace vantel {

using platform::gfx::Path;
using platform::gfx::Rect;

namespace {

constexpr uint32_t firstCodePoint = 0xE0B0;

// Indexed by code point − U+E0B0.
constexpr std::array<std::optional<PowerlineRenderer::Glyph>, 7> glyphs{{
    PowerlineRenderer::Glyph{true, false},
    std::nullopt,
    PowerlineRenderer::Glyph{false, false},
    std::nullopt,
    PowerlineRenderer::Glyph{true, true},
    std::nullopt,
    PowerlineRenderer::Glyph{false, true},
}};

}  // namespace

std::optional<PowerlineRenderer::Glyph> PowerlineRenderer::glyph(uint32_t codePoint) {
    if (codePoint < firstCodePoint || codePoint >= firstCodePoint + glyphs.size()) return std::nullopt;
    return glyphs[codePoint - firstCodePoint];
}

std::optional<Rect> PowerlineRenderer::devicePixelJoinRect(uint32_t codePoint, const Rect& cell) {
    const std::optional<Glyph> shape = glyph(codePoint);
    if (!shape) return std::nullopt;
    const double x = shape->pointsRight ? std::min(cell.minX(), cell.maxX()) - 1 : std::max(cell.minX(), cell.maxX());
    return Rect{x, cell.minY(), 1, cell.height};
}

void PowerlineRenderer::drawItems(std::span<const PowerlineRenderItem> items, platform::gfx::Point lineOrigin,
                                  BufferLine::RenderLineMode renderMode, platform::gfx::Size cellSize, double scale,
                                  platform::gfx::Canvas& canvas) {
    using Mode = BufferLine::RenderLineMode;
    if (items.empty()) return;
    // Device pixels per unit of the row's own coordinates.
    const double sx = renderMode == Mode::single ? scale : 2 * scale;
    const double sy = renderMode == Mode::doubledTop || renderMode == Mode::doubledDown ? 2 * scale : scale;
    if (!(sx > 0) || !(sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) return;
    for (const PowerlineRenderItem& item : items) {
        const std::optional<Glyph> shape = glyph(item.codePoint);
        if (!shape) continue;
        const double minX = item.column * cellSize.width + lineOrigin.x;
        const double maxX = minX + item.columnWidth * cellSize.width;
        // Outwards to whole device pixels.
        const double left = std::floor(minX * sx) / sx, right = std::ceil(maxX * sx) / sx;
        const double bottom = std::floor(lineOrigin.y * sy) / sy;
        const double top = std::ceil((lineOrigin.y + cellSize.height) * sy) / sy;
        const double base = shape->pointsRight ? left : right, tip = shape->pointsRight ? right : left;

        Path path;
        path.moveTo({base, bottom});
        if (shape->rounded) {
            // Control points 4/3 of the width out: the curve's farthest point lies at the tip.
            const double control = base + (shape->pointsRight ? 1 : -1) * (4.0 / 3.0) * std::fabs(tip - base);
            path.curveTo({control, bottom}, {control, top}, {base, top});
        } else {
            const double midY = std::round((bottom + top) * sy * 0.5) / sy;
            path.lineTo({tip, midY});
            path.lineTo({base, top});
        }
        path.close();
        const double joinX = shape->pointsRight ? left - 1 / sx : right;

        canvas.save();
        canvas.setAntialias(false);
        canvas.fill(Rect{joinX, bottom, 1 / sx, top - bottom}, item.foregroundColor);
        canvas.setAntialias(true);
        canvas.fill(path, item.foregroundColor);
        canvas.restore();
    }
}

}  // namespace vantel
