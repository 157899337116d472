#include <algorithm>
#include <cmath>
#include <optional>

#include "vantel/graphics/TerminalGraphics.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

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
    const RowPainter painter = rowPainter();
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
    // Where a row's edge cuts a device pixel, two clears would each leave part of what the pixel
    // held (a seam of the last frame's colours): the clears end between device pixels.
    const Point origin = canvas.userToDevice({0, 0});
    const double pixelsPerPoint = canvas.userToDevice({0, 1}).y - origin.y;
    auto betweenPixels = [&](double y) {
        if (pixelsPerPoint == 0) return y;
        return (std::round(origin.y + y * pixelsPerPoint) - origin.y) / pixelsPerPoint;
    };
    double clearedDownTo = area.maxY();
    auto clearDownTo = [&](double y) {
        y = std::max(y == area.minY() ? y : betweenPixels(y), area.minY());
        if (y >= clearedDownTo) return;
        canvas.clear(Rect{area.x, y, area.width, clearedDownTo - y});
        clearedDownTo = y;
    };
    const int lineCount = terminal_->buffer().lines().count();
    std::optional<DrawnRows::Stamp> above;
    if (withRowAbove) {
        clearDownTo(b.height - (first - bufferOffset + clearAhead) * cellHeight);
        above = drawnStamp(first - 1, drawRow(first - 1, canvas, bufferOffset, painter));
    }
    for (int row = std::max(first, 0); row <= last && row < lineCount; ++row) {
        clearDownTo(b.height - (row - bufferOffset + 1 + clearAhead) * cellHeight);
        const RowLook look = drawRow(row, canvas, bufferOffset, painter);
        if (!intoWindow) continue;
        const DrawnRows::Stamp stamp = drawnStamp(row, look);
        recordDrawnBand(row - bufferOffset, above, stamp);
        above = stamp;
    }
    clearDownTo(area.minY());
}

TerminalView::RowLook TerminalView::drawRow(int row, Canvas& canvas, int bufferOffset, const RowPainter& painter) {
    BufferLine& line = terminal_->buffer().lines()[row];
    const double y = bounds().height - (row - bufferOffset + 1) * cellDimension_->height;
    const ViewLineInfo info = buildAttributedString(row, line, terminal_->cols());
    painter.paint(info, line.renderMode(), y, bounds().width, canvas);
    // Placeholder cells show pictures found in the graphics store, not in the line; scaled
    // pictures are filtered by where they land, so moved they would not match a fresh drawing.
    return RowLook{info.blinks, info.kittyPlaceholders.empty() && info.images.empty()};
}

RowPainter TerminalView::rowPainter() {
    RowPainter::Look look;
    look.cell = cellDimension_.value_or(Size{});
    look.fonts = &fontSet_;
    look.backingScale = backingScale();
    look.images = imageGeometry();
    if (fontSet_.normal) look.baselineOffset = std::ceil(fontSet_.normal->descent() + fontSet_.normal->leading());
    look.fontSmoothing = settings_.fontSmoothing;
    look.antiAliasBlockElements = settings_.antiAliasCustomBlockGlyphs;
    look.skipBackground = nativeSkipBackground();
    look.textColor = effectiveNativeForegroundColor();
    look.decorationColor = terminal_->reverseColors ? nativeBg_ : nativeFg_;
    const KittyGraphics* kitty = kittyGraphicsOf(*terminal_);
    return RowPainter(look, {&kittyPictures_, &framePlacements_, kitty ? &kitty->state() : nullptr});
}

void TerminalView::drawRunAttributes(const TextAttributes& attributes, std::span<const Point> positions,
                                     double slotWidth, Canvas& canvas) {
    if (fontSet_.normal) rowPainter().drawRunAttributes(attributes, positions, slotWidth, canvas);
}

void TerminalView::drawBoxDrawings(std::span<const BoxDrawingRenderItem> items, Point lineOrigin, Canvas& canvas) {
    if (fontSet_.normal && cellDimension_) rowPainter().drawBoxDrawings(items, lineOrigin, canvas);
}

void TerminalView::drawBlockElements(std::span<const BlockElementRenderItem> items, Point lineOrigin,
                                     Canvas& canvas) {
    if (cellDimension_) rowPainter().drawBlockElements(items, lineOrigin, canvas);
}

void TerminalView::drawPowerlineGlyphs(std::span<const PowerlineRenderItem> items, Point lineOrigin,
                                       BufferLine::RenderLineMode renderMode, Canvas& canvas) {
    if (cellDimension_) rowPainter().drawPowerlineGlyphs(items, lineOrigin, renderMode, canvas);
}

}  // namespace vantel
