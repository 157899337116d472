#pragma once

#include <optional>
#include <string_view>

#include "platform/gfx/Rgba.h"
#include "quiltdeck/shell/SessionStatus.h"

namespace quiltdeck {

enum class ThemeMode { system, dark, light };

std::string_view rawValue(ThemeMode mode);
// Exactly "system", "dark" or "light".
std::optional<ThemeMode> themeModeFrom(std::string_view rawValue);

// Whether the application draws in its dark or its light palette. Views read
// `isDark()` and recolour on `didChange`. Main thread.
class Theme {
public:
    Theme() = delete;

    static constexpr std::string_view didChange = "quiltdeck.theme";

    static ThemeMode mode();
    // Set before resolve() by the launch and the settings panel.
    static void setMode(ThemeMode mode);
    // Dark until the first resolve().
    static bool isDark();
    // Follows the mode (for `system`, the desktop's preference, else light), hands
    // the result to the toolkit's dark-theme preference and posts didChange, also
    // when nothing changed.
    static void resolve();
    // The colour of a status in dots, lines and counts, in the palette now in force.
    static platform::gfx::Rgba status(SessionStatus status);
};

}  // namespace quiltdeck
