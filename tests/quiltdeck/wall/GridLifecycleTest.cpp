// Opening, closing, the history, saving and restoring tiles.
#include <gtest/gtest.h>

#include "quiltdeck/panels/HistoryWindow.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/wall/WallTestSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using Strings = std::vector<std::string>;
using testing::FakeTile;

class GridLifecycle : public testing::WallTest {};

TEST_F(GridLifecycle, OpenPositionsAndIds) {
    makeGrid();
    open("a");
    open("b");
    const std::string bId = idOf("b");
    struct Case {
        const char* name;
        std::optional<long> at;
        std::optional<std::string> id;
        Strings order;
        bool keepsId;
    };
    const Case cases[] = {
        {"AtTheEnd", 2, std::nullopt, {"a", "b", "n"}, false},
        {"PastTheEnd", 9, std::nullopt, {"a", "b", "n"}, false},
        {"Negative", -3, std::nullopt, {"a", "b", "n"}, false},
        {"First", 0, std::nullopt, {"n", "a", "b"}, false},
        {"TheIdOfALiveTileIsNotTaken", std::nullopt, bId, {"a", "b", "n"}, false},
        {"AFreeIdIsKept", std::nullopt, std::string("closed-id"), {"a", "b", "n"}, true},
    };
    for (const Case& c : cases) {
        TileRequest r = request("n");
        r.at = c.at;
        r.id = c.id;
        WallTile* tile = grid->open(r);
        EXPECT_EQ(order(), c.order) << c.name;
        EXPECT_EQ(tile->id() == c.id.value_or(""), c.keepsId) << c.name;
        EXPECT_EQ(grid->activeId(), tile->id()) << c.name;
        grid->close(tile->id());
    }
    // First on the grid of its wall, too.
    TileRequest first = request("n");
    first.at = 0;
    grid->open(first);
    EXPECT_EQ(card("n").indexText(), "1");
    EXPECT_EQ(card("a").indexText(), "2");
}

TEST_F(GridLifecycle, TheNewTileTakesTheZoomOrTheKeyboard) {
    makeGrid();
    open("a");
    loop.runPending();
    EXPECT_EQ(window.firstResponder(), &fakeNamed("a").view());
    grid->zoom(idOf("a"));
    open("b");
    EXPECT_EQ(grid->zoomId(), idOf("b"));
    EXPECT_FALSE(card("a").isZoomed());
    EXPECT_TRUE(card("b").isZoomed());
    EXPECT_FALSE(grid->scrim().isHidden());
    loop.runPending();
    EXPECT_EQ(window.firstResponder(), &fakeNamed("b").view());
}

TEST_F(GridLifecycle, OpeningOntoAnotherWallShowsItExceptWhileRestoring) {
    Store::shared().setWalls({"W"});
    Store::ClosedTile saved;
    saved.cwd = (folder / "r").string();
    std::filesystem::create_directories(saved.cwd);
    saved.wall = "W";
    Store::shared().setOpenTiles({saved});
    makeGrid();
    grid->restoreOpenTiles();
    EXPECT_EQ(grid->currentWall(), "");
    EXPECT_EQ(onWall("W"), Strings{"r"});
    open("x", "W");
    EXPECT_EQ(grid->currentWall(), "W");
    EXPECT_EQ(Store::shared().currentWall(), "W");
}

TEST_F(GridLifecycle, AnAssistantTileMarksOnboardingDoneAShellDoesNot) {
    makeGrid();
    TileRequest shell = request("s");
    shell.isShell = true;
    grid->open(shell);
    EXPECT_FALSE(Store::shared().onboarded());
    open("a");
    EXPECT_TRUE(Store::shared().onboarded());
}

