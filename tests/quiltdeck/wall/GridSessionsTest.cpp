// The grid with real sessions: their terminals in the tiles' scalers, shell tiles and the fake
// assistant behind a real hook server.
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <thread>

#include <fstream>

#include "platform/runtime/GLibMainLoop.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/wall/SessionTile.h"
#include "quiltdeck/wall/TileView.h"
#include "quiltdeck/wall/WallTestSupport.h"
#include "support/FakeClaudeHome.h"
#include "support/InputTestSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

std::unique_ptr<WallTile> sessionTile(const TileRequest& request, uint16_t port, platform::runtime::MainLoop* loop,
                                      bool startChild, Session::Services::Spawn spawn = {}) {
    Session::Arguments arguments;
    arguments.cwd = request.cwd;
    arguments.name = request.name;
    arguments.isShell = request.isShell;
    arguments.hookPort = port;
    arguments.resume = request.resume;
    arguments.title = request.title;
    arguments.id = request.id;
    Session::Services services;
    services.loop = loop;
    services.startChild = startChild || spawn;
    services.spawn = std::move(spawn);
    services.capabilities = [] { return ClaudeCapabilities::Snapshot{}; };
    return std::make_unique<SessionTile>(Session::open(std::move(arguments), services));
}

// Ticks when the test says, as the toolkit's frame clock does once per frame.
class ManualFrameClock : public platform::ui::FrameClock {
public:
    void start(std::function<void()> tick) override { tick_ = std::move(tick); }
    void stop() override { tick_ = nullptr; }
    bool isRunning() const override { return static_cast<bool>(tick_); }
    void tick() {
        if (auto t = tick_) t();
    }

private:
    std::function<void()> tick_;
};

// On the virtual clock, without children unless a test wants silent ones: the terminals are real.
class GridTerminals : public ::testing::Test {
protected:
    GridTerminals() {
        auto clock = std::make_unique<ManualFrameClock>();
        frames = clock.get();
        window.setFrameClock(std::move(clock));
        testing::resetWallState();
        makeGrid();
    }
    // The grid as a launch makes it, from what the store holds then.
    void makeGrid() {
        grid = std::make_unique<GridController>(
            [this](const TileRequest& request, uint16_t port) {
                loop.skipTime(makeCost);
                if (!silentChildren) return sessionTile(request, port, &loop, false);
                return sessionTile(
                    request, port, &loop, true,
                    [this](TappedTerminalView& view, const std::string&, const std::vector<std::string>& args,
                           const std::vector<std::string>& environment, const std::string& cwd) {
                        startChild(view, args.back(), environment, cwd);
                    });
            },
            HookServer::Options{0, 0, &loop, {}});
        grid->viewDidLoad();
        window.setContentView(&grid->view());
    }
    ~GridTerminals() override {
        grid.reset();
        loop.runPending();
    }
    void startChild(TappedTerminalView& view, const std::string& command, const std::vector<std::string>& environment,
                    const std::string& cwd) {
        const bool gone = !goneConversation.empty() && command.find("--resume") != std::string::npos;
        // Every other one leaves a process behind that holds its terminal open.
        const std::string text = !gone                  ? childText
                                 : ++goneStarted % 2 ? goneConversation
                                                     : "setsid sleep 3 & " + goneConversation;
        view.startProcess("/bin/sh", {"-c", text}, environment, std::nullopt, cwd);
        if (!gone) return;
        // Taking output costs the loop time, as drawing it does.
        view.onBytes = [this, tap = std::move(view.onBytes)](std::span<const uint8_t> bytes) {
            loop.skipTime(outputCostPerKiB * static_cast<int64_t>(bytes.size()) / 1024);
            if (tap) tap(bytes);
        };
        // The start is slow: it returns once the child has ended (left to be reaped), in real time.
        for (int i = 0; i < 1000; ++i) {
            siginfo_t info{};
            const auto pid = static_cast<id_t>(view.process().shellPid());
            if (::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) != 0 || info.si_pid != 0) return;
            std::this_thread::sleep_for(10ms);
        }
    }
    WallTile* open(const std::string& name) {
        TileRequest request;
        request.cwd = (folder / name).string();
        std::filesystem::create_directories(request.cwd);
        request.name = name;
        return grid->open(request);
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    testing::TempFolder folder;
    platform::ui::headless::HeadlessWindow window{{1720, 1080}, 1};
    ManualFrameClock* frames = nullptr;
    // What each tile takes to start, on the virtual clock; children on ptys that draw nothing.
    platform::runtime::Duration makeCost{0};
    bool silentChildren = false;
    // What the silent children run.
    std::string childText = "exec sleep 60";
    // With it, a child asked to resume runs this shell text instead, and each KiB it writes costs
    // the loop this long to take.
    std::string goneConversation;
    platform::runtime::Duration outputCostPerKiB{0};
    int goneStarted = 0;
    std::unique_ptr<GridController> grid;
};

