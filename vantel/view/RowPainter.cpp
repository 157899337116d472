#include "vantel/view/RowPainter.h"

#include <vector>

#include "vantel/view/GlyphSlotFit.h"
#include "vantel/view/ShapedRowCache.h"

namespace vantel {

using platform::gfx::GlyphPlacement;
using platform::gfx::Rect;

void RowPainter::paint(const ViewLineInfo& info, BufferLine::RenderLineMode mode, double y, double width,
                       Canvas& canvas) const {
    const double cellHeight = look_.cell.height;
    const Rect rowRect{0, y, width, cellHeight};
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

    drawBackgrounds(info, y, canvas);

    KittyPictureCache& pictures = *pictures_.cache;
    const RowImageRenderer::Lists images = RowImageRenderer::sort(&info.images);
    RowImageRenderer::draw(images.kittyBelow, y + cellHeight, look_.images, canvas, pictures);
    drawBoxDrawings(info.boxDrawings, {0, y}, canvas);
    drawBlockElements(info.blockElements, {0, y}, canvas);
    drawPowerlineGlyphs(info.powerlineGlyphs, {0, y}, mode, canvas);

    canvas.save();
    canvas.setAntialias(true);
    canvas.setFontSmoothing(look_.fontSmoothing);
    for (const ViewLineSegment& segment : info.segments) drawSegment(segment, y, canvas);
    canvas.restore();
    if (!info.kittyPlaceholders.empty() && pictures_.kitty && pictures_.placements) {
        RowImageRenderer::drawPlaceholders(info.kittyPlaceholders, *pictures_.placements, *pictures_.kitty, y,
                                           look_.images, canvas, pictures);
    }
    RowImageRenderer::draw(images.kittyAbove, y + cellHeight, look_.images, canvas, pictures);
    RowImageRenderer::draw(images.others, y + cellHeight, look_.images, canvas, pictures);

    if (mode != BufferLine::RenderLineMode::single) canvas.restore();
}

// Default backgrounds are left to the layer colour.
void RowPainter::drawBackgrounds(const ViewLineInfo& info, double y, Canvas& canvas) const {
    const double cellWidth = look_.cell.width, cellHeight = look_.cell.height;
    canvas.save();
    canvas.setAntialias(false);
    for (const ViewLineSegment& segment : info.segments) {
        size_t start = 0;
        for (const AttributedText::Run& run : segment.attributedString.runs) {
            const TextAttributes& a = run.attributes;
            const std::optional<Rgba>& background = a.selectionBackground ? a.selectionBackground : a.background;
            size_t end = start + run.length;
            if (background && *background != look_.skipBackground && run.length > 0) {
                int from = segment.column + segment.cellOrdinal(start) * segment.columnWidth;
                int to = segment.column + (segment.cellOrdinal(end - 1) + 1) * segment.columnWidth;
                if (to > from) canvas.fill(Rect{from * cellWidth, y, (to - from) * cellWidth, cellHeight}, *background);
            }
            start = end;
        }
    }
    canvas.restore();
}

void RowPainter::drawSegment(const ViewLineSegment& segment, double rowBottom, Canvas& canvas) const {
    const AttributedText& text = segment.attributedString;
    if (text.text.empty()) return;
    const double cellWidth = look_.cell.width;
    const double baseline = rowBottom + look_.baselineOffset;
    std::shared_ptr<const ShapedLine> shaped = cachedShapedRow(text);

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
                GlyphSlotFit fit =
                    glyphSlotFit(*glyphs.font, g.glyph, segment.columnWidth, look_.cell, *look_.fonts->normal);
                placement.position.x += fit.dx;
                placement.position.y += fit.dy;
                placement.scale = fit.scale;
            }
            placements.push_back(placement);
        }
        const TextAttributes& attributes = text.runs[run.attributeRun].attributes;
        canvas.drawGlyphs(*glyphs.font, placements, attributes.foreground.value_or(look_.textColor));
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

void RowPainter::drawBoxDrawings(std::span<const BoxDrawingRenderItem> items, Point lineOrigin, Canvas& canvas) const {
    if (items.empty()) return;
    const double scale = look_.backingScale;
    BoxDrawingRenderer::drawItems(items, lineOrigin, look_.cell, scale,
                                  BoxDrawingRenderer::baseThicknessPx(look_.fonts->normal->underlineThickness(), scale),
                                  canvas);
}

void RowPainter::drawBlockElements(std::span<const BlockElementRenderItem> items, Point lineOrigin,
                                   Canvas& canvas) const {
    BlockElementRenderer::draw(items, lineOrigin, look_.cell, look_.backingScale, look_.antiAliasBlockElements,
                               canvas);
}

void RowPainter::drawPowerlineGlyphs(std::span<const PowerlineRenderItem> items, Point lineOrigin,
                                     BufferLine::RenderLineMode renderMode, Canvas& canvas) const {
    PowerlineRenderer::drawItems(items, lineOrigin, renderMode, look_.cell, look_.backingScale, canvas);
}

}  // namespace vantel
