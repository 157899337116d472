// Control characters: BS, LF/VT/FF, CR and the shifts SO/SI.
#include <algorithm>

#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::cmdBackspace() {
    Buffer& b = *buffer_;
    // With reverse wraparound a pending-wrap cursor first steps back onto the last column.
    restrictCursor(!reverseWraparound);
    const int left = marginMode ? b.marginLeft : 0;
    const int right = marginMode ? b.marginRight : cols_ - 1;
    const int x = b.x();
    const int y = b.y();
    if (x > left) {
        b.setX(x - 1);
        return;
    }
    if (!reverseWraparound) {
        if (x >= 1 && x < left) b.setX(x - 1);
        return;
    }
    if (y > b.scrollTop() && y <= b.scrollBottom()) {
        BufferLine& line = b.lines()[b.yBase() + y];
        if (line.isWrapped() && !marginMode) line.setWrapped(false);
        b.setY(y - 1);
        b.setX(right);
    } else if (y == b.scrollTop()) {
        b.setX(right);
        b.setY(b.scrollBottom());
    } else if (y > 0) {
        b.setX(right);
        b.setY(y - 1);
    }
}

void Terminal::cmdLineFeedBasic() {
    Buffer& b = *buffer_;
    const bool scrolls = b.y() == b.scrollBottom();
    const bool advanced = moveDownOrScroll();
    if (advanced && !scrolls) {
        // A row reached by moving down starts a paragraph in the current bidi state.
        const int row = b.yBase() + b.y();
        if (row < b.lines().count()) {
            BufferLine& line = b.lines()[row];
            if (!line.isWrapped()) line.setBidiState(currentBidiState);
        }
    }
    if (b.x() >= cols_) b.setX(cols_ - 1);
    finishSemanticLineAdvance(advanced);
    emitLineFeed();
    if (lineFeedMode) b.setX(originMode && marginMode ? b.marginLeft : 0);
}

void Terminal::cmdCarriageReturn() {
    Buffer& b = *buffer_;
    b.setX(marginMode && b.x() >= b.marginLeft ? b.marginLeft : 0);
}

void Terminal::setgLevel(uint8_t level) {
    gLevel = level;
    charset = level < gCharsets.size() ? gCharsets[level] : nullptr;
}

// A cursor in the pending-wrap column at the screen edge counts as standing in the last column.
bool Terminal::cursorInsideMargins() const {
    const int x = std::min(buffer_->x(), cols_ - 1);
    return x >= buffer_->marginLeft && x <= buffer_->marginRight;
}

}  // namespace vantel
