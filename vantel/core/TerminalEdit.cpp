// Erase and edit: ED, EL, ICH, DCH, IL, DL, ECH, REP, DECIC, DECDC, DECALN, line sizes.
#include <algorithm>
#include <string>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

// The count parameter: the first parameter when it is at least 2, else 1.
int countParameter(std::span<const int> pars) { return !pars.empty() && pars[0] >= 2 ? pars[0] : 1; }

std::string parameterList(std::span<const int> pars) {
    std::string out = "[";
    for (size_t i = 0; i < pars.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(pars[i]);
    }
    return out + "]";
}

}  // namespace

void Terminal::cmdEraseInDisplay(std::span<const int> pars) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int x = b.x();
    const int y = b.y();
    const int cursorRow = b.yBase() + y;
    switch (pars.empty() ? 0 : pars[0]) {
    case 0: {
        updateRange(y);
        if (cursorRow < lines.count()) {
            BufferLine& line = lines[cursorRow];
            line.replaceCells(x, std::min(cols_, line.count()), eraseCell());
            if (x == 0) line.setWrapped(false);
        }
        for (int row = y + 1; row < rows_; ++row) resetBufferLine(row, false, currentBidiState);
        updateRange(rows_ - 1);
        break;
    }
    case 1: {
        updateRange(y);
        if (cursorRow < lines.count()) {
            BufferLine& line = lines[cursorRow];
            line.replaceCells(0, std::min(x + 1, line.count()), eraseCell());
            line.setWrapped(false);
            // The erased last column no longer runs on into the next row.
            if (x + 1 >= cols_ && cursorRow + 1 < lines.count()) lines[cursorRow + 1].setWrapped(false);
        }
        for (int row = 0; row < y; ++row) resetBufferLine(row, false, currentBidiState);
        updateRange(0);
        break;
    }
    case 2:
        updateRange(rows_ - 1);
        for (int row = 0; row < rows_; ++row) resetBufferLine(row, true, currentBidiState);
        clearAllKittyImages();
        updateRange(0);
        break;
    case 3: {
        const int dropped = lines.count() - rows_;
        if (dropped < 1) break;
        lines.trimStart(dropped);
        b.setLinesTop(0);
        b.setYBase(std::max(b.yBase() - dropped, 0));
        b.setYDisp(std::max(b.yDisp() - dropped, 0));
        break;
    }
    default: break;
    }
}

void Terminal::cmdEraseInLine(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int row = b.yBase() + b.y();
    if (row < b.lines().count()) {
        BufferLine& line = b.lines()[row];
        const int end = std::min(cols_, line.count());
        switch (pars.empty() ? 0 : pars[0]) {
        case 0: line.replaceCells(b.x(), end, eraseCell()); break;
        case 1: line.replaceCells(0, std::min(b.x() + 1, end), eraseCell()); break;
        case 2: line.replaceCells(0, end, eraseCell()); break;
        default: line.touch(); break;
        }
    }
    updateRange(b.y());
}

void Terminal::cmdInsertChars(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int x = b.x();
    if (marginMode && (x < b.marginLeft || x > b.marginRight)) return;
    const int right = marginMode ? b.marginRight : cols_ - 1;
    const int row = b.yBase() + b.y();
    if (row >= b.lines().count()) return;
    // A pending-wrap cursor stands on the last column.
    b.lines()[row].insertCells(std::min(x, right), countParameter(pars), right, eraseCell());
    updateRange(b.y());
}

void Terminal::cmdDeleteChars(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int x = b.x();
    int n = countParameter(pars);
    if (marginMode) {
        if (x < b.marginLeft || x > b.marginRight) return;
        n = std::min(n, b.marginRight - x + 1);
    }
    if (x >= b.cols()) return;
    const int right = marginMode ? b.marginRight : cols_ - 1;
    const int row = b.yBase() + b.y();
    if (row >= b.lines().count()) return;
    b.lines()[row].deleteCells(x, n, right, eraseCell());
    updateRange(b.y());
}

void Terminal::cmdEraseChars(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int row = b.yBase() + b.y();
    if (row >= b.lines().count()) return;
    BufferLine& line = b.lines()[row];
    const int64_t end = std::min<int64_t>(static_cast<int64_t>(b.x()) + countParameter(pars), line.count());
    line.replaceCells(b.x(), static_cast<int>(end), eraseCell());
    updateRange(b.y());
}

void Terminal::cmdInsertLines(std::span<const int> pars) { insertOrDeleteLines(pars, true); }

