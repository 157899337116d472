#include "vantel/core/SelectionService.h"

#include <algorithm>

#include "vantel/core/Terminal.h"

namespace vantel {

SelectionService::SelectionService(Terminal& terminal) : terminal_(&terminal) { terminal.registerSelection(this); }

SelectionService::~SelectionService() {
    if (terminal_) terminal_->unregisterSelection(this);
}

void SelectionService::notify() {
    if (terminal_ && terminal_->delegate()) terminal_->delegate()->selectionChanged(*terminal_);
}

void SelectionService::setActive(bool active) {
    if (active != active_) {
        active_ = active;
        notify();
    }
    if (!active_) pivot.reset();
}

void SelectionService::setActiveAndNotify() {
    active_ = true;
    notify();
}

Position SelectionService::clamp(Position position) const {
    if (!terminal_) return position;
    const Buffer& buffer = terminal_->buffer();
    position.col = std::min(position.col, buffer.cols() - 1);
    position.row = std::min(position.row, buffer.lines().count() - 1);
    return position;
}

void SelectionService::setSelection(Position start, Position end) {
    start_ = clamp(start);
    end_ = clamp(end);
    hasSelectionRange_ = !(start_ == end_);
    setActiveAndNotify();
}

void SelectionService::selectNone() {
    if (!active_) return;
    setActive(false);
    selectionMode = SelectionMode::character;
    wordSelectionAnchor.reset();
    rowSelectionAnchor.reset();
    selectingRows = false;
}

void SelectionService::adjustForInPlaceScroll(int, int, int) {}

void SelectionService::invalidateForColumnRestrictedScroll(int, int, int, int) {}

std::string SelectionService::debugDescription() const {
    std::string pivotText = pivot ? pivot->debugDescription() : "nil";
    return std::string("[Selection (active=") + (active_ ? "true" : "false") + ", start=" + start_.debugDescription() +
           " end=" + end_.debugDescription() + " hasSR=" + (hasSelectionRange_ ? "true" : "false") +
           " pivot=" + pivotText + "]";
}

}  // namespace vantel
