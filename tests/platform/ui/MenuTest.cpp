#include "platform/ui/Menu.h"

#include <gtest/gtest.h>

namespace platform::ui {
namespace {

MenuItem item(std::string title, Shortcut shortcut, std::vector<std::string>* log, bool hidden = false) {
    MenuItem made;
    made.title = title;
    made.shortcut = std::move(shortcut);
    made.hidden = hidden;
    made.action = [log, title](const MenuItem&) { log->push_back(title); };
    return made;
}

TEST(MenuTest, ShortcutsMatchTheUnshiftedKeyAndExactModifiers) {
    std::vector<std::string> log;
    MenuBar bar;
    bar.menus.push_back({"Session",
                         {item("New", {"n", "", true, true}, &log), item("New Shell", {"n", "", true, true, true}, &log),
                          MenuItem::separatorItem(), item("Larger", {"=", "+", true, true}, &log),
                          item("Zoom", {"Return", "", true, true}, &log), item("Tile 1", {"1", "", true, true}, &log, true)}});
    const struct {
        const char* key;
        bool control, shift, alt, super;
        const char* title;  // null: no item
    } cases[] = {
        {"n", true, true, false, false, "New"},
        {"n", true, true, true, false, "New Shell"},
        {"n", true, false, false, false, nullptr},  // Ctrl+N belongs to the tile
        {"n", false, true, false, false, nullptr},
        {"n", true, true, false, true, nullptr},
        {"N", true, true, false, false, nullptr},
        {"=", true, true, false, false, "Larger"},
        {"+", true, true, false, false, "Larger"},  // where "+" has a key of its own
        {"Return", true, true, false, false, "Zoom"},
        {"1", true, true, false, false, "Tile 1"},  // hidden, still answering
        {"", true, true, false, false, nullptr},
    };
    for (const auto& test : cases) {
        const MenuItem* found = bar.itemForShortcut(test.key, test.control, test.shift, test.alt, test.super);
        if (!test.title) {
            EXPECT_EQ(found, nullptr) << test.key;
            continue;
        }
        ASSERT_NE(found, nullptr) << test.key;
        EXPECT_EQ(found->title, test.title);
    }
}

TEST(MenuTest, OnlyEnabledItemsWithActionsPerform) {
    std::vector<std::string> log;
    MenuItem enabled = item("Copy", {"c", "", true, true}, &log);
    MenuItem disabled = enabled;
    disabled.enabled = false;
    MenuItem bare;
    bare.title = "Bare";
    EXPECT_TRUE(MenuBar::perform(enabled));
    EXPECT_FALSE(MenuBar::perform(disabled));
    EXPECT_FALSE(MenuBar::perform(bare));
    EXPECT_FALSE(MenuBar::perform(MenuItem::separatorItem()));
    EXPECT_EQ(log, std::vector<std::string>{"Copy"});
}

}  // namespace
}  // namespace platform::ui

#include "platform/ui/PopUpMenu.h"
#include "platform/ui/View.h"

namespace platform::ui {
namespace {

TEST(MenuTest, HeadlessPicksReachIntoSubmenusButNeverRunASubmenuItself) {
    struct Case {
        const char* title;
        bool picked;
        std::vector<std::string> log;
    } const cases[] = {
        {"Colour", false, {}},
        {"blue", true, {"blue"}},
        {"olive", false, {}},  // disabled
        {"Rename", true, {"Rename"}},
        {"Missing", false, {}},
    };
    PopUpMenu::setPresenter(nullptr);
    auto* menus = headless::HeadlessMenus::current();
    View view;
    for (const Case& c : cases) {
        std::vector<std::string> log;
        Menu menu;
        menu.items.push_back(item("Rename", {}, &log));
        MenuItem colour = item("Colour", {}, &log);
        colour.submenu.push_back(item("blue", {}, &log));
        colour.submenu.back().image = std::make_shared<const gfx::Image>(gfx::Image{28, 28, std::vector<uint32_t>(28 * 28)});
        colour.submenu.push_back(MenuItem::separatorItem());
        colour.submenu.push_back(item("olive", {}, &log));
        colour.submenu.back().enabled = false;
        menu.items.push_back(std::move(colour));
        PopUpMenu::popUp(menu, view, {0, 0});
        ASSERT_NE(menus->find("blue"), nullptr);
        EXPECT_EQ(menus->find("blue")->image->width, 28);
        EXPECT_EQ(menus->pick(c.title), c.picked) << c.title;
        EXPECT_EQ(log, c.log) << c.title;
        menus->dismiss();
    }
    EXPECT_EQ(menus->find("blue"), nullptr);
}

}  // namespace
}  // namespace platform::ui