TEST_F(GridTerminals, AZoomRefitsItsTerminalOnceAfterTheLastTick) {
    for (const char* name : {"a", "b", "c", "d"}) open(name);
    loop.advance(1s);
    WallTile* tile = grid->sessions()[1];
    TileView& card = *grid->tile(tile->id());
    vantel::TerminalView& terminal = *tile->terminal();
    EXPECT_EQ(terminal.frame(), (platform::gfx::Rect{18, 18, 833 - 36, 468 - 52 - 36}));
    EXPECT_NEAR(terminal.font()->size(), 11.5, 0.01);
    const int columns = terminal.getTerminal().cols();
    // The animation sets the frame at every tick; the fit waits for the last one, also where a
    // loaded window ticks less often than the fit's delay: a fit at a passing size would tell the
    // child of it, and a screen made shorter than where its cursor stands loses its top lines.
    // A clock that stops leaves the tile fitted as it stands, a second after the move was due.
    struct Case {
        const char* clock;
        platform::runtime::Duration tick;
        int leastTicks;
    };
    for (const Case& c : {Case{"every frame", 16ms, 13}, Case{"slower than the delay", 120ms, 2}, Case{"stopped", 0ms, 0}}) {
        SCOPED_TRACE(c.clock);
        const int fits = card.scaler().fitCount();
        grid->zoom(tile->id());
        int ticks = 0;
        while (c.tick > 0ms && card.isAnimatingFrame() && ticks < 100) {
            loop.advance(c.tick);
            frames->tick();
            ++ticks;
            EXPECT_EQ(card.scaler().fitCount(), fits);
        }
        EXPECT_GE(ticks, c.leastTicks);
        // After the last tick: the fit's delay. Stopped: the move's time, the second, a delay at most.
        const bool stopped = c.tick == 0ms;
        loop.advance(stopped ? 220ms + ScalerView::stalledMove - 1ms : 79ms);
        EXPECT_EQ(card.scaler().fitCount(), fits);
        loop.advance(stopped ? 81ms : 2ms);
        EXPECT_EQ(card.scaler().fitCount(), fits + 1);
        EXPECT_NEAR(terminal.font()->size(), 15.5, 0.01);
        if (!stopped) {
            EXPECT_NE(terminal.getTerminal().cols(), columns);
        }
        loop.advance(1s);
        EXPECT_EQ(card.scaler().fitCount(), fits + 1);
        grid->unzoom();
        for (int i = 0; i < 30; ++i) {
            loop.advance(16ms);
            frames->tick();
        }
        loop.advance(1s);
        EXPECT_EQ(terminal.getTerminal().cols(), columns);
    }
}

namespace {

struct Resident {
    int fontMappings = 0;  // lines of /proc/self/maps naming a font file
    double mib = 0;
};

Resident resident() {
    Resident r;
    std::ifstream maps("/proc/self/maps");
    for (std::string line; std::getline(maps, line);) {
        r.fontMappings += line.ends_with(".ttf") || line.ends_with(".otf") || line.ends_with(".ttc") ? 1 : 0;
    }
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmRSS:")) r.mib = std::atof(line.c_str() + 6) / 1024;
    }
    return r;
}

}  // namespace

