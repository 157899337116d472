// The cursor on the GPU path: the caret view's shapes, focus rules and character, drawn after the
// rows.
#include <algorithm>
#include <cmath>

#include "vantel/core/UnicodeUtil.h"
#include "vantel/gpu/GpuGeometry.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/CaretView.h"
#include "vantel/view/GlyphSlotFit.h"
#include "vantel/view/PowerlineRenderer.h"
#include "vantel/view/ShapedLineCache.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

using Box = GpuGeometry::Box;
using Quad = GpuGeometry::Quad;

namespace {

bool isBlinking(CursorStyle style) {
    return style == CursorStyle::blinkBlock || style == CursorStyle::blinkUnderline || style == CursorStyle::blinkBar;
}
bool isBlock(CursorStyle style) { return style == CursorStyle::blinkBlock || style == CursorStyle::steadyBlock; }
bool isUnderline(CursorStyle style) {
    return style == CursorStyle::blinkUnderline || style == CursorStyle::steadyUnderline;
}

}  // namespace

GpuTerminalRenderer::CursorDrawData GpuTerminalRenderer::buildCursorDrawData(double scale, double cellWidth,
                                                                             double cellHeight, double lineDescent,
                                                                             double lineLeading, int yDisp,
                                                                             int firstRow, int lastRow) {
    CursorDrawData result;
    auto host = host_.lock();
    TerminalView* view = host ? host->gpuTerminalView() : nullptr;
    if (!view) return result;
    Terminal& terminal = view->getTerminal();
    if (terminal.cursorHidden || !view->showsCaret()) return result;
    Buffer& buffer = terminal.buffer();
    const int line = buffer.yBase() + buffer.y();
    if (line < 0 || line < firstRow || line > lastRow || line >= buffer.lines().count()) return result;
    if (buffer.x() < 0 || buffer.x() >= terminal.cols()) return result;

    const CaretView* caret = view->caretView();
    const bool focused = !(caret && caret->tracksFocus) || view->hasFocus();
    const CursorStyle style = terminal.options().cursorStyle;
    if (focused && isBlinking(style) && !cursorBlinkOn_) return result;

    // Where the caret view stands: over the cell's visual column (a right-to-left row shows it
    // elsewhere than its logical column), as wide as the cell, one cell high.
    const BufferLine& bufferLine = buffer.lines()[line];
    const double factor = bufferLine.renderMode() == BufferLine::RenderLineMode::single ? 1.0 : 2.0;
    CharData cell{};
    if (bufferLine.count() > 0) cell = bufferLine[std::clamp(buffer.x(), 0, bufferLine.count() - 1)];
    const int columns = std::max(1, static_cast<int>(cell.width));
    const int visualColumn = view->logicalToVisualCol(line, buffer.x());
    const double originX = visualColumn * cellWidth * factor;
    const double originY = view->bounds().height - (line - yDisp + 1) * cellHeight;
    const float x0 = static_cast<float>(originX * scale);
    const float x1 = static_cast<float>((originX + cellWidth * factor * columns) * scale);
    const float y0 = static_cast<float>(originY * scale);
    const float y1 = static_cast<float>((originY + cellHeight) * scale);
    const Float4 caretColor = GpuGeometry::colorToSimd(view->effectiveCaretColor());

    if (!focused) {
        // Every style shows the same hollow box without focus.
        const float t = static_cast<float>(std::max(1.0, CaretView::hollowLineWidth / 2 * scale));
        const Box edges[] = {
            {x0, y0, x1, y0 + t}, {x0, y1 - t, x1, y1}, {x0, y0 + t, x0 + t, y1 - t}, {x1 - t, y0 + t, x1, y1 - t}};
        GpuGeometry::appendCoverage(edges, caretColor, result.colorVertices);
        return result;
    }
    const float t = static_cast<float>(std::max(1.0, 2 * scale));
    const Box shape = isBlock(style)       ? Box{x0, y0, x1, y1}
                      : isUnderline(style) ? Box{x0, y0, x1, y0 + t}
                                           : Box{x0, y0, x0 + t, y1};
    GpuGeometry::appendCoverage({&shape, 1}, caretColor, result.colorVertices);
    if (!isBlock(style)) return result;

    // The character under a block, in the caret's text colour; nothing while blinking text is off.
    if (cell.attribute.style.contains(CharacterStyle::blink) && !view->textBlinkVisible()) return result;
    const CaretView::Content content = CaretView::contentFor(cell, view);
    const Float4 textColor = GpuGeometry::colorToSimd(view->effectiveCaretTextColor());
    const ClipRect clip{x0, y0, x1, y1};
    if (content.powerlineCodePoint && view->customBlockGlyphs() &&
        PowerlineRenderer::glyph(*content.powerlineCodePoint)) {
        const int width = std::max(1, static_cast<int>(std::lround(x1 - x0)));
        const int height = std::max(1, static_cast<int>(std::lround(cellHeight * scale)));
        auto entry = customGlyphEntry(*content.powerlineCodePoint, width, height, scale, 0, true);
        if (!entry) return result;
        const float side = static_cast<float>(grayscaleAtlas_->size());
        const Quad quad{x0,
                        y0,
                        x0 + entry->width,
                        y0 + entry->height,
                        entry->region.x / side,
                        entry->region.y / side,
                        (entry->region.x + entry->region.width) / side,
                        (entry->region.y + entry->region.height) / side};
        if (auto cut = GpuGeometry::clip(quad, clip)) {
            GpuGeometry::appendQuad(*cut, textColor, result.glyphVerticesGray);
        }
        return result;
    }
    const platform::gfx::Font& normal = *view->fontSet().normal;
    const double baseline = originY + std::ceil(lineDescent + lineLeading);
    std::shared_ptr<const ShapedLine> shaped = cachedShapedLine(content.text);
    for (const ShapedLine::Run& run : shaped->runs) {
        const platform::gfx::GlyphRun& glyphs = run.glyphs;
        if (!glyphs.font) continue;
        for (const platform::gfx::ShapedGlyph& g : glyphs.glyphs) {
            const GlyphSlotFit fit =
                content.glyphColumnWidth < 2
                    ? GlyphSlotFit{}
                    : glyphSlotFit(*glyphs.font, g.glyph, content.glyphColumnWidth, view->cellDimension(), normal);
            const double size = glyphs.font->size() * scale * fit.scale;
            auto entry = glyphEntry(glyphs.font, g.glyph, size, size);
            if (!entry || entry->width <= 0 || entry->height <= 0) continue;
            const int left = static_cast<int>(std::lround((originX + g.x + fit.dx) * scale)) + entry->bearingX;
            const int bottom = static_cast<int>(std::ceil((baseline + g.y + fit.dy) * scale - 0.5)) + entry->bearingY;
            const GlyphAtlas& atlas = entry->atlasKind == GlyphAtlasKind::color ? *colorAtlas_ : *grayscaleAtlas_;
            const float side = static_cast<float>(atlas.size());
            const Quad quad{float(left),
                            float(bottom),
                            float(left + entry->width),
                            float(bottom + entry->height),
                            entry->region.x / side,
                            entry->region.y / side,
                            (entry->region.x + entry->region.width) / side,
                            (entry->region.y + entry->region.height) / side};
            auto cut = GpuGeometry::clip(quad, clip);
            if (!cut) continue;
            if (entry->atlasKind == GlyphAtlasKind::color) {
                GpuGeometry::appendQuad(*cut, Float4{1, 1, 1, 1}, result.glyphVerticesColor);
            } else {
                GpuGeometry::appendQuad(*cut, textColor, result.glyphVerticesGray);
            }
        }
    }
    return result;
}

}  // namespace vantel