TEST_F(GridLifecycle, ClosingAsksWhileTheTileRunsInAWindow) {
    makeGrid();
    FakeTile& live = open("live");
    open("ended").setStatus(SessionStatus::exited);
    // An ended tile: asked nothing, still in the history.
    grid->requestClose(idOf("ended"));
    EXPECT_FALSE(platform::ui::Modals::isShowing());
    EXPECT_EQ(lastPathComponent(Store::shared().closed().front().cwd), "ended");
    // A running one: asked; Cancel leaves everything as it was.
    const size_t history = Store::shared().closed().size();
    grid->requestClose(idOf("live"));
    ASSERT_TRUE(modals().shownAlert());
    EXPECT_EQ(modals().shownAlert()->messageText, t("close_tile_q", {"live"}));
    EXPECT_EQ(modals().shownAlert()->informativeText, t("close_claude_info"));
    modals().clickButton(1);
    EXPECT_EQ(order(), Strings{"live"});
    EXPECT_EQ(live.kills, 0);
    EXPECT_EQ(Store::shared().closed().size(), history);
    // Closed by another road while the question is up: the answer finds nothing.
    grid->requestClose(idOf("live"));
    grid->close(idOf("live"));
    modals().clickButton(0);
    EXPECT_TRUE(order().empty());
    EXPECT_EQ(Store::shared().closed().size(), history + 1);
    // Without a window nothing is asked.
    window.setContentView(nullptr);
    open("nowindow");
    grid->requestClose(idOf("nowindow"));
    EXPECT_TRUE(order().empty());
}

TEST_F(GridLifecycle, ClosingPicksTheWallsFirstTileAndEndsTheZoom) {
    makeGrid();
    for (const char* name : {"a", "b", "c"}) open(name);
    grid->zoom(idOf("c"));
    grid->close(idOf("c"));
    EXPECT_EQ(grid->activeId(), idOf("a"));  // the first, not a neighbour
    EXPECT_FALSE(grid->zoomId());
    EXPECT_TRUE(grid->scrim().isHidden());
    EXPECT_TRUE(grid->scrimBlur().isHidden());
    grid->close(idOf("a"));
    grid->close(idOf("b"));
    EXPECT_EQ(grid->activeId(), std::nullopt);
    EXPECT_FALSE(grid->emptyCard().isHidden());
}

TEST_F(GridLifecycle, HistoryRecordsAndReopen) {
    Store::shared().setWalls({"W"});
    makeGrid();
    TileRequest r = request("proj", "W");
    r.name = "proj (shell)";
    r.title = "Named";
    r.userNamed = true;
    r.resume = "conv";
    grid->open(r);
    const std::string oldId = idOf("proj");
    grid->close(oldId);
    const Store::ClosedTile record = Store::shared().closed().front();
    EXPECT_EQ(record.name, "proj");
    EXPECT_EQ(record.wall, std::nullopt);
    EXPECT_EQ(record.tileId, std::nullopt);
    EXPECT_EQ(record.title, "Named");
    EXPECT_EQ(record.userNamed, true);
    // From the history: the wall shown, a new id, last, resumed, named as before.
    grid->showWall("");
    open("other");
    grid->reopen(record, true);
    EXPECT_EQ(onWall(""), (Strings{"other", "proj"}));
    FakeTile& back = *made.back();
    EXPECT_NE(back.id(), oldId);
    EXPECT_EQ(back.request.resume, "conv");
    EXPECT_EQ(back.request.title, "Named");
    EXPECT_TRUE(back.request.userNamed);
    EXPECT_TRUE(back.request.carryOver);
}

// Reopened from the history, a conversation leaves it; when it is gone, its tile starts afresh
// and so do the fresh tiles after it, launch after launch, never used: the folder keeps one row.
TEST_F(GridLifecycle, AGoneConversationStaysOneRowOfTheHistory) {
    Store::ClosedTile record;
    record.cwd = request("p").cwd;
    record.name = "p";
    record.claudeSessionId = "gone";
    Store::shared().recordClosed(record);
    makeGrid();
    auto history = std::make_shared<HistoryWindow>();
    history->onReopen = [this](const Store::ClosedTile& chosen) { grid->reopen(chosen, true); };
    history->build();
    history->reopenSelected();
    EXPECT_TRUE(Store::shared().closed().empty());
    for (int launch = 0; launch < 4; ++launch) {
        if (launch > 0) {
            grid.reset();
            makeGrid();
            grid->restoreOpenTiles();
            loop.runPending();
        }
        // The session forgets the conversation the CLI does not have; its tile starts afresh and
        // learns the id of a new conversation that nobody uses.
        FakeTile& tile = fakeNamed("p");
        tile.request.resume.reset();
        tile.onResumeFailed();
        loop.runPending();
        fakeNamed("p").request.resume = "new-" + std::to_string(launch);
        grid->saveOpenTiles();
        ASSERT_EQ(Store::shared().closed().size(), 1u) << launch;
        EXPECT_EQ(Store::shared().closed()[0].cwd, record.cwd);
    }
}

