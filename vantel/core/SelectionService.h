#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "vantel/core/Character.h"
#include "vantel/core/Position.h"

namespace vantel {

class Buffer;
class Terminal;

// The text selection of one terminal, in buffer coordinates (rows are ring
// indices), so it stays on its text while the view scrolls. Registers itself
// with its terminal, whose in-place scrolls move or drop it. Operations taking
// (row, col) take a screen row and add the buffer's yDisp; the Position forms
// take buffer positions. `start` may lie after `end`; the later column is exclusive.
class SelectionService {
public:
    enum class SelectionMode { character, word, row };
    enum class Direction { backward, forward };

    // The character of an empty cell.
    static inline const Character nullChar = Character(1, U'\0');

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

    // Starting, setting and clearing.
    void startSelection(int row, int col);
    void startSelection();
    void setSoftStart(int row, int col);
    void setSoftStart(Position bufferPosition);
    void setSelection(Position start, Position end);
    void selectAll();
    void select(int row);
    // Inactive, in character mode, with no word or row anchor; the range stays as it was.
    void reset();
    void selectNone();

    // Extending: shift-click, from the pivot, mouse drag.
    void shiftExtend(int row, int col);
    void shiftExtend(Position bufferPosition);
    void pivotExtend(int row, int col);
    void pivotExtend(Position bufferPosition);
    void dragExtend(int row, int col);
    void dragExtend(Position bufferPosition);

    // Words and bracketed expressions (double click).
    void selectWordOrExpression(Position at, Buffer& in);
    // The run around `from` on its row whose characters pass `includeFunc`: first column, first column after.
    std::pair<Position, Position> simpleScanSelection(Position from, Buffer& in,
                                                      const std::function<bool(const Character&)>& includeFunc);
    void balancedSearchForward(Position from, Buffer& in);
    void balancedSearchBackward(Position from, Buffer& in);
    Position extendToWordBoundary(Position position, Buffer& in, Direction direction);

    std::string getSelectedText();

    // Called by the terminal's scroll operations.
    virtual void adjustForInPlaceScroll(int top, int bottom, int lines);
    virtual void invalidateForColumnRestrictedScroll(int top, int bottom, int left, int right);

    std::string debugDescription() const;

protected:
    void notify();
    Position clamp(Position position) const;

private:
    Character characterAt(Buffer& buffer, Position position) const;
    std::function<bool(const Character&)> runClassAt(Buffer& buffer, Position position) const;
    void setRowSelection(int from, int through);
    void recomputeRange() { hasSelectionRange_ = !(start_ == end_); }
    Buffer* buffer() const;
    int terminalCols() const;

    Terminal* terminal_;
    bool active_ = false;
    bool hasSelectionRange_ = false;
    Position start_;
    Position end_;
};

}  // namespace vantel
