// Feeds a file of bytes to a headless terminal view and writes the frame it draws as a PNG:
//   vantel-render [--cols N] [--rows N] [--font-size PT] [--font FAMILY] [--scale S] [--caret] [--gpu] in.bin out.png
// A frame that a picture cannot hold whole (16384 pixels a side) is refused, exit status 2.
// --gpu draws the frame with the GPU renderer (its presented frame is read back); when that cannot
// be made, the reason is printed and the view draws it itself.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/gfx/Canvas.h"
#include "platform/runtime/MainLoop.h"
#include "vantel/gpu/GpuTerminalRenderer.h"
#include "vantel/view/HeadlessTerminalRenderer.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vantel-render [--cols N] [--rows N] [--font-size PT] [--font FAMILY] [--scale S] [--caret] "
                 "[--gpu] in.bin out.png\n");
    return 2;
}

bool number(const char* text, double& out) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (!end || *end != '\0' || !(value > 0) || value > 1e6) return false;
    out = value;
    return true;
}

// Says when the grid was raised to its minimum (or lowered to its maximum); refuses, with one line,
// a frame that no canvas holds whole, or that has no pixel at all.
bool frameFits(const vantel::HeadlessTerminalRenderer::Options& options) {
    const auto frame = vantel::HeadlessTerminalRenderer::frameFor(options);
    auto bounded = [](const char* option, int asked, int got) {
        if (asked != got) {
            std::fprintf(stderr, "vantel-render: %s %d %s to the %s of %d\n", option, asked,
                         got > asked ? "raised" : "lowered", got > asked ? "minimum" : "maximum", got);
        }
    };
    bounded("--cols", options.cols, frame.cols);
    bounded("--rows", options.rows, frame.rows);
    constexpr int limit = platform::gfx::Canvas::maxPixelSide;
    auto fits = [&](int count, const char* unit, double pixels, const char* side) {
        if (pixels >= 1 && std::ceil(pixels - 1e-9) <= limit) return true;
        std::fprintf(stderr, "vantel-render: %d %s of %g x %g points (font size %g) at scale %g make a frame ", count,
                     unit, frame.cell.width, frame.cell.height, options.fontSize, frame.scale);
        if (pixels < 1) std::fprintf(stderr, "less than one pixel %s\n", side);
        else std::fprintf(stderr, "%.0f pixels %s, past the limit of %d\n", std::ceil(pixels - 1e-9), side, limit);
        return false;
    };
    return fits(frame.cols, "columns", frame.pixelWidth, "wide") && fits(frame.rows, "rows", frame.pixelHeight, "high");
}

}  // namespace

int main(int argc, char** argv) {
    vantel::HeadlessTerminalRenderer::Options options;
    std::vector<std::string> paths;
    bool gpu = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        double value = 0;
        bool hasValue = i + 1 < argc;
        if (arg == "--caret") {
            options.showCaret = true;
            continue;
        }
        if (arg == "--gpu") {
            gpu = true;
            continue;
        }
        if (arg == "--cols" && hasValue && number(argv[i + 1], value)) {
            options.cols = static_cast<int>(value);
        } else if (arg == "--rows" && hasValue && number(argv[i + 1], value)) {
            options.rows = static_cast<int>(value);
        } else if (arg == "--font-size" && hasValue && number(argv[i + 1], value)) {
            options.fontSize = value;
        } else if (arg == "--scale" && hasValue && number(argv[i + 1], value)) {
            options.scale = value;
        } else if (arg == "--font" && hasValue) {
            options.fontFamily = argv[i + 1];
        } else if (arg.rfind("--", 0) == 0) {
            return usage();
        } else {
            paths.push_back(arg);
            continue;
        }
        ++i;
    }
    if (paths.size() != 2) return usage();
    if (!frameFits(options)) return 2;
    std::ifstream in(paths[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vantel-render: cannot read %s\n", paths[0].c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (gpu) vantel::GpuTerminalRenderer::install();
    options.gpu = gpu;
    vantel::HeadlessTerminalRenderer renderer(options);
    if (!renderer.view().font()) {
        std::fprintf(stderr, "vantel-render: no font to draw with\n");
        return 1;
    }
    vantel::TerminalView& view = renderer.view();
    if (const auto& error = renderer.gpuError())
        std::fprintf(stderr, "vantel-render: no GPU renderer (%s); the view draws the frame\n",
                     error->description().c_str());
    renderer.feed(bytes);
    renderer.render();
    if (view.isUsingGpuRenderer()) {
        // The renderer counts as healthy once the host has heard of its presented frame.
        auto healthy = [&] { return view.gpuRendererStatus().state == vantel::GpuRendererStatus::State::healthy; };
        if (!platform::runtime::MainLoop::main().runUntil(healthy, std::chrono::seconds(10)))
            std::fprintf(stderr, "vantel-render: the GPU frame did not arrive\n");
        renderer.render();
    }
    if (!renderer.writePng(paths[1])) {
        std::fprintf(stderr, "vantel-render: cannot write %s\n", paths[1].c_str());
        return 1;
    }
    return 0;
}
