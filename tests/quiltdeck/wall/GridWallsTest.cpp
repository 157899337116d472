// Walls: switching, cycling, creating, renaming, removing, and moving tiles between them.
#include <gtest/gtest.h>

#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/wall/WallTestSupport.h"

namespace quiltdeck {
namespace {

using Strings = std::vector<std::string>;

class GridWalls : public testing::WallTest {
protected:
    // Main: a, b; W: w1; X: x1.
    void build() {
        Store::shared().setWalls({"W", "X"});
        makeGrid();
        open("a");
        open("w1", "W");
        open("b", "");
        open("x1", "X");
        grid->showWall("");
    }
    Strings tabs() {
        Strings names;
        for (const auto& [wall, button] : grid->tabs().buttons()) names.push_back(wall);
        return names;
    }
};

TEST_F(GridWalls, CyclingThroughTheWalls) {
    Store::shared().setWalls({});
    makeGrid();
    grid->nextWall(1);
    EXPECT_EQ(grid->currentWall(), "");
    Store::shared().setWalls({"W", "X"});
    struct Case {
        int delta;
        std::string wall;
    };
    const Case cases[] = {{-1, "X"}, {-1, "W"}, {-1, ""}, {1, "W"}, {1, "X"}, {1, ""}};
    for (const Case& c : cases) {
        grid->nextWall(c.delta);
        EXPECT_EQ(grid->currentWall(), c.wall) << c.delta;
        EXPECT_EQ(Store::shared().currentWall(), c.wall);
    }
    grid->showWall("unknown");
    EXPECT_EQ(grid->currentWall(), "");
}

TEST_F(GridWalls, ShowingAWallPicksItsActiveTileAndHidesTheOthers) {
    build();
    grid->zoom(idOf("b"));
    grid->showWall("W");
    EXPECT_FALSE(grid->zoomId());
    EXPECT_EQ(grid->activeId(), idOf("w1"));
    EXPECT_TRUE(card("a").isHidden());
    EXPECT_FALSE(card("w1").isHidden());
    EXPECT_EQ(card("w1").indexText(), "1");
    grid->showWall("");
    EXPECT_EQ(grid->activeId(), idOf("a"));
    // An empty wall shows the empty card, though other walls hold tiles.
    Store::shared().setWalls({"W", "X", "Empty"});
    grid->showWall("Empty");
    EXPECT_EQ(grid->activeId(), std::nullopt);
    EXPECT_FALSE(grid->emptyCard().isHidden());
    EXPECT_GT(grid->emptyCard().frame().height, 0);
}

TEST_F(GridWalls, NewWallsFromThePrompt) {
    build();
    struct Case {
        const char* name;
        std::optional<std::string> answer;
        Strings walls;
        std::string current;
    };
    const Case cases[] = {
        {"Cancelled", std::nullopt, {"W", "X"}, ""},
        {"OnlySpaces", std::string("   "), {"W", "X"}, ""},
        {"ANewName", std::string("  New  "), {"W", "X", "New"}, "New"},
        {"AnExistingNameSwitches", std::string("W"), {"W", "X", "New"}, "W"},
    };
    for (const Case& c : cases) {
        grid->newWall();
        ASSERT_TRUE(modals().shownPrompt()) << c.name;
        EXPECT_EQ(modals().shownPrompt()->title, t("new_tab_name"));
        EXPECT_EQ(modals().shownPrompt()->initial, "");
        modals().answerPrompt(c.answer);
        EXPECT_EQ(Store::shared().walls(), c.walls) << c.name;
        EXPECT_EQ(grid->currentWall(), c.current) << c.name;
        EXPECT_EQ(tabs().size(), c.walls.size() + 1) << c.name;
    }
}

TEST_F(GridWalls, RenamingWalls) {
    build();
    grid->showWall("W");
    struct Case {
        const char* name;
        std::string wall, answer;
        Strings walls;
        std::string current;
    };
    const Case cases[] = {
        {"OwnName", "W", "W", {"W", "X"}, "W"},
        {"AnotherWallsName", "W", "X", {"W", "X"}, "W"},
        {"TheCurrentWall", "W", "V", {"V", "X"}, "V"},
        {"AnotherWall", "X", "Y", {"V", "Y"}, "V"},
    };
    for (const Case& c : cases) {
        grid->renameWall(c.wall);
        ASSERT_TRUE(modals().shownPrompt()) << c.name;
        EXPECT_EQ(modals().shownPrompt()->title, t("rename_tab"));
        EXPECT_EQ(modals().shownPrompt()->initial, c.wall);
        modals().answerPrompt(c.answer);
        EXPECT_EQ(Store::shared().walls(), c.walls) << c.name;
        EXPECT_EQ(grid->currentWall(), c.current) << c.name;
        EXPECT_EQ(Store::shared().currentWall(), c.current) << c.name;
    }
    EXPECT_EQ(onWall("V"), Strings{"w1"});
    EXPECT_EQ(onWall("Y"), Strings{"x1"});
    EXPECT_EQ(fakeNamed("x1").wall(), "Y");
    // Saved with the new names.
    for (const auto& r : Store::shared().openTiles()) {
        if (r.name == "x1") {
            EXPECT_EQ(r.wall, "Y");
        }
    }
}

TEST_F(GridWalls, RemovingWallsSendsTheirTilesToMain) {
    build();
    // Not the current wall: its tiles join Main, renumbered.
    grid->removeWall("X");
    EXPECT_EQ(grid->currentWall(), "");
    EXPECT_EQ(onWall(""), (Strings{"a", "b", "x1"}));
    EXPECT_EQ(card("x1").indexText(), "3");
    EXPECT_FALSE(card("x1").isHidden());
    // The current wall: Main is shown with them.
    grid->showWall("W");
    grid->removeWall("W");
    EXPECT_EQ(grid->currentWall(), "");
    EXPECT_EQ(onWall(""), (Strings{"a", "w1", "b", "x1"}));
    EXPECT_EQ(card("w1").indexText(), "2");
    EXPECT_TRUE(Store::shared().walls().empty());
    EXPECT_EQ(tabs(), Strings{""});
    grid->removeWall("");
    EXPECT_EQ(order().size(), 4u);
}

TEST_F(GridWalls, MovingATile) {
    build();
    grid->zoom(idOf("b"));
    grid->move(idOf("b"), "W");
    EXPECT_FALSE(grid->zoomId());
    EXPECT_TRUE(grid->scrim().isHidden());
    EXPECT_EQ(grid->currentWall(), "");
    EXPECT_EQ(grid->activeId(), idOf("a"));
    EXPECT_EQ(onWall("W"), (Strings{"w1", "b"}));
    EXPECT_TRUE(card("b").isHidden());
    // Onto a name that is no wall yet: the wall is made, at the end of the tabs.
    grid->move(idOf("a"), "Fresh");
    EXPECT_EQ(Store::shared().walls(), (Strings{"W", "X", "Fresh"}));
    EXPECT_EQ(tabs(), (Strings{"", "W", "X", "Fresh"}));
    // Back onto the wall shown: it takes its place in the order.
    grid->move(idOf("b"), "");
    EXPECT_EQ(onWall(""), Strings{"b"});
    grid->move("unknown", "W");
}

TEST_F(GridWalls, TheMoveMenu) {
    build();
    grid->showMoveMenu(idOf("b"), card("b").moveButton());
    ASSERT_TRUE(menus().shown());
    const auto& items = menus().shown()->items;
    ASSERT_EQ(items.size(), 5u);
    EXPECT_EQ(items[0].title, t("tab_main"));
    EXPECT_TRUE(items[0].checked);
    EXPECT_EQ(items[1].title, "W");
    EXPECT_FALSE(items[1].checked);
    EXPECT_TRUE(items[3].separator);
    EXPECT_EQ(items[4].title, t("new_tab_ellipsis"));
    // 4 points under the button.
    const auto f = card("b").convertToWindow(card("b").moveButton().frame());
    EXPECT_EQ(menus().shownAt().x, f.x);
    EXPECT_EQ(menus().shownAt().y, f.y - 4);
    EXPECT_TRUE(menus().pick("X"));
    EXPECT_EQ(onWall("X"), (Strings{"b", "x1"}));
    // A new tab from the menu: asked for, made, and the view stays.
    grid->showMoveMenu(idOf("a"), card("a").moveButton());
    menus().pick(t("new_tab_ellipsis"));
    ASSERT_TRUE(modals().shownPrompt());
    modals().answerPrompt("Later");
    EXPECT_EQ(onWall("Later"), Strings{"a"});
    EXPECT_EQ(grid->currentWall(), "");
}

TEST_F(GridWalls, ConfirmingAMove) {
    build();
    grid->confirmMove(idOf("b"), "");
    ASSERT_TRUE(modals().shownAlert());
    EXPECT_EQ(modals().shownAlert()->messageText, t("move_tile_q", {"b", t("tab_main")}));
    EXPECT_EQ(modals().shownAlert()->buttons, (Strings{t("move"), t("cancel")}));
    modals().clickButton(1);
    grid->confirmMove(idOf("b"), "W");
    modals().clickButton(0);
    EXPECT_EQ(onWall("W"), (Strings{"w1", "b"}));
    // The tile closed while the question is up: nothing moves.
    grid->confirmMove(idOf("a"), "W");
    grid->close(idOf("a"));
    modals().clickButton(0);
    EXPECT_EQ(onWall("W"), (Strings{"w1", "b"}));
}

TEST_F(GridWalls, TheTabBarFollowsTheWallsAndTheirCounts) {
    build();
    fakeNamed("w1").setStatus(SessionStatus::waiting);
    const auto& buttons = grid->tabs().buttons();
    ASSERT_EQ(tabs(), (Strings{"", "W", "X"}));
    EXPECT_EQ(buttons[1].second->attributedTitle().string(), "W  1");
    platform::ui::DrawnButton* main = buttons[0].second;
    // The tab's click shows its wall; the same names keep the same buttons.
    buttons[1].second->performClick();
    EXPECT_EQ(grid->currentWall(), "W");
    EXPECT_EQ(grid->tabs().buttons()[0].second, main);
    EXPECT_EQ(grid->tabs().current(), "W");
    // The plus asks for a new wall.
    grid->tabs().plus().performClick();
    EXPECT_TRUE(modals().shownPrompt());
    modals().answerPrompt(std::nullopt);
    // Its menu renames or removes.
    ASSERT_TRUE(grid->tabs().buttons()[2].second->menu);
    EXPECT_FALSE(main->menu);
}

}  // namespace
}  // namespace quiltdeck
