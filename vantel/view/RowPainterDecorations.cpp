#include <cmath>
#include <numbers>

#include "platform/gfx/Path.h"
#include "vantel/view/RowPainter.h"

namespace vantel {

using platform::gfx::Path;
using platform::gfx::Point;
using platform::gfx::StrokeStyle;

namespace {

// One straight line per cell, `offset` above each baseline position. A solid line through cells
// that touch is drawn as one: the same pixels, one subpath.
Path linesAt(std::span<const Point> positions, double offset, double length, bool solid) {
    Path path;
    for (size_t i = 0; i < positions.size();) {
        const Point& p = positions[i];
        double end = p.x + length;
        size_t next = i + 1;
        while (solid && next < positions.size() && positions[next].y == p.y && positions[next].x >= p.x &&
               positions[next].x <= end) {
            end = std::max(end, positions[next].x + length);
            ++next;
        }
        path.moveTo({p.x, p.y + offset});
        path.lineTo({end, p.y + offset});
        i = next;
    }
    return path;
}

// A sine wave per cell, each starting at phase 0.
Path curlsAt(std::span<const Point> positions, double offset, double length, double amplitude, double wavelength,
             double step) {
    Path path;
    for (const Point& p : positions) {
        double y = p.y + offset;
        path.moveTo({p.x, y});
        for (double x = p.x; x <= p.x + length; x += step) {
            path.lineTo({x, y + amplitude * std::sin(2 * std::numbers::pi * (x - p.x) / wavelength)});
        }
    }
    return path;
}

}  // namespace

void RowPainter::drawRunAttributes(const TextAttributes& attributes, std::span<const Point> positions,
                                   double slotWidth, Canvas& canvas) const {
    if (!attributes.hasDecorations() || positions.empty() || !(slotWidth > 0)) return;
    canvas.save();
    canvas.setAntialias(false);
    const double s = look_.backingScale;
    const double length = std::ceil(slotWidth);
    // Pixel-snapped line width, never below half a point.
    auto lineWidth = [s](double thickness) { return std::max(0.5, std::round(thickness * s) / s); };
    const Rgba fallback = look_.decorationColor;

    if (attributes.underlineStyle != UnderlineStyle::none) {
        const platform::gfx::Font& normal = *look_.fonts->normal;
        const double p = normal.underlinePosition();
        const double w = lineWidth(normal.underlineThickness());
        const Rgba color = attributes.underlineColor.value_or(fallback);
        StrokeStyle solid;
        solid.width = w;
        switch (attributes.underlineStyle) {
        case UnderlineStyle::none: break;
        case UnderlineStyle::single: canvas.stroke(linesAt(positions, p, length, true), color, solid); break;
        case UnderlineStyle::dotted: {
            double dot = std::max(1.0, w);
            StrokeStyle dots = solid;
            dots.dashes = {dot, 2 * dot};
            dots.cap = StrokeStyle::Cap::round;
            canvas.stroke(linesAt(positions, p, length, false), color, dots);
            break;
        }
        case UnderlineStyle::dashed: {
            StrokeStyle dashes = solid;
            dashes.dashes = {std::max(2.0, 2 * w)};
            canvas.stroke(linesAt(positions, p, length, false), color, dashes);
            break;
        }
        case UnderlineStyle::double_:
            canvas.stroke(linesAt(positions, p, length, true), color, solid);
            canvas.stroke(linesAt(positions, p - (w + 1), length, true), color, solid);
            break;
        case UnderlineStyle::curly:
            canvas.stroke(curlsAt(positions, p, length, std::max(1.0, w), std::max(4.0, 4 * w), std::max(1.0, w)),
                          color, solid);
            break;
        }
    }

    if (attributes.strikethrough) {
        const platform::gfx::Font& font = attributes.font ? *attributes.font : *look_.fonts->normal;
        const double w = lineWidth(font.underlineThickness());
        const double y = (font.xHeight() + w) / 2;
        StrokeStyle style;
        style.width = w;
        canvas.stroke(linesAt(positions, y, length, true), attributes.strikethroughColor.value_or(fallback), style);
    }
    canvas.restore();
}

}  // namespace vantel
