#include "vantel/graphics/TerminalGraphics.h"

#include "vantel/core/Terminal.h"
#include "vantel/graphics/SixelDcsHandler.h"

namespace vantel {

void TerminalGraphics::handleKittyGraphics(std::span<const uint8_t> content) { kitty_.handleKittyGraphics(content); }
void TerminalGraphics::clearKittyImages(Buffer& buffer, bool isAlternateBuffer) {
    kitty_.clearKittyImages(buffer, isAlternateBuffer);
}
void TerminalGraphics::clearAllKittyImages() { kitty_.clearAllKittyImages(); }
void TerminalGraphics::updateKittyRelativePlacementsForCurrentBuffer() {
    kitty_.updateKittyRelativePlacementsForCurrentBuffer();
}

std::unique_ptr<DcsHandler> TerminalGraphics::makeSixelHandler() {
    return std::make_unique<SixelDcsHandler>(terminal_);
}

KittyGraphics* kittyGraphicsOf(Terminal& terminal) {
    auto* graphics = dynamic_cast<TerminalGraphics*>(terminal.graphics());
    return graphics ? &graphics->kitty() : nullptr;
}

void installGraphicsProtocols() {
    GraphicsProtocols::setFactory([](Terminal& terminal) -> std::unique_ptr<GraphicsProtocols> {
        return std::make_unique<TerminalGraphics>(terminal);
    });
}

}  // namespace vantel
