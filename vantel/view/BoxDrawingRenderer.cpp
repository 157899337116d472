#include "vantel/view/BoxDrawingRenderer.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "vantel/view/CustomGlyphCache.h"
#include "vantel/view/generated/BoxDrawingLines.h"

namespace vantel {

using platform::gfx::Canvas;
using platform::gfx::Path;
using platform::gfx::Point;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::gfx::Size;
using Corner = BoxDrawingRenderer::Corner;
using LineKind = BoxDrawingRenderer::LineKind;

namespace {

constexpr LineKind none = BoxDrawingRenderer::none, light = BoxDrawingRenderer::light,
                   heavy = BoxDrawingRenderer::heavy, double_ = BoxDrawingRenderer::double_;

// Whole pixels of a length far beyond any cell are limited, so the integer arithmetic below stays
// in range.
int roundedPixels(double value) { return static_cast<int>(std::clamp(std::round(value), -1e6, 1e6)); }

// One cell being drawn. Pixel coordinates run from the cell's top-left corner, x to the right and
// y downwards.
struct BoxDrawingCanvas {
    Canvas& canvas;
    Rgba color;
    double originX, originY;  // the cell's bottom-left corner, in points
    int widthPx, heightPx;
    double scale;
    double width, height;  // the cell in points
    int scaleInt;