// Two hundred tiles opened and closed beside eight, then one zoomed in and out two hundred times,
// its screen showing what the base font lacks (symbols, Hebrew, emoji): the font files stay mapped
// as often as at the start, and resident memory ends within a few MiB of where it began.
TEST_F(GridTerminals, TilesOpenedAndClosedAndZoomsLeaveNoMemoryBehind) {
    for (int i = 0; i < 8; ++i) open("kept" + std::to_string(i));
    auto openDrawnAndClosed = [&](int i) {
        WallTile* tile = open("t" + std::to_string(i));
        tile->terminal()->feed("\u273B \u23FA \u276F \u23BF \u05D0 \U0001F600 " + std::to_string(i));
        loop.advance(100ms);
        window.displayIfNeeded();
        grid->close(tile->id());
        loop.advance(100ms);
    };
    WallTile* zoomed = grid->sessions().front();
    zoomed->terminal()->feed("\u273B \u23FA \u276F \u23BF \u05D0 \U0001F600\r\n");
    auto zoomInAndOut = [&] {
        for (bool in : {true, false}) {
            if (in) grid->zoom(zoomed->id());
            else grid->unzoom();
            for (int tick = 0; tick < 20; ++tick) {
                loop.advance(16ms);
                frames->tick();
            }
            loop.advance(100ms);
            window.displayIfNeeded();
        }
    };
    // What the first tiles and zooms make once (fonts at both sizes, caches) before the count.
    for (int i = 0; i < 5; ++i) openDrawnAndClosed(i);
    for (int i = 0; i < 3; ++i) zoomInAndOut();
    const Resident before = resident();
    for (int i = 0; i < 200; ++i) openDrawnAndClosed(i);
    for (int i = 0; i < 200; ++i) zoomInAndOut();
    EXPECT_NEAR(zoomed->terminal()->font()->size(), 11.5, 0.01);
    const Resident after = resident();
    EXPECT_LE(after.fontMappings, before.fontMappings);
#if !defined(__SANITIZE_ADDRESS__)
    // The address sanitizer holds freed memory back in its quarantine.
    EXPECT_LT(after.mib - before.mib, 8.0);
#endif
}

// Sixteen tiles that start slowly come back while a layout step of the first eight (a window
// resize, the setup's change) has their blank terminals nudged just as the full wall's fit comes:
// once it is laid out, every terminal has its tile's frame and every child's pty its size.
TEST_F(GridTerminals, ARestoredWallLeavesEveryPtyAtItsTilesSize) {
    std::vector<Store::ClosedTile> saved(16);
    for (size_t i = 0; i < saved.size(); ++i) {
        saved[i].cwd = (folder / ("p" + std::to_string(i))).string();
        std::filesystem::create_directories(saved[i].cwd);
    }
    Store::shared().setOpenTiles(saved);
    makeCost = 57ms;
    silentChildren = true;
    makeGrid();
    loop.postAfter(430ms, [this] { grid->relayout(); });
    grid->restoreOpenTiles();
    loop.advance(5s);
    ASSERT_FALSE(grid->restoring());
    for (WallTile* tile : grid->sessions()) {
        const platform::gfx::Rect area = grid->tile(tile->id())->scaler().bounds();
        auto& view = dynamic_cast<SessionTile&>(*tile).session().view();
        EXPECT_EQ(view.frame(), (platform::gfx::Rect{18, 18, area.width - 36, area.height - 36})) << tile->cwd();
        winsize size{};
        ASSERT_EQ(::ioctl(view.process().childfd(), TIOCGWINSZ, &size), 0);
        EXPECT_EQ(size.ws_col, view.getTerminal().cols()) << tile->cwd();
        EXPECT_EQ(size.ws_row, view.getTerminal().rows()) << tile->cwd();
    }
    grid->killAll();
}

