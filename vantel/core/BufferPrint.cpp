// The cell writers of the print path: one character at a time, and runs of plain ASCII.
#include <algorithm>
#include <climits>
#include <cstring>

#include "vantel/core/Buffer.h"
#include "vantel/core/CellWriter.h"

namespace vantel {

namespace {

int rightLimit(const Buffer& b) { return b.marginMode ? b.marginRight : b.cols() - 1; }

}  // namespace

// Moves a cursor that ran past the right limit to the start of the next row. At the
// bottom of the scroll region the region scrolls; on the last screen row below the
// region there is nowhere to go, so the row is written over from the left.
void Buffer::wrapCursorToNextRow() {
    Buffer& b = *this;
    b.setX(b.marginMode ? b.marginLeft : 0);
    const int y = b.y();
    if (y == b.scrollBottom()) {
        b.scroll(true);
        return;
    }
    if (y >= b.rows() - 1) return;
    b.setY(y + 1);
    CircularBufferLineList& lines = b.lines();
    const int row = b.yBase() + y + 1;
    if (row < 1 || row >= lines.count()) return;
    BufferLine& line = lines[row];
    line.setWrapped(true);
    line.setBidiState(lines[row - 1].bidiState());
}

void Buffer::insertCharacter(CharData ch, const PayloadResolver& resolvePayload) {
    const int width = ch.width;
    const int right = rightLimit(*this);
    if (x_ + width - 1 > right) {
        if (wraparound) {
            wrapCursorToNextRow();
        } else {
            // No room and no wrapping: a wide character cannot be shown at all.
            if (width == 2) return;
            x_ = right;
        }
    }
    const int row = yBase_ + y_;
    if (row < 0 || row >= lines_->count()) return;
    BufferLine& line = (*lines_)[row];
    if (insertMode) {
        // The blanks an insertion opens are what erasing leaves: default foreground on the
        // character's background, no style.
        const CharData blank(0, 1, TinyAtom(), 0,
                             Attribute(Attribute::Color::defaultColor(), ch.attribute.bg, CharacterStyle()));
        line.insertCells(std::min(x_, right), width, right, blank);
        // A wide character pushed into the last column lost its second half.
        const int last = std::min(right, line.count() - 1);
        if (last >= 0 && line[last].width == 2) line.setCell(last, blank);
    }
    if (x_ >= cols_) x_ = cols_ - 1;

    const std::optional<TinyAtom> payload = resolvePayload ? resolvePayload() : std::nullopt;
    ch.payload = payload.value_or(TinyAtom());
    ch.semanticContentCode = semanticContent.code();
    // The character, then the spacers of a wide one (the same cell without code or width) up
    // to the screen's edge.
    const int count = std::max(1, std::min(width, cols_ - x_));
    const CellWriter writer(ch);
    if (x_ + count <= line.count()) {
        CharData* cells = line.mutableCells(x_, count);
        writer.writeOne(cells, ch.code, ch.width);
        for (int i = 1; i < count; ++i) writer.writeSpacer(cells + i);
    } else {
        // A row narrower than the screen: the guarded write repairs the index.
        line.setCell(x_, ch);
        for (int i = 1; i < count; ++i) line.setCell(x_ + i, CharData(0, 0, ch.payload, ch.semanticContentCode, ch.attribute));
    }
    x_ += count;
}

int Buffer::insertAsciiRun(std::span<const uint8_t> bytes, const Attribute& attribute,
                           const PayloadResolver& resolvePayload) {
    if (insertMode || bytes.empty()) return 0;
    const int right = rightLimit(*this);
    const int total = static_cast<int>(std::min<size_t>(bytes.size(), INT_MAX));
    int written = 0;
    bool resolved = false;
    CharData cell(0, 1, TinyAtom(), semanticContent.code(), attribute);
    while (written < total) {
        if (x_ > right) {
            if (!wraparound) return written;
            wrapCursorToNextRow();
        }
        const int row = yBase_ + y_;
        if (row < 0 || row >= lines_->count()) return written;
        BufferLine& line = (*lines_)[row];
        // A line narrower than the screen is left to the guarded per-cell path.
        const int n = std::min({right - x_ + 1, total - written, line.count() - x_});
        if (n <= 0) return written;
        if (!resolved) {
            resolved = true;
            if (resolvePayload) cell.payload = resolvePayload().value_or(TinyAtom());
        }
        CellWriter(cell).write(line.mutableCells(x_, n), bytes.data() + written, n);
        x_ += n;
        written += n;
    }
    return written;
}

}  // namespace vantel
