#include "vantel/core/SelectionService.h"

#include <algorithm>
#include <vector>

#include "vantel/core/Terminal.h"
#include "vantel/core/UnicodeUtil.h"

namespace vantel {

namespace {

bool isLetterOrNumber(const Character& c) {
    if (c.empty()) return false;
    switch (UnicodeUtil::generalCategory(c[0])) {
    case GeneralCategory::Lu:
    case GeneralCategory::Ll:
    case GeneralCategory::Lt:
    case GeneralCategory::Lm:
    case GeneralCategory::Lo:
    case GeneralCategory::Nd:
    case GeneralCategory::Nl:
    case GeneralCategory::No: return true;
    default: return false;
    }
}

bool isWordCharacter(const Character& c) {
    return isLetterOrNumber(c) || c == U"." || c == U"_" || c == U"-";
}

std::pair<Position, Position> ordered(Position a, Position b) {
    if (b < a) std::swap(a, b);
    return {a, b};
}

}  // namespace

SelectionService::SelectionService(Terminal& terminal) : terminal_(&terminal) { terminal.registerSelection(this); }

SelectionService::~SelectionService() {
    if (terminal_) terminal_->unregisterSelection(this);
}

Buffer* SelectionService::buffer() const { return terminal_ ? &terminal_->buffer() : nullptr; }

int SelectionService::terminalCols() const { return terminal_ ? terminal_->cols() : 1; }

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

// --- Starting, setting and clearing ------------------------------------------------------

void SelectionService::setSoftStart(Position bufferPosition) {
    start_ = end_ = bufferPosition;
    hasSelectionRange_ = false;
    active_ = true;
    notify();
}

void SelectionService::setSoftStart(int row, int col) {
    if (Buffer* b = buffer()) setSoftStart(Position{col, row + b->yDisp()});
}

void SelectionService::startSelection() {
    end_ = start_;
    hasSelectionRange_ = false;
    selectingRows = false;
    selectionMode = SelectionMode::character;
    wordSelectionAnchor.reset();
    rowSelectionAnchor.reset();
    setActiveAndNotify();
}

void SelectionService::startSelection(int row, int col) {
    if (!buffer()) return;
    setSoftStart(row, col);
    selectingRows = false;
    selectionMode = SelectionMode::character;
    wordSelectionAnchor.reset();
    rowSelectionAnchor.reset();
    setActiveAndNotify();
}

void SelectionService::setSelection(Position start, Position end) {
    start_ = clamp(start);
    end_ = clamp(end);
    recomputeRange();
    setActiveAndNotify();
}

void SelectionService::selectAll() {
    Buffer* b = buffer();
    if (!b) return;
    const int cols = terminalCols();
    const int maxLength = b->lines().maxLength();
    // The ring's capacity, not the lines present: the selection keeps covering output still to come.
    start_ = Position{0, 0};
    end_ = Position{cols - 1, maxLength - 1};
    hasSelectionRange_ = cols != 1 || maxLength != 1;
    setActiveAndNotify();
}

void SelectionService::select(int row) {
    if (!terminal_) return;
    const int cols = terminalCols();
    start_ = Position{0, row};
    end_ = Position{cols - 1, row};
    hasSelectionRange_ = cols != 1;
    selectingRows = true;
    selectionMode = SelectionMode::row;
    wordSelectionAnchor.reset();
    rowSelectionAnchor = row;
    setActiveAndNotify();
}

void SelectionService::reset() {
    setActive(false);
    selectionMode = SelectionMode::character;
    wordSelectionAnchor.reset();
    rowSelectionAnchor.reset();
    selectingRows = false;
}

void SelectionService::selectNone() {
    if (active_) reset();
}

void SelectionService::setRowSelection(int from, int through) {
    const int cols = terminalCols();
    start_ = Position{0, std::min(from, through)};
    end_ = Position{cols - 1, std::max(from, through)};
    hasSelectionRange_ = from != through || cols != 1;
}

// --- Extending ---------------------------------------------------------------------------

void SelectionService::shiftExtend(int row, int col) {
    if (Buffer* b = buffer()) shiftExtend(Position{col, row + b->yDisp()});
}

void SelectionService::shiftExtend(Position p) {
    Buffer* b = buffer();
    if (!b) return;
    if (selectionMode == SelectionMode::row) {
        setRowSelection(rowSelectionAnchor.value_or(start_.row), p.row);
        setActiveAndNotify();
        return;
    }
    if (selectionMode == SelectionMode::word) {
        p.col = extendToWordBoundary(p, *b, p < start_ ? Direction::backward : Direction::forward).col;
    }
    // The far end stays; the near one moves to the click.
    if ((start_ < end_ && p < start_) || (end_ < start_ && start_ < p)) start_ = end_;
    end_ = p;
    recomputeRange();
    setActiveAndNotify();
}

void SelectionService::pivotExtend(int row, int col) {
    if (Buffer* b = buffer()) pivotExtend(Position{col, row + b->yDisp()});
}

void SelectionService::pivotExtend(Position p) {
    Buffer* b = buffer();
    if (!b || !pivot) return;
    const Position fixed = *pivot;
    if (selectionMode == SelectionMode::row) {
        setRowSelection(fixed.row, p.row);
        setActiveAndNotify();
        return;
    }
    if (selectionMode == SelectionMode::word) {
        p.col = extendToWordBoundary(p, *b, p < fixed ? Direction::backward : Direction::forward).col;
    }
    if (p < fixed) {
        start_ = p;
        end_ = fixed;
    } else if (p == fixed) {
        start_ = end_ = fixed;
    } else {
        start_ = fixed;
        end_ = p;
    }
    recomputeRange();
    setActiveAndNotify();
}

void SelectionService::dragExtend(int row, int col) {
    if (Buffer* b = buffer()) dragExtend(Position{col, row + b->yDisp()});
}

void SelectionService::dragExtend(Position p) {
    Buffer* b = buffer();
    if (!b) return;
    switch (selectionMode) {
    case SelectionMode::word:
        if (wordSelectionAnchor) {
            // A word drag never shrinks below the word that the double click chose.
            const auto [a, z] = *wordSelectionAnchor;
            if (p.row < a.row || (p.row <= a.row && p.col < a.col)) {
                start_ = extendToWordBoundary(p, *b, Direction::backward);
                end_ = z;
            } else if (p.row < z.row || (p.col <= z.col && p.row <= z.row)) {
                start_ = a;
                end_ = z;
            } else {
                start_ = a;
                end_ = extendToWordBoundary(p, *b, Direction::forward);
            }
        } else {
            end_ = extendToWordBoundary(p, *b, p < start_ ? Direction::backward : Direction::forward);
        }
        break;
    case SelectionMode::row: setRowSelection(rowSelectionAnchor.value_or(start_.row), p.row); break;
    case SelectionMode::character: end_ = p; break;
    }
    recomputeRange();
    setActiveAndNotify();
}

// --- Words and expressions ---------------------------------------------------------------

Character SelectionService::characterAt(Buffer& buffer, Position position) const {
    const CharData cell = buffer.getCharAtBufferRelative(position);
    return terminal_ ? terminal_->character(cell.code) : nullChar;
}

std::function<bool(const Character&)> SelectionService::runClassAt(Buffer& buffer, Position position) const {
    const Character c = characterAt(buffer, position);
    if (c == nullChar) return [](const Character& x) { return x == nullChar; };
    if (c == U" ") return [](const Character& x) { return x == U" "; };
    if (isLetterOrNumber(c)) return isWordCharacter;
    return {};
}

std::pair<Position, Position> SelectionService::simpleScanSelection(
    Position from, Buffer& in, const std::function<bool(const Character&)>& includeFunc) {
    const int cols = terminalCols();
    int left = from.col;
    if (includeFunc(characterAt(in, from))) {
        while (left > 0 && includeFunc(characterAt(in, Position{left - 1, from.row}))) --left;
    }
    int right = from.col;
    while (right < cols && includeFunc(characterAt(in, Position{right, from.row}))) ++right;
    return {Position{left, from.row}, Position{right, from.row}};
}

Position SelectionService::extendToWordBoundary(Position position, Buffer& in, Direction direction) {
    auto includeFunc = runClassAt(in, position);
    if (!includeFunc) return position;
    auto [first, after] = simpleScanSelection(position, in, includeFunc);
    return direction == Direction::backward ? first : after;
}

void SelectionService::balancedSearchForward(Position from, Buffer& in) {
    start_ = from;
    recomputeRange();
    const int cols = terminalCols();
    const int lastRow = std::min(in.rows() + in.yDisp(), in.lines().count());
    std::vector<int32_t> expected;
    for (int row = from.row; row < lastRow; ++row) {
        for (int col = row == from.row ? from.col : 0; col < cols; ++col) {
            const int32_t code = in.getCharAtBufferRelative(Position{col, row}).code;
            if (code == '(') expected.push_back(')');
            else if (code == '[') expected.push_back(']');
            else if (code == '{') expected.push_back('}');
            else if (!expected.empty() && code == expected.back()) {
                expected.pop_back();
                if (expected.empty()) {
                    end_ = Position{col + 1, row};
                    recomputeRange();
                    return;
                }
            }
        }
    }
    start_ = end_ = from;
    hasSelectionRange_ = false;
}

void SelectionService::balancedSearchBackward(Position from, Buffer& in) {
    end_ = from;
    recomputeRange();
    const int cols = terminalCols();
    std::vector<int32_t> expected;
    for (int row = std::min(from.row, in.lines().count() - 1); row >= 0; --row) {
        for (int col = row == from.row ? from.col : cols - 1; col >= 0; --col) {
            const int32_t code = in.getCharAtBufferRelative(Position{col, row}).code;
            if (code == ')') expected.push_back('(');
            else if (code == ']') expected.push_back('[');
            else if (code == '}') expected.push_back('{');
            else if (!expected.empty() && code == expected.back()) {
                expected.pop_back();
                if (expected.empty()) {
                    start_ = Position{col, row};
                    end_ = Position{from.col + 1, from.row};
                    recomputeRange();
                    return;
                }
            }
        }
    }
    start_ = end_ = from;
    hasSelectionRange_ = false;
}

void SelectionService::selectWordOrExpression(Position at, Buffer& in) {
    if (!terminal_) return;
    const Position p{std::clamp(at.col, 0, terminalCols()), std::max(at.row, 0)};
    const Character c = characterAt(in, p);
    if (auto includeFunc = runClassAt(in, p)) {
        std::tie(start_, end_) = simpleScanSelection(p, in, includeFunc);
        hasSelectionRange_ = start_.col != end_.col;
    } else if (c == U"(" || c == U"[" || c == U"{") {
        balancedSearchForward(p, in);
    } else if (c == U")" || c == U"]" || c == U"}") {
        balancedSearchBackward(p, in);
    } else {
        start_ = end_ = p;
        hasSelectionRange_ = false;
    }
    selectionMode = SelectionMode::word;
    wordSelectionAnchor = std::make_pair(start_, end_);
    rowSelectionAnchor.reset();
    selectingRows = false;
    setActiveAndNotify();
}

// --- Text and scrolling ------------------------------------------------------------------

std::string SelectionService::getSelectedText() {
    if (!terminal_) return {};
    return terminal_->getText(start_, end_);
}

void SelectionService::adjustForInPlaceScroll(int top, int bottom, int lines) {
    if (lines == 0 || !active_) return;
    const auto [lo, hi] = ordered(start_, end_);
    if (hi.row < top || lo.row > bottom) return;
    if (hi.row > bottom || lo.row < top) {
        reset();
        return;
    }
    // Moves every stored row inside the region with its text; one leaving the region drops the selection.
    bool leaves = false;
    auto moved = [&](int row) {
        if (row < top || row > bottom) return row;
        const int shifted = row - lines;
        if (shifted < top || shifted > bottom) leaves = true;
        return shifted;
    };
    Position newStart{start_.col, moved(start_.row)};
    Position newEnd{end_.col, moved(end_.row)};
    auto newWordAnchor = wordSelectionAnchor;
    if (newWordAnchor) {
        newWordAnchor->first.row = moved(newWordAnchor->first.row);
        newWordAnchor->second.row = moved(newWordAnchor->second.row);
    }
    auto newRowAnchor = rowSelectionAnchor;
    if (newRowAnchor) newRowAnchor = moved(*newRowAnchor);
    std::optional<Position> newPivot = pivot;
    if (pivot && (*pivot == start_ || *pivot == end_)) newPivot->row = moved(pivot->row);
    if (leaves) {
        reset();
        return;
    }
    start_ = newStart;
    end_ = newEnd;
    wordSelectionAnchor = newWordAnchor;
    rowSelectionAnchor = newRowAnchor;
    pivot = newPivot;
    recomputeRange();
    notify();
}

void SelectionService::invalidateForColumnRestrictedScroll(int top, int bottom, int left, int right) {
    if (!active_) return;
    const auto [lo, hi] = ordered(start_, end_);
    const bool rowsOverlap = hi.row >= top && lo.row <= bottom;
    const bool columnsOverlap = lo.row != hi.row || (hi.col >= left && lo.col <= right);
    if (rowsOverlap && columnsOverlap) reset();
}

std::string SelectionService::debugDescription() const {
    std::string pivotText = pivot ? pivot->debugDescription() : "nil";
    return std::string("[Selection (active=") + (active_ ? "true" : "false") + ", start=" + start_.debugDescription() +
           " end=" + end_.debugDescription() + " hasSR=" + (hasSelectionRange_ ? "true" : "false") +
           " pivot=" + pivotText + "]";
}

}  // namespace vantel
