#include <algorithm>

#include "vantel/core/Buffer.h"

namespace vantel {

void Buffer::resize(int newCols, int newRows) {
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

    if (hasScrollback_ && cols_ > newCols) {
        for (int i = 0; i < lines_->count(); ++i) (*lines_)[i].resize(newCols, CharData::Null);
    }
    rows_ = newRows;
    cols_ = newCols;
}

}  // namespace vantel
