#pragma once

#include <cstdint>
#include <optional>

namespace vantel {

// Progress reported by OSC 9;4.
struct ProgressReport {
    enum class State : uint8_t { remove = 0, set = 1, error = 2, indeterminate = 3, pause = 4 };
    static std::optional<State> stateFromRaw(int raw) {
        if (raw < 0 || raw > 4) return std::nullopt;
        return static_cast<State>(raw);
    }
    State state = State::remove;
    std::optional<uint8_t> progress;
    friend bool operator==(const ProgressReport&, const ProgressReport&) = default;
};

// A requested image dimension of an inline file.
struct ImageSizeRequest {
    // tooLarge: a number past what a terminal draws; the host drops the image rather than show it at
    // its natural size.
    enum class Kind : uint8_t { automatic, cells, pixels, percent, tooLarge };
    Kind kind = Kind::automatic;
    int value = 0;
    static ImageSizeRequest automatic() { return {Kind::automatic, 0}; }
    static ImageSizeRequest cells(int n) { return {Kind::cells, n}; }
    static ImageSizeRequest pixels(int n) { return {Kind::pixels, n}; }
    static ImageSizeRequest percent(int n) { return {Kind::percent, n}; }
    static ImageSizeRequest tooLarge() { return {Kind::tooLarge, 0}; }
    friend bool operator==(const ImageSizeRequest&, const ImageSizeRequest&) = default;
};

// A window request of CSI t, handed to the host.
struct WindowManipulationCommand {
    enum class Kind : uint8_t {
        moveWindowTo,          // x, y
        resizeWindowTo,        // width, height (pixels)
        resizeTo,              // cols, rows
        resizeTerminal,        // cols, rows
        resizeToLines,         // lines
        deiconifyWindow,
        iconifyWindow,
        bringToFront,
        sendToBack,
        refreshWindow,
        restoreMaximizedWindow,
        maximizeWindow,
        maximizeWindowVertically,
        maximizeWindowHorizontally,
        undoFullScreen,
        switchToFullScreen,
        toggleFullScreen,
        reportTerminalState,
        reportTerminalPosition,
        reportTextAreaPosition,
        reportTextAreaPixelDimension,
        reportTerminalWindowPixelDimension,
        reportSizeOfScreenInPixels,
        reportCellSizeInPixels,
        reportTextAreaCharacters,
        reportScreenSizeCharacters,
        reportIconLabel,
        reportWindowTitle,
    };
    Kind kind = Kind::refreshWindow;
    int first = 0;   // x, width, cols or lines
    int second = 0;  // y, height or rows
    friend bool operator==(const WindowManipulationCommand&, const WindowManipulationCommand&) = default;
};

}  // namespace vantel
