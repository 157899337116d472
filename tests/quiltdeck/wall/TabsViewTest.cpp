#include "quiltdeck/wall/TabsView.h"

#include <gtest/gtest.h>

#include "platform/ui/Modals.h"
#include "platform/ui/PopUpMenu.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {
namespace {

using platform::gfx::Rect;
using platform::gfx::Rgba;
using Strings = std::vector<std::string>;

class TabsViewTest : public ::testing::Test {
protected:
    TabsViewTest() {
        platform::ui::Modals::reset();
        platform::ui::PopUpMenu::setPresenter(nullptr);
        tabs.onSelect = [this](const std::string& wall) { events.push_back("select " + wall); };
        tabs.onNew = [this] { events.push_back("new"); };
        tabs.onRename = [this](const std::string& wall) { events.push_back("rename " + wall); };
        tabs.onRemove = [this](const std::string& wall) { events.push_back("remove " + wall); };
    }
    ~TabsViewTest() override { platform::ui::Modals::reset(); }
    std::string title(size_t i) { return tabs.buttons()[i].second->attributedTitle().string(); }

    TabsView tabs{Rect{0, 0, 1000, 38}};
    Strings events;
};

TEST_F(TabsViewTest, MainAloneAndThePlusAfterIt) {
    tabs.reload({}, "", {}, {});
    ASSERT_EQ(tabs.buttons().size(), 1u);
    EXPECT_EQ(title(0), t("tab_main"));
    const Rect main = tabs.buttons()[0].second->frame();
    EXPECT_EQ(main.x, 20);
    EXPECT_EQ(main.y, 6);
    EXPECT_EQ(main.height, 26);
    EXPECT_EQ(tabs.buttons()[0].second->cornerRadius(), 13);
    EXPECT_EQ(tabs.plus().frame(), (Rect{main.maxX() + 8, 6, 26, 26}));
    EXPECT_EQ(tabs.hairline().frame(), (Rect{0, 37, 1000, 1}));
    EXPECT_FALSE(tabs.buttons()[0].second->menu);
    tabs.plus().performClick();
    tabs.buttons()[0].second->performClick();
    EXPECT_EQ(events, (Strings{"new", "select "}));
}

TEST_F(TabsViewTest, TabsAreRebuiltOnlyWhenTheNamesChange) {
    tabs.reload({"A", "B"}, "", {}, {});
    const auto before = tabs.buttons();
    // Marked, so that a rebuilt tab (which may take a freed address) is told apart.
    for (const auto& [wall, button] : before) button->setToolTip("kept");
    tabs.reload({"A", "B"}, "B", {{"A", 1}}, {});
    EXPECT_EQ(tabs.buttons(), before);
    EXPECT_EQ(tabs.current(), "B");
    tabs.reload({"A", "C"}, "", {}, {});
    ASSERT_EQ(tabs.buttons().size(), 3u);
    for (size_t i = 0; i < 3; ++i) EXPECT_EQ(tabs.buttons()[i].second->toolTip(), "") << i;
    // Each tab's menu renames or removes its own wall.
    ASSERT_TRUE(tabs.buttons()[2].second->menu);
    const auto& items = tabs.buttons()[2].second->menu->items;
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].title, t("rename_tab"));
    EXPECT_EQ(items[1].title, t("remove_tab"));
    platform::ui::MenuBar::perform(items[0]);
    platform::ui::MenuBar::perform(items[1]);
    EXPECT_EQ(events, (Strings{"rename C", "remove C"}));
}

TEST_F(TabsViewTest, CountsInTheTitles) {
    struct Case {
        const char* name;
        std::map<std::string, int> waiting, done;
        std::string title, toolTip;
        Lang lang = Lang::en;
    };
    const Case cases[] = {
        {"Both", {{"W", 2}}, {{"W", 1}}, "W  2  \u27131", "2 waiting for you \u00B7 1 done"},
        {"Zeros", {{"W", 0}}, {{"W", 0}}, "W", ""},
        {"Negative", {{"W", -3}}, {}, "W", ""},
        {"Absent", {{"other", 4}}, {}, "W", ""},
        {"DoneOnly", {}, {{"W", 5}}, "W  \u27135", "5 done"},
        {"German", {{"W", 1}}, {{"W", 2}}, "W  1  \u27132", "1 wartet auf dich \u00B7 2 fertig", Lang::de},
        {"Russian", {{"W", 2}}, {{"W", 21}}, "W  2  \u271321", "2 ждут вас \u00B7 21 готова", Lang::ru},
    };
    for (const Case& c : cases) {
        Lang::setCurrent(c.lang);
        tabs.reload({"W"}, "", c.waiting, c.done);
        EXPECT_EQ(title(1), c.title) << c.name;
        EXPECT_EQ(tabs.buttons()[1].second->toolTip(), c.toolTip) << c.name;
    }
    Lang::setCurrent(Lang::en);
    // A name pasted with characters that would reorder or hide it shows them spelt out.
    tabs.reload({"in\u202Ecod.exe\u200B"}, "", {}, {});
    EXPECT_EQ(title(1), "in<U+202E>cod.exe<U+200B>");
    // The counts in their colours, the name in the muted one.
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();
    tabs.reload({"W"}, "", {{"W", 2}}, {{"W", 1}});
    const auto& runs = tabs.buttons()[1].second->attributedTitle().runs();
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].attributes.color, PanelColors::mutedText());
    EXPECT_EQ(runs[1].attributes.color, Rgba::fromBytes(224, 162, 71));
    EXPECT_EQ(runs[2].attributes.color, Rgba::fromBytes(95, 176, 122));
    EXPECT_EQ(runs[1].attributes.font.size, 11);
}

