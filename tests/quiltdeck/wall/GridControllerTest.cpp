#include "quiltdeck/wall/GridController.h"

#include <gtest/gtest.h>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/app/AppDelegateTestSupport.h"

namespace quiltdeck {
namespace {

using testing::FakeTile;

class GridControllerTest : public ::testing::Test {
protected:
    GridControllerTest() { Store::shared().setOpenTiles({}); }

    std::unique_ptr<GridController> makeGrid() {
        auto grid = std::make_unique<GridController>(
            [this](const TileRequest& request, uint16_t) {
                auto tile = std::make_unique<FakeTile>(request);
                tiles.push_back(tile.get());
                return tile;
            },
            HookServer::Options{0, 0, &loop, {}});
        grid->viewDidLoad();
        return grid;
    }
    TileRequest request(const std::string& name) {
        TileRequest made;
        made.cwd = (folder / name).string();
        std::filesystem::create_directories(made.cwd);
        made.name = name + " (shell)";
        return made;
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    testing::TempFolder folder;
    std::vector<FakeTile*> tiles;
};

TEST_F(GridControllerTest, CellsShareTheViewEqually) {
    using platform::gfx::Rect;
    platform::ui::headless::HeadlessWindow window({1000, 600}, 1);
    auto grid = makeGrid();
    window.setContentView(&grid->view());
    const struct {
        size_t index, count;
        Rect frame;
    } cases[] = {
        {0, 1, {18, 108, 964, 474}},
        {0, 2, {18, 108, 473, 474}},
        {1, 2, {509, 108, 473, 474}},
        {0, 3, {18, 108, 473, 228}},  // two columns, two rows: the first row on top
        {2, 3, {18, 354, 473, 228}},
    };
    for (const auto& test : cases) {
        while (grid->sessions().size() < test.count) {
            std::string name = "t";
            name += std::to_string(grid->sessions().size());
            grid->open(request(name));
        }
        EXPECT_EQ(grid->tile(grid->sessions()[test.index]->id())->frame(), test.frame) << test.index << "/" << test.count;
    }
}

TEST_F(GridControllerTest, HookDeliveriesReachTheTileWithThatId) {
    auto grid = makeGrid();
    auto& tile = static_cast<FakeTile&>(*grid->open(request("a")));
    grid->hooks().onHook(tile.id(), "Stop", nlohmann::json::object());
    grid->hooks().onHook("nobody", "Stop", nlohmann::json::object());
    grid->hooks().onRename(tile.id(), "Renamed");
    grid->hooks().onMetrics("nobody", nlohmann::json::object());
    grid->hooks().onFeed("nobody", nlohmann::json::object());
    EXPECT_EQ(tile.hooks, std::vector<std::string>{"Stop"});
    EXPECT_EQ(tile.title(), "Renamed");
    const std::string log = testing::logContents();
    EXPECT_NE(log.find("metrics: dropped, no tile nobody\n"), std::string::npos);
    EXPECT_NE(log.find("feed: dropped, no tile nobody\n"), std::string::npos);
}

TEST_F(GridControllerTest, RecordsOfSavedAndExitedTiles) {
    auto grid = makeGrid();
    auto& live = static_cast<FakeTile&>(*grid->open(request("live")));
    live.setWall("Second");
    auto& ended = static_cast<FakeTile&>(*grid->open(request("ended")));
    ended.setStatus(SessionStatus::exited);
    grid->saveOpenTiles();
    ASSERT_EQ(Store::shared().openTiles().size(), 1u);
    const auto saved = Store::shared().openTiles()[0];
    EXPECT_EQ(saved.tileId, live.id());
    EXPECT_EQ(saved.wall, "Second");
    EXPECT_EQ(saved.name, "live");  // the folder's name, never the session's
    grid->recordExitedTiles();
    const auto recorded = Store::shared().closed().front();
    EXPECT_EQ(recorded.cwd, ended.request.cwd);
    EXPECT_EQ(recorded.tileId, std::nullopt);
    EXPECT_EQ(recorded.wall, std::nullopt);  // the main wall
}

TEST_F(GridControllerTest, RestoreKeepsIdsAndLeavesMissingFoldersInTheHistory) {
    Store::ClosedTile kept, gone;
    kept.cwd = (folder / "kept").string();
    std::filesystem::create_directories(kept.cwd);
    kept.tileId = "tile-1";
    kept.claudeSessionId = "conversation";
    gone.cwd = (folder / "gone").string();
    gone.tileId = "tile-2";
    Store::shared().setOpenTiles({kept, gone});
    auto grid = makeGrid();
    grid->restoreOpenTiles();
    ASSERT_EQ(grid->sessions().size(), 1u);
    EXPECT_EQ(tiles[0]->id(), "tile-1");
    EXPECT_EQ(tiles[0]->request.resume, "conversation");
    EXPECT_TRUE(tiles[0]->request.carryOver);
    EXPECT_EQ(Store::shared().closed().front().cwd, gone.cwd);
    ASSERT_EQ(Store::shared().openTiles().size(), 1u);
    EXPECT_EQ(Store::shared().openTiles()[0].tileId, "tile-1");
    EXPECT_NE(testing::logContents().find("reopen: folder missing, kept in history: " + gone.cwd), std::string::npos);
}

TEST_F(GridControllerTest, ClosingTheActiveTileMakesTheFirstActive) {
    auto grid = makeGrid();
    grid->open(request("a"));
    grid->open(request("b"));
    grid->open(request("c"));
    grid->focus(2);
    // Not in a window: closing asks nothing.
    grid->requestClose(tiles[2]->id());
    EXPECT_EQ(grid->sessions().size(), 2u);
    EXPECT_EQ(grid->activeId(), tiles[0]->id());
    grid->focus(7);
    EXPECT_EQ(grid->activeId(), tiles[0]->id());
    grid->close("unknown");
    EXPECT_EQ(grid->sessions().size(), 2u);
}

TEST_F(GridControllerTest, AResumeThatFailsStartsTheTileAfresh) {
    auto grid = makeGrid();
    TileRequest resumed = request("a");
    resumed.resume = "old";
    auto& tile = static_cast<FakeTile&>(*grid->open(resumed));
    const std::string id = tile.id();
    tile.typedAhead = "fix the build\r";
    tile.onResumeFailed();
    // Inside the session's own exit: on the next turn, in the same place, with a new id, and
    // what was typed into the tile meanwhile goes to the new one.
    loop.runPending();
    ASSERT_EQ(grid->sessions().size(), 1u);
    EXPECT_NE(tiles.back()->id(), id);
    EXPECT_EQ(tiles.back()->request.resume, std::nullopt);
    EXPECT_FALSE(tiles.back()->request.continueLatest);
    EXPECT_EQ(tiles.back()->request.typedAhead, "fix the build\r");
}

// The setup card stands centred on the empty wall and asks for a new tile from its last step.
TEST_F(GridControllerTest, EmptyWallShowsTheSetupCard) {
    Store::shared().setOnboarded(false);
    auto grid = makeGrid();
    grid->view().setFrame({0, 0, 1000, 900});
    auto& card = grid->emptyCard();
    EXPECT_FALSE(card.isHidden());
    // 40 in from either side, centred in the grid under the bar and tabs (90), lifted by 20.
    const double height = std::ceil(card.layoutContent(920, false));
    EXPECT_EQ(card.frame(), platform::gfx::Rect(40, 90 + std::max(24.0, (810 - height) / 2 - 20), 920, height));
    int asked = 0;
    grid->onNewRequested = [&] { ++asked; };
    card.tapOpen();
    EXPECT_EQ(asked, 1);

    TileRequest shell = request("s");
    shell.isShell = true;
    grid->open(shell);
    EXPECT_TRUE(card.isHidden());
    EXPECT_FALSE(Store::shared().onboarded());
    TileRequest assistant = request("a");
    assistant.isShell = false;
    grid->open(assistant);
    EXPECT_TRUE(Store::shared().onboarded());
    for (auto* tile : std::vector<FakeTile*>(tiles)) grid->close(tile->id());
    EXPECT_FALSE(card.isHidden());
    Store::shared().setOnboarded(false);
}

}  // namespace
}  // namespace quiltdeck

namespace quiltdeck {
namespace {

// A tile with a terminal of its own, as a session has.
class TerminalTile : public FakeTile {
public:
    using FakeTile::FakeTile;
    vantel::TerminalView* terminal() override { return &terminalView; }
    platform::ui::View& view() override { return terminalView; }
    vantel::TerminalView terminalView{platform::gfx::Rect{0, 0, 400, 300}};
};

// The grid paces its tiles' streaming output, and a change of a tile whose terminal is about to
// redraw reaches the card with that redraw (once for a burst of changes); a tile with nothing to
// redraw shows a change at once.
TEST_F(GridControllerTest, AStreamingTilesCardChangesWithItsTerminalsNextRedraw) {
    using namespace std::chrono_literals;
    TerminalTile* made = nullptr;
    GridController grid(
        [&](const TileRequest& r, uint16_t) {
            auto tile = std::make_unique<TerminalTile>(r);
            made = tile.get();
            return tile;
        },
        HookServer::Options{0, 0, &loop, {}});
    grid.viewDidLoad();
    grid.open(request("a"));
    ASSERT_TRUE(made);
    TerminalTile& tile = *made;
    EXPECT_EQ(tile.terminalView.streamingDisplayInterval(), GridController::streamingTileInterval);
    TileView& card = *grid.tile(tile.id());
    auto shown = [&] { return card.subLabel().richText() ? card.subLabel().richText()->string() : std::string(); };
    // The new terminal's first redraw comes and goes.
    loop.advance(100ms);
    ASSERT_FALSE(tile.terminalView.pendingDisplayDue());

    tile.setStatus(SessionStatus::waiting);
    const std::string waiting = shown();
    tile.setStatus(SessionStatus::busy);
    const std::string busy = shown();
    EXPECT_NE(waiting, busy);

    tile.terminalView.feed("output");
    ASSERT_TRUE(tile.terminalView.pendingDisplayDue());
    const auto due = *tile.terminalView.pendingDisplayDue();
    const uint64_t redraws = tile.terminalView.displayUpdateCount();
    tile.setStatus(SessionStatus::idle);
    tile.setStatus(SessionStatus::waiting);
    EXPECT_EQ(shown(), busy);
    loop.advance(due - loop.now() - 1ns);
    EXPECT_EQ(shown(), busy);
    loop.advance(1ns);
    EXPECT_EQ(tile.terminalView.displayUpdateCount(), redraws + 1);
    EXPECT_EQ(shown(), waiting);
    // Once drawn, the next change is shown at once again.
    tile.setStatus(SessionStatus::busy);
    EXPECT_EQ(shown(), busy);
    grid.killAll();
}

}  // namespace
}  // namespace quiltdeck
