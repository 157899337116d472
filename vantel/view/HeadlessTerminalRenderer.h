#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "platform/ui/headless/HeadlessWindow.h"
#include "vantel/view/TerminalView.h"

namespace vantel {

// A terminal view of an exact grid in a headless window: bytes go in, the frame comes out as
// pixels or a PNG. The vantel-render tool and the drawing tests use it.
class HeadlessTerminalRenderer {
public:
    struct Options {
        int cols = 80;
        int rows = 24;
        double fontSize = platform::gfx::Font::systemFontSize;
        std::string fontFamily = "monospace";
        double scale = 1;
        // Whether the caret is drawn (as an unfocused hollow box, the view having no keyboard).
        bool showCaret = false;
        // Frames come from the GPU renderer (a renderer library must have installed its factory);
        // when it cannot be made the view draws them itself and gpuError() says why.
        bool gpu = false;
    };

    // What the options come to: the grid within the terminal's bounds, the cell and the frame's
    // size in device pixels (not limited to what a canvas can hold).
    struct Frame {
        int cols = 0;
        int rows = 0;
        platform::gfx::Size cell;
        double scale = 1;
        double pixelWidth = 0;
        double pixelHeight = 0;
    };
    static Frame frameFor(const Options& options);

    explicit HeadlessTerminalRenderer(const Options& options);

    TerminalView& view() { return *view_; }
    Terminal& terminal() { return view_->getTerminal(); }
    platform::ui::headless::HeadlessWindow& window() { return *window_; }
    const platform::ui::headless::HeadlessWindow& window() const { return *window_; }
    platform::gfx::Size cell() const { return *view_->cellDimension(); }

    void feed(std::span<const uint8_t> bytes);
    void feed(std::string_view text);
    // Draws what changed since the last render (the whole view after a feed). On the GPU path it
    // waits (at most 10 s) for the frame to be presented and shows it.
    const platform::gfx::Canvas& render();
    const std::optional<GpuError>& gpuError() const { return gpuError_; }
    bool writePng(const std::string& path) const { return window_->writePng(path); }

private:
    std::unique_ptr<platform::ui::headless::HeadlessWindow> window_;
    std::unique_ptr<TerminalView> view_;
    std::optional<GpuError> gpuError_;
};

}  // namespace vantel
