// Scrolling by moving pixels: the view remembers what each row band of the window's surface
// shows, and when output moved the rows, moves their pixels and draws only what changed.
#include "vantel/view/TerminalBidi.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

uint64_t TerminalView::highlightStamp(int row) const {
    uint64_t stamp = static_cast<uint64_t>(settings_.linkHighlightMode) * 2 + (commandActive_ ? 1 : 0) + 1;
    const bool hovering = settings_.linkHighlightMode == LinkHighlightMode::hover ||
                          (settings_.linkHighlightMode == LinkHighlightMode::hoverWithModifier && commandActive_);
    if (!hovering || !linkHighlightRange_) return stamp;
    for (const auto& range : *linkHighlightRange_) {
        if (range.row != row) continue;
        stamp = stamp * 0x100000001B3ull ^ (static_cast<uint64_t>(static_cast<uint32_t>(range.range.start)) << 32 |
                                             static_cast<uint32_t>(range.range.end));
    }
    return stamp;
}

DrawnRows::Stamp TerminalView::rowStamp(int row) const {
    DrawnRows::Stamp stamp;
    auto& lines = terminal_->buffer().lines();
    if (row < 0 || row >= lines.count()) return stamp;
    const BufferLine& line = lines[row];
    stamp.serial = line.serial();
    stamp.generation = line.recycleGeneration() << 32 ^ line.generation();
    if (settings_.bidiHostPolicy == BidiHostPolicy::respectTerminal) {
        stamp.paragraph =
            TerminalBidi::layoutRevision(row, terminal_->buffer(), terminal_->options().maximumBidiParagraphRows);
    }
    if (auto selected = selectedColumnsRange(row, terminal_->cols())) {
        stamp.selectionStart = selected->first;
        stamp.selectionEnd = selected->second;
    }
    stamp.highlight = highlightStamp(row);
    stamp.blink = textBlinkVisible_ ? 1 : 2;
    return stamp;
}

DrawnRows::Stamp TerminalView::drawnStamp(int row, const RowLook& look) const {
    DrawnRows::Stamp stamp = rowStamp(row);
    if (!look.blinks) stamp.blink = 0;
    stamp.reusable = look.reusable;
    return stamp;
}

bool TerminalView::drawnGeometryHolds() {
    const Rect b = bounds();
    const std::array<double, 5> now{cellDimension_ ? cellDimension_->width : 0, cellDimension_ ? cellDimension_->height : 0,
                                    b.width, b.height, backingScale()};
    if (now == drawnGeometry_ && drawnRows_.rows() == terminal_->rows()) return true;
    drawnGeometry_ = now;
    drawnRows_.reset(terminal_->rows());
    return false;
}

void TerminalView::recordDrawnBand(int band, const std::optional<DrawnRows::Stamp>& above,
                                   const DrawnRows::Stamp& stamp) {
    if (band < 0) return;
    drawnGeometryHolds();
    if (band >= drawnRows_.rows()) return;
    const double cellHeight = cellDimension_->height;
    const Rect b = bounds();
    const Rect bandRect{0, b.height - (band + 1) * cellHeight, b.width, cellHeight};
    bool whole = std::any_of(rectsBeingDrawn().begin(), rectsBeingDrawn().end(),
                             [&](const Rect& r) { return r.contains(bandRect); });
    // Drawn into a fading layer, the pixels are not the row's own.
    for (const View* v = this; v && whole; v = v->superview()) whole = v->presentationOpacity() >= 1;
    // Without the row above drawn in the same pass, the band lacks what that row reaches into it;
    // it cannot stand for a band drawn under that row.
    DrawnRows::Stamp nothing;
    nothing.reusable = false;
    const DrawnRows::Stamp over = band == 0 ? DrawnRows::Stamp{} : above.value_or(nothing);
    if (whole) drawnRows_.drawnWhole(band, over, stamp);
    else drawnRows_.drawnInPart(band, over, stamp);
    if (whole && band < static_cast<int>(drawRowAbove_.size())) drawRowAbove_[band] = false;
}

bool TerminalView::moveDrawnRows() {
    if (!window() || !cellDimension_ || gpu_->gpuView()) return false;
    const Buffer& buffer = terminal_->buffer();
    if (buffer.yDisp() != buffer.yBase()) return false;
    if (terminal_->fullScreenUpdateCount() != fullScreenUpdatesSeen_) {
        fullScreenUpdatesSeen_ = terminal_->fullScreenUpdateCount();
        drawnRows_.forgetAll();
        return false;
    }
    if (!drawnGeometryHolds()) return false;
    const int rows = terminal_->rows();
    std::vector<DrawnRows::Stamp> now(static_cast<size_t>(rows));
    for (int r = 0; r < rows; ++r) now[r] = rowStamp(buffer.yDisp() + r);
    std::optional<DrawnRows::Plan> plan = drawnRows_.planScroll(now);
    if (!plan) return false;

    const double cellHeight = cellDimension_->height;
    const Rect b = bounds();
    auto bands = [&](int first, int last) {
        return Rect{0, b.height - (last + 1) * cellHeight, b.width, (last - first + 1) * cellHeight};
    };
    if (!scrollRect(bands(plan->areaFirst, plan->areaLast), plan->shift * cellHeight)) return false;
    drawnRows_.applyMove(*plan);
    ++rowMoves_;

    const std::vector<bool>& stale = plan->stale;
    drawRowAbove_.assign(static_cast<size_t>(rows), false);
    for (int r = 0; r < rows;) {
        if (!stale[r]) {
            ++r;
            continue;
        }
        int end = r;
        while (end + 1 < rows && stale[end + 1]) ++end;
        if (r > 0) drawRowAbove_[r] = true;
        Rect rect = bands(r, end);
        // The strip below the last row goes with it.
        if (end == rows - 1) {
            rect.height += rect.y;
            rect.y = 0;
        }
        setNeedsDisplay(rect);
        r = end + 1;
    }
    return true;
}

}  // namespace vantel
