// Scrolling: index, the region scroll of line feeds and wraps, reverse index, SU/SD,
// column scrolls (DECBI/DECFI) and the paragraph cuts at the edges of moved content.
#include <algorithm>
#include <cstdio>
#include <string>

#include "vantel/core/SelectionService.h"
#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

// Copies the cells left...right of src into dst at the same columns.
void copySpan(BufferLine& dst, BufferLine& src, int left, int right) { dst.copyFrom(src, left, left, right - left + 1); }

void unwrapLine(CircularBufferLineList& lines, int row) {
    if (row < 0 || row >= lines.count()) return;
    BufferLine& line = lines[row];
    if (line.isWrapped()) line.setWrapped(false);
}

// The blank of scrolled-in rows with the default background: a constant, read without
// waiting for the stores that assemble an attribute from curAttr.
constexpr Attribute defaultBlank(Attribute::Color::defaultColor(), Attribute::Color::defaultColor(), CharacterStyle());

// Turning the ring costs about what moving this many rows does (measured at 24 and 60 rows):
// the seam then moves, so row lookups branch differently on every line feed.
constexpr int turnCost = 32;

}  // namespace

Attribute Terminal::eraseAttribute() const {
    return Attribute(Attribute::Color::defaultColor(), curAttr.bg, CharacterStyle());
}

CharData Terminal::eraseCell() const { return CharData(0, 1, TinyAtom(), 0, eraseAttribute()); }

bool Terminal::marginsNarrowed() const {
    return marginMode && (buffer_->marginLeft >= 1 || buffer_->marginRight < cols_ - 1);
}

void Terminal::adjustSelectionsInPlace(int top, int bottom, int lines) {
    // Copy: a selection may unregister itself while it adjusts.
    const std::vector<SelectionService*> current = selections_;
    for (SelectionService* selection : current) selection->adjustForInPlaceScroll(top, bottom, lines);
}

// Scrolls at the region's bottom, else moves down a row (below the region the cursor
// just moves down); true when the cursor reached a new line.
bool Terminal::moveDownOrScroll() {
    Buffer& b = *buffer_;
    const int y = b.y();
    if (y == b.scrollBottom()) {
        if (marginMode && !cursorInsideMargins()) return false;
        scroll(false);
        return true;
    }
    if (y < rows_ - 1) {
        b.setY(y + 1);
        return true;
    }
    return false;
}

void Terminal::cmdIndex() {
    restrictCursor();
    finishSemanticLineAdvance(moveDownOrScroll());
}

void Terminal::scroll(bool isWrapped) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int top = b.yBase() + b.scrollTop();
    const int bottom = b.yBase() + b.scrollBottom();
    if (bottom >= lines.count()) {
        noteInconsistency(Inconsistency::scrollRegionOutsideRing);
        VANTEL_ASSERT(bottom < lines.count());
        return;
    }
    const BidiPresentationState bidi = isWrapped && bottom >= 0 ? lines[bottom].bidiState() : currentBidiState;

    if (marginsNarrowed()) {
        scrollColumns(top, bottom);
    } else if (b.scrollTop() == 0 && (b.hasScrollback() || !lines.isFull())) {
        scrollIntoScrollback(bottom, isWrapped, bidi);
    } else {
        scrollInPlace(top, bottom, isWrapped, bidi);
    }

    if (!userScrolling) b.setYDisp(b.yBase());
    updateRange(b.scrollTop(), true);
    updateRange(b.scrollBottom(), true);
    const bool intoScrollback = b.scrollTop() == 0 && b.hasScrollback() && b.scrollBottom() == rows_ - 1;
    if (!intoScrollback) {
        updateRange(b.scrollTop());
        updateRange(b.scrollBottom());
    }
    if (b.hasAnyImages()) updateKittyRelativePlacementsForCurrentBuffer();
    if (tdel_) tdel_->scrolled(*this, buffer_->yDisp());
}

