// What a tile card asks of the grid: restarts, rebinding, another folder, a suggested name and
// the look popover.
#include <gtest/gtest.h>

#include "platform/ui/Popover.h"
#include "quiltdeck/panels/LookPopover.h"
#include "quiltdeck/shell/Tints.h"
#include "quiltdeck/wall/WallTestSupport.h"

namespace quiltdeck {
namespace {

using testing::FakeTile;

class GridCardCallbacks : public testing::WallTest {};

TEST_F(GridCardCallbacks, TheDeadVeilRestartsInPlace) {
    struct Case {
        const char* name;
        bool resume;
        std::optional<std::string> resumed;
        bool latest;
    } const cases[] = {
        {"Fresh", false, std::nullopt, false},
        {"Resume", true, "conv-1", false},
    };
    for (const Case& c : cases) {
        makeGrid();
        open("a");
        TileRequest r = request("b");
        r.resume = "conv-1";
        grid->open(r);
        open("c");
        fakeNamed("b").setStatus(SessionStatus::exited);
        TileView& card = this->card("b");
        (c.resume ? card.resumeButton() : card.restartButton()).performClick();
        // The card is still there while its button runs.
        EXPECT_EQ(grid->sessions().size(), 3u) << c.name;
        loop.runPending();
        EXPECT_EQ(order(), (std::vector<std::string>{"a", "b", "c"})) << c.name;
        EXPECT_EQ(made.back()->request.resume, c.resumed) << c.name;
        EXPECT_EQ(made.back()->request.continueLatest, c.latest) << c.name;
        grid.reset();
        made.clear();
    }
}

TEST_F(GridCardCallbacks, RebindAndChangeFolder) {
    makeGrid();
    open("a");
    std::vector<std::string> asked;
    grid->onChangeFolderRequested = [&](const std::string& id) { asked.push_back(id); };
    const std::string id = idOf("a");
    ASSERT_TRUE(menus().shown() == nullptr);
    card("a").contextMenu().items[1].action({});
    EXPECT_EQ(asked, std::vector<std::string>{id});
    card("a").onRebind(BrowserInfo{"dev-9", "Chrome"});
    loop.runPending();
    ASSERT_EQ(grid->sessions().size(), 1u);
    EXPECT_NE(grid->sessions()[0]->id(), id);
    ASSERT_TRUE(made.back()->request.browser);
    EXPECT_EQ(made.back()->request.browser->deviceId, "dev-9");
    EXPECT_TRUE(made.back()->request.carryOver);
}

TEST_F(GridCardCallbacks, ASuggestedNameComesFromTheAssistant) {
    struct Case {
        const char* name;
        std::optional<std::string> reply;
        std::string shown;
    } const cases[] = {
        {"Named", "Here you go:\n\nName: \"Shop Front\".\n", "Shop Front"},
        {"Blank", "  \n", "typed"},
        {"Failed", std::nullopt, "typed"},
    };
    for (const Case& c : cases) {
        makeGrid();
        open("a");
        std::string prompt;
        std::function<void(std::optional<std::string>)> answer;
        grid->runOneShot = [&](std::string p, auto done) {
            prompt = std::move(p);
            answer = std::move(done);
        };
        TileView& card = this->card("a");
        card.beginRename();
        card.editor().setStringValue("typed");
        card.suggestButton().performClick();
        ASSERT_TRUE(answer) << c.name;
        EXPECT_NE(prompt.find("### 1\n"), std::string::npos) << c.name;
        answer(c.reply);
        EXPECT_EQ(card.editor().stringValue(), c.shown) << c.name;
        card.endRename(false);
        grid.reset();
        made.clear();
    }
}

TEST_F(GridCardCallbacks, TheDotOpensTheLookPopoverAtTheTile) {
    makeGrid();
    open("a");
    settle();
    TileView& card = this->card("a");
    card.onLook(card.dot());
    ASSERT_NE(grid->lookPopover(), nullptr);
    EXPECT_TRUE(grid->lookPopover()->popover().isShown());
    EXPECT_EQ(grid->lookPopover()->cwd(), fakeNamed("a").cwd());
    // A colour chosen there reaches the card's wash.
    grid->lookPopover()->pickColour(1);
    EXPECT_EQ(card.wash().tint(), Tints::colour(Tints::dark[1]));
    grid->lookPopover()->autoColour();
}

}  // namespace
}  // namespace quiltdeck
