#include "quiltdeck/shell/Theme.h"

#include <array>
#include <string>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/DesktopAppearance.h"

namespace quiltdeck {

namespace {

constexpr std::array<std::string_view, 3> rawValues = {"system", "dark", "light"};

struct ThemeState {
    ThemeMode mode = ThemeMode::system;
    bool isDark = true;
};

ThemeState& state() {
    static ThemeState theme;
    return theme;
}

}  // namespace

std::string_view rawValue(ThemeMode mode) { return rawValues[static_cast<size_t>(mode)]; }

std::optional<ThemeMode> themeModeFrom(std::string_view raw) {
    for (size_t i = 0; i < rawValues.size(); ++i) {
        if (rawValues[i] == raw) return static_cast<ThemeMode>(i);
    }
    return std::nullopt;
}

ThemeMode Theme::mode() { return state().mode; }
void Theme::setMode(ThemeMode mode) { state().mode = mode; }
bool Theme::isDark() { return state().isDark; }

void Theme::resolve() {
    switch (state().mode) {
        case ThemeMode::system: state().isDark = platform::ui::DesktopAppearance::prefersDark(); break;
        case ThemeMode::dark: state().isDark = true; break;
        case ThemeMode::light: state().isDark = false; break;
    }
    platform::ui::DesktopAppearance::applyApplicationDark(state().isDark);
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(didChange));
}

platform::gfx::Rgba Theme::status(SessionStatus status) {
    using platform::gfx::Rgba;
    // Dark, then light palette, in the order of SessionStatus.
    static constexpr std::array<std::array<Rgba, 2>, 4> colors = {{
        {Rgba::fromBytes(75, 75, 83), Rgba::fromBytes(196, 196, 202)},
        {Rgba::fromBytes(106, 155, 234), Rgba::fromBytes(59, 111, 212)},
        {Rgba::fromBytes(224, 162, 71), Rgba::fromBytes(169, 112, 15)},
        {Rgba::fromBytes(92, 92, 100), Rgba::fromBytes(176, 176, 183)},
    }};
    const size_t index = static_cast<size_t>(status);
    if (index >= colors.size()) return colors[0][isDark() ? 0 : 1];
    return colors[index][isDark() ? 0 : 1];
}

}  // namespace quiltdeck
