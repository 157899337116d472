#include "vantel/view/CustomGlyphCache.h"

#include <algorithm>
#include <cmath>

#include "platform/gfx/HashCombine.h"

namespace vantel {

using platform::gfx::Canvas;
using platform::gfx::Point;
using platform::gfx::RasterGlyph;
using platform::gfx::Size;

namespace {

// Strokes may reach a little past the cell (diagonals by half a pixel, snapped blocks by one).
constexpr int margin = 2;

bool integral(double v) { return std::fabs(v - std::round(v)) < 1e-6; }

// For values from 0 to a few thousand.
uint32_t sixtyFourths(double v) { return static_cast<uint32_t>(v * 64 + 0.5); }

}  // namespace

CustomGlyphCache& CustomGlyphCache::shared() {
    static CustomGlyphCache cache;
    return cache;
}

size_t CustomGlyphCache::KeyHash::operator()(const Key& k) const {
    using platform::gfx::hashCombine;
    size_t h = hashCombine(0, uint64_t{k.codePoint} << 32 | static_cast<uint32_t>(k.variant));
    h = hashCombine(h, uint64_t{k.width64} << 32 | k.height64);
    return hashCombine(h, uint64_t{k.scale64} << 32 | uint64_t{static_cast<uint8_t>(k.kind)} << 16 |
                              uint64_t{k.fractionX} << 8 | k.fractionY);
}

std::optional<Point> CustomGlyphCache::plainOrigin(const Canvas& canvas) {
    const double s = canvas.scale();
    Point origin = canvas.userToDevice({0, 0}), unit = canvas.userToDevice({1, 1});
    const bool plain = std::fabs(unit.x - origin.x - s) < 1e-9 && std::fabs(origin.y - unit.y - s) < 1e-9 &&
                       integral(origin.x) && integral(origin.y);
    return plain ? std::optional(origin) : std::nullopt;
}

CustomGlyphCache::Placement CustomGlyphCache::place(Point deviceOrigin, double s, Kind kind, uint32_t codePoint,
                                                    int variant, Point cellOrigin, Size cellSize) {
    const Point topLeft{deviceOrigin.x + cellOrigin.x * s, deviceOrigin.y - (cellOrigin.y + cellSize.height) * s};
    if (!(std::fabs(topLeft.x) < 1e9 && std::fabs(topLeft.y) < 1e9) || !(cellSize.width > 0) ||
        !(cellSize.height > 0) || !(cellSize.width * s <= RasterGlyph::maxSide) ||
        !(cellSize.height * s <= RasterGlyph::maxSide)) {
        return {};
    }
    // The cell's corner within its pixel, to 1/64: the next pixel when it rounds up to a whole one.
    double pixelX = std::floor(topLeft.x), pixelY = std::floor(topLeft.y);
    uint32_t fractionX = sixtyFourths(topLeft.x - pixelX), fractionY = sixtyFourths(topLeft.y - pixelY);
    if (fractionX == 64) ++pixelX, fractionX = 0;
    if (fractionY == 64) ++pixelY, fractionY = 0;
    Placement placement;
    placement.valid = true;
    placement.key = Key{codePoint,
                        variant,
                        sixtyFourths(cellSize.width * s),
                        sixtyFourths(cellSize.height * s),
                        sixtyFourths(s),
                        static_cast<uint8_t>(fractionX),
                        static_cast<uint8_t>(fractionY),
                        kind};
    placement.pixelX = static_cast<int>(pixelX);
    placement.pixelY = static_cast<int>(pixelY);
    return placement;
}

const CustomGlyphCache::Entry& CustomGlyphCache::render(const Placement& placement, Size cellSize, double scale,
                                                        const std::function<void(Canvas&, Point)>& paint) {
    const double fractionX = placement.key.fractionX / 64.0, fractionY = placement.key.fractionY / 64.0;
    const int width = static_cast<int>(std::ceil(cellSize.width * scale + fractionX)) + 2 * margin;
    const int height = static_cast<int>(std::ceil(cellSize.height * scale + fractionY)) + 2 * margin;
    Canvas scratch({width / scale, height / scale}, scale);
    // The cell's top-left corner lands `margin` pixels (plus its fraction) inside the scratch canvas.
    const Point origin{(margin + fractionX) / scale,
                       scratch.size().height - (margin + fractionY) / scale - cellSize.height};
    paint(scratch, origin);

    int x0 = scratch.pixelWidth(), y0 = scratch.pixelHeight(), x1 = 0, y1 = 0;
    for (int y = 0; y < scratch.pixelHeight(); ++y) {
        for (int x = 0; x < scratch.pixelWidth(); ++x) {
            if ((scratch.pixel(x, y) >> 24) == 0) continue;
            x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x + 1), y1 = std::max(y1, y + 1);
        }
    }
    Entry entry;
    if (x1 > x0 && y1 > y0) {
        RasterGlyph& mask = entry.mask;
        mask.width = x1 - x0;
        mask.height = y1 - y0;
        mask.stride = (mask.width + 3) & ~3;
        mask.pixels.assign(static_cast<size_t>(mask.stride) * mask.height, 0);
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                mask.pixels[static_cast<size_t>(y - y0) * mask.stride + (x - x0)] =
                    static_cast<uint8_t>(scratch.pixel(x, y) >> 24);
            }
        }
        entry.dx = x0 - margin;
        entry.dy = y0 - margin;
    }
    const size_t bytes = entry.mask.pixels.size() + sizeof(Entry) + sizeof(Key);
    return entries_.insert(placement.key, std::move(entry), bytes);
}

}  // namespace vantel
