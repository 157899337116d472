#pragma once

#include <optional>

namespace platform::ui {

// The main screen, as far as drawing needs it: its backing scale, which views outside a window
// fall back to. None on a headless machine; a toolkit backend sets it.
class Screen {
public:
    static std::optional<double> mainBackingScaleFactor();
    static void setMainBackingScaleFactor(std::optional<double> scale);
};

}  // namespace platform::ui
