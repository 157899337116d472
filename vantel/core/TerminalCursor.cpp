// Cursor movement, save and restore, scroll region and margins, tab clears, cursor shape.
#include <algorithm>

#include "vantel/core/Terminal.h"

namespace vantel {

namespace {

// The count parameter of the cursor commands: 0, 1, negative and absent all mean 1.
int countParameter(std::span<const int> pars) { return !pars.empty() && pars[0] >= 2 ? pars[0] : 1; }

// A 1-based position parameter as a 0-based index; absent and 0 mean the first.
int positionParameter(std::span<const int> pars, size_t index) {
    return index < pars.size() ? std::max(pars[index], 1) - 1 : 0;
}

}  // namespace

void Terminal::restrictCursor(bool limitToLastColumn) {
    Buffer& b = *buffer_;
    b.setX(std::clamp(b.x(), 0, limitToLastColumn ? cols_ - 1 : cols_));
    if (originMode) b.setY(std::clamp(b.y(), b.scrollTop(), std::max(b.scrollTop(), b.scrollBottom())));
    else b.setY(std::clamp(b.y(), 0, rows_ - 1));
    updateRange(b.y());
}

void Terminal::setCursor(int col, int row) {
    Buffer& b = *buffer_;
    updateRange(b.y());
    const auto [rowOffset, colOffset] = originOffsets();
    b.setX(col + colOffset);
    b.setY(row + rowOffset);
    restrictCursor(true);
}

std::pair<int, int> Terminal::originOffsets() const {
    if (!originMode) return {0, 0};
    return {buffer_->scrollTop(), marginMode ? buffer_->marginLeft : 0};
}

void Terminal::setCursorStyle(CursorStyle style) {
    if (options_.cursorStyle == style) return;
    options_.cursorStyle = style;
    if (tdel_) tdel_->cursorStyleChanged(*this, style);
}

void Terminal::cmdCursorUp(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int top = b.y() < b.scrollTop() ? 0 : b.scrollTop();
    b.setY(std::max(b.y() - countParameter(pars), top));
}

void Terminal::cmdCursorDown(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int bottom = b.y() > b.scrollBottom() ? rows_ - 1 : b.scrollBottom();
    b.setY(std::min(b.y() + countParameter(pars), bottom));
    if (b.x() >= cols_) b.setX(cols_ - 1);
}

void Terminal::cursorForward(int count) {
    Buffer& b = *buffer_;
    int right = marginMode ? b.marginRight : cols_ - 1;
    if (b.x() > right) right = b.cols() - 1;
    b.setX(std::min(b.x() + std::max(count, 1), right));
}

void Terminal::cursorBackward(int count) {
    Buffer& b = *buffer_;
    int left = marginMode ? b.marginLeft : 0;
    if (b.x() < left) left = 0;
    b.setX(std::max(b.x() - std::max(count, 1), left));
}

void Terminal::cmdCursorCharAbsolute(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int left = originMode && marginMode ? b.marginLeft : 0;
    b.setX(std::min(left + std::min(positionParameter(pars, 0), cols_ - 1), cols_ - 1));
}

void Terminal::cursorPositionInOrigin(std::span<const int> pars) {
    setCursor(positionParameter(pars, 1), positionParameter(pars, 0));
}

// In origin mode HPA and VPA count from the margins and the region, as CUP does, and stay inside them.
void Terminal::cmdCharPosAbsolute(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const bool relative = originMode && marginMode;
    const int left = relative ? b.marginLeft : 0;
    const int right = relative ? b.marginRight : cols_ - 1;
    b.setX(std::min(left + std::min(positionParameter(pars, 0), cols_ - 1), right));
}

void Terminal::cmdHPositionRelative(std::span<const int> pars) {
    Buffer& b = *buffer_;
    b.setX(std::min(b.x() + countParameter(pars), cols_ - 1));
}

void Terminal::cmdLinePosAbsolute(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int top = originMode ? b.scrollTop() : 0;
    const int bottom = originMode ? b.scrollBottom() : rows_ - 1;
    b.setY(std::min(top + std::min(positionParameter(pars, 0), rows_ - 1), bottom));
}

void Terminal::cmdVPositionRelative(std::span<const int> pars) {
    Buffer& b = *buffer_;
    b.setY(std::min(b.y() + countParameter(pars), rows_ - 1));
    if (b.x() >= cols_) b.setX(cols_ - 1);
}

void Terminal::cmdHVPosition(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int row = positionParameter(pars, 0);
    const int col = positionParameter(pars, 1);
    b.setY(std::min(originMode ? row + b.scrollTop() : row, rows_ - 1));
    b.setX(std::min(originMode && marginMode ? col + b.marginLeft : col, cols_ - 1));
}

void Terminal::cmdTabClear(std::span<const int> pars) {
    Buffer& b = *buffer_;
    const int mode = pars.empty() ? 0 : pars[0];
    if (mode == 0) b.tabClear(b.x());
    else if (mode == 3) std::fill(b.tabStops.begin(), b.tabStops.end(), false);
}

void Terminal::cmdSaveCursor(std::span<const int>) {
    Buffer& b = *buffer_;
    b.savedX = b.x();
    b.savedY = b.y();
    b.savedAttr = curAttr;
    b.savedCharset = charset;
    b.savedOriginMode = originMode;
    b.savedMarginMode = marginMode;
    b.savedWraparound = wraparound;
    b.savedReverseWraparound = reverseWraparound;
}

void Terminal::cmdRestoreCursor(std::span<const int>) {
    Buffer& b = *buffer_;
    b.setX(std::clamp(b.savedX, 0, cols_ - 1));
    b.setY(std::clamp(b.savedY, 0, rows_ - 1));
    curAttr = b.savedAttr;
    charset = b.savedCharset;
    originMode = b.savedOriginMode;
    marginMode = normalBuffer_->marginMode = altBuffer_->marginMode = b.savedMarginMode;
    wraparound = normalBuffer_->wraparound = altBuffer_->wraparound = b.savedWraparound;
    reverseWraparound = b.savedReverseWraparound;
}

void Terminal::cmdSetScrollRegion(std::span<const int> pars, std::string_view collect) {
    if (!collect.empty()) return;
    Buffer& b = *buffer_;
    const int top = std::max((pars.empty() ? 0 : pars[0]) - 1, 0);
    const int requestedBottom = pars.size() > 1 && pars[1] != 0 ? pars[1] : rows_;
    const int bottom = std::min(requestedBottom, rows_) - 1;
    if (top < bottom) {
        b.setScrollTop(top);
        b.setScrollBottom(bottom);
    }
    setCursor(0, 0);
}

void Terminal::cmdSetMargins(std::span<const int> pars, std::string_view collect) {
    if (!collect.empty() || !marginMode) return;
    Buffer& b = *buffer_;
    const int left = std::max((pars.empty() ? 0 : pars[0]) - 1, 0);
    const int requestedRight = pars.size() > 1 && pars[1] != 0 ? pars[1] : cols_;
    const int right = std::clamp(requestedRight - 1, 0, cols_ - 1);
    b.marginLeft = std::min(left, right);
    b.marginRight = right;
}

void Terminal::cmdSetCursorStyle(std::span<const int> pars, std::string_view collect) {
    if (collect != " ") return;
    switch (pars.empty() ? 0 : pars[0]) {
    case 0:
    case 1: setCursorStyle(CursorStyle::blinkBlock); break;
    case 2: setCursorStyle(CursorStyle::steadyBlock); break;
    case 3: setCursorStyle(CursorStyle::blinkUnderline); break;
    case 4: setCursorStyle(CursorStyle::steadyUnderline); break;
    case 5: setCursorStyle(CursorStyle::blinkBar); break;
    case 6: setCursorStyle(CursorStyle::steadyBar); break;
    default: break;
    }
}

}  // namespace vantel
