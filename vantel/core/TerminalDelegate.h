#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "vantel/core/Color.h"
#include "vantel/core/TerminalOptions.h"
#include "vantel/core/TerminalTypes.h"

namespace vantel {

class Terminal;

// The engine's one channel to its host. Called synchronously on the thread that
// feeds the terminal. Everything but `send` has a default.
class TerminalDelegate {
public:
    virtual ~TerminalDelegate() = default;

    virtual void showCursor(Terminal&) {}
    virtual void hideCursor(Terminal&) {}
    virtual void setTerminalTitle(Terminal&, const std::string& /*title*/) {}
    virtual void setTerminalIconTitle(Terminal&, const std::string& /*title*/) {}
    // Bytes to send back, or nothing.
    virtual std::optional<std::vector<uint8_t>> windowCommand(Terminal&, const WindowManipulationCommand&) {
        return std::nullopt;
    }
    virtual void sizeChanged(Terminal&) {}
    virtual void send(Terminal& source, std::span<const uint8_t> data) = 0;
    virtual void scrolled(Terminal&, int /*yDisp*/) {}
    virtual void linefeed(Terminal&) {}
    virtual void bufferActivated(Terminal&) {}
    virtual void synchronizedOutputChanged(Terminal&, bool /*active*/) {}
    virtual void bell(Terminal&) {}
    virtual void selectionChanged(Terminal&) {}
    virtual bool isProcessTrusted(Terminal&) { return true; }
    virtual std::optional<std::pair<int, int>> cellSizeInPixels(Terminal&) { return std::nullopt; }
    virtual void mouseModeChanged(Terminal&) {}
    virtual void cursorStyleChanged(Terminal&, CursorStyle) {}
    virtual void hostCurrentDirectoryUpdated(Terminal&) {}
    virtual void hostCurrentDocumentUpdated(Terminal&) {}
    // A palette index, or nothing for the whole palette.
    virtual void colorChanged(Terminal&, std::optional<int> /*index*/) {}
    virtual void setForegroundColor(Terminal& source, const Color& color);
    virtual void setBackgroundColor(Terminal& source, const Color& color);
    virtual void setCursorColor(Terminal& source, const std::optional<Color>& color);
    // The foreground and background actually shown.
    virtual std::pair<Color, Color> getColors(Terminal& source);
    virtual void iTermContent(Terminal&, std::span<const uint8_t> /*content*/) {}
    virtual void clipboardCopy(Terminal&, const std::vector<uint8_t>& /*content*/) {}
    virtual std::optional<std::vector<uint8_t>> clipboardRead(Terminal&) { return std::nullopt; }
    virtual void notify(Terminal&, const std::string& /*title*/, const std::string& /*body*/) {}
    virtual void progressReport(Terminal&, const ProgressReport&) {}
    // An RGBA bitmap, 4 bytes per pixel, rows top to bottom.
    virtual void createImageFromBitmap(Terminal&, std::vector<uint8_t>& /*bytes*/, int /*width*/, int /*height*/) {}
    virtual void createImage(Terminal&, const std::vector<uint8_t>& /*data*/, ImageSizeRequest /*width*/,
                             ImageSizeRequest /*height*/, bool /*preserveAspectRatio*/) {}
    // Yes from a host that stops feeding while `Terminal::holdsInput()` and feeds again when told
    // `inputReleased`: the slow work of a sequence (a large picture's data) then goes on in steps
    // on the scheduler while the output after it waits. Others get it done as the sequence comes.
    virtual bool feedsInSteps(Terminal&) { return false; }
    // What waited has been parsed; the terminal may hold again (`holdsInput`).
    virtual void inputReleased(Terminal&) {}
    // Every payload code the terminal may hold is held by its lines: new links print as plain text
    // until some leave. Told once, and again only after half of the codes were given back.
    virtual void payloadCodesUsedUp(Terminal&) {}
};

}  // namespace vantel
