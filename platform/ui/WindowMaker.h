#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/gfx/Rect.h"

namespace platform::ui {

class Window;

// Makes the windows of panels (sheets and the like) for the toolkit in use: headless windows
// until a toolkit installs its own maker. Main thread.
class WindowMaker {
public:
    WindowMaker() = delete;

    using Function = std::function<std::unique_ptr<Window>(gfx::Size size, const std::string& title)>;
    // Null brings the headless maker back.
    static void install(Function make);
    // A window of that size and title, not yet shown.
    static std::unique_ptr<Window> make(gfx::Size size, const std::string& title);
};

}  // namespace platform::ui