// Column-restricted scroll: inside the margins each row takes the cells of the row below.
void Terminal::scrollColumns(int top, int bottom) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int left = b.marginLeft, right = b.marginRight;
    for (int r = top; r < bottom; ++r) {
        BufferLine& row = lines[r];
        BufferLine& below = lines[r + 1];
        copySpan(row, below, left, right);
        row.setBidiState(below.bidiState());
        row.setWrapped(false);
        b.clearImagesFromLine(r);
        row.setRenderMode(BufferLine::RenderLineMode::single);
    }
    BufferLine& last = lines[bottom];
    last.fill(CharData(eraseAttribute(), 0, 1), left, right - left + 1);
    last.setWrapped(false);
    last.setBidiState(currentBidiState);
    b.clearImagesFromLine(bottom);
    last.setRenderMode(BufferLine::RenderLineMode::single);
    selectionsInvalidateForColumnRestrictedScroll(top, bottom, left, right);
}

// The region starts at the screen's top: its top line joins the scroll-back where it stands.
// Only the rows below the region, if any, step down one place to make room for the new
// bottom line: O(rows below), O(1) for a full-screen region.
void Terminal::scrollIntoScrollback(int bottom, bool isWrapped, const BidiPresentationState& bidi) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int count = lines.count();
    if (lines.isFull()) {
        // The oldest line leaves the ring anyway: it becomes the new bottom line, no allocation.
        BufferLine* recycled = curAttr.bg.isDefault() ? lines.recycle(defaultBlank) : lines.recycle(eraseAttribute());
        BufferLine& fresh = recycled ? *recycled : lines[count - 1];
        if (fresh.count() != cols_) fresh.resize(cols_, CharData(eraseAttribute(), 0, 1));
        fresh.setRowState(isWrapped, bidi, BufferLine::RenderLineMode::single);
        if (bottom < count - 1) lines.moveLine(count - 1, bottom);
        lines.prefetchForOutputAt(b.x());
        if (b.hasScrollback()) b.setLinesTop(b.totalLinesTrimmed() + 1);
        // Ring rows up to the bottom lost one place; those below kept theirs.
        adjustSelectionsForInPlaceScroll(0, bottom, 1);
        if (userScrolling) b.setYDisp(std::max(b.yDisp() - 1, 0));
        return;
    }
    // The template copied into new rows.
    const Attribute blankAttribute = eraseAttribute();
    if (blankLine_->count() != cols_ || (cols_ > 0 && !(blankLine_->cells()[0].attribute == blankAttribute))) {
        blankLine_ = BufferLine::make(cols_, CharData(blankAttribute, 0, 1), false, bidi);
    }
    blankLine_->setWrapped(isWrapped);
    blankLine_->setBidiState(bidi);
    lines.push(BufferLine::copyOf(*blankLine_));
    if (bottom < count - 1) {
        lines.moveLine(count, bottom + 1);
        adjustSelectionsForInPlaceScroll(bottom + 1, count, -1);
    }
    b.setYBase(b.yBase() + 1);
    if (!userScrolling) b.setYDisp(b.yDisp() + 1);
}

// Nothing reaches the scroll-back: the region's top line is dropped and comes back blank as
// its bottom line, O(region height). When the ring holds just the screen, turning all of it
// and putting back the rows outside the region is O(rows outside): taken when that is less.
inline void Terminal::scrollInPlace(int top, int bottom, bool isWrapped, const BidiPresentationState& bidi) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int count = lines.count();
    if (b.hasAnyImages()) b.clearImagesFromLine(top);
    BufferLine& fresh = lines[top];
    if (curAttr.bg.isDefault()) fresh.clear(defaultBlank);
    else fresh.clear(eraseAttribute());
    fresh.destroySemanticState();
    if (fresh.count() != cols_) fresh.resize(cols_, CharData(eraseAttribute(), 0, 1));
    fresh.setRowState(isWrapped, bidi, BufferLine::RenderLineMode::single);
    if (b.yBase() == 0 && lines.isFull() && top + (count - 1 - bottom) + turnCost < bottom - top) {
        if (top > 0) lines.moveLine(top, 0);
        lines.rotate();
        if (bottom < count - 1) lines.moveLine(count - 1, bottom);
    } else {
        lines.moveLine(top, bottom);
    }
    adjustSelectionsForInPlaceScroll(top, bottom, 1);
}

