#include <algorithm>
#include <cmath>
#include <optional>

#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/FallbackFontCache.h"
#include "vantel/view/GlyphSlotFit.h"
#include "vantel/view/ShapedRowCache.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using platform::gfx::GlyphPlacement;
using platform::gfx::Point;

namespace {

// Whole cells of a quotient, truncated toward zero and kept within int.
int rowsIn(double length, double cellHeight) {
    double q = std::trunc(length / cellHeight);
    return static_cast<int>(std::clamp(q, -1e9, 1e9));
}

}  // namespace

TerminalView::Rgba TerminalView::nativeSkipBackground() const {
    return terminal_->reverseColors ? nativeFg_ : nativeBg_;
}

void TerminalView::drawTerminalContents(const Rect& dirtyRect, Canvas& canvas, int bufferOffset) {
    drawTerminalContents(dirtyRect, canvas, bufferOffset, false);
}

void TerminalView::drawTerminalContents(const Rect& dirtyRect, Canvas& canvas, int bufferOffset, bool intoWindow) {
    if (!cellDimension_ || !terminal_) return;
    const Rect area = dirtyRect.intersection(bounds());
    if (area.isEmpty() || !fontSet_.normal) {
        canvas.clear(dirtyRect);
        return;
    }
    framePlacements_.clear();
    const KittyGraphics* kitty = kittyGraphicsOf(*terminal_);
    if (kitty && !kitty->state().placementsByKey.empty()) {
        framePlacements_ = RowImageRenderer::virtualPlacements(kitty->state(), terminal_->isCurrentBufferAlternate());
    }
    // Pictures hold as much as the store: what it keeps is shown without being made again.
    kittyPictures_.beginFrame(kitty ? static_cast<size_t>(kitty->imageBudgetBytes())
                                    : KittyPictureCache::defaultCapacityBytes);
    // Parts of the dirty area far apart (a caret at the top, a new row at the bottom) are drawn
    // apart: the rows between them are left alone.
    const double cellHeight = cellDimension_->height;
    const Rect b = bounds();
    auto firstRow = [&](const Rect& r) { return rowsIn(b.maxY() - r.maxY(), cellHeight); };
    auto lastRow = [&](const Rect& r) { return static_cast<int>(std::ceil((b.maxY() - r.minY()) / cellHeight - 1e-9)) - 1; };
    std::vector<Rect> parts;
    for (const Rect& r : intoWindow ? rectsBeingDrawn() : std::vector<Rect>{}) {
        const Rect part = r.intersection(area);
        if (!part.isEmpty()) parts.push_back(part);
    }
    if (parts.empty()) parts.push_back(area);
    std::sort(parts.begin(), parts.end(), [](const Rect& x, const Rect& y) { return x.maxY() > y.maxY(); });
    std::vector<Rect> merged;
    for (const Rect& part : parts) {
        if (!merged.empty() && firstRow(part) <= lastRow(merged.back()) + 1) {
            merged.back() = merged.back().united(part);
        } else {
            merged.push_back(part);
        }
    }
    for (const Rect& part : merged) drawRows(part, canvas, bufferOffset, intoWindow);
    const Rect strip{0, 0, b.width, std::fmod(b.height, cellHeight)};
    if (strip.intersects(area)) canvas.fill(strip, nativeSkipBackground());
}

