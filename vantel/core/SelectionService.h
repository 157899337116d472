#pragma once

#include <optional>
#include <string>
#include <utility>

#include "vantel/core/Position.h"

namespace vantel {

class Terminal;

// The text selection of one terminal, in buffer coordinates (rows are ring
// indices), so it stays on its text while the view scrolls. Registers itself
// with its terminal, whose in-place scrolls move or drop it.
class SelectionService {
public:
    enum class SelectionMode { character, word, row };

    explicit SelectionService(Terminal& terminal);
    virtual ~SelectionService();
    SelectionService(const SelectionService&) = delete;
    SelectionService& operator=(const SelectionService&) = delete;

    Terminal* terminal() const { return terminal_; }
    // Called by a terminal that goes away first.
    void detachFromTerminal() { terminal_ = nullptr; }

    bool active() const { return active_; }
    void setActive(bool active);
    void setActiveAndNotify();
    bool hasSelectionRange() const { return hasSelectionRange_; }
    Position start() const { return start_; }
    Position end() const { return end_; }
    bool isMultiLine() const { return start_.row != end_.row; }

    std::optional<Position> pivot = Position{0, 0};
    std::optional<std::pair<Position, Position>> wordSelectionAnchor;
    std::optional<int> rowSelectionAnchor;
    bool selectingRows = false;
    SelectionMode selectionMode = SelectionMode::character;

    void setSelection(Position start, Position end);
    void selectNone();

    // Called by the terminal's scroll operations.
    virtual void adjustForInPlaceScroll(int top, int bottom, int lines);
    virtual void invalidateForColumnRestrictedScroll(int top, int bottom, int left, int right);

    std::string debugDescription() const;

protected:
    void notify();
    Position clamp(Position position) const;

    Terminal* terminal_;
    bool active_ = false;
    bool hasSelectionRange_ = false;
    Position start_;
    Position end_;
};

}  // namespace vantel
