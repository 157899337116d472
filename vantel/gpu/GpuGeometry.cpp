#include "vantel/gpu/GpuGeometry.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vantel {

namespace {

float f(double v) { return static_cast<float>(v); }

bool usable(double v) { return std::isfinite(v) && std::fabs(v) < 1e7; }

}  // namespace

Float4 GpuGeometry::colorToSimd(platform::gfx::Rgba color) {
    return Float4{f(color.red), f(color.green), f(color.blue), f(color.alpha)};
}

GpuGeometry::Box GpuGeometry::transformRect(Mode mode, double pivotY, double x0, double y0, double x1, double y1) {
    if (mode != Mode::single) {
        x0 *= 2;
        x1 *= 2;
    }
    if (mode == Mode::doubledTop || mode == Mode::doubledDown) {
        y0 = pivotY + 2 * (y0 - pivotY);
        y1 = pivotY + 2 * (y1 - pivotY);
    }
    return Box{f(std::min(x0, x1)), f(std::min(y0, y1)), f(std::max(x0, x1)), f(std::max(y0, y1))};
}

std::optional<GpuGeometry::Quad> GpuGeometry::clip(const Quad& quad, const std::optional<ClipRect>& clip) {
    if (!clip) return quad;
    const float w = quad.x1 - quad.x0, h = quad.y1 - quad.y0;
    if (!(w > 0) || !(h > 0)) return std::nullopt;
    const float cx0 = std::max(quad.x0, clip->minX), cx1 = std::min(quad.x1, clip->maxX);
    const float cy0 = std::max(quad.y0, clip->minY), cy1 = std::min(quad.y1, clip->maxY);
    if (!(cx0 < cx1) || !(cy0 < cy1)) return std::nullopt;
    const float du = quad.uMax - quad.uMin, dv = quad.vMax - quad.vMin;
    return Quad{cx0,
                cy0,
                cx1,
                cy1,
                quad.uMin + (cx0 - quad.x0) / w * du,
                quad.vMin + (cy0 - quad.y0) / h * dv,
                quad.uMin + (cx1 - quad.x0) / w * du,
                quad.vMin + (cy1 - quad.y0) / h * dv};
}

std::optional<GpuGeometry::Box> GpuGeometry::clip(const Box& box, const std::optional<ClipRect>& clip) {
    if (!clip) return box;
    const Box cut{std::max(box.x0, clip->minX), std::max(box.y0, clip->minY), std::min(box.x1, clip->maxX),
                  std::min(box.y1, clip->maxY)};
    if (!(cut.x0 < cut.x1) || !(cut.y0 < cut.y1)) return std::nullopt;
    return cut;
}

std::optional<GpuGeometry::Box> GpuGeometry::snapped(const Box& box) {
    if (!usable(box.x0) || !usable(box.x1) || !usable(box.y0) || !usable(box.y1)) return std::nullopt;
    // The view fills in device pixels counted from the top, taking a pixel whose centre lies at or
    // past the top edge and before the bottom edge; counted from the bottom that turns around.
    const Box snapped{std::ceil(box.x0 - 0.5f), std::floor(box.y0 + 0.5f), std::ceil(box.x1 - 0.5f),
                      std::floor(box.y1 + 0.5f)};
    if (!(snapped.x0 < snapped.x1) || !(snapped.y0 < snapped.y1)) return std::nullopt;
    return snapped;
}

void GpuGeometry::appendSolid(const Box& box, Float4 color, std::vector<ColorCell>& out) {
    if (auto pixels = snapped(box)) {
        out.push_back(ColorCell{{pixels->x0, pixels->y0}, {pixels->x1 - pixels->x0, pixels->y1 - pixels->y0}, color});
    }
}