void TerminalView::drawRows(const Rect& area, Canvas& canvas, int bufferOffset, bool intoWindow) {
    const platform::gfx::Font& normal = *fontSet_.normal;
    const double baselineOffset = std::ceil(normal.descent() + normal.leading());
    const double cellHeight = cellDimension_->height;
    const Rect b = bounds();
    int first = bufferOffset + rowsIn(b.maxY() - area.maxY(), cellHeight);
    const int last = bufferOffset + static_cast<int>(std::ceil((b.maxY() - area.minY()) / cellHeight - 1e-9)) - 1;
    // The row above, when what it draws into the first band must be there as in a full frame.
    const int firstBand = first - bufferOffset;
    const bool withRowAbove = intoWindow && firstBand > 0 && firstBand < static_cast<int>(drawRowAbove_.size()) &&
                              drawRowAbove_[firstBand] && first - 1 >= 0;

    // The dirty rectangle is cleared a few rows ahead of the drawing, so the pixels a row draws
    // over are still in the processor's cache; what a row draws into the rows below it lands after
    // they were cleared, just as if everything had been cleared first.
    constexpr int clearAhead = 2;
    double clearedDownTo = area.maxY();
    auto clearDownTo = [&](double y) {
        y = std::max(y, area.minY());
        if (y >= clearedDownTo) return;
        canvas.clear(Rect{area.x, y, area.width, clearedDownTo - y});
        clearedDownTo = y;
    };
    const int lineCount = terminal_->buffer().lines().count();
    std::optional<DrawnRows::Stamp> above;
    if (withRowAbove) {
        clearDownTo(b.height - (first - bufferOffset + clearAhead) * cellHeight);
        above = drawnStamp(first - 1, drawRow(first - 1, canvas, bufferOffset, baselineOffset));
    }
    for (int row = std::max(first, 0); row <= last && row < lineCount; ++row) {
        clearDownTo(b.height - (row - bufferOffset + 1 + clearAhead) * cellHeight);
        const RowLook look = drawRow(row, canvas, bufferOffset, baselineOffset);
        if (!intoWindow) continue;
        const DrawnRows::Stamp stamp = drawnStamp(row, look);
        recordDrawnBand(row - bufferOffset, above, stamp);
        above = stamp;
    }
    clearDownTo(area.minY());
}

TerminalView::RowLook TerminalView::drawRow(int row, Canvas& canvas, int bufferOffset, double baselineOffset) {
    BufferLine& line = terminal_->buffer().lines()[row];
    const double cellWidth = cellDimension_->width, cellHeight = cellDimension_->height;
    const double y = bounds().height - (row - bufferOffset + 1) * cellHeight;
    const BufferLine::RenderLineMode mode = line.renderMode();
    // A doubled row is clipped to its own full width, wherever the dirty rectangle starts.
    const Rect rowRect{0, y, bounds().width, cellHeight};
    if (mode != BufferLine::RenderLineMode::single) canvas.save();
    switch (mode) {
    case BufferLine::RenderLineMode::single: break;
    case BufferLine::RenderLineMode::doubleWidth: canvas.scaleBy(2, 1); break;
    case BufferLine::RenderLineMode::doubledTop:
        canvas.clip(rowRect);
        canvas.translate(0, y + cellHeight);
        canvas.scaleBy(2, 2);
        canvas.translate(0, -(y + cellHeight));
        break;
    case BufferLine::RenderLineMode::doubledDown:
        canvas.clip(rowRect);
        canvas.translate(0, y);
        canvas.scaleBy(2, 2);
        canvas.translate(0, -y);
        break;
    }

    ViewLineInfo info = buildAttributedString(row, line, terminal_->cols());

    // Backgrounds; default ones are left to the layer colour.
    canvas.save();
    canvas.setAntialias(false);
    const Rgba skip = nativeSkipBackground();
    for (const ViewLineSegment& segment : info.segments) {
        size_t start = 0;
        for (const AttributedText::Run& run : segment.attributedString.runs) {
            const TextAttributes& a = run.attributes;
            const std::optional<Rgba>& background = a.selectionBackground ? a.selectionBackground : a.background;
            size_t end = start + run.length;
            if (background && *background != skip && run.length > 0) {
                int from = segment.column + segment.cellOrdinal(start) * segment.columnWidth;
                int to = segment.column + (segment.cellOrdinal(end - 1) + 1) * segment.columnWidth;
                if (to > from) canvas.fill(Rect{from * cellWidth, y, (to - from) * cellWidth, cellHeight}, *background);
            }
            start = end;
        }
    }
    canvas.restore();

    const RowImageRenderer::Lists images = RowImageRenderer::sort(&info.images);
    const RowImageRenderer::Geometry geometry = imageGeometry();
    RowImageRenderer::draw(images.kittyBelow, y + cellHeight, geometry, canvas, kittyPictures_);
    drawBoxDrawings(info.boxDrawings, {0, y}, canvas);
    drawBlockElements(info.blockElements, {0, y}, canvas);
    drawPowerlineGlyphs(info.powerlineGlyphs, {0, y}, mode, canvas);

    canvas.save();
    canvas.setAntialias(true);
    canvas.setFontSmoothing(fontSmoothing_);
    for (const ViewLineSegment& segment : info.segments) drawSegment(segment, y, baselineOffset, canvas);
    canvas.restore();
    if (!info.kittyPlaceholders.empty()) {
        if (const KittyGraphics* kitty = kittyGraphicsOf(*terminal_)) {
            RowImageRenderer::drawPlaceholders(info.kittyPlaceholders, framePlacements_, kitty->state(), y, geometry,
                                               canvas, kittyPictures_);
        }
    }
    RowImageRenderer::draw(images.kittyAbove, y + cellHeight, geometry, canvas, kittyPictures_);
    RowImageRenderer::draw(images.others, y + cellHeight, geometry, canvas, kittyPictures_);

    if (mode != BufferLine::RenderLineMode::single) canvas.restore();
    // Placeholder cells show pictures found in the graphics store, not in the line; scaled
    // pictures are filtered by where they land, so moved they would not match a fresh drawing.
    return RowLook{info.blinks, info.kittyPlaceholders.empty() && info.images.empty()};
}

