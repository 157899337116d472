#include "quiltdeck/shell/AppMenus.h"

#include <gtest/gtest.h>

#include <set>

#include "quiltdeck/shell/L10n.h"

namespace quiltdeck {
namespace {

struct Recorder : MenuCommands {
    std::vector<std::pair<MenuCommand, int>> performed;
    std::set<MenuCommand> disabled;
    std::set<MenuCommand> checked;
    void perform(MenuCommand command, int tag) override { performed.push_back({command, tag}); }
    bool isEnabled(MenuCommand command) const override { return !disabled.contains(command); }
    bool isChecked(MenuCommand command) const override { return checked.contains(command); }
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
    EXPECT_EQ(std::vector<std::string>(session.end() - 5, session.end()),
              (std::vector<std::string>{"Settings", "AI Titles", "Language", "-", "Quit and End All Sessions"}));
    EXPECT_EQ(titles(english.menus[2]),
              (std::vector<std::string>{"Quiltdeck Guide", "Open Menu Bar", "Top Bar Message", "-", "Licence Agreement", "Third-Party Licences",
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

// The top bar's AI titles and language, where the keyboard reaches them from a terminal: a check
// item with the setting's state, and the eleven languages by their own names, the current one
// checked, each choosing itself.
TEST(AppMenusTest, TheTopBarsSettingsInTheSessionMenu) {
    Recorder recorder;
    auto item = [](const platform::ui::MenuBar& bar, const std::string& title) {
        const platform::ui::MenuItem* found = bar.itemWithTitle(title);
        EXPECT_TRUE(found) << title;
        return found ? *found : platform::ui::MenuItem{};
    };
    for (const bool on : {false, true}) {
        if (on) recorder.checked.insert(MenuCommand::toggleAiTitles);
        const platform::ui::MenuItem ai = item(buildMenuBar(recorder), "AI Titles");
        EXPECT_TRUE(ai.checkable);
        EXPECT_EQ(ai.checked, on);
        EXPECT_TRUE(ai.shortcut.isEmpty());
        recorder.performed.clear();
        platform::ui::MenuBar::perform(ai);
        EXPECT_EQ(recorder.performed, (std::vector<std::pair<MenuCommand, int>>{{MenuCommand::toggleAiTitles, 0}}));
    }
    for (const Lang current : {Lang::en, Lang::ru}) {
        Lang::setCurrent(current);
        const auto bar = buildMenuBar(recorder);
        const platform::ui::MenuItem language = item(bar, t("language"));
        ASSERT_EQ(language.submenu.size(), static_cast<size_t>(Lang::count));
        for (const Lang lang : Lang::allCases()) {
            const platform::ui::MenuItem& choice = language.submenu[static_cast<size_t>(lang.index())];
            EXPECT_EQ(choice.title, lang.ownName());
            EXPECT_EQ(choice.checked, lang == current) << lang.rawValue();
            EXPECT_FALSE(choice.checkable);
            recorder.performed.clear();
            platform::ui::MenuBar::perform(choice);
            EXPECT_EQ(recorder.performed, (std::vector<std::pair<MenuCommand, int>>{{MenuCommand::chooseLanguage, lang.index()}}));
        }
        EXPECT_EQ(item(bar, t("menu_ai_titles")).title, *L10n::text("menu_ai_titles", current));
        EXPECT_EQ(item(bar, t("menu_open_menus")).shortcut.key, "m");
        EXPECT_FALSE(item(bar, t("menu_open_menus")).hidden);
    }
    Lang::setCurrent(Lang::en);
}

}  // namespace
}  // namespace quiltdeck
