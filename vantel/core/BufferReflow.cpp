// Buffer resize, with reflow of wrapped lines in buffers that keep scroll-back.
#include <algorithm>
#include <cstring>

#include "vantel/core/Buffer.h"

namespace vantel {

namespace {

bool isFillerCell(const CharData& cell) {
    return cell.code == 0 && cell.width == 1 && cell.attribute == Attribute::defaultAttribute;
}

// Nothing a reader would miss: no text, colour, mark or image.
bool isBlankPadding(const BufferLine& line) {
    return !line.isWrapped() && !line.hasImages() && !line.hasSemanticMarks() && !line.hasAnyContent();
}

// The rows a group of wrapped cells takes at `cols`: start offsets; a wide character that would
// straddle the right edge moves whole to the next row, leaving its row one cell short.
void layoutRows(const std::vector<CharData>& cells, int cols, std::vector<int>& starts) {
    starts.clear();
    const int total = static_cast<int>(cells.size());
    int start = 0;
    do {
        starts.push_back(start);
        int end = std::min(start + cols, total);
        if (end < total && end - 1 > start && cells[end - 1].width == 2) --end;
        start = end;
    } while (start < total);
}

struct RowColumn {
    int row;
    int col;
};

RowColumn locate(const std::vector<int>& starts, int offset) {
    const auto it = std::upper_bound(starts.begin(), starts.end(), offset);
    const int row = static_cast<int>(it - starts.begin()) - 1;
    return {std::max(row, 0), offset - starts[std::max(row, 0)]};
}

}  // namespace

int Buffer::getWrappedLineTrimmedLength(const BufferLine& line, const BufferLine* nextLine, int cols) {
    if (!nextLine) return line.getTrimmedLength();
    if (cols >= 1 && cols <= line.count() && isFillerCell(line[cols - 1]) && nextLine->count() > 0 &&
        (*nextLine)[0].width == 2) {
        return cols - 1;
    }
    return cols;
}

void Buffer::resize(int newCols, int newRows) {
    const int oldCols = cols_;
    const int oldX = x_;
    if (marginRight > newCols - 1) marginRight = newCols - 1;
    if (marginLeft >= marginRight) marginLeft = marginRight;

    const int newMax = getCorrectBufferLength(newRows);
    if (lines_->maxLength() < newMax) lines_->setMaxLength(newMax);
    // An empty ring (the alternate screen before first use) just takes the new capacity.
    if (lines_->count() == 0) lines_->setMaxLength(newMax);

    if (lines_->count() > 0) {
        if (cols_ < newCols) {
            for (int i = 0; i < lines_->count(); ++i) (*lines_)[i].resize(newCols, CharData::Null);
        }
        int addToY = 0;
        if (rows_ < newRows) {
            for (int r = rows_; r < newRows; ++r) {
                if (lines_->count() >= newRows + yBase_) continue;
                if (yBase_ > 0 && lines_->count() <= yBase_ + r + addToY + 1) {
                    // Pull a scroll-back line into view rather than adding a blank one.
                    --yBase_;
                    ++addToY;
                    if (yDisp_ > 0) --yDisp_;
                } else {
                    lines_->push(BufferLine::make(newCols, CharData::Null, false, defaultBidiState));
                }
            }
        } else if (rows_ > newRows) {
            for (int r = rows_; r > newRows; --r) {
                if (newRows + yBase_ >= lines_->count()) continue;
                if (yBase_ + y_ + 1 < lines_->count()) {
                    lines_->pop();
                } else {
                    ++yBase_;
                    ++yDisp_;
                }
            }
        }
        if (newMax < lines_->maxLength()) {
            const int excess = lines_->count() - newMax;
            if (excess > 0) {
                lines_->trimStart(excess);
                yBase_ = std::max(yBase_ - excess, 0);
                yDisp_ = std::max(yDisp_ - excess, 0);
            }
            lines_->setMaxLength(newMax);
        }
        x_ = std::min(x_, newCols - 1);
        y_ = std::min(y_, newRows - 1) + addToY;
        savedX = std::min(savedX, newCols - 1);
        scrollTop_ = 0;
    }
    scrollBottom_ = newRows - 1;
    tabStops.resize(std::max(newCols, 0), false);

    if (hasScrollback_ && oldCols != newCols && lines_->count() > 0) {
        reflow(oldCols, newCols, newRows, oldX);
        recalculateLinesWithImagesCount();
    }
    if (hasScrollback_ && oldCols > newCols) {
        for (int i = 0; i < lines_->count(); ++i) (*lines_)[i].resize(newCols, CharData::Null);
    }
    rows_ = newRows;
    cols_ = newCols;
}

// Rebuilds every logical line (a row and the rows wrapped after it) that the new width joins or
// splits. Line objects are reused in order, so images, bidi state and prompt anchors stay with
// the text's first rows. Unlike a naive cut, the group under the cursor is reflowed too and the
// cursor follows its character: narrowing never drops text that a row held.
void Buffer::reflow(int oldCols, int newCols, int newRows, int oldX) {
    const int count = lines_->count();
    const int oldYBase = yBase_;
    const int cursorAbs = yBase_ + y_;
    const bool viewFollowsBottom = yDisp_ == yBase_;
    const int oldYDisp = yDisp_;

    std::vector<LineRef> result;
    result.reserve(static_cast<size_t>(count));
    std::vector<CharData> cells;
    std::vector<int> oldStarts;
    std::vector<int> newStarts;
    struct PendingMark {
        SemanticMark mark;
        int offset;
        int sourceRow;
    };
    std::vector<PendingMark> marks;
    std::vector<std::vector<SemanticMark>> rowMarks;

    bool anyRebuilt = false;
    int newCursorAbs = -1;
    int newCursorX = x_;
    int newYDisp = -1;

    for (int first = 0; first < count;) {
        int last = first;
        while (last + 1 < count && (*lines_)[last + 1].isWrapped()) ++last;
        BufferLine& head = (*lines_)[first];
        const bool rebuild = last > first || std::min(head.getTrimmedLength(), head.count()) > newCols;
        if (!rebuild) {
            if (cursorAbs == first) newCursorAbs = static_cast<int>(result.size());
            if (oldYDisp == first) newYDisp = static_cast<int>(result.size());
            result.push_back(lines_->ref(first));
            first = last + 1;
            continue;
        }
        anyRebuilt = true;

        // Gather the group's cells and marks in text order.
        cells.clear();
        oldStarts.clear();
        marks.clear();
        for (int r = first; r <= last; ++r) {
            BufferLine& line = (*lines_)[r];
            const int length = std::max(
                0, r < last ? getWrappedLineTrimmedLength(line, &(*lines_)[r + 1], oldCols) : line.getTrimmedLength());
            const int start = static_cast<int>(cells.size());
            oldStarts.push_back(start);
            const int available = std::clamp(line.count(), 0, length);
            cells.insert(cells.end(), line.cells(), line.cells() + available);
            cells.resize(static_cast<size_t>(start + length), CharData::Null);
            for (const SemanticMark& mark : line.semanticMarks()) marks.push_back({mark, start + mark.column, r - first});
        }
        int cursorOffset = -1;
        const bool cursorPendingWrap = oldX >= oldCols;
        if (cursorAbs >= first && cursorAbs <= last) {
            // A cursor past the last column stands just after the last cell it wrote.
            const int col = cursorPendingWrap ? oldCols - 1 : oldX;
            cursorOffset = oldStarts[cursorAbs - first] + std::max(col, 0);
        }
        layoutRows(cells, newCols, newStarts);
        // A cursor further right than one past a full last row needs rows of its own to stand on.
        const bool lastRowFull = static_cast<int>(cells.size()) - newStarts.back() == newCols;
        if (cursorOffset >= 0 && locate(newStarts, cursorOffset).col >= (lastRowFull ? newCols + 1 : newCols)) {
            cells.resize(static_cast<size_t>(cursorOffset) + 1, CharData::Null);
            layoutRows(cells, newCols, newStarts);
        }
        const int total = static_cast<int>(cells.size());

        const int oldRowCount = last - first + 1;
        const int newRowCount = static_cast<int>(newStarts.size());
        const int resultStart = static_cast<int>(result.size());
        rowMarks.assign(static_cast<size_t>(newRowCount), {});
        for (const PendingMark& pending : marks) {
            RowColumn at = locate(newStarts, pending.offset);
            auto& list = rowMarks[at.row];
            const bool kindTaken = std::any_of(list.begin(), list.end(),
                                               [&](const SemanticMark& m) { return m.kind == pending.mark.kind; });
            if (kindTaken) continue;
            SemanticMark mark = pending.mark;
            mark.column = std::min(at.col, newCols - 1);
            list.push_back(mark);
        }
        const bool headWrapped = head.isWrapped();
        const BidiPresentationState headBidi = head.bidiState();
        for (int k = 0; k < newRowCount; ++k) {
            LineRef line = k < oldRowCount ? lines_->ref(first + k)
                                           : BufferLine::make(newCols, CharData::Null, true, headBidi);
            line->resize(newCols, CharData::Null);
            const int start = newStarts[k];
            const int length = (k + 1 < newRowCount ? newStarts[k + 1] : total) - start;
            CharData* destination = line->mutableCells();
            if (length > 0) std::memcpy(static_cast<void*>(destination), cells.data() + start, sizeof(CharData) * length);
            std::fill(destination + length, destination + newCols, CharData::Null);
            line->setWrapped(k == 0 ? headWrapped : true);
            if (line->hasSemanticMarks() || !rowMarks[k].empty()) line->setSemanticMarks(std::move(rowMarks[k]));
            result.push_back(std::move(line));
        }
        // The active prompt's anchor row follows its mark (or else its first character) to its new row.
        for (int k = 0; k < oldRowCount && semanticPromptStartLine; ++k) {
            if (semanticPromptStartLine.get() != lines_->peek(first + k)) continue;
            int offset = oldStarts[k];
            for (const PendingMark& pending : marks) {
                if (pending.sourceRow == k) {
                    offset = pending.offset;
                    break;
                }
            }
            semanticPromptStartLine = result[resultStart + locate(newStarts, offset).row];
            break;
        }
        if (cursorOffset >= 0) {
            RowColumn at = locate(newStarts, cursorOffset);
            newCursorAbs = resultStart + at.row;
            // Just after a full row is where printing leaves the cursor, so it may stand at newCols.
            newCursorX = std::min(cursorPendingWrap ? at.col + 1 : at.col, newCols);
        }
        if (oldYDisp >= first && oldYDisp <= last) {
            newYDisp = resultStart + locate(newStarts, oldStarts[oldYDisp - first]).row;
        }
        first = last + 1;
    }
    if (!anyRebuilt) return;

    int total = static_cast<int>(result.size());
    if (newCursorAbs < 0) newCursorAbs = std::clamp(cursorAbs + total - count, 0, std::max(total - 1, 0));
    // With no scroll-back in use yet, rows the text gained first take the place of blank rows below the cursor.
    if (oldYBase == 0) {
        for (int gained = total - count; gained > 0 && total > newRows && total - 1 > newCursorAbs; --gained) {
            if (!isBlankPadding(*result.back())) break;
            result.pop_back();
            --total;
        }
    }
    int newYBase = std::max(0, oldYBase + total - count);
    while (total < newYBase + newRows) {
        result.push_back(BufferLine::make(newCols, CharData::Null, false, defaultBidiState));
        ++total;
    }
    // A full ring loses its oldest lines, as it would had the rows arrived as output.
    const int excess = total - lines_->maxLength();
    if (excess > 0) {
        result.erase(result.begin(), result.begin() + excess);
        total -= excess;
        newYBase -= excess;
        newCursorAbs -= excess;
        newYDisp -= excess;
    }
    newYBase = std::clamp(newYBase, 0, std::max(total - newRows, 0));

    for (int i = 0; i < total; ++i) {
        if (lines_->peek(i) != result[i].get() || i >= count) lines_->set(i, result[i]);
    }
    for (int i = total; i < count; ++i) lines_->set(i, nullptr);
    lines_->setCount(total);

    yBase_ = newYBase;
    y_ = std::clamp(newCursorAbs - newYBase, 0, newRows - 1);
    x_ = newCursorX;
    yDisp_ = viewFollowsBottom || newYDisp < 0 ? yBase_ : std::clamp(newYDisp, 0, yBase_);
}

}  // namespace vantel
