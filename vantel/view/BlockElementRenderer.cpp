#include "vantel/view/BlockElementRenderer.h"

#include <algorithm>
#include <cmath>

#include "vantel/view/CustomGlyphCache.h"

namespace vantel {

using platform::gfx::Canvas;
using platform::gfx::Point;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::gfx::Size;

void BlockElementRenderer::fillRects(std::span<const BlockElementRect> rects, Point origin, Size size, double scale,
                                     bool snap, Rgba color, Canvas& canvas) {
    const double top = origin.y + size.height;
    const double eighthWidth = size.width * 0.125, eighthHeight = size.height * 0.125;
    for (const BlockElementRect& r : rects) {
        Rect rect{origin.x + r.x0 * eighthWidth, top - r.y1 * eighthHeight, (r.x1 - r.x0) * eighthWidth,
                  (r.y1 - r.y0) * eighthHeight};
        if (snap) {
            const double x0 = std::floor(rect.minX() * scale) / scale, x1 = std::ceil(rect.maxX() * scale) / scale;
            const double y0 = std::floor(rect.minY() * scale) / scale, y1 = std::ceil(rect.maxY() * scale) / scale;
            rect = Rect{x0, y0, std::max(0.0, x1 - x0), std::max(0.0, y1 - y0)};
        }
        if (!(rect.width > 0) || !(rect.height > 0)) continue;
        Rgba fill = color;
        fill.alpha = std::max(0.0, std::min(BlockElementMapping::factor(r.alpha) * color.alpha, 1.0));
        canvas.fill(rect, fill);
    }
}

void BlockElementRenderer::draw(std::span<const BlockElementRenderItem> items, Point lineOrigin, Size cellSize,
                                double scale, bool antialias, Canvas& canvas) {
    if (items.empty()) return;
    canvas.save();
    canvas.setAntialias(antialias);
    const bool snap = !antialias && scale > 0;
    const std::optional<Point> plain =
        scale == canvas.scale() ? CustomGlyphCache::plainOrigin(canvas) : std::nullopt;
    for (const BlockElementRenderItem& item : items) {
        const Point origin{item.column * cellSize.width + lineOrigin.x, lineOrigin.y};
        const Size size{item.columnWidth * cellSize.width, cellSize.height};
        // A cached shape is named by its code point: only the table's own rectangles go there.
        const auto table = BlockElementMapping::rects(item.codePoint);
        if (!plain || !table || table->data() != item.rects.data() || table->size() != item.rects.size()) {
            fillRects(item.rects, origin, size, scale, snap, item.foregroundColor, canvas);
            continue;
        }
        CustomGlyphCache::shared().draw(canvas, *plain, CustomGlyphCache::Kind::blockElement, item.codePoint, antialias, origin,
                                        size, item.foregroundColor, [&](Canvas& target, Point at) {
                                            target.setAntialias(antialias);
                                            fillRects(item.rects, at, size, scale, snap, Rgba{1, 1, 1, 1}, target);
                                        });
    }
    canvas.restore();
}

}  // namespace vantel