// However the wall shown comes to have no tile, the keyboard leaves the tile that had it (now out
// of sight): text, Tab and Return typed there reach no child. Back on a wall with the tile, it
// has the keyboard again.
TEST_F(GridTerminals, KeysTypedOnAWallWithoutTilesReachNoChild) {
    using vantel::testing::controlKey;
    using vantel::testing::typed;
    silentChildren = true;
    makeGrid();
    auto& view = dynamic_cast<SessionTile&>(*open("a")).session().view();
    const struct {
        const char* name;
        std::function<void()> leave;
    } cases[] = {
        {"a new wall from its prompt",
         [&] {
             grid->newWall();
             ASSERT_TRUE(platform::ui::headless::HeadlessModals::current());
             platform::ui::headless::HeadlessModals::current()->answerPrompt("Empty");
         }},
        {"the next wall", [&] { grid->nextWall(1); }},
        {"the only tile moved away", [&] { grid->move(grid->sessions()[0]->id(), "Other"); }},
    };
    for (const auto& c : cases) {
        grid->showWall(grid->sessions()[0]->wall());
        loop.runPending();
        ASSERT_EQ(window.firstResponder(), &view) << c.name;
        const int sent = view.process().sendCount();
        window.sendKeyEvent(typed("x"));
        EXPECT_EQ(view.process().sendCount(), sent + 1) << c.name;
        c.leave();
        EXPECT_TRUE(grid->model().idsOnWall(grid->currentWall()).empty()) << c.name;
        loop.runPending();
        EXPECT_EQ(window.firstResponder(), nullptr) << c.name;
        for (const char* text : {"e", "c", "h", "o"}) window.sendKeyEvent(typed(text));
        window.sendKeyEvent(controlKey(platform::ui::Key::tab));
        window.sendKeyEvent(controlKey(platform::ui::Key::returnKey));
        loop.runPending();
        EXPECT_EQ(view.process().sendCount(), sent + 1) << c.name;
    }
    grid->showWall("Other");
    loop.runPending();
    EXPECT_EQ(window.firstResponder(), &view);
    grid->killAll();
}

// Twenty tiles come back at launch with their conversations gone. Each child writes about 64 KiB,
// then the CLI's message, and exits at once (half of them leave a process that keeps the terminal
// open), while the wall goes on starting the others (each start slow) and hands each tile's output
// over a slice per turn: an exit is judged on everything its child wrote, and all twenty start
// afresh.
TEST_F(GridTerminals, AFullWallOfGoneConversationsStartsAfresh) {
    std::vector<Store::ClosedTile> saved(20);
    for (size_t i = 0; i < saved.size(); ++i) {
        saved[i].cwd = (folder / ("g" + std::to_string(i))).string();
        std::filesystem::create_directories(saved[i].cwd);
        saved[i].claudeSessionId = "gone-" + std::to_string(i);
    }
    Store::shared().setOpenTiles(saved);
    makeCost = 57ms;
    outputCostPerKiB = 2ms;
    silentChildren = true;
    goneConversation = "head -c 65536 /dev/zero | tr '\\0' x; "
                       "printf '\\r\\nNo conversation found with session ID: gone\\r\\n'; exit 1";
    makeGrid();
    grid->restoreOpenTiles();
    auto decided = [&] {
        if (grid->restoring()) return false;
        for (WallTile* tile : grid->sessions()) {
            if (tile->status() != SessionStatus::exited && tile->hasResumeId()) return false;
        }
        return true;
    };
    for (int step = 0; step < 3000 && !decided(); ++step) {
        loop.runUntil(decided, 5ms);
        loop.advance(5ms);
    }
    ASSERT_TRUE(decided());
    ASSERT_EQ(grid->sessions().size(), saved.size());
    size_t ended = 0;
    for (WallTile* tile : grid->sessions()) ended += tile->status() == SessionStatus::exited;
    EXPECT_EQ(ended, 0u);
    grid->killAll();
}

