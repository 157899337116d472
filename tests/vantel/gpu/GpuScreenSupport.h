#pragma once

// A terminal view on the GPU path in a headless window on the virtual loop, with its renderer at
// hand: tests feed it, run the display pass, and build or draw frames themselves.

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gpu/Device.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/GpuView.h"
#include "support/GpuTestSupport.h"
#include "vantel/core/Base64.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/HeadlessTerminalRenderer.h"

namespace vantel::testing {

// A Kitty graphics command sending straight RGBA pixels, with the keys given (action, id, ...).
inline std::string kittyImage(const std::string& keys, int width, int height,
                              const std::function<std::array<uint8_t, 4>(int, int)>& pixel) {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const auto p = pixel(x, y);
            rgba.insert(rgba.end(), p.begin(), p.end());
        }
    }
    return "\x1b_Gf=32,q=2,s=" + std::to_string(width) + ",v=" + std::to_string(height) + "," + keys + ";" +
           Base64::encode(rgba) + "\x1b\\";
}

struct GpuScreen {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    std::unique_ptr<HeadlessTerminalRenderer> headless;

    explicit GpuScreen(int cols = 20, int rows = 6, double scale = 1, double fontSize = 13) {
        GpuTerminalRenderer::install();
        HeadlessTerminalRenderer::Options options;
        options.cols = cols;
        options.rows = rows;
        options.scale = scale;
        options.fontSize = fontSize;
        options.gpu = true;
        // The renderer's own cursor is under test here.
        options.showCaret = true;
        headless = std::make_unique<HeadlessTerminalRenderer>(options);
        view().setNativeForegroundColor(platform::gfx::Rgba::fromBytes(220, 220, 210));
        view().setNativeBackgroundColor(platform::gfx::Rgba::fromBytes(0, 0, 0));
    }

    TerminalView& view() { return headless->view(); }
    Terminal& terminal() { return view().getTerminal(); }
    Buffer& buffer() { return terminal().buffer(); }
    GpuTerminalRenderer& renderer() { return *dynamic_cast<GpuTerminalRenderer*>(view().gpuHosting().gpuRenderer()); }
    platform::ui::GpuView& gpuView() { return *view().gpuHosting().gpuView(); }
    platform::gpu::Device& device() { return *gpuView().device(); }
    platform::gfx::Size cell() { return headless->cell(); }
    double scale() { return headless->window().backingScaleFactor(); }

    // Output, and the display pass that hands the renderer its dirty rows.
    void feed(std::string_view bytes) {
        view().feed(bytes);
        view().updateDisplay(true);
    }
    DrawData build() { return renderer().buildDrawData(scale()); }
    uint64_t rowsBuilt() { return renderer().statistics().rowsBuilt; }
    // A whole frame: drawn, finished by the GPU and shown in the window.
    const platform::gfx::Canvas& frame() { return headless->render(); }
    // A device pixel of the window, from the top-left corner.
    uint32_t pixel(int x, int y) { return headless->window().pixel(x, y); }
};

}  // namespace vantel::testing
