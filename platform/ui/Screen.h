#pragma once

#include <optional>

#include "platform/gfx/Rect.h"

namespace platform::ui {

// The main screen, as far as drawing needs it: its backing scale, which views outside a window
// fall back to. None on a headless machine; a toolkit backend sets it.
class Screen {
public:
    static std::optional<double> mainBackingScaleFactor();
    static void setMainBackingScaleFactor(std::optional<double> scale);
    // The part of the main screen windows may cover (without panels and docks), in points; none
    // on a headless machine.
    static std::optional<gfx::Rect> mainWorkArea();
    static void setMainWorkArea(std::optional<gfx::Rect> area);
};

}  // namespace platform::ui