    void box(int x0, int y0, int x1, int y1) const {
        x0 = std::clamp(x0, 0, widthPx);
        x1 = std::clamp(x1, 0, widthPx);
        y0 = std::clamp(y0, 0, heightPx);
        y1 = std::clamp(y1, 0, heightPx);
        if (x1 <= x0 || y1 <= y0) return;
        canvas.fill(Rect{originX + x0 / scale, originY + height - y1 / scale, (x1 - x0) / scale, (y1 - y0) / scale},
                    color);
    }
    void hline(int x1, int x2, int y, int thickness) const { box(x1, y, x2, y + thickness); }
    void vline(int y1, int y2, int x, int thickness) const { box(x, y1, x + thickness, y2); }
};

LineKind arm(BoxDrawingRenderer::Lines lines, int shift) { return static_cast<LineKind>((lines >> shift) & 0xFF); }

// The stops of the arms crossing a pair of perpendicular arms (a, b): where the crossing arms end
// so that they join the band of the pair.
std::pair<int, int> stops(LineKind a, LineKind b, LineKind crossA, LineKind crossB, int light0, int light1, int heavy0,
                          int heavy1, int double0, int double1) {
    if (a == heavy || b == heavy) return {heavy0, heavy1};
    if (a == b && crossA != crossB) return a == none ? std::pair{light0, light1} : std::pair{light1, light0};
    if (a == double_ || b == double_) return {double0, double1};
    return {light0, light1};
}

void linesChar(BoxDrawingRenderer::Lines lines, const BoxDrawingCanvas& c, int baseThicknessPx) {
    const int W = c.widthPx, H = c.heightPx;
    const int t = std::max({1, baseThicknessPx, c.scaleInt});
    const int yL0 = std::max(0, H - t) / 2, yL1 = std::min(yL0 + t, H);
    const int yH0 = std::max(0, H - 2 * t) / 2, yH1 = std::min(yH0 + 2 * t, H);
    const int yD0 = std::max(0, yL0 - t), yD1 = std::min(yL1 + t, H);
    const int xL0 = std::max(0, W - t) / 2, xL1 = std::min(xL0 + t, W);
    const int xH0 = std::max(0, W - 2 * t) / 2, xH1 = std::min(xH0 + 2 * t, W);
    const int xD0 = std::max(0, xL0 - t), xD1 = std::min(xL1 + t, W);
    const LineKind up = arm(lines, 0), right = arm(lines, 8), down = arm(lines, 16), left = arm(lines, 24);

    const auto [sTop, sBottom] = stops(left, right, up, down, yL0, yL1, yH0, yH1, yD0, yD1);
    const auto [sLeft, sRight] = stops(up, down, left, right, xL0, xL1, xH0, xH1, xD0, xD1);

    switch (up) {
        case light: c.box(xL0, 0, xL1, sBottom); break;
        case heavy: c.box(xH0, 0, xH1, sBottom); break;
        case double_:
            c.box(xD0, 0, xL0, left == double_ ? yL0 : sBottom);
            c.box(xL1, 0, xD1, right == double_ ? yL0 : sBottom);
            break;
        case none: break;
    }
    switch (right) {
        case light: c.box(sLeft, yL0, W, yL1); break;
        case heavy: c.box(sLeft, yH0, W, yH1); break;
        case double_:
            c.box(up == double_ ? xL1 : sLeft, yD0, W, yL0);
            c.box(down == double_ ? xL1 : sLeft, yL1, W, yD1);
            break;
        case none: break;
    }
    switch (down) {
        case light: c.box(xL0, sTop, xL1, H); break;
        case heavy: c.box(xH0, sTop, xH1, H); break;
        case double_:
            c.box(xD0, left == double_ ? yL1 : sTop, xL0, H);
            c.box(xL1, right == double_ ? yL1 : sTop, xD1, H);
            break;
        case none: break;
    }
    switch (left) {
        case light: c.box(0, yL0, sRight, yL1); break;
        case heavy: c.box(0, yH0, sRight, yH1); break;
        case double_:
            c.box(0, yD0, up == double_ ? xL0 : sRight, yL0);
            c.box(0, yL1, down == double_ ? xL0 : sRight, yD1);
            break;
        case none: break;
    }
}

// Dashes along one axis: `length` pixels long, `across` pixels wide. The horizontal ones start
// half a gap in, the vertical ones at the top edge.
void dashes(bool horizontal, int count, int thickness, int desiredGap, const BoxDrawingCanvas& c, int baseThicknessPx) {
    if (count < 2 || count > 4) return;
    const int length = horizontal ? c.widthPx : c.heightPx;
    const int across = horizontal ? c.heightPx : c.widthPx;
    auto line = [&](int from, int to, int at, int t) {
        if (horizontal) {
            c.hline(from, to, at, t);
        } else {
            c.vline(from, to, at, t);
        }
    };
    if (length < 2 * count) {
        // Too small for gaps: one solid line.
        const int t = std::max(1, baseThicknessPx);
        line(0, length, std::max(0, across - t) / 2, t);
        return;
    }
    const int gap = std::min(length / (2 * count), desiredGap);
    const int rest = length - count * gap;
    const int dash = rest / count;
    int extra = rest % count;
    const int at = std::max(0, across - thickness) / 2;
    int position = horizontal ? gap / 2 : 0;
    for (int i = 0; i < count; ++i) {
        int end = position + dash;
        if (extra > 0) {
            ++end;
            --extra;
        }
        line(position, end, at, thickness);
        position = end + gap;
    }
}

void arc(Corner corner, int thicknessPx, const BoxDrawingCanvas& c) {
    const int W = c.widthPx, H = c.heightPx;
    const int T = std::max(1, thicknessPx);
    const int xL = std::max(0, W - T) / 2, yL = std::max(0, H - T) / 2;
    const double h = T / 2.0;
    const double cx = xL + h, cy = yL + h;
    const double m = std::min(W, H);
    const double r = std::min(0.3 * m, std::max(0.0, 0.5 * m - h));
    const int yA = std::clamp(static_cast<int>(std::ceil(cy - r)), 0, H);
    const int yB = std::clamp(static_cast<int>(std::floor(cy + r)), 0, H);
    const int xA = std::clamp(static_cast<int>(std::ceil(cx - r)), 0, W);
    const int xB = std::clamp(static_cast<int>(std::floor(cx + r)), 0, W);

    const bool up = corner == Corner::upLeft || corner == Corner::upRight;
    const bool left = corner == Corner::upLeft || corner == Corner::downLeft;
    if (up) {
        c.vline(0, yA, xL, T);
    } else {
        c.vline(yB, H, xL, T);
    }
    if (left) {
        c.hline(0, xA, yL, T);
    } else {
        c.hline(xB, W, yL, T);
    }
    if (h + r <= 0) return;

    const double ax = left ? cx - r : cx + r;
    const double ay = up ? cy - r : cy + r;
    Canvas& canvas = c.canvas;
    canvas.save();
    // Units become the cell's pixels, y downwards from its top-left corner.
    canvas.translate(c.originX, c.originY + c.height);
    canvas.scaleBy(1 / c.scale, -1 / c.scale);
    canvas.setAntialias(true);
    // The quarter of the plane around the arc's centre that faces the cell's centre.
    const double toLeft = ax, toRight = std::max(0.0, W - ax), above = ay, below = std::max(0.0, H - ay);
    switch (corner) {
        case Corner::downRight: canvas.clip(Rect{0, 0, toLeft, above}); break;
        case Corner::downLeft: canvas.clip(Rect{ax, 0, toRight, above}); break;
        case Corner::upRight: canvas.clip(Rect{0, ay, toLeft, below}); break;
        case Corner::upLeft: canvas.clip(Rect{ax, ay, toRight, below}); break;
    }
    const double outer = r + h, inner = std::max(0.0, r - h);
    Path path;
    auto circle = [&](double radius) {
        path.moveTo({ax + radius, ay});
        path.arc({ax, ay}, radius, 0, 2 * std::numbers::pi);
        path.close();
    };
    circle(outer);
    if (inner > 0) {
        // A ring of width T.
        circle(inner);
        canvas.fill(path, c.color, Canvas::FillRule::evenOdd);
    } else {
        canvas.fill(path, c.color);
    }
    canvas.restore();
}

// U+2571 (rising) and U+2572 (falling); each end reaches half a pixel step past its corner, so
// diagonals of neighbouring cells meet.
void diagonal(bool rising, int thicknessPx, const BoxDrawingCanvas& c) {
    const double W = c.widthPx, H = c.heightPx, s = c.scale;
    const double dx = std::min(1.0, W / H), dy = std::min(1.0, H / W);
    int w = std::max(thicknessPx, c.scaleInt);
    if (w >= 2) ++w;
    const double top = c.originY + c.height;
    const double rightX = c.originX + (W + dx / 2) / s, leftX = c.originX - (dx / 2) / s;
    const double topY = top + (dy / 2) / s, bottomY = top - (H + dy / 2) / s;
    Path path;
    if (rising) {
        path.moveTo({rightX, topY});
        path.lineTo({leftX, bottomY});
    } else {
        path.moveTo({leftX, topY});
        path.lineTo({rightX, bottomY});
    }
    c.canvas.save();
    c.canvas.setAntialias(true);
    platform::gfx::StrokeStyle style;
    style.width = w / s;
    style.cap = platform::gfx::StrokeStyle::Cap::butt;
    c.canvas.stroke(path, c.color, style);
    c.canvas.restore();
}

struct Dash {
    bool horizontal;
    int count;
    bool heavy;
    enum class Gap : uint8_t { atLeastFour, lightThickness, heavyThickness } gap;
};

std::optional<Dash> dashFor(uint32_t codePoint) {
    using enum Dash::Gap;
    switch (codePoint) {
        case 0x2504: return Dash{true, 3, false, atLeastFour};
        case 0x2505: return Dash{true, 3, true, atLeastFour};
        case 0x2506: return Dash{false, 3, false, atLeastFour};
        case 0x2507: return Dash{false, 3, true, atLeastFour};
        case 0x2508: return Dash{true, 4, false, atLeastFour};
        case 0x2509: return Dash{true, 4, true, atLeastFour};
        case 0x250A: return Dash{false, 4, false, atLeastFour};
        case 0x250B: return Dash{false, 4, true, atLeastFour};
        case 0x254C: return Dash{true, 2, false, lightThickness};
        case 0x254D: return Dash{true, 2, true, heavyThickness};
        case 0x254E: return Dash{false, 2, false, heavyThickness};
        case 0x254F: return Dash{false, 2, true, heavyThickness};
        default: return std::nullopt;
    }
}

}  // namespace

void BoxDrawingRenderer::draw(uint32_t codePoint, Canvas& canvas, Point cellOrigin, Size cellSize, double scale,
                              Rgba color, int baseThicknessPx) {
    if (codePoint < first || codePoint > last) return;
    if (!(std::isfinite(scale) && scale > 0) || !std::isfinite(cellSize.width) || !std::isfinite(cellSize.height) ||
        !std::isfinite(cellOrigin.x) || !std::isfinite(cellOrigin.y)) {
        return;
    }
    BoxDrawingCanvas c{canvas,
                       color,
                       cellOrigin.x,
                       cellOrigin.y,
                       std::max(1, roundedPixels(cellSize.width * scale)),
                       std::max(1, roundedPixels(cellSize.height * scale)),
                       scale,
                       cellSize.width,
                       cellSize.height,
                       std::max(1, roundedPixels(scale))};
    const int lightPx = std::max(baseThicknessPx, c.scaleInt);
    const int heavyPx = 2 * lightPx;

    if (const auto dash = dashFor(codePoint)) {
        const int gap = dash->gap == Dash::Gap::atLeastFour      ? std::max(4, lightPx)
                        : dash->gap == Dash::Gap::lightThickness ? lightPx
                                                                 : heavyPx;
        dashes(dash->horizontal, dash->count, dash->heavy ? heavyPx : lightPx, gap, c, baseThicknessPx);
        return;
    }
    switch (codePoint) {
        case 0x256D: arc(Corner::downRight, lightPx, c); return;
        case 0x256E: arc(Corner::downLeft, lightPx, c); return;
        case 0x256F: arc(Corner::upLeft, lightPx, c); return;
        case 0x2570: arc(Corner::upRight, lightPx, c); return;
        case 0x2571: diagonal(true, lightPx, c); return;
        case 0x2572: diagonal(false, lightPx, c); return;
        case 0x2573:
            diagonal(true, lightPx, c);
            diagonal(false, lightPx, c);
            return;
        default: linesChar(boxDrawingLines[codePoint - first], c, baseThicknessPx); return;
    }
}

int BoxDrawingRenderer::baseThicknessPx(double underlineThickness, double scale) {
    const double fromFont = std::isfinite(underlineThickness) ? underlineThickness * scale * 1.35 : 0;
    return std::max({1, roundedPixels(scale), roundedPixels(fromFont)});
}

void BoxDrawingRenderer::drawItems(std::span<const BoxDrawingRenderItem> items, Point lineOrigin, Size cellSize,
                                   double scale, int baseThicknessPx, Canvas& canvas) {
    if (items.empty() || !(std::isfinite(scale) && scale > 0)) return;
    canvas.save();
    canvas.setAntialias(false);
    // Cells on whole device pixels from the row's origin, so neighbours meet without a seam.
    const int cellWidthPx = std::max(1, roundedPixels(cellSize.width * scale));
    const int cellHeightPx = std::max(1, roundedPixels(cellSize.height * scale));
    const int originXPx = roundedPixels(lineOrigin.x * scale);
    const double originY = roundedPixels(lineOrigin.y * scale) / scale;
    const std::optional<Point> plain =
        scale == canvas.scale() ? CustomGlyphCache::plainOrigin(canvas) : std::nullopt;
    for (const BoxDrawingRenderItem& item : items) {
        Rgba color = item.foregroundColor;
        color.alpha = std::clamp(color.alpha, 0.0, 1.0);
        const Point cellOrigin{(item.column * cellWidthPx + originXPx) / scale, originY};
        const Size size{item.columnWidth * cellWidthPx / scale, cellHeightPx / scale};
        if (!plain) {
            draw(item.codePoint, canvas, cellOrigin, size, scale, color, baseThicknessPx);
            continue;
        }
        CustomGlyphCache::shared().draw(canvas, *plain, CustomGlyphCache::Kind::boxDrawing, item.codePoint, baseThicknessPx,
                                        cellOrigin, size, color, [&](Canvas& target, Point origin) {
                                            target.setAntialias(false);
                                            draw(item.codePoint, target, origin, size, scale, Rgba{1, 1, 1, 1},
                                                 baseThicknessPx);
                                        });
    }
    canvas.restore();
}

}  // namespace vantel
