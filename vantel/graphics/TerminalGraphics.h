#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "vantel/core/GraphicsProtocols.h"

namespace vantel {

class Terminal;

// One terminal's image protocols: the Sixel decoder and the Kitty graphics
// commands, with whatever per-terminal state they keep.
class TerminalGraphics : public GraphicsProtocols {
public:
    explicit TerminalGraphics(Terminal& terminal) : terminal_(terminal) {}

    Terminal& terminal() const { return terminal_; }

    void handleKittyGraphics(std::span<const uint8_t> content) override;
    void clearKittyImages(Buffer& buffer, bool isAlternateBuffer) override;
    void clearAllKittyImages() override;
    void updateKittyRelativePlacementsForCurrentBuffer() override;
    std::unique_ptr<DcsHandler> makeSixelHandler() override;

private:
    Terminal& terminal_;
};

// Makes every terminal created from now on carry a TerminalGraphics.
void installGraphicsProtocols();

}  // namespace vantel
