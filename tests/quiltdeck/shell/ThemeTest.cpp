#include "quiltdeck/shell/Theme.h"

#include <gtest/gtest.h>

#include <cstdlib>

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

TEST(ThemeTest, StatusColoursFollowThePaletteInForce) {
    using platform::gfx::Rgba;
    const struct {
        SessionStatus status;
        Rgba dark;
        Rgba light;
    } cases[] = {
        {SessionStatus::idle, Rgba::fromBytes(75, 75, 83), Rgba::fromBytes(196, 196, 202)},
        {SessionStatus::busy, Rgba::fromBytes(106, 155, 234), Rgba::fromBytes(59, 111, 212)},
        {SessionStatus::waiting, Rgba::fromBytes(224, 162, 71), Rgba::fromBytes(169, 112, 15)},
        {SessionStatus::exited, Rgba::fromBytes(92, 92, 100), Rgba::fromBytes(176, 176, 183)},
    };
    for (const ThemeMode mode : {ThemeMode::dark, ThemeMode::light}) {
        Theme::setMode(mode);
        Theme::resolve();
        EXPECT_EQ(platform::ui::DesktopAppearance::applicationDark(), mode == ThemeMode::dark);
        for (const auto& test : cases) {
            EXPECT_EQ(Theme::status(test.status), mode == ThemeMode::dark ? test.dark : test.light)
                << rawValue(test.status);
        }
    }
}

TEST(ThemeTest, DarkBeforeAnyResolve) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // A fresh process: nothing has resolved the theme there yet.
    EXPECT_EXIT(
        {
            const bool busyIsDarkBlue = Theme::status(SessionStatus::busy) == platform::gfx::Rgba::fromBytes(106, 155, 234);
            std::exit(Theme::isDark() && Theme::mode() == ThemeMode::system && busyIsDarkBlue ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(ThemeTest, SystemModeReadsTheDesktopOnlyWhenResolving) {
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    platform::ui::DesktopAppearance::setOverride(true);
    Theme::setMode(ThemeMode::system);
    Theme::resolve();
    EXPECT_EQ(Theme::status(SessionStatus::waiting), platform::gfx::Rgba::fromBytes(224, 162, 71));
    platform::ui::DesktopAppearance::setOverride(false);
    EXPECT_TRUE(Theme::isDark());
    Theme::resolve();
    EXPECT_FALSE(Theme::isDark());
    EXPECT_EQ(platform::ui::DesktopAppearance::applicationDark(), false);
    platform::ui::DesktopAppearance::setOverride(std::nullopt);
}

TEST(ThemeTest, TerminalFontFallsBackToMonospace) {
    const auto system = platform::gfx::Font::systemFont(12.5);
    for (const char* choice : {"Monospace", "Menlo", "Courier", "Comic Sans"}) {
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