void GpuGeometry::appendUnderlineSegments(double x0, double x1, double yCenter, double thickness, Float4 color,
                                          UnderlineStyle style, double patternScale, Mode mode, double pivotY,
                                          const std::optional<ClipRect>& clipRect, std::vector<ColorCell>& out) {
    if (!usable(x0) || !usable(x1) || !usable(yCenter) || !usable(thickness) || !usable(patternScale)) return;
    const double t = thickness, h = t / 2, m = std::max(t, patternScale);
    auto add = [&](double ax0, double ay0, double ax1, double ay1) {
        if (auto cut = clip(transformRect(mode, pivotY, ax0, ay0, ax1, ay1), clipRect)) appendSolid(*cut, color, out);
    };
    switch (style) {
    case UnderlineStyle::none:
        return;
    case UnderlineStyle::single:
    case UnderlineStyle::double_:
        add(x0, yCenter - h, x1, yCenter + h);
        return;
    case UnderlineStyle::curly: {
        if (x1 <= x0 || !(m > 0)) return;
        for (double x = x0; x < x1;) {
            const double end = std::min(x1, x + m);
            const double centre = yCenter + m * std::sin(2 * std::numbers::pi * (x - x0) / (4 * m));
            add(x, centre - h, end, centre + h);
            x = end;
        }
        return;
    }
    case UnderlineStyle::dotted:
    case UnderlineStyle::dashed: {
        if (x1 <= x0 || !(m > 0)) return;
        const double dash = style == UnderlineStyle::dotted ? m : 2 * m;
        const double period = style == UnderlineStyle::dotted ? 3 * m : 4 * m;
        for (double x = x0; x < x1; x += period) add(x, yCenter - h, std::min(x1, x + dash), yCenter + h);
        return;
    }
    }
}

std::optional<ImageDraw> GpuGeometry::imageDraw(std::shared_ptr<platform::gpu::Texture> texture,
                                                const platform::gfx::Rect& rect, const platform::gfx::Rect& uv,
                                                Mode mode, const std::optional<ClipRect>& clipRect, double pivotY,
                                                double scale) {
    if (!texture || !usable(rect.x) || !usable(rect.y) || !usable(rect.width) || !usable(rect.height)) {
        return std::nullopt;
    }
    const Box box =
        transformRect(mode, pivotY, rect.minX() * scale, rect.minY() * scale, rect.maxX() * scale, rect.maxY() * scale);
    Quad quad{box.x0, box.y0, box.x1, box.y1, f(uv.minX()), f(uv.minY()), f(uv.maxX()), f(uv.maxY())};
    const std::optional<Quad> cut = clip(quad, clipRect);
    if (!cut) return std::nullopt;
    ImageDraw draw{std::move(texture), {}};
    const Float4 white{1, 1, 1, 1};
    const GlyphVertex corners[6] = {
        {{cut->x0, cut->y0}, {cut->uMin, cut->vMin}, white}, {{cut->x1, cut->y0}, {cut->uMax, cut->vMin}, white},
        {{cut->x0, cut->y1}, {cut->uMin, cut->vMax}, white}, {{cut->x1, cut->y0}, {cut->uMax, cut->vMin}, white},
        {{cut->x1, cut->y1}, {cut->uMax, cut->vMax}, white}, {{cut->x0, cut->y1}, {cut->uMin, cut->vMax}, white},
    };
    std::copy(std::begin(corners), std::end(corners), draw.vertices.begin());
    return draw;
}

void GpuGeometry::appendRect(const Box& box, Float4 color, std::vector<ColorVertex>& out) {
    const ColorVertex corners[6] = {
        {{box.x0, box.y0}, {}, color}, {{box.x1, box.y0}, {}, color}, {{box.x0, box.y1}, {}, color},
        {{box.x1, box.y0}, {}, color}, {{box.x1, box.y1}, {}, color}, {{box.x0, box.y1}, {}, color},
    };
    out.insert(out.end(), std::begin(corners), std::end(corners));
}