void Terminal::reverseIndex() {
    restrictCursor();
    Buffer& b = *buffer_;
    const int x = b.x();
    const int y = b.y();
    const bool atRegionTop = y == b.scrollTop();
    if (!atRegionTop) {
        if (y >= 1) b.setY(y - 1);
        return;
    }
    // Outside the margins the region's top holds the cursor, on either side.
    if (marginMode && (x < b.marginLeft || x > b.marginRight)) return;

    CircularBufferLineList& lines = b.lines();
    const int start = b.yBase() + y;
    const int end = b.yBase() + b.scrollBottom();
    if (start >= lines.count()) {
        noteInconsistency(Inconsistency::scrollRegionOutsideRing);
        VANTEL_ASSERT(start < lines.count());
        return;
    }
    if (marginsNarrowed()) {
        const int left = b.marginLeft, right = b.marginRight;
        for (int r = end; r > start; --r) {
            BufferLine& row = lines[r];
            copySpan(row, lines[r - 1], left, right);
            row.setWrapped(false);
            row.setRenderMode(BufferLine::RenderLineMode::single);
            b.clearImagesFromLine(r);
        }
        BufferLine& first = lines[start];
        first.fill(eraseCell(), left, right - left + 1);
        first.setWrapped(false);
        b.clearImagesFromLine(start);
        first.setRenderMode(BufferLine::RenderLineMode::single);
        selectionsInvalidateForColumnRestrictedScroll(start, end, left, right);
    } else if (end < lines.count()) {
        // The region's bottom line leaves: it comes back blank as the top one.
        b.blankLineForReuse(end, eraseAttribute());
        lines.moveLine(end, start);
        adjustSelectionsForInPlaceScroll(start, end, -1);
    } else {
        if (!lines.shiftElements(start, b.scrollBottom() - y, 1)) {
            noteInconsistency(Inconsistency::scrollShiftRefused);
            VANTEL_ASSERT(!"the ring holds the scroll region");
        }
        lines.set(start, b.getBlankLine(eraseAttribute()));
        adjustSelectionsForInPlaceScroll(start, end, -1);
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

// Moves rows `first`..`last` (ring rows) one row at a time, `passes` times: down, toward
// `last`, opening a blank row at `first`, or up, opening it at `last`. Blanks carry `blank`.
// With `columnsOnly` just the margin columns move and overlapping selections are dropped;
// otherwise whole rows move (the row that leaves is reused as the blank one), O(rows) a pass.
void Terminal::shiftRows(int first, int last, int passes, bool down, bool columnsOnly, const Attribute& blank) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int from = down ? last : first;
    const int to = down ? first : last;
    if (columnsOnly) {
        const int left = b.marginLeft, right = b.marginRight;
        const int step = down ? -1 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            for (int r = from; r != to; r += step) copySpan(lines[r], lines[r + step], left, right);
            lines[to].fill(CharData(blank, 0, 1), left, right - left + 1);
        }
        selectionsInvalidateForColumnRestrictedScroll(first, last, left, right);
        return;
    }
    for (int pass = 0; pass < passes; ++pass) {
        b.blankLineForReuse(from, blank);
        lines.moveLine(from, to);
    }
}

