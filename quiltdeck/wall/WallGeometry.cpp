#include "quiltdeck/wall/WallGeometry.h"

#include <algorithm>
#include <cmath>

namespace quiltdeck {

namespace {

// A whole index in 0…last; a point that is not a number counts as 0.
size_t clampedIndex(double value, size_t last) {
    if (std::isnan(value) || value <= 0) return 0;
    const double truncated = std::trunc(value);
    return truncated >= static_cast<double>(last) ? last : static_cast<size_t>(truncated);
}

}  // namespace

size_t WallGeometry::columns(size_t count) {
    if (count <= 1) return 1;
    if (count <= 4) return 2;
    if (count <= 9) return 3;
    if (count <= 16) return 4;
    return 5;
}

size_t WallGeometry::rows(size_t count) {
    const size_t c = columns(count);
    return count == 0 ? 0 : (count + c - 1) / c;
}

WallGeometry::Rect WallGeometry::barFrame() const {
    return Rect{0, barHidden ? barParkedY : top, width, barHeight};
}

WallGeometry::Rect WallGeometry::tabBarFrame() const {
    return Rect{0, barHidden ? tabBarParkedY : top + barHeight, width, tabBarHeight};
}

double WallGeometry::gridHeight() const { return std::max(0.0, height - gridTop()); }

WallGeometry::Size WallGeometry::cell() const {
    if (count == 0) return {};
    const double c = static_cast<double>(columns(count)), r = static_cast<double>(rows(count));
    const double w = (width - gap * (c + 1)) / c, h = (gridHeight() - gap * (r + 1)) / r;
    return {std::isfinite(w) ? std::max(w, 0.0) : 0.0, std::isfinite(h) ? std::max(h, 0.0) : 0.0};
}

WallGeometry::Rect WallGeometry::slotFrame(size_t slot) const {
    const size_t c = columns(count);
    const Size size = cell();
    const double column = static_cast<double>(slot % c), row = static_cast<double>(slot / c);
    return Rect{gap + column * (size.width + gap), gridTop() + gap + row * (size.height + gap), size.width,
                size.height};
}

WallGeometry::Rect WallGeometry::zoomFrame(double scale) const {
    const double h = gridHeight();
    const double zw = std::max(0.0, std::min(width * zoomWidthShare * scale, width - zoomMargin));
    const double zh = std::max(0.0, std::min(h * zoomHeightShare * scale, h - zoomMargin));
    return Rect{(width - zw) * 0.5, gridTop() + (h - zh) * 0.5, zw, zh};
}

std::optional<size_t> WallGeometry::slotIndex(Point p) const {
    if (count == 0) return std::nullopt;
    const size_t c = columns(count), r = rows(count);
    const Size size = cell();
    // Cells are never negative, so the pitch is at least the gap.
    const double columnPitch = size.width + gap, rowPitch = size.height + gap;
    const size_t column = clampedIndex((p.x - gap) / columnPitch, c - 1);
    const size_t row = clampedIndex((p.y - gridTop() - gap) / rowPitch, r - 1);
    return std::min(row * c + column, count - 1);
}

std::optional<double> WallGeometry::gripScale(Point corner, Point centre) const {
    const double fullWidth = width * zoomWidthShare, fullHeight = gridHeight() * zoomHeightShare;
    if (!(fullWidth > 0) || !(fullHeight > 0)) return std::nullopt;
    const double wantedWidth = std::max(2 * (corner.x - centre.x), zoomMinimumWidth);
    const double wantedHeight = std::max(2 * (corner.y - centre.y), zoomMinimumHeight);
    const double scale = std::max(wantedWidth / fullWidth, wantedHeight / fullHeight);
    if (!std::isfinite(scale)) return std::nullopt;
    return scale;
}

WallGeometry::Rect WallGeometry::emptyCardFrame(double contentHeight) const {
    const double h = gridHeight();
    const double eh = std::isfinite(contentHeight) ? std::ceil(std::max(contentHeight, 0.0)) : 0.0;
    const double y = gridTop() + std::max(emptyMinimumTop, (h - eh) * 0.5 - emptyLift);
    return Rect{emptyLeft, y, std::max(0.0, emptyCardWidth()), eh};
}

}  // namespace quiltdeck
