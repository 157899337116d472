// Feeds a file of bytes to a headless terminal view and writes the frame it draws as a PNG:
//   vantel-render [--cols N] [--rows N] [--font-size PT] [--font FAMILY] [--scale S] [--caret] in.bin out.png
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "vantel/view/HeadlessTerminalRenderer.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: vantel-render [--cols N] [--rows N] [--font-size PT] [--font FAMILY] [--scale S] [--caret] "
                 "in.bin out.png\n");
    return 2;
}

bool number(const char* text, double& out) {
    char* end = nullptr;
    double value = std::strtod(text, &end);
    if (!end || *end != '\0' || !(value > 0) || value > 1e6) return false;
    out = value;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    vantel::HeadlessTerminalRenderer::Options options;
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        double value = 0;
        bool hasValue = i + 1 < argc;
        if (arg == "--caret") {
            options.showCaret = true;
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
    std::ifstream in(paths[0], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "vantel-render: cannot read %s\n", paths[0].c_str());
        return 1;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    vantel::HeadlessTerminalRenderer renderer(options);
    if (!renderer.view().font()) {
        std::fprintf(stderr, "vantel-render: no font to draw with\n");
        return 1;
    }
    renderer.feed(bytes);
    renderer.render();
    if (!renderer.writePng(paths[1])) {
        std::fprintf(stderr, "vantel-render: cannot write %s\n", paths[1].c_str());
        return 1;
    }
    return 0;
}
