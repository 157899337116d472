// Full reset, resize and scroll-back size.
#include <algorithm>

#include "vantel/core/Terminal.h"

namespace vantel {

void Terminal::resetToInitialState() {
    currentBidiState = options_.initialBidiState;
    normalBuffer_->defaultBidiState = currentBidiState;
    altBuffer_->defaultBidiState = currentBidiState;
    applyCurrentBidiStateAtParagraphStart(allBidiStateProperties());
    updateFullScreen();
    bidiArrowKeySwap = options_.initialBidiArrowKeySwap;
    savedBidiPrivateModes.clear();
    endSynchronizedOutput();

    // The reset keeps the size the host gave us, whatever the options said at construction.
    options_.rows = rows_;
    options_.cols = cols_;
    // A program that hid the cursor and then resets still expects it hidden.
    const bool wasCursorHidden = cursorHidden;
    setup(true);
    // The lines the last payload collection walked are gone: the next one is cheap.
    payloadCellsWalked_ = 0;
    clearAllKittyImages();
    cursorHidden = wasCursorHidden;

    updateRange(0, false);
    updateRange(rows_ - 1, false);
    if (tdel_) tdel_->bufferActivated(*this);
}

void Terminal::resize(int cols, int rows) {
    const int newCols = std::clamp(cols, MINIMUM_COLS, MAXIMUM_COLS);
    const int newRows = std::clamp(rows, MINIMUM_ROWS, MAXIMUM_ROWS);
    if (newCols == cols_ && newRows == rows_) return;
    endSynchronizedOutput();

    const int oldCols = cols_;
    resizeBuffers(newCols, newRows);
    cols_ = newCols;
    rows_ = newRows;
    options_.cols = newCols;
    options_.rows = newRows;
    // Stops the program set in the old width stay; only the new columns get default stops.
    normalBuffer_->setupTabStops(oldCols, tabStopWidth);
    altBuffer_->setupTabStops(oldCols, tabStopWidth);

    updateRange(0, false);
    updateRange(rows_ - 1, false);
}

void Terminal::clearScrollback() {
    normalBuffer_->clearScrollback();
    updateRange(0, false);
    updateRange(rows_ - 1, false);
}

void Terminal::changeScrollback(std::optional<int> lines) {
    normalBuffer_->changeHistorySize(lines);
    options_.scrollback = lines.value_or(0);
    updateRange(0, false);
    updateRange(rows_ - 1, false);
}

}  // namespace vantel