TEST_F(GridLifecycle, RestoreBringsTilesBackOnTheirWalls) {
    Store::shared().setWalls({"W"});
    Store::shared().setCurrentWall("W");
    auto saved = [&](const std::string& name, std::optional<std::string> wall, std::optional<std::string> conv,
                     std::optional<std::string> prompt) {
        Store::ClosedTile r;
        r.cwd = (folder / name).string();
        std::filesystem::create_directories(r.cwd);
        r.name = name;
        r.wall = std::move(wall);
        r.claudeSessionId = std::move(conv);
        r.lastPrompt = std::move(prompt);
        r.tileId = "id-" + name;
        return r;
    };
    Store::ClosedTile missing = saved("missing", std::nullopt, std::nullopt, std::nullopt);
    std::filesystem::remove(missing.cwd);
    Store::shared().setOpenTiles({saved("main", std::nullopt, "c1", std::nullopt), saved("onW", "W", std::nullopt, "p"),
                                  saved("goneWall", "Gone", std::nullopt, std::nullopt), missing});
    makeGrid();
    grid->restoreOpenTiles();
    // A Main tile goes back to Main, though W was shown at the quit.
    EXPECT_EQ(onWall(""), Strings{"main"});
    EXPECT_EQ(onWall("W"), (Strings{"onW", "goneWall"}));
    EXPECT_EQ(grid->currentWall(), "W");
    EXPECT_EQ(fakeNamed("main").id(), "id-main");
    EXPECT_EQ(fakeNamed("main").request.resume, "c1");
    EXPECT_TRUE(fakeNamed("onW").request.continueLatest);
    EXPECT_FALSE(fakeNamed("goneWall").request.continueLatest);
    EXPECT_EQ(fakeNamed("goneWall").request.resume, std::nullopt);
    EXPECT_EQ(grid->activeId(), idOf("goneWall"));  // the last opened, on the wall shown
    EXPECT_EQ(Store::shared().closed().front().cwd, missing.cwd);
    Strings savedNames;
    for (const auto& r : Store::shared().openTiles()) savedNames.push_back(r.name);
    EXPECT_EQ(savedNames, (Strings{"main", "onW", "goneWall"}));
    EXPECT_EQ(Store::shared().openTiles()[0].wall, std::nullopt);
    EXPECT_EQ(Store::shared().openTiles()[1].wall, "W");
}

// A long restore starts its tiles a slice of the loop's turns at a time; the hook server knows
// every id before the first starts, a save meanwhile keeps the launch's list, and the wall is laid
// out and saved when the last has started. A saved id the hooks cannot carry is replaced.
TEST_F(GridLifecycle, ALongRestoreStartsItsTilesASliceAtATime) {
    std::vector<Store::ClosedTile> saved;
    for (int i = 0; i < 10; ++i) {
        Store::ClosedTile r;
        r.cwd = (folder / std::string("r").append(std::to_string(i))).string();
        std::filesystem::create_directories(r.cwd);
        r.tileId = i == 4 ? "not a/usable id" : std::string("ID-").append(std::to_string(i));
        saved.push_back(r);
    }
    Store::shared().setOpenTiles(saved);
    makeCost = GridController::restoreSlice / 3 + std::chrono::microseconds(1);
    makeGrid();
    const std::string before = testing::logContents();
    grid->restoreOpenTiles();
    EXPECT_TRUE(grid->restoring());
    EXPECT_EQ(order(), (Strings{"r0", "r1", "r2"}));
    EXPECT_TRUE(card("r0").isHidden());
    const auto known = grid->hooks().snapshot()->tileIds;
    EXPECT_EQ(known.size(), 10u);
    for (const char* id : {"ID-0", "ID-3", "ID-9"}) EXPECT_TRUE(known.contains(id)) << id;
    grid->saveOpenTiles();
    EXPECT_EQ(Store::shared().openTiles(), saved);

    loop.runPending();
    EXPECT_FALSE(grid->restoring());
    EXPECT_EQ(order(), (Strings{"r0", "r1", "r2", "r3", "r4", "r5", "r6", "r7", "r8", "r9"}));
    EXPECT_FALSE(card("r0").isHidden());
    EXPECT_GT(card("r9").frame().width, 0);
    EXPECT_TRUE(known.contains(idOf("r4")));
    EXPECT_EQ(idOf("r4").size(), 36u);
    EXPECT_NE(testing::logContents().substr(before.size()).find("tile id \"not a/usable id\" cannot carry hooks"),
              std::string::npos);
    ASSERT_EQ(Store::shared().openTiles().size(), 10u);
    EXPECT_EQ(Store::shared().openTiles()[4].tileId, idOf("r4"));
    EXPECT_EQ(Store::shared().openTiles()[9].tileId, "ID-9");
    EXPECT_EQ(grid->hooks().snapshot()->tileIds, known);
    EXPECT_EQ(grid->activeId(), idOf("r9"));
}

