#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "vantel/core/GraphicsProtocols.h"
#include "vantel/graphics/KittyGraphics.h"

namespace vantel {

class Terminal;

// One terminal's image protocols: the Sixel decoder and the Kitty graphics
// commands, with whatever per-terminal state they keep.
class TerminalGraphics : public GraphicsProtocols {
public:
    explicit TerminalGraphics(Terminal& terminal) : terminal_(terminal), kitty_(terminal) {}

    Terminal& terminal() const { return terminal_; }
    KittyGraphics& kitty() { return kitty_; }

    void handleKittyGraphics(std::span<const uint8_t> content) override;
    void clearKittyImages(Buffer& buffer, bool isAlternateBuffer) override;
    void clearAllKittyImages() override;
    void updateKittyRelativePlacementsForCurrentBuffer() override;
    std::unique_ptr<DcsHandler> makeSixelHandler() override;
    void finishPendingWork() override { kitty_.finishPendingLoad(); }

private:
    Terminal& terminal_;
    KittyGraphics kitty_;
};

// The Kitty graphics of a terminal made after installGraphicsProtocols(), or null.
KittyGraphics* kittyGraphicsOf(Terminal& terminal);

// Makes every terminal created from now on carry a TerminalGraphics.
void installGraphicsProtocols();

}  // namespace vantel
