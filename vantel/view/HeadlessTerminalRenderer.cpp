#include "vantel/view/HeadlessTerminalRenderer.h"

#include <algorithm>
#include <cmath>

#include "vantel/view/FontDimensions.h"

namespace vantel {

HeadlessTerminalRenderer::HeadlessTerminalRenderer(const Options& options) {
    platform::gfx::FontRef font = platform::gfx::Font::create(options.fontFamily, options.fontSize);
    if (!font) font = platform::gfx::Font::systemFont(options.fontSize);
    double scale = std::isfinite(options.scale) && options.scale > 0 ? options.scale : 1.0;
    platform::gfx::Size cell = font ? computeFontDimensions(*font, 1, scale) : TerminalView::fontlessCellSize;
    int cols = std::clamp(options.cols, Terminal::MINIMUM_COLS, Terminal::MAXIMUM_COLS);
    int rows = std::clamp(options.rows, Terminal::MINIMUM_ROWS, Terminal::MAXIMUM_ROWS);
    platform::gfx::Size size{cols * cell.width, rows * cell.height};
    window_ = std::make_unique<platform::ui::headless::HeadlessWindow>(size, scale);
    view_ = std::make_unique<TerminalView>(platform::gfx::Rect{0, 0, size.width, size.height}, font);
    // The grid fills the window: no room is kept for a scroller.
    view_->scroller().setHidden(true);
    view_->caretView()->setHidden(!options.showCaret);
    window_->setContentView(view_.get());
    view_->processSizeChange(size);
}

void HeadlessTerminalRenderer::feed(std::span<const uint8_t> bytes) {
    view_->getTerminal().feed(bytes);
    view_->queuePendingDisplay();
}

void HeadlessTerminalRenderer::feed(std::string_view text) {
    feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

const platform::gfx::Canvas& HeadlessTerminalRenderer::render() {
    // What the coalesced redraw would do, now.
    view_->updateDisplay(true);
    window_->displayIfNeeded();
    return window_->surface();
}

}  // namespace vantel
