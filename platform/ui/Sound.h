#pragma once

#include <functional>

namespace platform::ui {

// The system's alert sound. The toolkit backend installs the player; headless, beeps are silent.
class Sound {
public:
    static void setBeeper(std::function<void()> beeper);
    static void beep();
};

}  // namespace platform::ui