void Terminal::cmdScrollDown(std::span<const int> pars) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int n = std::clamp(pars.empty() || pars[0] == 0 ? 1 : pars[0], 1, rows_);
    const int top = b.yBase() + b.scrollTop();
    const int bottom = b.yBase() + b.scrollBottom();
    if (top < 0 || bottom >= lines.count() || bottom < top) return;
    // Passes beyond the region's height only move blank rows.
    const bool columnsOnly = marginsNarrowed();
    shiftRows(top, bottom, std::min(n, bottom - top + 1), true, columnsOnly, Attribute::defaultAttribute);
    if (!columnsOnly) adjustSelectionsForInPlaceScroll(top, bottom, -n);
    hardenBidiScrollBoundaries(true, n);
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::cmdScrollUp(std::span<const int> pars, std::string_view) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int n = std::clamp(pars.empty() || pars[0] == 0 ? 1 : pars[0], 1, 2 * rows_);
    const int top = b.yBase() + b.scrollTop();
    const int bottom = b.yBase() + b.scrollBottom();
    if (top < 0 || bottom >= lines.count() || bottom < top) return;
    const bool columnsOnly = marginsNarrowed();
    shiftRows(top, bottom, std::min(n, bottom - top + 1), false, columnsOnly, Attribute::defaultAttribute);
    if (!columnsOnly) adjustSelectionsForInPlaceScroll(top, bottom, n);
    hardenBidiScrollBoundaries(false, n);
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::columnIndex(bool back) {
    Buffer& b = *buffer_;
    if (back) {
        if (b.x() != b.marginLeft) cursorBackward(1);
        else columnScroll(true, b.x());
        return;
    }
    if (b.x() != b.marginRight) {
        if (b.x() != b.cols()) cursorForward(1);
    } else {
        columnScroll(false, b.marginLeft);
    }
}

void Terminal::columnScroll(bool back, int at) {
    Buffer& b = *buffer_;
    const int x = b.x(), y = b.y();
    if (y < b.scrollTop() || y > b.scrollBottom() || x < b.marginLeft || x > b.marginRight) return;
    const int right = std::min(marginMode ? b.marginRight : cols_ - 1, cols_ - 1);
    if (at < 0 || at > right) return;
    // The column that opens up is blank in the current background, as for DECFI.
    const CharData space(0x20, 1, TinyAtom(), 0, eraseAttribute());
    CircularBufferLineList& lines = b.lines();
    for (int row = b.scrollTop(); row <= b.scrollBottom(); ++row) {
        const int index = b.yBase() + row;
        if (index >= lines.count()) break;
        BufferLine& line = lines[index];
        if (back) {
            line.insertCells(at, 1, right, space);
        } else {
            line.deleteCells(at, 1, right, space);
        }
    }
    updateRange(b.scrollTop());
    updateRange(b.scrollBottom());
}

void Terminal::hardenBidiScrollBoundaries(bool insertedAtTop, int count) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int top = b.yBase() + b.scrollTop();
    const int bottom = b.yBase() + b.scrollBottom();
    unwrapLine(lines, top);
    if (insertedAtTop && count < bottom - top + 1) unwrapLine(lines, top + count);
    unwrapLine(lines, bottom + 1);
}

void Terminal::hardenBidiLineShiftBoundaries(int firstChangedRow, std::optional<int> firstMovedRow, int lastRow) {
    CircularBufferLineList& lines = buffer_->lines();
    unwrapLine(lines, firstChangedRow);
    if (firstMovedRow) unwrapLine(lines, *firstMovedRow);
    unwrapLine(lines, lastRow + 1);
}

void Terminal::resetBufferLine(int y, bool clearImages, std::optional<BidiPresentationState> bidiState) {
    Buffer& b = *buffer_;
    const int row = b.yBase() + y;
    if (row < 0 || row >= b.lines().count()) return;
    if (clearImages) b.clearImagesFromLine(row);
    BufferLine& line = b.lines()[row];
    line.replaceCells(0, std::min(cols_, line.count()), eraseCell());
    line.setWrapped(false);
    line.setRenderMode(BufferLine::RenderLineMode::single);
    if (bidiState) line.setBidiState(*bidiState);
}

}  // namespace vantel
