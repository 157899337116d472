#include <cmath>

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
    if (!cellDimension_ || !terminal_) return;
    const Rect area = dirtyRect.intersection(bounds());
    if (area.isEmpty() || !fontSet_.normal) {
        canvas.clear(dirtyRect);
        return;
    }
    const platform::gfx::Font& normal = *fontSet_.normal;
    const double baselineOffset = std::ceil(normal.descent() + normal.leading());
    const double cellHeight = cellDimension_->height;
    const Rect b = bounds();
    int first = bufferOffset + rowsIn(b.maxY() - area.maxY(), cellHeight);
    int last = bufferOffset + rowsIn(b.maxY() - area.minY(), cellHeight);

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
    framePlacements_.clear();
    const KittyGraphics* kitty = kittyGraphicsOf(*terminal_);
    if (kitty && !kitty->state().placementsByKey.empty()) {
        framePlacements_ = RowImageRenderer::virtualPlacements(kitty->state(), terminal_->isCurrentBufferAlternate());
    }
    // Pictures hold as much as the store: what it keeps is shown without being made again.
    kittyPictures_.beginFrame(kitty ? static_cast<size_t>(kitty->imageBudgetBytes())
                                    : KittyPictureCache::defaultCapacityBytes);
    int lineCount = terminal_->buffer().lines().count();
    for (int row = std::max(first, 0); row <= last && row < lineCount; ++row) {
        clearDownTo(b.height - (row - bufferOffset + 1 + clearAhead) * cellHeight);
        drawRow(row, canvas, bufferOffset, baselineOffset);
    }
    clearDownTo(area.minY());
    const Rect strip{0, 0, b.width, std::fmod(b.height, cellHeight)};
    if (strip.intersects(area)) canvas.fill(strip, nativeSkipBackground());
}

void TerminalView::drawRow(int row, Canvas& canvas, int bufferOffset, double baselineOffset) {
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
        if ((run.attributes.underlineStyle || run.attributes.strikethroughStyle) && run.length > 0) {
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
