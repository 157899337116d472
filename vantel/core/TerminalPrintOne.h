#pragma once

// The print path's way for one printable ASCII character between two escape sequences, inline
// in the parser's loop that takes such sequences one after the other. Private to the engine.

#include "vantel/core/CellWriter.h"
#include "vantel/core/Terminal.h"

namespace vantel {

// One printable ASCII character between two sequences (a cursor move or a colour change, a
// character, the next sequence): what handlePrint does with it, without a run's setup.
// afterCursorPosition: the sequence before it was a CUP.
inline void Terminal::printAsciiCharacter(uint8_t c, bool afterCursorPosition) {
    Buffer& b = *buffer_;
    CircularBufferLineList& lines = b.lines();
    const int x = b.x();
    const int row = b.yBase() + b.y();
    if (row >= 0 && row < lines.count() && putbackBuffer_.empty() && !b.insertMode && !activeHyperlink &&
        !(charset && charset->size > 0)) {
        BufferLine& line = lines[row];
        if (x <= (b.marginMode ? b.marginRight : cols_ - 1) && x < line.count()) {
            writeCell(line.mutableCells(x, 1), c, 1, TinyAtom(), b.semanticContent.code(), curAttr);
            b.setX(x + 1);
            if (!b.wraparound) holdCursorAtRightMargin();
            // A CUP has just marked the row it moved to.
            if (!afterCursorPosition) updateRange(b.y());
            return;
        }
    }
    printAsciiCharacterByRun(c);
}

}  // namespace vantel
