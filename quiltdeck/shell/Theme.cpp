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
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(didChange));
}

}  // namespace quiltdeck