// Any tile asked for with an id the hook commands cannot carry gets a fresh one, and says so.
TEST_F(GridLifecycle, AnIdTheHooksCannotCarryIsReplaced) {
    makeGrid();
    struct Case {
        const char* id;
        bool kept;
    } cases[] = {
        {"3F2504E0-4F89-11D3-9A0C-0305E82C3301", true},
        {"tile-kept", true},
        {"two words", false},
        {"../up", false},
        {"quote'd", false},
        {"", false},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string before = testing::logContents();
        TileRequest r = request(std::string("t").append(std::to_string(n++)));
        r.id = c.id;
        WallTile* tile = grid->open(r);
        ASSERT_TRUE(tile) << c.id;
        EXPECT_EQ(tile->id() == c.id, c.kept) << c.id;
        if (!c.kept) {
            EXPECT_EQ(tile->id().size(), 36u) << c.id;
        }
        EXPECT_EQ(testing::logContents().substr(before.size()).find("cannot carry hooks") != std::string::npos, !c.kept) << c.id;
        EXPECT_TRUE(grid->hooks().snapshot()->tileIds.contains(tile->id()));
    }
}

TEST_F(GridLifecycle, SavesBeforeTheRestoreKeepTheLastRun) {
    Store::ClosedTile last;
    last.cwd = (folder / "last").string();
    std::filesystem::create_directories(last.cwd);
    last.tileId = "last-id";
    Store::shared().setOpenTiles({last});
    makeGrid();
    // A tile opened while the capability probe still runs, then a quit.
    open("early");
    grid->saveOpenTiles();
    ASSERT_EQ(Store::shared().openTiles().size(), 2u);
    EXPECT_EQ(Store::shared().openTiles()[0].tileId, "last-id");
    EXPECT_EQ(Store::shared().openTiles()[1].tileId, idOf("early"));
    grid->restoreOpenTiles();
    ASSERT_EQ(Store::shared().openTiles().size(), 2u);
    EXPECT_EQ(order(), (Strings{"early", "last"}));
    // Start-up folders in place of the restore: the live tiles alone from then on.
    grid.reset();
    Store::shared().setOpenTiles({last});
    makeGrid();
    grid->launchTilesOpened();
    open("started");
    ASSERT_EQ(Store::shared().openTiles().size(), 1u);
    EXPECT_EQ(Store::shared().openTiles()[0].name, "started");
}

TEST_F(GridLifecycle, SavingSkipsEndedTilesAndRecordsThemAtQuit) {
    Store::shared().setWalls({"W"});
    makeGrid();
    open("live", "W");
    open("ended", "W").setStatus(SessionStatus::exited);
    grid->saveOpenTiles();
    ASSERT_EQ(Store::shared().openTiles().size(), 1u);
    EXPECT_EQ(Store::shared().openTiles()[0].name, "live");
    grid->recordExitedTiles();
    EXPECT_EQ(Store::shared().closed().front().name, "ended");
    EXPECT_EQ(Store::shared().closed().front().wall, "W");
    EXPECT_EQ(Store::shared().closed().front().tileId, std::nullopt);
    grid->close(idOf("live"));
    grid->close(idOf("ended"));
    EXPECT_TRUE(Store::shared().openTiles().empty());
}

TEST_F(GridLifecycle, OpenAndCloseEndInTheirOrder) {
    makeGrid();
    std::vector<std::string> steps;
    grid->onSessionsChanged = [&] {
        steps.push_back("changed " + std::to_string(Store::shared().openTiles().size()) + " " +
                        std::to_string(grid->sessions().size()));
    };
    open("a");
    // Told once laid out and numbered, before the save.
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back(), "changed 0 1");
    EXPECT_EQ(Store::shared().openTiles().size(), 1u);
    EXPECT_EQ(card("a").indexText(), "1");
    EXPECT_EQ(card("a").frame(), (platform::gfx::Rect{18, 108, 1684, 954}));
    grid->close(idOf("a"));
    EXPECT_EQ(steps.back(), "changed 1 0");
    EXPECT_TRUE(Store::shared().openTiles().empty());
}