void TerminalView::drawSegment(const ViewLineSegment& segment, double rowBottom, double baselineOffset,
                               Canvas& canvas) {
    const AttributedText& text = segment.attributedString;
    if (text.text.empty()) return;
    const double cellWidth = cellDimension_->width;
    const double baseline = rowBottom + baselineOffset;
    std::shared_ptr<const ShapedLine> shaped = cachedShapedRow(text);
    const Rgba defaultForeground = effectiveNativeForegroundColor();

    std::vector<GlyphPlacement> placements;
    // The first glyph of a cell sets its pen; later glyphs of the cell (marks) keep their offset.
    int cellOrdinal = -1;
    double cellPen = 0;
    for (const ShapedLine::Run& run : shaped->runs) {
        const platform::gfx::GlyphRun& glyphs = run.glyphs;
        if (!glyphs.font || glyphs.glyphs.empty()) continue;
        placements.clear();
        placements.reserve(glyphs.glyphs.size());
        for (const platform::gfx::ShapedGlyph& g : glyphs.glyphs) {
            int ordinal = segment.cellOrdinal(g.cluster);
            if (ordinal != cellOrdinal) {
                cellOrdinal = ordinal;
                cellPen = g.x;
            }
            GlyphPlacement placement{g.glyph, {(segment.column + ordinal * segment.columnWidth) * cellWidth + g.x - cellPen,
                                               baseline + g.y}};
            if (segment.columnWidth > 1) {
                GlyphSlotFit fit = glyphSlotFit(*glyphs.font, g.glyph, segment.columnWidth, cellDimension_, *fontSet_.normal);
                placement.position.x += fit.dx;
                placement.position.y += fit.dy;
                placement.scale = fit.scale;
            }
            placements.push_back(placement);
        }
        const TextAttributes& attributes = text.runs[run.attributeRun].attributes;
        canvas.drawGlyphs(*glyphs.font, placements, attributes.foreground.value_or(defaultForeground));
    }

    // Decorations cover every cell of their run, a wide cell's whole slot.
    std::vector<Point> positions;
    size_t start = 0;
    for (const AttributedText::Run& run : text.runs) {
        size_t end = start + run.length;
        if (run.attributes.hasDecorations() && run.length > 0) {
            positions.clear();
            for (int o = segment.cellOrdinal(start), to = segment.cellOrdinal(end - 1); o <= to; ++o) {
                positions.push_back(Point{(segment.column + o * segment.columnWidth) * cellWidth, baseline});
            }
            drawRunAttributes(run.attributes, positions, segment.columnWidth * cellWidth, canvas);
        }
        start = end;
    }
}

void TerminalView::drawBoxDrawings(std::span<const BoxDrawingRenderItem> items, Point lineOrigin, Canvas& canvas) {
    if (items.empty()) return;
    const double scale = backingScale();
    BoxDrawingRenderer::drawItems(items, lineOrigin, *cellDimension_, scale,
                                  BoxDrawingRenderer::baseThicknessPx(fontSet_.normal->underlineThickness(), scale),
                                  canvas);
}

void TerminalView::drawBlockElements(std::span<const BlockElementRenderItem> items, Point lineOrigin,
                                     Canvas& canvas) {
    BlockElementRenderer::draw(items, lineOrigin, *cellDimension_, backingScale(), antiAliasCustomBlockGlyphs_, canvas);
}

void TerminalView::drawPowerlineGlyphs(std::span<const PowerlineRenderItem> items, Point lineOrigin,
                                       BufferLine::RenderLineMode renderMode, Canvas& canvas) {
    PowerlineRenderer::drawItems(items, lineOrigin, renderMode, *cellDimension_, backingScale(), canvas);
}

}  // namespace vantel