void GpuGeometry::appendQuad(const Quad& q, Float4 color, std::vector<GlyphVertex>& out) {
    const GlyphVertex corners[6] = {
        {{q.x0, q.y0}, {q.uMin, q.vMin}, color}, {{q.x1, q.y0}, {q.uMax, q.vMin}, color},
        {{q.x0, q.y1}, {q.uMin, q.vMax}, color}, {{q.x1, q.y0}, {q.uMax, q.vMin}, color},
        {{q.x1, q.y1}, {q.uMax, q.vMax}, color}, {{q.x0, q.y1}, {q.uMin, q.vMax}, color},
    };
    out.insert(out.end(), std::begin(corners), std::end(corners));
}

TextCell GpuGeometry::textCell(const Quad& q, Float4 color) {
    return TextCell{
        {q.x0, q.y0}, {q.x1 - q.x0, q.y1 - q.y0}, {q.uMin, q.vMin}, {q.uMax - q.uMin, q.vMax - q.vMin}, color};
}

void GpuGeometry::appendCoverage(std::span<const Box> boxes, Float4 color, std::vector<ColorVertex>& out) {
    if (boxes.empty()) return;
    float minX = boxes[0].x0, minY = boxes[0].y0, maxX = boxes[0].x1, maxY = boxes[0].y1;
    for (const Box& b : boxes) {
        if (!usable(b.x0) || !usable(b.y0) || !usable(b.x1) || !usable(b.y1)) return;
        minX = std::min(minX, b.x0), minY = std::min(minY, b.y0);
        maxX = std::max(maxX, b.x1), maxY = std::max(maxY, b.y1);
    }
    const int px0 = static_cast<int>(std::floor(minX)), py0 = static_cast<int>(std::floor(minY));
    const int width = static_cast<int>(std::ceil(maxX)) - px0, height = static_cast<int>(std::ceil(maxY)) - py0;
    if (width <= 0 || height <= 0) return;
    // A cursor covers a cell or two; anything far larger is drawn as it is.
    if (static_cast<int64_t>(width) * height > (1 << 20)) {
        for (const Box& b : boxes) {
            if (b.x0 < b.x1 && b.y0 < b.y1) appendRect(b, color, out);
        }
        return;
    }
    std::vector<float> area(static_cast<size_t>(width) * height, 0.0f);
    for (const Box& b : boxes) {
        for (int y = static_cast<int>(std::floor(b.y0)); y < b.y1; ++y) {
            const float dy = std::min(b.y1, float(y + 1)) - std::max(b.y0, float(y));
            if (!(dy > 0)) continue;
            for (int x = static_cast<int>(std::floor(b.x0)); x < b.x1; ++x) {
                const float dx = std::min(b.x1, float(x + 1)) - std::max(b.x0, float(x));
                if (dx > 0) area[static_cast<size_t>(y - py0) * width + (x - px0)] += dx * dy;
            }
        }
    }
    // The view's rasteriser counts coverage in 256ths, 256 standing for full.
    std::vector<uint8_t> level(area.size());
    for (size_t i = 0; i < area.size(); ++i) {
        level[i] = static_cast<uint8_t>(std::clamp(std::lround(area[i] * 256.0f), 0L, 255L));
    }
    auto sameRow = [&](int a, int b) {
        return std::equal(level.begin() + a * width, level.begin() + (a + 1) * width, level.begin() + b * width);
    };
    for (int y = 0; y < height;) {
        int next = y + 1;
        while (next < height && sameRow(y, next)) ++next;
        const uint8_t* row = level.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width;) {
            int end = x + 1;
            while (end < width && row[end] == row[x]) ++end;
            if (row[x] > 0) {
                Float4 c = color;
                c.w = color.w * (row[x] / 255.0f);
                appendRect(Box{float(px0 + x), float(py0 + y), float(px0 + end), float(py0 + next)}, c, out);
            }
            x = end;
        }
        y = next;
    }
}

}  // namespace vantel