void Terminal::cmdDeleteLines(std::span<const int> pars) {
    restrictCursor(true);
    insertOrDeleteLines(pars, false);
}

void Terminal::insertOrDeleteLines(std::span<const int> pars, bool insert) {
    Buffer& b = *buffer_;
    const int y = b.y();
    if (y < b.scrollTop() || y > b.scrollBottom()) return;
    const int cursorRow = b.yBase() + y;
    const int bottomRow = b.yBase() + b.scrollBottom();
    if (bottomRow >= b.lines().count()) return;
    // Beyond the rows from the cursor down, more lines change nothing.
    const int n = std::min(countParameter(pars), bottomRow - cursorRow + 1);
    // Text outside the margins is fenced off: a cursor there moves no lines.
    if (marginMode && !cursorInsideMargins()) return;
    const bool columnsOnly = marginMode;
    shiftRows(cursorRow, bottomRow, n, insert, columnsOnly, eraseAttribute());
    if (!columnsOnly) {
        adjustSelectionsForInPlaceScroll(cursorRow, bottomRow, insert ? -n : n);
        // Where the moved rows meet the blank ones, if that lies inside the region.
        const int seam = insert ? cursorRow + n : bottomRow - n + 1;
        const bool inside = insert ? seam <= bottomRow : seam > cursorRow;
        hardenBidiLineShiftBoundaries(cursorRow, inside ? std::optional<int>(seam) : std::nullopt, bottomRow);
    }
    markEditedRegion();
}

// The rows insert and delete line may have changed: cursor row, region bottom and,
// for a partial region, its top.
void Terminal::markEditedRegion() {
    Buffer& b = *buffer_;
    updateRange(b.y());
    updateRange(b.scrollBottom());
    if (b.scrollTop() != 0 || b.scrollBottom() != rows_ - 1) {
        updateRange(b.scrollTop());
        updateRange(b.scrollBottom());
    }
}

void Terminal::cmdRepeatPrecedingCharacter(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int row = b.yBase() + b.y();
    if (row >= b.lines().count()) return;
    const int n = static_cast<int>(std::min<int64_t>(countParameter(pars), 2LL * cols_ * rows_));
    const BufferLine& line = b.lines()[row];
    const int col = columnBeforeCursor(b, line);
    CharData cell = col >= 0 ? line[col] : CharData::Null;
    updateRange(b.y());
    for (int i = 0; i < n; ++i) b.insertCharacter(cell, payloadResolver());
    if (!b.wraparound) holdCursorAtRightMargin();
    updateRange(b.y());
}

void Terminal::csiCloseBrace(std::span<const int> pars, std::string_view collect) {
    if (collect != "'") {
        log("CSI # } not implemented- XTPOPSGR with " + parameterList(pars));
        return;
    }
    shiftColumns(countParameter(pars), true);
}

void Terminal::cmdDeleteColumns(std::span<const int> pars) { shiftColumns(countParameter(pars), false); }

// DECIC (insert) and DECDC (delete): the columns from the cursor to the right margin move
// by n on every row of the scroll region; the columns that open up are blank spaces.
void Terminal::shiftColumns(int n, bool insert) {
    Buffer& b = *buffer_;
    const int x = b.x();
    const int right = marginMode ? b.marginRight : cols_ - 1;
    if (x > right || (marginMode && x < b.marginLeft)) return;
    const CharData space(0x20, 1, TinyAtom(), 0, eraseAttribute());
    CircularBufferLineList& lines = b.lines();
    for (int y = b.scrollTop(); y <= b.scrollBottom(); ++y) {
        const int row = b.yBase() + y;
        if (row >= lines.count()) break;
        if (insert) lines[row].insertCells(x, n, right, space);
        else lines[row].deleteCells(x, n, right, space);
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::cmdScreenAlignmentPattern() {
    setCursor(0, 0);
    Buffer& b = *buffer_;
    const CharData letter(0x45, 1, TinyAtom(), 0, curAttr);
    for (int y = 0; y < rows_; ++y) {
        const int row = b.yBase() + y;
        if (row >= b.lines().count()) break;
        BufferLine& line = b.lines()[row];
        line.fill(letter);
        line.setWrapped(false);
    }
    updateFullScreen();
    setCursor(0, 0);
}

void Terminal::setLineRenderMode(BufferLine::RenderLineMode mode) {
    Buffer& b = *buffer_;
    const int row = b.yBase() + b.y();
    if (row >= b.lines().count()) return;
    b.lines()[row].setRenderMode(mode);
    updateRange(b.y());
}

}  // namespace vantel
