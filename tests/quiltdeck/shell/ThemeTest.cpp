#include "quiltdeck/shell/Theme.h"

#include <gtest/gtest.h>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/DesktopAppearance.h"
#include "quiltdeck/shell/AnsiPalette.h"
#include "quiltdeck/shell/Fonts.h"

namespace quiltdeck {
namespace {

TEST(ThemeTest, ModesAndTheDesktopPreference) {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    int posted = 0;
    auto subscription = platform::runtime::NotificationCenter::defaultCenter().subscribe(
        std::string(Theme::didChange), [&](const auto&) { ++posted; });
    const std::vector<std::tuple<ThemeMode, std::optional<bool>, bool>> cases = {
        {ThemeMode::dark, false, true},   {ThemeMode::light, true, false},  {ThemeMode::system, true, true},
        {ThemeMode::system, false, false}, {ThemeMode::system, false, false}};
    for (const auto& [mode, desktopDark, dark] : cases) {
        platform::ui::DesktopAppearance::setOverride(desktopDark);
        Theme::setMode(mode);
        Theme::resolve();
        EXPECT_EQ(Theme::isDark(), dark) << rawValue(mode);
    }
    platform::ui::DesktopAppearance::setOverride(std::nullopt);
    loop.runPending();
    EXPECT_EQ(posted, 5);
    EXPECT_EQ(themeModeFrom("dark"), ThemeMode::dark);
    EXPECT_EQ(themeModeFrom("Dark"), std::nullopt);
}

TEST(ThemeTest, TerminalFontFallsBackToMonospace) {
    const auto system = platform::gfx::Font::systemFont(12.5);
    for (const char* choice : {"SF Mono", "Menlo", "Courier", "Comic Sans"}) {
        const auto font = Fonts::terminal(12.5, choice);
        ASSERT_TRUE(font);
        EXPECT_EQ(font->family(), system->family()) << choice;
        EXPECT_EQ(font->size(), 12.5);
    }
}

TEST(ThemeTest, AnsiPalette) {
    const auto colors = AnsiPalette::current();
    ASSERT_EQ(colors.size(), 16u);
    EXPECT_EQ(colors[0].red, 0x1A * 257);
    EXPECT_EQ(colors[4].blue, 0xE0 * 257);
    EXPECT_EQ(colors[15].green, 0xF0 * 257);
}

}  // namespace
}  // namespace quiltdeck
