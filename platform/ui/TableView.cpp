#include "platform/ui/TableView.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/Window.h"

namespace platform::ui {

namespace {

// Room left of and right of a row's text.
constexpr double textInset = 6;

}  // namespace

TableView::TableView(const Rect& frame) : Control(frame) {}

void TableView::setRows(std::vector<Row> rows) {
    rows_ = std::move(rows);
    if (selected_ >= numberOfRows()) selected_ = -1;
    scrollTo(scrollOffset_);
    changed();
}

void TableView::setRowHeight(double height) {
    if (!std::isfinite(height) || height < 1) return;
    setProperty(rowHeight_, height);
    scrollTo(scrollOffset_);
}

void TableView::setDrawsBackground(bool draws) { setProperty(drawsBackground_, draws); }

void TableView::setBackgroundColor(gfx::Rgba color) { setProperty(background_, color); }

void TableView::setSelectionColor(std::optional<gfx::Rgba> color) { setProperty(selection_, std::move(color)); }

void TableView::selectRow(int row) { setProperty(selected_, row >= 0 && row < numberOfRows() ? row : -1); }

void TableView::scrollTo(double offset) {
    const double most = std::max(0.0, contentHeight() - frame().height);
    setProperty(scrollOffset_, std::isfinite(offset) ? std::clamp(offset, 0.0, most) : 0.0);
}

void TableView::scrollRowToVisible(int row) {
    if (row < 0 || row >= numberOfRows()) return;
    const double top = rowHeight_ * row, bottom = top + rowHeight_;
    if (top < scrollOffset_) scrollTo(top);
    else if (bottom > scrollOffset_ + frame().height) scrollTo(bottom - frame().height);
}

int TableView::rowAt(Point point) const {
    if (point.x < 0 || point.x >= frame().width || point.y < 0 || point.y >= frame().height) return -1;
    const double y = point.y + scrollOffset_;
    const int row = static_cast<int>(std::floor(y / rowHeight_));
    return row >= 0 && row < numberOfRows() ? row : -1;
}

void TableView::userSelected(int row) {
    if (row == selected_) return;
    selectRow(row);
    scrollRowToVisible(row);
    if (auto told = onSelectionChange) told(*this);
}

bool TableView::clickRow(int row, int clickCount) {
    if (!isUsable() || row < 0 || row >= numberOfRows()) return false;
    userSelected(row);
    if (clickCount == 2) activateRow(row);
    return true;
}

bool TableView::moveSelection(int delta) {
    if (!isUsable() || rows_.empty()) return false;
    const int from = selected_ < 0 ? (delta > 0 ? -1 : numberOfRows()) : selected_;
    const int to = std::clamp(from + delta, 0, numberOfRows() - 1);
    if (to == selected_) return false;
    userSelected(to);
    return true;
}

bool TableView::activateRow(int row) {
    if (row < 0 || row >= numberOfRows()) return false;
    clicked_ = row;
    return sendAction();
}

void TableView::setFrameSize(Size size) {
    Control::setFrameSize(size);
    scrollTo(scrollOffset_);
}

void TableView::keyDown(const KeyEvent& event) {
    if (onKeyDown) {
        // A copy: the handler may end the table's owner.
        if (auto handler = onKeyDown; handler(event)) return;
    }
    switch (event.key) {
        case Key::up: moveSelection(-1); return;
        case Key::down: moveSelection(+1); return;
        case Key::returnKey:
        case Key::keypadEnter:
            if (selected_ >= 0) {
                activateRow(selected_);
                return;
            }
            break;
        default: break;
    }
    View::keyDown(event);
}

void TableView::mouseDown(const MouseEvent& event) {
    if (Window* shown = window()) shown->makeFirstResponder(this);
    clickRow(rowAt(convertFromWindow(event.locationInWindow)), event.clickCount);
}

void TableView::scrollWheel(const ScrollEvent& event) {
    const double points = event.hasPreciseDeltas ? event.deltaY : event.deltaY * rowHeight_;
    scrollTo(scrollOffset_ - points);
}

void TableView::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer()) return;
    const Rect box = bounds();
    if (drawsBackground_) canvas.fill(box, background_);
    if (rows_.empty()) return;
    canvas.save();
    canvas.clip(box);
    const int first = std::max(0, static_cast<int>(std::floor(scrollOffset_ / rowHeight_)));
    const int last = std::min(numberOfRows() - 1, static_cast<int>(std::floor((scrollOffset_ + box.height) / rowHeight_)));
    for (int row = first; row <= last; ++row) {
        const Rect cell{0, rowHeight_ * row - scrollOffset_, box.width, rowHeight_};
        if (row == selected_) canvas.fill(cell, selection_.value_or(standInSelection));
        const Row& shown = rows_[static_cast<size_t>(row)];
        TextLayoutOptions options;
        options.width = std::max(0.0, box.width - 2 * textInset);
        options.wraps = shown.maximumLines != 1;
        options.maximumLines = shown.maximumLines;
        options.truncation = shown.truncation;
        const Size text = shown.text.measure(options, rowHeight_);
        const Rect textRect{textInset, cell.y + std::max(0.0, (rowHeight_ - text.height) / 2), *options.width, text.height};
        shown.text.draw(canvas, textRect, true, options);
    }
    canvas.restore();
}

}  // namespace platform::ui
