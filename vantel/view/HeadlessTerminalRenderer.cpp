#include "vantel/view/HeadlessTerminalRenderer.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/gfx/Scale.h"
#include "platform/gpu/Device.h"
#include "platform/ui/GpuView.h"

#include "vantel/view/FontDimensions.h"

namespace vantel {

namespace {

platform::gfx::FontRef fontFor(const HeadlessTerminalRenderer::Options& options) {
    platform::gfx::FontRef font = platform::gfx::Font::create(options.fontFamily, options.fontSize);
    return font ? font : platform::gfx::Font::systemFont(options.fontSize);
}

HeadlessTerminalRenderer::Frame frameWith(const platform::gfx::FontRef& font,
                                          const HeadlessTerminalRenderer::Options& options) {
    HeadlessTerminalRenderer::Frame frame;
    frame.scale = platform::gfx::usableScale(options.scale);
    frame.cell = font ? computeFontDimensions(*font, 1, frame.scale) : TerminalView::fontlessCellSize;
    frame.cols = std::clamp(options.cols, Terminal::MINIMUM_COLS, Terminal::MAXIMUM_COLS);
    frame.rows = std::clamp(options.rows, Terminal::MINIMUM_ROWS, Terminal::MAXIMUM_ROWS);
    frame.pixelWidth = frame.cols * frame.cell.width * frame.scale;
    frame.pixelHeight = frame.rows * frame.cell.height * frame.scale;
    return frame;
}

}  // namespace

HeadlessTerminalRenderer::Frame HeadlessTerminalRenderer::frameFor(const Options& options) {
    return frameWith(fontFor(options), options);
}

HeadlessTerminalRenderer::HeadlessTerminalRenderer(const Options& options) {
    platform::gfx::FontRef font = fontFor(options);
    const Frame frame = frameWith(font, options);
    const double scale = frame.scale;
    platform::gfx::Size size{frame.cols * frame.cell.width, frame.rows * frame.cell.height};
    window_ = std::make_unique<platform::ui::headless::HeadlessWindow>(size, scale);
    view_ = std::make_unique<TerminalView>(platform::gfx::Rect{0, 0, size.width, size.height}, font);
    // The grid fills the window: no room is kept for a scroller.
    view_->scroller().setHidden(true);
    view_->setShowsCaret(options.showCaret);
    window_->setContentView(view_.get());
    view_->processSizeChange(size);
    if (options.gpu) gpuError_ = view_->setUseGpu(true);
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
    const std::shared_ptr<platform::ui::GpuView> gpu = view_->gpuHosting().gpuView();
    const uint64_t presented = gpu ? gpu->presentedFrameCount() : 0;
    const bool gpuFrame = gpu && gpu->frameRequested();
    window_->displayIfNeeded();
    if (gpuFrame) {
        // The GPU finishes the frame, the loop hands it over, and the window shows it.
        if (gpu->device()) gpu->device()->finish();
        platform::runtime::MainLoop::main().runUntil([&] { return gpu->presentedFrameCount() > presented; },
                                                     std::chrono::seconds(10));
        window_->displayIfNeeded();
    }
    return window_->surface();
}

}  // namespace vantel
