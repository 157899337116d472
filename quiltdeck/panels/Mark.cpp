#include "quiltdeck/panels/Mark.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/gfx/Font.h"
#include "platform/gfx/PngEncoder.h"
#include "platform/gfx/Shaper.h"
#include "quiltdeck/shell/DurableFile.h"

namespace quiltdeck {

using platform::gfx::Canvas;
using platform::gfx::Path;
using platform::gfx::Point;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::gfx::StrokeStyle;

namespace {

constexpr std::array<std::string_view, 4> rawValues = {"chevrons", "tiles", "dots", "converge"};

void addRoundedRect(Path& path, const Rect& r, double radius) {
    radius = std::clamp(radius, 0.0, std::min(r.width, r.height) / 2);
    constexpr double quarter = M_PI / 2;
    path.moveTo({r.x + radius, r.y});
    path.arc({r.x + r.width - radius, r.y + radius}, radius, -quarter, 0);
    path.arc({r.x + r.width - radius, r.y + r.height - radius}, radius, 0, quarter);
    path.arc({r.x + radius, r.y + r.height - radius}, radius, quarter, 2 * quarter);
    path.arc({r.x + radius, r.y + radius}, radius, 2 * quarter, 3 * quarter);
    path.close();
}

void addCircle(Path& path, Point center, double radius) {
    path.moveTo({center.x + radius, center.y});
    path.arc(center, radius, 0, 2 * M_PI);
    path.close();
}

// Grid points and lengths of a mark of one size.
struct Grid {
    double margin;
    double unit;
    explicit Grid(double size) : margin(0.2 * size), unit((size - 2 * margin) / 40) {}
    Point point(double x, double y) const { return {margin + x * unit, margin + y * unit}; }
    double length(double l) const { return l * unit; }
    Rect rect(double x, double y, double w, double h) const {
        const Point origin = point(x, y);
        return {origin.x, origin.y, length(w), length(h)};
    }
};

void drawChevrons(Canvas& canvas, const Grid& grid, Rgba ink) {
    StrokeStyle style;
    style.width = grid.length(6.2);
    style.cap = StrokeStyle::Cap::round;
    style.join = StrokeStyle::Join::round;
    for (double x : {2.0, 13.0}) {
        Path chevron;
        chevron.moveTo(grid.point(x, 31));
        chevron.lineTo(grid.point(x + 9, 20));
        chevron.lineTo(grid.point(x, 9));
        canvas.stroke(chevron, ink, style);
    }
    Path cursor;
    addRoundedRect(cursor, grid.rect(28, 8.5, 10, 7), grid.length(1.6));
    canvas.fill(cursor, ink);
}

void drawTiles(Canvas& canvas, const Grid& grid, Rgba ink, std::optional<Rgba> ground) {
    Path small;
    for (const Point origin : {Point{0, 24}, Point{24, 24}, Point{24, 0}})
        addRoundedRect(small, grid.rect(origin.x, origin.y, 16, 16), grid.length(3.4));
    canvas.fill(small, ink);
    if (ground) {
        // A gap around the large tile where it overlaps its neighbours.
        Path gap;
        addRoundedRect(gap, grid.rect(-1.2, -1.2, 28.4, 28.4), grid.length(6.2));
        canvas.fill(gap, *ground);
    }
    Path large;
    addRoundedRect(large, grid.rect(1, 1, 24, 24), grid.length(5));
    canvas.fill(large, ink);
    // Without a ground the cursor would be painted in the clear colour, which leaves the tile solid.
    if (ground) {
        Path cursor;
        addRoundedRect(cursor, grid.rect(7, 9, 5, 8), grid.length(1.2));
        canvas.fill(cursor, *ground);
    }
}

void drawDots(Canvas& canvas, const Grid& grid, Rgba ink) {
    Path dots;
    for (const Point center : {Point{6, 6}, Point{20, 6}, Point{34, 6}, Point{6, 20}, Point{34, 20}, Point{6, 34},
                               Point{20, 34}, Point{34, 34}})
        addCircle(dots, grid.point(center.x, center.y), grid.length(3.6));
    addRoundedRect(dots, grid.rect(15, 16, 10, 8), grid.length(1.6));
    canvas.fill(dots, ink, Canvas::FillRule::winding);
}

void drawConverge(Canvas& canvas, const Grid& grid, Rgba ink) {
    StrokeStyle strokes;
    strokes.width = grid.length(2.1);
    strokes.cap = StrokeStyle::Cap::round;
    for (int k = 0; k <= 6; ++k) {
        const Point apex = grid.point(13.94 + 2.02 * k, 36);
        for (double foot : {0.725 + 2.525 * k, 24.125 + 2.525 * k}) {
            Path stroke;
            stroke.moveTo(apex);
            stroke.lineTo(grid.point(foot, 4));
            canvas.stroke(stroke, ink, strokes);
        }
    }
    StrokeStyle bar = strokes;
    bar.width = grid.length(3.4);
    Path crossBar;
    crossBar.moveTo(grid.point(12.4, 16.5));
    crossBar.lineTo(grid.point(27.6, 16.5));
    canvas.stroke(crossBar, ink, bar);
}

Rgba white(double level, double alpha = 1) { return Rgba{level, level, level, alpha}; }

void drawLabel(Canvas& canvas, std::string_view text, Point origin, double size, Rgba color) {
    const auto font = platform::gfx::Font::create("sans-serif", size, {.bold = true});
    if (!font) return;
    std::u16string utf16(text.begin(), text.end());  // the style names are ASCII
    const auto shaped = platform::gfx::Shaper::shape(utf16, font);
    for (const auto& run : shaped.runs) {
        std::vector<platform::gfx::GlyphPlacement> glyphs;
        for (const auto& glyph : run.glyphs)
            glyphs.push_back({glyph.glyph, {origin.x + glyph.x, origin.y + glyph.y}, 1});
        canvas.drawGlyphs(*run.font, glyphs, color);
    }
}

std::optional<FileWriteError> writePng(const Canvas& canvas, const std::filesystem::path& file) {
    const auto png = platform::gfx::encodePng(canvas.image());
    // Nothing to write is not a failure of the write.
    if (!png) return std::nullopt;
    const std::string_view bytes(reinterpret_cast<const char*>(png->data()), png->size());
    if (!writeFileDurably(file, bytes)) return FileWriteError{file, std::strerror(errno)};
    return std::nullopt;
}

}  // namespace

std::string_view rawValue(MarkStyle style) { return rawValues[static_cast<size_t>(style)]; }

std::optional<MarkStyle> markStyleFrom(std::string_view raw) {
    for (size_t i = 0; i < rawValues.size(); ++i) {
        if (rawValues[i] == raw) return static_cast<MarkStyle>(i);
    }
    return std::nullopt;
}

void Mark::draw(Canvas& canvas, double size, Rgba ink, std::optional<Rgba> ground, MarkStyle style) {
    if (!std::isfinite(size) || size <= 0) return;
    if (ground) {
        Path tile;
        addRoundedRect(tile, {0, 0, size, size}, 0.225 * size);
        canvas.fill(tile, *ground);
    }
    const Grid grid(size);
    switch (style) {
        case MarkStyle::chevrons: drawChevrons(canvas, grid, ink); break;
        case MarkStyle::tiles: drawTiles(canvas, grid, ink, ground); break;
        case MarkStyle::dots: drawDots(canvas, grid, ink); break;
        case MarkStyle::converge: drawConverge(canvas, grid, ink); break;
    }
}

std::optional<FileWriteError> Mark::writePreview(const std::filesystem::path& file) {
    Canvas canvas({1080, 560}, 1);
    canvas.fill(Rect{0, 0, 1080, 560}, white(0.08));
    for (size_t c = 0; c < allMarkStyles.size(); ++c) {
        const double x = 40 + 260.0 * c;
        for (int r = 0; r < 2; ++r) {
            canvas.save();
            canvas.translate(x, 40 + 260.0 * r);
            const bool light = r == 0;
            draw(canvas, 220, white(light ? 0.06 : 0.96), white(light ? 0.95 : 0.10), allMarkStyles[c]);
            canvas.restore();
        }
        drawLabel(canvas, rawValue(allMarkStyles[c]), {x, 8}, 18, white(0.6));
    }
    return writePng(canvas, file);
}

}  // namespace quiltdeck
