#pragma once

#include <functional>
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

    // The palette the application draws in, handed to the toolkit (its dark-theme preference) so
    // that its own widgets match. The toolkit backend installs the applier; without one the
    // choice is only remembered.
    using Applier = std::function<void(bool dark)>;
    static void setApplier(Applier applier);
    static void applyApplicationDark(bool dark);
    // What was last applied; none before the first call.
    static std::optional<bool> applicationDark();
};

}  // namespace platform::ui
