#include "vantel/graphics/TerminalGraphics.h"

#include "vantel/graphics/SixelDcsHandler.h"

namespace vantel {

// Kitty graphics commands are accepted and ignored until the image store exists.
void TerminalGraphics::handleKittyGraphics(std::span<const uint8_t>) {}
void TerminalGraphics::clearKittyImages(Buffer&, bool) {}
void TerminalGraphics::clearAllKittyImages() {}
void TerminalGraphics::updateKittyRelativePlacementsForCurrentBuffer() {}

std::unique_ptr<DcsHandler> TerminalGraphics::makeSixelHandler() {
    return std::make_unique<SixelDcsHandler>(terminal_);
}

void installGraphicsProtocols() {
    GraphicsProtocols::setFactory([](Terminal& terminal) -> std::unique_ptr<GraphicsProtocols> {
        return std::make_unique<TerminalGraphics>(terminal);
    });
}

}  // namespace vantel
