#pragma once

#include <optional>

namespace platform::ui {

// The desktop's light or dark preference: the settings portal's colour scheme,
// else the desktop's interface settings (colour scheme, then a theme named
// "…-dark"), else light. Asked afresh on every call; main thread.
class DesktopAppearance {
public:
    static bool prefersDark();
    // What prefersDark() answers instead of asking the desktop (tests); none asks again.
    static void setOverride(std::optional<bool> prefersDark);
};

}  // namespace platform::ui
