#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "vantel/core/DcsHandler.h"

namespace vantel {

class Buffer;
class Terminal;

// The image protocols a terminal hands APC G and DCS q to. They live in a
// library of their own; the engine only owns one instance per terminal.
class GraphicsProtocols {
public:
    virtual ~GraphicsProtocols() = default;
    virtual void handleKittyGraphics(std::span<const uint8_t> content) = 0;
    // Drops the placements anchored in a buffer's lines and images no placement uses.
    virtual void clearKittyImages(Buffer& buffer, bool isAlternateBuffer) = 0;
    // Empties the image store (the engine clears the lines itself).
    virtual void clearAllKittyImages() = 0;
    virtual void updateKittyRelativePlacementsForCurrentBuffer() = 0;
    virtual std::unique_ptr<DcsHandler> makeSixelHandler() = 0;
    // Finishes at once the work that holds the terminal's input, if any.
    virtual void finishPendingWork() {}

    using Factory = std::function<std::unique_ptr<GraphicsProtocols>(Terminal&)>;
    // Installed once by the graphics library; every terminal made afterwards gets an instance.
    static void setFactory(Factory factory);
    static std::unique_ptr<GraphicsProtocols> make(Terminal& terminal);
};

}  // namespace vantel