// A user types straight into a tile that just appeared, or is on its way: the keys reach its
// child, in order, though they come before the work posted to bring the tile up (the loop has not
// turned since) and the child reads them only later. A tile started afresh in an ended one's
// place, by its card's button or the menu, runs a child that reads; the ended one did not.
TEST_F(GridTerminals, KeysTypedIntoANewTileAtOnceReachItsChildInOrder) {
    using vantel::testing::controlKey;
    using vantel::testing::typed;
    silentChildren = true;
    const auto got = folder / "got";
    const std::string reads = "sleep 0.3; IFS= read -r line; printf %s \"$line\" >'" + got.string() + "'";
    // The first child in a folder ends at once.
    const std::string endsFirst = "[ -e started ] || { touch started; exit 0; }; " + reads;
    // The ended tile's card holds the keyboard, its buttons past their pause; a tile beside it
    // runs on.
    auto ended = [&](bool shell) {
        const std::string child = std::exchange(childText, "exec sleep 60");
        open("b");
        childText = child;
        TileRequest request;
        request.cwd = (folder / "a").string();
        request.isShell = shell;
        std::filesystem::create_directories(request.cwd);
        WallTile* tile = grid->open(request);
        // The exit may be seen before the end of the child's output, which is then waited for
        // on the loop's clock.
        for (int i = 0; i < 500 && tile->status() != SessionStatus::exited; ++i) {
            loop.runPending();
            loop.advance(10ms);
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_EQ(tile->status(), SessionStatus::exited);
        loop.advance(2 * TileView::veilKeysDelay);
        ASSERT_EQ(window.firstResponder(), &grid->tile(tile->id())->keyboardTarget());
    };
    const struct {
        const char* name;
        const std::string& child;
        std::function<void()> bringUp;
    } cases[] = {
        {"a new tile", reads, [&] { open("a"); }},
        {"a new shell tile",
         reads,
         [&] {
             TileRequest request;
             request.cwd = folder.path().string();
             request.isShell = true;
             grid->open(request);
         }},
        {"started afresh by its card's button",
         endsFirst,
         [&] {
             ended(false);
             window.sendKeyEvent(controlKey(platform::ui::Key::returnKey));
         }},
        {"a shell started afresh from the menu",
         endsFirst,
         [&] {
             ended(true);
             grid->restartSoon(*grid->activeId(), false);
         }},
    };
    for (const auto& c : cases) {
        std::filesystem::remove(got);
        std::filesystem::remove(folder / "a" / "started");
        childText = c.child;
        makeGrid();
        c.bringUp();
        window.sendKeyEvent(typed("c"));
        // Work posted meanwhile runs between two keys, as it does between a fast typist's.
        loop.runPending();
        for (const char* text : {"l", "e", "a", "r"}) window.sendKeyEvent(typed(text));
        window.sendKeyEvent(controlKey(platform::ui::Key::returnKey));
        loop.runPending();
        for (int i = 0; i < 500 && testing::readFile(got).empty(); ++i) std::this_thread::sleep_for(10ms);
        EXPECT_EQ(testing::readFile(got), "clear") << c.name;
        EXPECT_FALSE(window.holdsKeys()) << c.name;
        grid->killAll();
    }
}

// With children and the hook server, on the program's kind of loop.
class GridChildren : public ::testing::Test {
protected:
    GridChildren() {
        testing::resetWallState();
        home.setVariable("FAKE_CLAUDE_IDLE_NOTIFY", "30");
        options.firstPort = options.lastPort = 0;
        options.loop = &loop;
        makeGrid();
    }
    // The grid as a launch makes it, from what the store holds then.
    void makeGrid() {
        grid = std::make_unique<GridController>(
            [this](const TileRequest& request, uint16_t port) { return sessionTile(request, port, &loop, true); },
            options);
        grid->viewDidLoad();
        window.setContentView(&grid->view());
    }
    ~GridChildren() override {
        grid->killAll();
        grid.reset();
        loop.runUntil([] { return false; }, 100ms);
    }

    testing::FakeClaudeHome home;
    testing::TempFolder project;
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    HookServer::Options options;
    platform::ui::headless::HeadlessWindow window{{1720, 1080}, 1};
    std::unique_ptr<GridController> grid;
};

TEST_F(GridChildren, TheAssistantsFirstHookFindsItsTile) {
    TileRequest request;
    request.cwd = project.path().string();
    request.name = "project";
    WallTile* tile = grid->open(request);
    ASSERT_TRUE(tile);
    // SessionStart comes from the child at once: its tile was known before the child began.
    ASSERT_TRUE(loop.runUntil([&] { return tile->record().claudeSessionId.has_value(); }, 15s));
    ASSERT_TRUE(loop.runUntil([&] { return tile->status() == SessionStatus::idle; }, 15s));
    EXPECT_EQ(grid->model().counts().busy, 0);
    // Typed into the zoomed tile, the turn shows on the wall's counts.
    grid->zoom(tile->id());
    dynamic_cast<SessionTile&>(*tile).send("list the files\r");
    ASSERT_TRUE(loop.runUntil([&] { return tile->status() == SessionStatus::busy; }, 15s));
    EXPECT_EQ(grid->model().counts().busy, 1);
    ASSERT_TRUE(loop.runUntil([&] { return tile->finished(); }, 15s));
    EXPECT_EQ(grid->model().counts().done, 1);
    grid->focusActive();
    EXPECT_FALSE(tile->finished());
}

// A tile reads "needs you" only where its assistant asks now: not over the prompts it echoes (a
// numbered one under a box whose rule carries the tile's name), but at its first run's question,
// a list without numbers.
TEST_F(GridChildren, ATileWaitsOnlyWhereItsAssistantAsks) {
    struct Case {
        const char* name;
        bool firstRun;
    };
    for (const Case& c : {Case{"a numbered prompt under a named box", false}, Case{"the first run's text style", true}}) {
        SCOPED_TRACE(c.name);
        home.setVariable("FAKE_CLAUDE_FIRST_RUN", c.firstRun ? "1" : "0");
        TileRequest request;
        request.cwd = project.path().string();
        request.name = "p01";
        WallTile* tile = grid->open(request);
        ASSERT_TRUE(tile);
        bool waited = false;
        const auto seen = [&](SessionStatus status) {
            waited = waited || tile->status() == SessionStatus::waiting;
            return tile->status() == status;
        };
        if (c.firstRun) {
            ASSERT_TRUE(loop.runUntil([&] { return seen(SessionStatus::waiting); }, 15s));
            tile->send("\r");
            ASSERT_TRUE(loop.runUntil([&] { return seen(SessionStatus::idle); }, 15s));
        } else {
            ASSERT_TRUE(loop.runUntil([&] { return seen(SessionStatus::idle); }, 15s));
            tile->send("1. fix the tests\r");
            ASSERT_TRUE(loop.runUntil([&] { return tile->finished() && seen(SessionStatus::idle); }, 15s));
            loop.runUntil([&] { return seen(SessionStatus::waiting); }, 1s);
            EXPECT_NE(tile->screenText().find("\u276F 1. fix the tests"), std::string::npos) << tile->screenText();
            EXPECT_NE(tile->screenText().find(" p01 \u2500"), std::string::npos) << tile->screenText();
            EXPECT_FALSE(waited);
        }
        grid->close(tile->id());
    }
}

TEST_F(GridChildren, AShellTileRunsInItsFolderAndClosesIntoTheHistory) {
    TileRequest request;
    request.cwd = project.path().string();
    request.name = "project";
    request.isShell = true;
    WallTile* tile = grid->open(request);
    tile->send("echo marker-$((6*7))\r");
    auto& session = dynamic_cast<SessionTile&>(*tile).session();
    ASSERT_TRUE(loop.runUntil([&] { return session.screenText().find("marker-42") != std::string::npos; }, 15s));
    EXPECT_FALSE(Store::shared().onboarded());
    grid->close(tile->id());
    EXPECT_EQ(Store::shared().closed().front().cwd, project.path().string());
    EXPECT_TRUE(grid->sessions().empty());
}

// Sixteen tiles (four columns) come back at launch, each assistant drawing its
// narrow banner: every one is ready within a second or so, and no veil is left
// after 3 s.
TEST_F(GridChildren, ARestoredWallOfSixteenShowsNoVeilAfterThreeSeconds) {
    home.setVariable("FAKE_CLAUDE_BANNER", "narrow");
    std::vector<Store::ClosedTile> saved(16);
    for (size_t i = 0; i < saved.size(); ++i) {
        saved[i].name = "p" + std::to_string(i);
        saved[i].cwd = (project / saved[i].name).string();
        std::filesystem::create_directories(saved[i].cwd);
    }
    Store::shared().setOpenTiles(saved);
    grid->killAll();
    makeGrid();
    grid->restoreOpenTiles();
    // The tiles start a slice of the loop's turns at a time.
    ASSERT_TRUE(loop.runUntil([&] { return !grid->restoring(); }, 10s));
    ASSERT_EQ(grid->sessions().size(), 16u);
    loop.runUntil([] { return false; }, 3s);
    window.displayIfNeeded();
    for (WallTile* tile : grid->sessions()) {
        EXPECT_TRUE(tile->booted()) << tile->record().cwd;
        EXPECT_TRUE(grid->tile(tile->id())->launchVeil().isHidden()) << tile->record().cwd;
    }
}

// A tile's card at 40 columns, its assistant drawing the narrow banner (no
// name or version) and its hooks reaching nobody: the prompt alone tells that
// it is ready, and the veil is gone within 1.5 s of it. Told by what happens, not
// by a clock: the boot is known from the output that drew the prompt, and the veil
// starts its fade (shorter than 1.5 s) then.
TEST(NarrowTileCard, TheVeilEndsWithinASecondAndAHalfOfThePrompt) {
    testing::resetWallState();
    testing::FakeClaudeHome home;
    testing::TempFolder project;
    platform::runtime::GLibMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::ui::headless::HeadlessWindow window{{800, 600}, 1};
    platform::ui::FlippedView root;
    window.setContentView(&root);

    Session::Arguments arguments;
    arguments.cwd = project.path().string();
    arguments.name = "project";
    Session::Services services;
    services.loop = &loop;
    services.capabilities = [] { return ClaudeCapabilities::Snapshot{}; };
    services.spawn = [](TappedTerminalView& view, const std::string& shell, const std::vector<std::string>& args,
                        const std::vector<std::string>& environment, const std::string& cwd) {
        view.resize(40, 24);
        view.startProcess(shell, args, environment, std::nullopt, cwd);
    };
    auto session = Session::open(arguments, services);
    SessionTile tile(session);
    // Never laid out: the card keeps the terminal at 40 columns.
    TileView card(tile);
    root.addSubview(&card);
    ASSERT_FALSE(card.launchVeil().isHidden());

    auto prompted = [&] { return session->screenText().find("\xE2\x9D\xAF") != std::string::npos; };
    ASSERT_TRUE(loop.runUntil(prompted, 15s));
    // The output that drew the prompt tells the tile it is up as soon as the loop hands it over,
    // long before the fallback would; the veil's fade begins with it.
    ASSERT_TRUE(loop.runUntil([&] { return session->booted(); }, Session::bootFallback / 2)) << "left to the fallback";
    EXPECT_TRUE(card.launchVeil().isHidden() || card.launchVeil().opacity() == 0) << "the fade has begun";
    static_assert(TileView::launchFadeDuration < 1.5);
    EXPECT_TRUE(loop.runUntil([&] { return card.launchVeil().isHidden(); }, 15s));
    EXPECT_EQ(session->view().getTerminal().cols(), 40);
    const std::string screen = session->screenText();
    EXPECT_NE(screen.find("fake-model-1"), std::string::npos) << screen;
    EXPECT_EQ(screen.find("Claude"), std::string::npos) << screen;
    card.removeFromSuperview();
    window.setContentView(nullptr);
    session->kill();
    loop.runUntil([] { return false; }, 100ms);
}

}  // namespace
}  // namespace quiltdeck
