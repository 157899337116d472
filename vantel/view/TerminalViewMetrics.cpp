#include <algorithm>
#include <cmath>

#include "vantel/view/FontDimensions.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

namespace {

// How many whole cells fit a length; bounded, so no size can overflow the grid's integers.
int cellsIn(double length, double cell) {
    if (!(std::isfinite(length) && length > 0 && cell > 0)) return 0;
    return static_cast<int>(std::min(std::floor(length / cell), 1e6));
}

}  // namespace

TerminalView::Size TerminalView::computeFontDimensions() const {
    // Without any font the grid still has cells, drawn empty.
    if (!fontSet_.normal) return fontlessCellSize;
    return vantel::computeFontDimensions(*fontSet_.normal, lineSpacing_, backingScale());
}

void TerminalView::setLineSpacing(double spacing) {
    // A spacing that is not finite or not above 0 is the default, as the cell size takes it.
    lineSpacing_ = std::isfinite(spacing) && spacing > 0 ? spacing : 1.0;
    resetFont();
}

void TerminalView::resetCaches() {
    attributes_.clear();
    urlAttributes_.clear();
    colors_.fill(std::nullopt);
    trueColors_.clear();
}

void TerminalView::resetFont() {
    resetCaches();
    cellDimension_ = computeFontDimensions();
    Rect frame = this->frame();
    if (frame.width > 0 && frame.height > 0) {
        // A zoom keeps the program's modes: the grid changes without the soft reset of resize().
        resizeGrid(cellsIn(getEffectiveWidth(Size{frame.width, frame.height}), cellDimension_->width),
                   cellsIn(frame.height, cellDimension_->height));
    }
    if (caretView_) {
        caretView_->setFrameSize(*cellDimension_);
        caretView_->updateCursorStyle();
    }
    setNeedsDisplay();
}

void TerminalView::resizeGrid(int cols, int rows) {
    terminal_->resize(cols, rows);
    if (terminalDelegate_) terminalDelegate_->sizeChanged(*this, terminal_->cols(), terminal_->rows());
    updateScroller();
}

void TerminalView::resize(int cols, int rows) {
    resizeGrid(cols, rows);
    terminal_->cmdSoftReset();
}

bool TerminalView::processSizeChange(Size newSize) {
    if (newSize.width == 0 && newSize.height == 0) return false;
    if (!cellDimension_) return false;
    int rows = cellsIn(newSize.height, cellDimension_->height);
    int cols = cellsIn(getEffectiveWidth(newSize), cellDimension_->width);
    if (cols == terminal_->cols() && rows == terminal_->rows()) return false;
    selection_->setActive(false);
    terminal_->resize(cols, rows);
    search_->invalidate();
    if (terminalDelegate_) terminalDelegate_->sizeChanged(*this, cols, rows);
    updateScroller();
    return true;
}

void TerminalView::setupOptions(double width, double height) {
    resetCaches();
    cellDimension_ = computeFontDimensions();
    TerminalOptions options = terminal_ ? terminal_->options() : startupOptions_;
    bool sized = !(width == 0 && height == 0);
    if (sized) {
        options.cols = cellsIn(width, cellDimension_->width);
        options.rows = cellsIn(height, cellDimension_->height);
    }
    if (terminal_) {
        if (sized) {
            terminal_->setOptions(options);
            terminal_->setup(false);
        }
    } else {
        terminal_ = std::make_unique<Terminal>(this, options, &scheduler_);
        // The engine's colours reach the native ones through the colour callbacks.
        terminal_->setBackgroundColor(Color::defaultBackground);
        terminal_->setForegroundColor(Color::defaultForeground);
    }
    selection_.reset();
    selection_ = std::make_unique<SelectionService>(*terminal_);
    Size cell = *cellDimension_;
    if (!caretView_) {
        caretView_ = std::make_unique<CaretView>(Rect{0, 0, cell.width, cell.height}, terminal_->options().cursorStyle, this);
        addSubview(caretView_.get(), &scroller_);
    } else {
        caretView_->setFrameSize(cell);
        caretView_->updateCursorStyle();
    }
    search_ = std::make_unique<SearchService>(*terminal_);
    setNeedsDisplay();
}

double TerminalView::getEffectiveWidth(Size size) const {
    double width = std::isfinite(size.width) ? size.width : 0;
    if (scroller_.isHidden()) return std::max(0.0, width);
    return std::max(0.0, width - platform::ui::Scroller::scrollerWidth(scroller_.style()));
}

void TerminalView::setFrameSize(Size size) {
    View::setFrameSize(size);
    layoutScrollerAndProgressBar();
    layoutFindBar();
    if (cellDimension_) processSizeChange(Size{frame().width, frame().height});
    // During a live resize the GPU frame waits for the coalesced pass; the caret still follows.
    if (!gpu_->frameSizeChanged() && !gpu_->isUsingGpuRenderer()) setNeedsDisplay();
    updateCursorPosition();
}

void TerminalView::resizeSubviews(Size) {
    // Only on a real change of size: the selection no longer matches the grid.
    updateScroller();
    if (selection_) selection_->setActive(false);
    layoutScrollerAndProgressBar();
}

TerminalView::Rect TerminalView::getOptimalFrameSize() const {
    const double scrollerWidth =
        scroller_.isHidden() ? 0 : platform::ui::Scroller::scrollerWidth(scroller_.style());
    const Size cell = cellDimension_.value_or(Size{});
    return Rect{0, 0, cell.width * terminal_->cols() + scrollerWidth, cell.height * terminal_->rows()};
}

// --- Scroll-back ------------------------------------------------------------------------------

bool TerminalView::canScroll() const {
    if (terminal_->isCurrentBufferAlternate()) return false;
    const Buffer& buffer = terminal_->buffer();
    return buffer.hasScrollback() && buffer.rows() < buffer.lines().count();
}

double TerminalView::scrollThumbsize() const {
    if (terminal_->isCurrentBufferAlternate()) return 0;
    const Buffer& buffer = terminal_->buffer();
    int lines = buffer.lines().count();
    if (lines <= 0) return 1;
    return std::max(0.01, static_cast<double>(buffer.rows()) / lines);
}

double TerminalView::scrollPosition() const {
    if (terminal_->isCurrentBufferAlternate()) return 0;
    const Buffer& buffer = terminal_->buffer();
    int yDisp = buffer.yDisp();
    int maximum = buffer.lines().count() - buffer.rows();
    if (yDisp <= 0) return 0;
    if (yDisp >= maximum) return 1.0;
    return static_cast<double>(yDisp) / maximum;
}

void TerminalView::updateScroller() {
    if (!terminal_) return;
    scroller_.setEnabled(canScroll());
    scroller_.setDoubleValue(scrollPosition());
    scroller_.setKnobProportion(scrollThumbsize());
}

}  // namespace vantel
