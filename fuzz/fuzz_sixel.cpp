// Feeds arbitrary bytes to the Sixel decoder, directly and through the parser,
// and checks that every delivered bitmap is exactly width * height * 4 bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "vantel/core/Terminal.h"
#include "vantel/graphics/SixelDcsHandler.h"
#include "vantel/graphics/TerminalGraphics.h"

namespace {

class CheckingDelegate : public vantel::TerminalDelegate {
public:
    void send(vantel::Terminal&, std::span<const uint8_t>) override {}
    void createImageFromBitmap(vantel::Terminal&, std::vector<uint8_t>& bytes, int width, int height) override {
        if (width < 0 || height < 0 || bytes.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4)
            std::abort();
    }
};

vantel::TerminalOptions smallTerminal() {
    vantel::TerminalOptions options;
    options.cols = 20;
    options.rows = 5;
    return options;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool installed = (vantel::installGraphicsProtocols(), true);
    (void)installed;
    CheckingDelegate delegate;
    vantel::Terminal terminal(&delegate, smallTerminal());

    // Smaller caps keep each run fast; the logic under test is the same.
    vantel::SixelDcsHandler::Limits limits;
    limits.maximumWidth = 2000;
    limits.maximumHeight = 2000;
    limits.maximumBitmapBytes = 16 * 1024 * 1024;
    vantel::SixelDcsHandler handler(terminal, limits);
    handler.hook("", {}, 'q');
    const std::span<const uint8_t> input(data, size);
    const size_t split = size > 0 ? data[0] % (size + 1) : 0;
    handler.put(input.first(split));
    handler.put(input.subspan(split));
    handler.unhook();

    // Through the parser as well, bounded so that a run stays quick.
    if (size <= 4096) {
        std::string sequence = "\x1bPq";
        sequence.append(reinterpret_cast<const char*>(data), size);
        sequence += "\x1b\\";
        terminal.feed(sequence);
    }
    return 0;
}
