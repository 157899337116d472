#include "platform/ui/LayerDrawing.h"

#include <array>
#include <cmath>
#include <list>
#include <tuple>

#include "platform/gfx/BoxBlur.h"

namespace platform::ui {

namespace {

struct ShadowPieces {
    // Device pixels: the reach of the blur beyond the shape, and the corner zone inside it.
    int extent = 0, corner = 0;
    // Rows top, middle, bottom; columns left, middle, right.
    std::array<gfx::Image, 9> pieces;
};

gfx::Image crop(const gfx::Image& image, int x, int y, int w, int h) {
    gfx::Image out;
    out.width = w;
    out.height = h;
    out.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    for (int row = 0; row < h; ++row) {
        for (int col = 0; col < w; ++col) {
            out.pixels[static_cast<size_t>(row * w + col)] = image.pixels[static_cast<size_t>((y + row) * image.width + x + col)];
        }
    }
    return out;
}

// The blurred shape of `width` × `height` device pixels with `extent` pixels of room around it.
gfx::Image blurredShape(int width, int height, int extent, double cornerRadius, int boxRadius, gfx::Rgba color) {
    gfx::Canvas canvas(gfx::Size{double(width + 2 * extent), double(height + 2 * extent)}, 1);
    canvas.fill(roundedRectPath(gfx::Rect{double(extent), double(extent), double(width), double(height)}, cornerRadius),
                color);
    gfx::Image image = canvas.image();
    gfx::boxBlur(image, boxRadius, 3);
    return image;
}

const ShadowPieces& piecesFor(int cornerPixels, int boxRadius, gfx::Rgba color) {
    using Key = std::tuple<int, int, uint32_t>;
    static std::list<std::pair<Key, ShadowPieces>> cache;
    const Key key{cornerPixels, boxRadius, color.premultipliedArgb()};
    for (auto it = cache.begin(); it != cache.end(); ++it) {
        if (it->first == key) {
            cache.splice(cache.begin(), cache, it);
            return cache.front().second;
        }
    }
    ShadowPieces p;
    p.extent = 3 * boxRadius;
    p.corner = cornerPixels + p.extent;
    const int side = 2 * p.corner + 1;
    const gfx::Image full = blurredShape(side, side, p.extent, cornerPixels, boxRadius, color);
    const int outer = p.extent + p.corner;
    const int xs[3] = {0, outer, outer + 1}, ws[3] = {outer, 1, outer};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) p.pieces[size_t(row * 3 + col)] = crop(full, xs[col], xs[row], ws[col], ws[row]);
    }
    cache.emplace_front(key, std::move(p));
    if (cache.size() > 24) cache.pop_back();
    return cache.front().second;
}

}  // namespace

gfx::Path roundedRectPath(const gfx::Rect& rect, double radius) {
    gfx::Path path;
    if (radius > 0) {
        path.addRoundedRect(rect, radius);
    } else {
        path.addRect(rect);
    }
    return path;
}

void drawShadow(gfx::Canvas& canvas, const gfx::Rect& shape, double cornerRadius, double radius, gfx::Rgba color,
                const std::optional<gfx::Rect>& within) {
    if (shape.isEmpty() || !(color.alpha > 0)) return;
    const double s = canvas.scale();
    const double corner = std::max(0.0, std::min(cornerRadius, std::min(shape.width, shape.height) / 2));
    const int cornerPixels = static_cast<int>(std::ceil(corner * s));
    const int boxRadius = std::max(1, static_cast<int>(std::lround(radius * s / 2)));
    if (radius <= 0) {
        canvas.fill(roundedRectPath(shape, cornerRadius), color);
        return;
    }
    const ShadowPieces& p = piecesFor(cornerPixels, boxRadius, color);
    const double e = p.extent / s, c = p.corner / s;
    if (shape.width < 2 * c || shape.height < 2 * c) {
        // Too small for the pieces: the whole shape blurred at its own size.
        const int w = std::max(1, static_cast<int>(std::lround(shape.width * s)));
        const int h = std::max(1, static_cast<int>(std::lround(shape.height * s)));
        const gfx::Image whole = blurredShape(w, h, p.extent, cornerPixels, boxRadius, color);
        canvas.drawImage(whole, gfx::Rect{shape.x - e, shape.y - e, shape.width + 2 * e, shape.height + 2 * e});
        return;
    }
    // Columns left to right, rows top to bottom (y up: the top row is at maxY).
    const double xs[3] = {shape.x - e, shape.x + c, shape.maxX() - c};
    const double ws[3] = {e + c, shape.width - 2 * c, e + c};
    const double ys[3] = {shape.maxY() - c, shape.y + c, shape.y - e};
    const double hs[3] = {e + c, shape.height - 2 * c, e + c};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            if (ws[col] <= 0 || hs[row] <= 0) continue;
            const gfx::Rect piece{xs[col], ys[row], ws[col], hs[row]};
            if (within && !piece.intersects(*within)) continue;
            canvas.drawImage(p.pieces[size_t(row * 3 + col)], piece);
        }
    }
}

}  // namespace platform::ui
