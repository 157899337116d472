#include "quiltdeck/shell/AppMenus.h"

#include <gtest/gtest.h>

#include <set>

#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {
namespace {

struct Recorder : MenuCommands {
    std::vector<std::pair<MenuCommand, int>> performed;
    std::set<MenuCommand> disabled;
    void perform(MenuCommand command, int tag) override { performed.push_back({command, tag}); }
    bool isEnabled(MenuCommand command) const override { return !disabled.contains(command); }
};

// A key press as the key handling sees it: the unshifted key and Ctrl, Shift, Alt.
std::optional<std::pair<MenuCommand, int>> press(const platform::ui::MenuBar& bar, Recorder& recorder,
                                                 std::string key, bool alt = false, bool control = true,
                                                 bool shift = true) {
    const auto* item = bar.itemForShortcut(key, control, shift, alt, false);
    if (!item) return std::nullopt;
    recorder.performed.clear();
    platform::ui::MenuBar::perform(*item);
    if (recorder.performed.empty()) return std::pair{MenuCommand::quit, -1};  // consumed, disabled
    return recorder.performed.back();
}

TEST(AppMenusTest, ShortcutsOnLinux) {
    Recorder recorder;
    const auto bar = buildMenuBar(recorder);
    using C = MenuCommand;
    const struct {
        const char* key;
        bool alt;
        std::optional<std::pair<C, int>> command;
    } cases[] = {
        {"n", false, {{C::newSession, 0}}},  {"n", true, {{C::newShell, 0}}},
        {"r", false, {{C::renameTile, 0}}},  {"w", false, {{C::closeTile, 0}}},
        {"y", false, {{C::showHistory, 0}}}, {"t", false, {{C::newTab, 0}}},
        {"]", true, {{C::nextTab, 0}}},      {"[", true, {{C::prevTab, 0}}},
        {"]", false, std::nullopt},          {"Return", false, {{C::toggleZoom, 0}}},
        {"=", false, {{C::zoomLarger, 0}}},  {"+", false, {{C::zoomLarger, 0}}},
        {"-", false, {{C::zoomSmaller, 0}}}, {"j", false, {{C::jumpToAttention, 0}}},
        {"s", false, {{C::interrupt, 0}}},   {"s", true, std::nullopt},
        {"b", false, {{C::showBrowsers, 0}}}, {",", false, {{C::showSettings, 0}}},
        {"1", false, {{C::focusTile, 0}}},   {"9", false, {{C::focusTile, 8}}},
        {"0", false, std::nullopt},          {"q", false, {{C::quit, 0}}},
        {"c", false, {{C::copy, 0}}},        {"v", false, {{C::paste, 0}}},
        {"a", false, {{C::selectAll, 0}}},   {"/", false, {{C::showGuide, 0}}},
        {"l", false, {{C::tileLook, 0}}},    {"m", false, {{C::openMenuBar, 0}}},
        {"?", false, {{C::showGuide, 0}}},   {"x", false, std::nullopt},
    };
    for (const auto& test : cases)
        EXPECT_EQ(press(bar, recorder, test.key, test.alt), test.command) << test.key << (test.alt ? " alt" : "");
    // Without Shift, or without Ctrl, every key belongs to the tile.
    EXPECT_FALSE(press(bar, recorder, "c", false, true, false));
    EXPECT_FALSE(press(bar, recorder, "c", false, false, true));
}

TEST(AppMenusTest, DisabledItemsAreGreyedButStillTakeTheirKeys) {
    Recorder recorder;
    recorder.disabled = {MenuCommand::renameTile, MenuCommand::checkForUpdates, MenuCommand::resumeTile};
    const auto bar = buildMenuBar(recorder);
    EXPECT_FALSE(bar.itemWithTitle("Rename Tile")->enabled);
    EXPECT_FALSE(bar.itemWithTitle("Continue Where It Left Off")->enabled);
    EXPECT_TRUE(bar.itemWithTitle("Start Fresh")->enabled);
    EXPECT_FALSE(platform::ui::MenuBar::perform(*bar.itemWithTitle("Continue Where It Left Off")));
    ASSERT_TRUE(platform::ui::MenuBar::perform(*bar.itemWithTitle("Start Fresh")));
    EXPECT_EQ(recorder.performed.back(), std::pair(MenuCommand::restartTile, 0));
    EXPECT_FALSE(bar.itemWithTitle("Check for Updates…")->enabled);
    EXPECT_TRUE(bar.itemWithTitle("Close Tile")->enabled);
    EXPECT_EQ(press(bar, recorder, "r"), std::pair(MenuCommand::quit, -1));
}

TEST(AppMenusTest, MenusInOrderAndInTheInterfaceLanguage) {
    Recorder recorder;
    auto titles = [](const platform::ui::Menu& menu) {
        std::vector<std::string> shown;
        for (const auto& item : menu.items) {
            if (!item.hidden) shown.push_back(item.separator ? "-" : item.title);
        }
        return shown;
    };
    const auto english = buildMenuBar(recorder);
    ASSERT_EQ(english.menus.size(), 3u);
    EXPECT_EQ(english.menus[0].title, "Session");
    EXPECT_EQ(titles(english.menus[0]).back(), "Quit and End All Sessions");
    const auto session = titles(english.menus[0]);
    EXPECT_EQ(std::vector<std::string>(session.begin(), session.begin() + 7),
              (std::vector<std::string>{"New Session", "New Shell", "Rename Tile", "Tile Look…", "Close Tile",
                                        "Continue Where It Left Off", "Start Fresh"}));
    EXPECT_EQ(titles(english.menus[1]), (std::vector<std::string>{"Copy", "Paste", "Select All"}));
    EXPECT_EQ(titles(english.menus[2]),
              (std::vector<std::string>{"Quiltdeck Guide", "-", "Licence Agreement", "Third-Party Licences",
                                        "Privacy Notes", "-", "Show Log", "-", "About Quiltdeck",
                                        "Check for Updates…"}));
    EXPECT_EQ(english.itemForShortcut("3", true, true, false, false)->title, "Tile 3");

    Lang::setCurrent(Lang::de);
    const auto german = buildMenuBar(recorder);
    Lang::setCurrent(Lang::en);
    EXPECT_EQ(german.menus[0].title, *L10n::text("menu_session", Lang::de));
    EXPECT_EQ(german.menus[2].items.back().title, *L10n::text("menu_check_updates", Lang::de));
    const auto* tile = german.itemForShortcut("1", true, true, false, false);
    ASSERT_TRUE(tile);
    EXPECT_EQ(tile->title, std::string(*L10n::text("menu_tile", Lang::de)) + " 1");
    EXPECT_EQ(press(german, recorder, "1"), std::pair(MenuCommand::focusTile, 0));
}

}  // namespace
}  // namespace quiltdeck
