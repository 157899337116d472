// The view's side of the bidi layout: which rows get one, and the column maps for the caret
// and the pointer.
#include "vantel/view/TerminalBidi.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

std::shared_ptr<const BidiRowLayout> TerminalView::bidiRowLayout(int row, bool* mayNeedBidi) {
    if (mayNeedBidi) *mayNeedBidi = false;
    if (!terminal_ || !fontSet_.normal || settings_.bidiHostPolicy != BidiHostPolicy::respectTerminal || row < 0) {
        return nullptr;
    }
    Buffer& buffer = terminal_->buffer();
    if (row >= buffer.lines().count()) return nullptr;
    // A double-width or double-height row shows half its columns, each twice as wide: its text
    // is laid out over the cells it shows, so that a right-to-left one ends at the right edge.
    int cols = terminal_->cols();
    if (buffer.lines()[row].renderMode() != BufferLine::RenderLineMode::single) cols /= 2;
    return TerminalBidi::rowLayout(row, buffer, cols, *terminal_, *fontSet_.normal, mayNeedBidi);
}

int TerminalView::logicalToVisualCol(int row, int col) {
    auto layout = bidiRowLayout(row);
    return layout ? layout->visualCol(col) : col;
}

int TerminalView::visualToLogicalCol(int row, int col) {
    auto layout = bidiRowLayout(row);
    return layout ? layout->logicalCol(col) : col;
}

TerminalView::RedrawRows TerminalView::bidiRedrawRows(int start, int end) {
    RedrawRows rows{start, end, std::nullopt};
    if (!terminal_) return rows;
    Buffer& buffer = terminal_->buffer();
    const int count = buffer.lines().count();
    if (count == 0 || start < 0 || start > end || end >= terminal_->rows()) return rows;
    const int yDisp = buffer.yDisp();
    const int first = std::clamp(yDisp + start, 0, count - 1);
    const int last = std::max(std::min(yDisp + end, count - 1), first);
    const TerminalBidi::RowRange widened = TerminalBidi::renderingDependencyRange(
        {first, last}, buffer, terminal_->options().maximumBidiParagraphRows);
    rows.first = std::max(0, widened.first - yDisp);
    rows.last = std::min(terminal_->rows() - 1, widened.last - yDisp);
    rows.bufferRows = std::make_pair(widened.first, widened.last);
    return rows;
}

}  // namespace vantel