TEST_F(TabsViewTest, TheCurrentTabAndTheDropTarget) {
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();
    tabs.reload({"W"}, "W", {}, {});
    platform::ui::DrawnButton& w = *tabs.buttons()[1].second;
    platform::ui::DrawnButton& main = *tabs.buttons()[0].second;
    EXPECT_EQ(w.layerBackgroundColor(), Rgba::fromBytes(25, 27, 29));
    EXPECT_EQ(w.borderWidth(), 1);
    EXPECT_EQ(w.borderColor(), (Rgba{1, 1, 1, 0.08}));
    EXPECT_EQ(main.layerBackgroundColor(), std::nullopt);
    EXPECT_EQ(main.borderWidth(), 0);
    EXPECT_EQ(w.attributedTitle().runs()[0].attributes.font.weight, platform::gfx::FontWeight::semibold);
    // Dragged over, even the current tab takes the translucent fill and a solid border.
    const int restyles = tabs.restyleCount();
    tabs.highlight("W");
    Rgba fill = Rgba::fromBytes(142, 155, 174);
    fill.alpha = 0.35;
    EXPECT_EQ(w.layerBackgroundColor(), fill);
    EXPECT_EQ(w.borderColor(), Rgba::fromBytes(142, 155, 174));
    tabs.highlight("W");
    EXPECT_EQ(tabs.restyleCount(), restyles + 1);
    tabs.highlight(std::nullopt);
    tabs.highlight(std::nullopt);
    EXPECT_EQ(tabs.restyleCount(), restyles + 2);
    EXPECT_EQ(w.layerBackgroundColor(), Rgba::fromBytes(25, 27, 29));
}

TEST_F(TabsViewTest, TheTabUnderAPointReachesIntoTheGaps) {
    tabs.reload({"W", "X"}, "", {}, {});
    const Rect w = tabs.buttons()[1].second->frame();
    struct Case {
        const char* name;
        platform::gfx::Point point;
        std::optional<std::string> wall;
    };
    const Case cases[] = {
        {"Inside", {w.x + 4, 19}, "W"},
        // The gaps are 6 points: each half belongs to the tab beside it, the first one first.
        {"TwoToTheLeft", {w.x - 2, 19}, "W"},
        {"ThreeToTheLeft", {w.x - 3, 19}, ""},
        {"TwoToTheRight", {w.maxX() + 2, 19}, "W"},
        {"PastTheLastTab", {tabs.buttons()[2].second->frame().maxX() + 4, 19}, std::nullopt},
        {"SixAbove", {w.x + 4, 0}, "W"},
        {"SevenBelow", {w.x + 4, w.maxY() + 7}, std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(tabs.wallAt(c.point), c.wall) << c.name;
}

class AskTextTest : public ::testing::Test {
protected:
    AskTextTest() { platform::ui::Modals::reset(); }
    ~AskTextTest() override { platform::ui::Modals::reset(); }
    platform::ui::headless::HeadlessModals& modals() { return *platform::ui::headless::HeadlessModals::current(); }
};

TEST_F(AskTextTest, AnswersTrimmedOrNothing) {
    platform::ui::headless::HeadlessWindow window{{400, 300}, 1};
    struct Case {
        const char* name;
        std::optional<std::string> typed;
        std::optional<std::string> answer;
    };
    const Case cases[] = {
        {"Word", std::string("word"), std::string("word")},
        {"SpacesAround", std::string(" \t word \t"), std::string("word")},
        {"OnlySpaces", std::string("  \t "), std::nullopt},
        {"Empty", std::string(""), std::nullopt},
        {"Cancel", std::nullopt, std::nullopt},
        {"Pasted", " " + std::string(Store::titleLimit + 5000, 'w'), std::string(Store::titleLimit, 'w')},
    };
    for (const Case& c : cases) {
        int calls = 0;
        std::optional<std::string> got;
        askText(&window, "Title", "start", [&](std::optional<std::string> text) {
            ++calls;
            got = std::move(text);
        });
        ASSERT_TRUE(modals().shownPrompt()) << c.name;
        EXPECT_EQ(modals().shownPrompt()->title, "Title");
        EXPECT_EQ(modals().shownPrompt()->initial, "start");
        EXPECT_EQ(modals().shownPrompt()->buttons, (Strings{t("ok"), t("cancel")}));
        EXPECT_EQ(modals().shownPrompt()->fieldWidth, 260);
        EXPECT_EQ(modals().shownOver(), &window);
        EXPECT_EQ(calls, 0);
        modals().answerPrompt(c.typed);
        EXPECT_EQ(calls, 1) << c.name;
        EXPECT_EQ(got, c.answer) << c.name;
    }
}

TEST_F(AskTextTest, WithoutAWindowItIsModalAndDoneHasRun) {
    modals().queueModalAnswer(std::string("  name "));
    std::optional<std::string> got;
    int calls = 0;
    askText(nullptr, "Title", "", [&](std::optional<std::string> text) {
        ++calls;
        got = std::move(text);
    });
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(got, "name");
    askText(nullptr, "Title", "", [&](std::optional<std::string> text) {
        ++calls;
        got = std::move(text);
    });
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(got, std::nullopt);
    EXPECT_FALSE(platform::ui::Modals::isShowing());
}

}  // namespace
}  // namespace quiltdeck