TEST_F(GridLifecycle, RestartAndRebind) {
    makeGrid();
    TileRequest r = request("p");
    r.resume = "conv";
    grid->open(r);
    open("q");
    struct Case {
        const char* name;
        bool resume;
        std::optional<std::string> conversation;
        bool continueLatest;
    };
    const Case cases[] = {{"Fresh", false, std::nullopt, false}, {"Resumed", true, "conv", false}};
    for (const Case& c : cases) {
        // The tile the restart replaces carries the conversation it had.
        FakeTile& old = fakeNamed("p");
        old.request.resume = "conv";
        grid->restart(old.id(), c.resume);
        EXPECT_EQ(order(), (Strings{"p", "q"})) << c.name;
        EXPECT_EQ(made.back()->request.resume, c.conversation) << c.name;
        EXPECT_EQ(made.back()->request.continueLatest, c.continueLatest) << c.name;
    }
    // Resuming a tile that never had a conversation continues the folder's latest one.
    fakeNamed("q").request.resume.reset();
    grid->restart(idOf("q"), true);
    EXPECT_TRUE(made.back()->request.continueLatest);

    const size_t logStart = testing::logContents().size();
    const std::string id = idOf("q");
    grid->rebind(id, std::nullopt);
    Log::flush();
    EXPECT_NE(testing::logContents().substr(logStart).find("rebind " + id.substr(0, 8) + " to no browser, resume none"),
              std::string::npos);
    EXPECT_EQ(order(), (Strings{"p", "q"}));
}

TEST_F(GridLifecycle, HooksReachTilesOnWallsNotShownAndLateMetricsAreLogged) {
    Store::shared().setWalls({"W"});
    makeGrid();
    open("here");
    FakeTile& away = open("away", "W");
    grid->showWall("");
    grid->hooks().onHook(away.id(), "Notification", nlohmann::json::object());
    EXPECT_EQ(away.hooks, Strings{"Notification"});
    away.setStatus(SessionStatus::waiting);
    const auto& tabs = grid->tabs().buttons();
    ASSERT_EQ(tabs.size(), 2u);
    EXPECT_NE(tabs[1].second->attributedTitle().string().find("  1"), std::string::npos);
    const std::string id = away.id();
    grid->close(id);
    const size_t logStart = testing::logContents().size();
    // As the server's closures run them on the loop, after the tile has gone.
    grid->hooks().onMetrics(id, nlohmann::json::object());
    grid->hooks().onHook(id, "Stop", nlohmann::json::object());
    Log::flush();
    const std::string logged = testing::logContents().substr(logStart);
    EXPECT_NE(logged.find("metrics: dropped, no tile " + id + "\n"), std::string::npos);
    EXPECT_EQ(logged.find("metrics: dropped", logged.find("metrics: dropped") + 1), std::string::npos);
}

// Work left on the loop by tiles, cards, scalers, prompts and the grid finds them gone and does
// nothing (run it under the address sanitizer to see it reach no freed memory).
TEST_F(GridLifecycle, LateWorkFindsNothingOnceItsOwnerIsGone) {
    makeGrid();
    open("a");
    open("b");
    TileView& card = this->card("a");
    // A header click waiting for the double-click time, a fit, a focus and a close question.
    platform::ui::MouseEvent press;
    press.type = platform::ui::MouseEvent::Type::down;
    press.clickCount = 1;
    press.locationInWindow = card.convertToWindow(platform::gfx::Point{100, 20});
    card.mouseDown(press);
    press.type = platform::ui::MouseEvent::Type::up;
    card.mouseUp(press);
    ASSERT_TRUE(card.clickPending());
    card.scaler().fit();
    grid->focusActive();
    grid->requestClose(idOf("b"));
    grid->newWall();
    // The tile goes first, then the whole grid.
    grid->close(idOf("a"));
    loop.advance(std::chrono::seconds(2));
    EXPECT_FALSE(grid->zoomId());
    grid->focusActive();
    grid.reset();
    modals().clickButton(0);
    modals().answerPrompt(std::string("Late"));
    loop.advance(std::chrono::seconds(5));
    EXPECT_TRUE(Store::shared().walls().empty());
}

}  // namespace
}  // namespace quiltdeck
