#include "quiltdeck/app/AppDelegate.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <optional>
#include <set>

#include "platform/ui/Screen.h"
#include "platform/ui/Workspace.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/app/AppDelegateTestSupport.h"
#include "quiltdeck/panels/BarView.h"
#include "quiltdeck/panels/GuideWindow.h"
#include "quiltdeck/panels/LookPopover.h"
#include "quiltdeck/panels/PickerWindow.h"
#include "quiltdeck/panels/ScriptedSetupProbe.h"
#include "quiltdeck/panels/Setup.h"
#include "quiltdeck/panels/Sheets.h"
#include "quiltdeck/panels/StateNotice.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/sessions/Defaults.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Resources.h"
#include "quiltdeck/shell/StateFolder.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/shell/Updater.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::ui::Key;
using platform::ui::KeyEvent;
using testing::FakeTile;
using testing::HeadlessApp;
using testing::ScopedVariable;
using platform::ui::Alert;
namespace Modifier = platform::ui::Modifier;

// The URL a file is opened by: its path percent-encoded, wherever the checkout lies.
std::string fileURL(const std::filesystem::path& path) { return platform::ui::Workspace::fileURL(path.string()); }

KeyEvent press(std::string key, platform::ui::ModifierFlags modifiers, Key which = Key::character) {
    KeyEvent event;
    event.key = which;
    event.characters = key;
    event.charactersIgnoringModifiers = key;
    event.unshiftedCharacters = key;
    event.modifiers = modifiers;
    return event;
}
constexpr auto ctrlShift = Modifier::control | Modifier::shift;

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest() {
        ClaudeCapabilities::reset();
        Store::shared().setOpenTiles({});
        Store::shared().setThemeMode("system");
        ::unsetenv("QUILTDECK_OPEN");
        ::unsetenv("BRIGHTLOOM_OPEN");
        ::unsetenv("QUILTDECK_SNAPSHOT");
        platform::ui::Workspace::setOpener([this](const std::string& url) {
            opened.push_back(url);
            return true;
        });
        logStart = logged().size();
        // The CLI found and signed out, without a login shell on a worker
        // thread while the tests change the environment.
        setupScript->last = {{true, false, std::nullopt, std::nullopt}, true};
        quiltdeck::Setup::setShared(quiltdeck::Setup::make(std::make_unique<testing::ScriptedProbe>(setupScript)));
    }
    ~AppDelegateTest() override {
        app.reset();
        quiltdeck::Setup::setShared(nullptr);
        platform::ui::Workspace::setOpener(nullptr);
        platform::ui::Screen::setMainWorkArea(std::nullopt);
        ClaudeCapabilities::reset();
    }

    std::string logged() { return testing::logContents().substr(logStart); }

    // Launches and waits until the tiles were opened or restored.
    HeadlessApp& launch() {
        if (!app) app.emplace();
        app->application().finishLaunching();
        EXPECT_TRUE(app->loop.runUntil([&] { return app->delegate->tilesOpened(); }, 60s));
        return *app;
    }
    testing::FakeTile& openTile(const std::string& name, SessionStatus status = SessionStatus::busy, bool shell = false) {
        TileRequest request;
        request.cwd = home.path() + "/" + name;
        std::filesystem::create_directories(request.cwd);
        request.name = name;
        request.isShell = shell;
        app->grid().open(request);
        app->tiles.back()->setStatus(status);
        return *app->tiles.back();
    }
    bool key(KeyEvent event) { return app->delegate->handleKeyDown(event); }

    testing::FakeClaudeHome home;
    std::shared_ptr<testing::ScriptedProbe::Script> setupScript = std::make_shared<testing::ScriptedProbe::Script>();
    std::optional<HeadlessApp> app;
    std::vector<std::string> opened;
    size_t logStart = 0;
};

// A small screen: the window with its title bar and menu bar fits the work area, the bar gives
// up what does not fit, and the wall lays every tile out whole inside the window.
TEST_F(AppDelegateTest, TheWindowFitsASmallWorkArea) {
    EXPECT_EQ(AppDelegate::windowSizeFor(std::nullopt), AppDelegate::windowSize);
    EXPECT_EQ(AppDelegate::windowSizeFor(platform::gfx::Rect{0, 0, 2560, 1400}), AppDelegate::windowSize);
    EXPECT_EQ(AppDelegate::windowSizeFor(platform::gfx::Rect{0, 0, 1280, 800}), (platform::gfx::Size{1280, 736}));
    platform::ui::Screen::setMainWorkArea(platform::gfx::Rect{0, 0, 960, 600});
    launch();
    auto& window = app->window();
    EXPECT_EQ(window.size(), (platform::gfx::Size{960, 536}));
    EXPECT_LE(window.minimumSize().height + AppDelegate::windowChromeHeight, 600);
    const platform::gfx::Rect inside = window.bounds();
    auto within = [&](const platform::gfx::Rect& r) {
        return r.x >= inside.x && r.y >= inside.y && r.maxX() <= inside.maxX() && r.maxY() <= inside.maxY();
    };
    size_t opened = 0;
    for (size_t count : {1u, 6u, 16u}) {
        while (opened < count) {
            std::string name = "t";
            name += std::to_string(opened++);
            openTile(name);
        }
        app->loop.runPending();
        SCOPED_TRACE(std::to_string(count) + " tiles");
        BarView& bar = app->grid().bar();
        EXPECT_GT(bar.compaction(), 0);
        // The bar's items side by side, none over another.
        std::vector<platform::gfx::Rect> items = {bar.convertToWindow({bar.brand().frame().x, 0, bar.brand().inkRight(), 52})};
        for (const platform::ui::View* item :
             std::initializer_list<const platform::ui::View*>{&app->grid().bar().version(), &app->grid().bar().counts(),
                                                             &app->grid().bar().aiToggle(), &app->grid().bar().languagePicker()}) {
            if (!item->isHidden()) items.push_back(item->convertToWindow(item->bounds()));
        }
        for (platform::ui::Button* pill : {&app->grid().bar().newButton(), &app->grid().bar().browsersButton(),
                                           &app->grid().bar().historyButton(), &app->grid().bar().settingsButton(),
                                           &app->grid().bar().guideButton()}) {
            if (!pill->isHidden()) items.push_back(pill->convertToWindow(pill->bounds()));
        }
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_TRUE(within(items[i])) << "bar item " << i;
            for (size_t j = i + 1; j < items.size(); ++j)
                EXPECT_TRUE(items[i].intersection(items[j]).width <= 0 || items[i].intersection(items[j]).height <= 0)
                    << "bar items " << i << " and " << j;
        }
        // Every tile whole, under the bars, beside the others.
        const double gridTop = window.size().height - app->grid().geometry().gridTop();
        std::vector<platform::gfx::Rect> tiles;
        for (const auto& session : app->grid().sessions()) {
            const TileView* tile = app->grid().tile(session->id());
            ASSERT_TRUE(tile);
            const platform::gfx::Rect frame = tile->convertToWindow(tile->bounds());
            EXPECT_TRUE(within(frame)) << session->title();
            EXPECT_LE(frame.maxY(), gridTop) << session->title();
            EXPECT_GT(frame.height, 60) << session->title();
            for (const auto& other : tiles) EXPECT_LE(frame.intersection(other).width * frame.intersection(other).height, 0);
            tiles.push_back(frame);
        }
        EXPECT_EQ(tiles.size(), count);
    }
}

TEST_F(AppDelegateTest, LaunchBuildsTheWindowInTheStoredTheme) {
    Store::shared().setThemeMode("blue");
    platform::ui::Screen::setMainWorkArea(platform::gfx::Rect{0, 0, 1280, 2000});
    launch();
    auto& window = app->window();
    EXPECT_EQ(window.size(), (platform::gfx::Size{1280, 1080}));
    EXPECT_EQ(window.minimumSize(), (platform::gfx::Size{900, 480}));
    EXPECT_EQ(window.title(), "Quiltdeck");
    EXPECT_EQ(window.presentCount(), 1);
    // The top bar along the top, the tab bar under it, the wall under both.
    EXPECT_EQ(window.contentView(), &app->grid().root());
    EXPECT_EQ(app->grid().bar().frame(), (platform::gfx::Rect{0, 0, 1280, 52}));
    EXPECT_EQ(app->grid().tabs().frame(), (platform::gfx::Rect{0, 52, 1280, 38}));
    EXPECT_EQ(app->grid().geometry().gridArea(), (platform::gfx::Rect{0, 90, 1280, 990}));
    EXPECT_EQ(Store::shared().themeMode(), "system");
    ASSERT_TRUE(window.menuBar());
    EXPECT_EQ(window.menuBar()->menus.size(), 3u);
    EXPECT_NE(logged().find("launch Quiltdeck"), std::string::npos);

    Theme::setMode(ThemeMode::light);
    Theme::resolve();
    app->loop.runPending();
    EXPECT_EQ(window.backgroundColor(), AppDelegate::windowBackground(false));
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();
    app->loop.runPending();
    EXPECT_EQ(window.backgroundColor(), platform::gfx::Rgba::fromBytes(11, 12, 13));
}

TEST_F(AppDelegateTest, OpenNamesTheStartupFoldersAndSkipsTheRestore) {
    for (const char* folder : {"a", "b"}) std::filesystem::create_directories(home.path() + "/" + folder);
    std::filesystem::create_directories(home.path() + "/restored");
    Store::ClosedTile saved;
    saved.cwd = home.path() + "/restored";
    saved.title = "Restored";
    const struct {
        const char* quiltdeck;  // null: unset
        const char* brightloom;
        std::vector<std::string> names;
    } cases[] = {
        {"~/a, ~/b,,", "~/restored", {"a", "b"}},
        {nullptr, "~/b", {"b"}},
        {"", "~/a", {}},
        {"~/missing,~bob/a,~/a", nullptr, {"a"}},
        {nullptr, nullptr, {"restored"}},
    };
    for (const auto& test : cases) {
        Store::shared().setOpenTiles({saved});
        if (test.quiltdeck) ::setenv("QUILTDECK_OPEN", test.quiltdeck, 1);
        else ::unsetenv("QUILTDECK_OPEN");
        if (test.brightloom) ::setenv("BRIGHTLOOM_OPEN", test.brightloom, 1);
        else ::unsetenv("BRIGHTLOOM_OPEN");
        app.reset();
        launch();
        std::vector<std::string> names;
        for (const auto& tile : app->grid().sessions()) names.push_back(tile->record().cwd.substr(home.path().size() + 1));
        EXPECT_EQ(names, test.names) << (test.quiltdeck ? test.quiltdeck : "unset");
    }
    ::unsetenv("QUILTDECK_OPEN");
    ::unsetenv("BRIGHTLOOM_OPEN");
}

TEST_F(AppDelegateTest, ACachedProbeRestoresBeforeTheProbeEnds) {
    std::filesystem::create_directories(home.path() + "/kept");
    Store::ClosedTile saved;
    saved.cwd = home.path() + "/kept";
    saved.claudeSessionId = "0d3c2f4e-1111-2222-3333-444455556666";
    saved.tileId = "tile-kept";
    Store::shared().setOpenTiles({saved});
    Defaults::standard().setStringArray("claude.flags." + ClaudeCapabilities::binaryKey().value(), {"--resume"});
    app.emplace();
    app->application().finishLaunching();
    // No turn of the loop yet: the cache answered at once.
    ASSERT_TRUE(app->delegate->tilesOpened());
    ASSERT_EQ(app->tiles.size(), 1u);
    EXPECT_EQ(app->tiles[0]->id(), "tile-kept");
    EXPECT_EQ(app->tiles[0]->request.resume, saved.claudeSessionId);
    // Its answer comes on a later turn (the CLI it runs, and the setup check's, may have started
    // already on their threads).
    EXPECT_EQ(logged().find("  claude found"), std::string::npos);
    // The refresh in the background still runs the CLI once.
    EXPECT_TRUE(app->loop.runUntil([&] { return logged().find("  claude found") != std::string::npos; }, 60s));
}

// Keys typed into the window before its tiles open, while the CLI's capability probe runs (its
// first run after an install or an update, a slow one here), reach the tile that gets the keyboard
// whole and in order; with no tile to restore, they go nowhere and later keys work as before. The
// window's own shortcuts act at once meanwhile.
TEST_F(AppDelegateTest, KeysTypedAtLaunchReachTheTileThatGetsTheKeyboard) {
    home.setVariable("FAKE_CLAUDE_HELP_DELAY", "1");
    for (const bool tiles : {true, false}) {
        SCOPED_TRACE(tiles ? "tiles to restore" : "no tiles");
        ClaudeCapabilities::reset();
        // The probe's first run for this CLI: nothing cached.
        Defaults::standard().remove("claude.flags." + ClaudeCapabilities::binaryKey().value());
        std::vector<Store::ClosedTile> saved(tiles ? 2 : 0);
        for (size_t i = 0; i < saved.size(); ++i) {
            saved[i].cwd = home.path() + "/p" + std::to_string(i);
            std::filesystem::create_directories(saved[i].cwd);
        }
        Store::shared().setOpenTiles(saved);
        app.reset();
        app.emplace();
        app->application().finishLaunching();
        ASSERT_FALSE(app->delegate->tilesOpened());
        // Stop Claude and Paste act on the tile: they wait with the keys.
        const KeyEvent keys[] = {press("t", 0), press("y", 0), press("p", 0), press("e", 0), press("d", 0),
                                 press("s", ctrlShift), press(" ", 0), press("a", 0), press("h", 0), press("e", 0),
                                 press("a", 0), press("d", 0), press("v", ctrlShift), press("\r", 0)};
        for (const KeyEvent& key : keys) {
            app->window().sendKeyEvent(key);
            app->loop.runPending();
        }
        // The window's own shortcut acts at once: New Session opens the picker while the probe runs.
        EXPECT_TRUE(app->window().sendKeyEvent(press("n", ctrlShift)));
        ASSERT_TRUE(app->delegate->picker());
        EXPECT_FALSE(app->delegate->tilesOpened());
        app->window().endSheet(*app->delegate->picker()->panel(), platform::ui::Window::cancelled);
        app->loop.runPending();
        ASSERT_TRUE(app->loop.runUntil([&] { return app->delegate->tilesOpened() && !app->grid().restoring(); }, 60s));
        app->loop.runPending();
        EXPECT_FALSE(app->window().holdsKeys());
        if (!tiles) {
            EXPECT_TRUE(app->tiles.empty());
            continue;
        }
        ASSERT_EQ(app->tiles.size(), 2u);
        EXPECT_EQ(app->window().firstResponder(), &app->tiles[1]->view());
        EXPECT_EQ(app->tiles[1]->typed(), "typed ahead\r");
        EXPECT_EQ(app->tiles[1]->sent, "\x1b");
        EXPECT_EQ(app->tiles[1]->pastes, 1);
        EXPECT_EQ(app->tiles[0]->pastes, 0);
        EXPECT_EQ(app->tiles[0]->typed(), "");
        app->window().sendKeyEvent(press("x", 0));
        EXPECT_EQ(app->tiles[1]->typed(), "typed ahead\rx");
    }
}

// The keys of the key table, as the window gets them (through its key monitor).
struct TableKey {
    const char* name;
    KeyEvent event;
};
std::vector<TableKey> keyTable() {
    const auto alt = ctrlShift | Modifier::alt;
    return {
        {"new session", press("n", ctrlShift)},
        {"new shell", press("n", alt)},
        {"rename", press("r", ctrlShift)},
        {"look", press("l", ctrlShift)},
        {"close", press("w", ctrlShift)},
        {"history", press("y", ctrlShift)},
        {"new wall", press("t", ctrlShift)},
        {"next wall", press("]", alt)},
        {"previous wall", press("[", alt)},
        {"zoom", press("\r", ctrlShift, Key::returnKey)},
        {"zoom larger", press("=", ctrlShift)},
        {"zoom smaller", press("-", ctrlShift)},
        {"next waiting", press("j", ctrlShift)},
        {"stop", press("s", ctrlShift)},
        {"browsers", press("b", ctrlShift)},
        {"settings", press(",", ctrlShift)},
        {"tile 1", press("1", ctrlShift)},
        {"tile 2", press("2", ctrlShift)},
        {"tile 9", press("9", ctrlShift)},
        {"quit", press("q", ctrlShift)},
        {"copy", press("c", ctrlShift)},
        {"paste", press("v", ctrlShift)},
        {"select all", press("a", ctrlShift)},
        {"guide", press("/", ctrlShift)},
        {"menu bar", press("m", ctrlShift)},
        {"bar message", press("i", ctrlShift)},
        {"menu bar key", press("", 0, platform::ui::functionKey(10))},
        {"full screen", press("", 0, platform::ui::functionKey(11))},
        {"escape", press("\x1b", 0, Key::escape)},
    };
}

// The tile the keyboard is in when a key of the table comes: none, or tile "a" (with an idle
// assistant tile "b" before it on the wall).
// A shell runs a program that reads its keys one by one (an editor), or a command in canonical
// mode (a build, sleep).
enum class TableTile { none, shellAtPrompt, shellRunningProgram, shellRunningCommand, assistantIdle, assistantWorking, assistantAsking };
constexpr TableTile tableTiles[] = {TableTile::none,          TableTile::shellAtPrompt,    TableTile::shellRunningProgram,
                                    TableTile::shellRunningCommand, TableTile::assistantIdle, TableTile::assistantWorking,
                                    TableTile::assistantAsking};
const char* tileName(TableTile tile) {
    static const char* const names[] = {"no tile", "a shell at its prompt", "a shell running a program",
                                        "a shell running a command in canonical mode", "an idle assistant",
                                        "a working assistant", "an asking assistant"};
    return names[static_cast<int>(tile)];
}

// What a key of the table did, and where a key typed after it went: to a tile by name (with the
// key itself first where the tile got it: "esc", "F10"), to a sheet, an alert or a text field, or
// nowhere.
struct TableSeen {
    std::string did, keys;
    friend bool operator==(const TableSeen&, const TableSeen&) = default;
    friend std::ostream& operator<<(std::ostream& out, const TableSeen& seen) {
        return out << "{did " << seen.did << ", keys to " << seen.keys << "}";
    }
};

// The keys that open a window of their own or act on no tile: they act at once, also while the
// window holds the keys for tiles on their way.
bool actsAtOnce(std::string_view key) {
    for (const char* each : {"new session", "history", "new wall", "browsers", "settings", "quit", "guide", "menu bar",
                             "bar message", "full screen"}) {
        if (key == each) return true;
    }
    return false;
}

// What the key table says each key does with the keyboard in tile "a" (tile "b", an idle
// assistant, before it), or in no tile; at launch, once the tiles came back, or at once for those
// that act at once.
TableSeen expectedOf(std::string_view key, bool launch, TableTile state, bool zoomed) {
    const bool tile = state != TableTile::none;
    const std::string on = tile ? "a:key" : "nowhere";
    const auto inTile = [&](std::string did) { return TableSeen{tile ? did : "nothing", on}; };
    if (key == "new session") return {"picker", "sheet"};
    if (key == "history" || key == "browsers" || key == "settings" || key == "guide") return {std::string(key), "sheet"};
    if (key == "new wall") return {"prompt", "alert"};
    if (key == "bar message") return {"alert", "alert"};
    if (key == "menu bar") return {"menu bar", on};
    if (key == "full screen") return {"full screen", on};
    // With no tile running the program quits at once (at launch, its tiles are still saved).
    if (key == "quit") return tile && !launch ? TableSeen{"alert", "alert"} : TableSeen{"quit", on};
    if (key == "new shell") return {zoomed ? "new tile, zoom shell" : "new tile", "shell:key"};
    if (key == "rename") return tile ? TableSeen{"rename a", "field"} : TableSeen{"nothing", "nowhere"};
    if (key == "look") return inTile("look");
    if (key == "close") return tile ? TableSeen{"alert", "alert"} : TableSeen{"nothing", "nowhere"};
    if (key == "next wall" || key == "previous wall" || key == "tile 9") return {"nothing", on};
    if (key == "zoom") return inTile(zoomed ? "unzoom" : "zoom a");
    if (key == "zoom larger" || key == "zoom smaller") return {zoomed ? "scale" : "nothing", on};
    if (key == "next waiting") return {state == TableTile::assistantAsking && !zoomed ? "zoom a" : "nothing", on};
    if (key == "stop") return inTile("stop a");
    if (key == "copy" || key == "paste" || key == "select all") return inTile(std::string(key) + " a");
    if (key == "tile 1") return tile ? TableSeen{"zoom b", "b:key"} : TableSeen{"nothing", "nowhere"};
    if (key == "tile 2") return {tile && !zoomed ? "zoom a" : "nothing", on};
    // F10 is the program's where a terminal has the keyboard, else it opens the menu bar.
    if (key == "menu bar key") return tile ? TableSeen{"nothing", "a:F10,key"} : TableSeen{"menu bar", "nowhere"};
    // Escape leaves the zoom, but for a program run from a shell tile's prompt that reads its keys,
    // whose key it is; a command that reads lines gets none of it.
    if (key == "escape") {
        if (!tile) return {"nothing", "nowhere"};
        if (zoomed && state != TableTile::shellRunningProgram) return {"unzoom", "a:key"};
        return {"nothing", "a:esc,key"};
    }
    return {"?", "?"};
}

class KeyTableTest : public AppDelegateTest {
protected:
    // What the window, the wall and each tile held before the key ("a" and "b" by name: at launch
    // they come after it, from nothing).
    struct Before {
        std::map<std::string, size_t> typed, keys, sent;
        std::map<std::string, int> pastes, copies, selectAlls;
        size_t tiles = 0;
        std::optional<std::string> zoom;
        double scale = 1;
        int menuOpenings = 0;
        bool fullScreen = false;
        std::string wall;
    };
    static std::string nameOf(const FakeTile& tile) { return tile.request.name.empty() ? "new" : tile.request.name; }
    Before before(size_t tilesToCome = 0) {
        Before b;
        b.tiles = app->tiles.size() + tilesToCome;
        for (FakeTile* tile : app->tiles) {
            const std::string name = nameOf(*tile);
            b.typed[name] = tile->typed().size();
            b.keys[name] = tile->keysTyped().size();
            b.sent[name] = tile->sent.size();
            b.pastes[name] = tile->pastes;
            b.copies[name] = tile->copies;
            b.selectAlls[name] = tile->selectAlls;
        }
        b.zoom = app->grid().zoomId();
        b.scale = Store::shared().zoomScale();
        b.menuOpenings = app->window().menuBarOpenings();
        b.fullScreen = app->window().isFullScreen();
        b.wall = app->grid().currentWall();
        return b;
    }
    std::string tileNamed(const std::string& id) {
        for (FakeTile* tile : app->tiles) {
            if (tile->id() == id) return nameOf(*tile);
        }
        return "?";
    }
    // What the key did: each window, alert or change it brought.
    std::string did(const Before& b) {
        std::vector<std::string> did;
        if (app->application().terminated()) did.push_back("quit");
        if (app->modals().shownAlert()) did.push_back("alert");
        if (app->modals().shownPrompt()) did.push_back("prompt");
        if (app->delegate->picker()) did.push_back("picker");
        if (app->delegate->historyPanel()) did.push_back("history");
        if (app->delegate->settingsPanel()) did.push_back("settings");
        if (app->delegate->browsersPanel()) did.push_back("browsers");
        if (app->delegate->guide()) did.push_back("guide");
        if (app->window().menuBarOpenings() != b.menuOpenings) did.push_back("menu bar");
        if (app->window().isFullScreen() != b.fullScreen) did.push_back("full screen");
        if (app->tiles.size() > b.tiles) did.push_back("new tile");
        if (app->grid().currentWall() != b.wall) did.push_back("wall");
        if (app->grid().zoomId() != b.zoom) did.push_back(app->grid().zoomId() ? "zoom " + tileNamed(*app->grid().zoomId()) : "unzoom");
        if (Store::shared().zoomScale() != b.scale) did.push_back("scale");
        if (app->grid().lookPopover()) did.push_back("look");
        for (FakeTile* tile : app->tiles) {
            const std::string name = nameOf(*tile);
            const auto from = [&](const auto& map) { return map.contains(name) ? map.at(name) : 0; };
            if (tile->sent.size() > from(b.sent)) did.push_back("stop " + name);
            if (tile->pastes > from(b.pastes)) did.push_back("paste " + name);
            if (tile->copies > from(b.copies)) did.push_back("copy " + name);
            if (tile->selectAlls > from(b.selectAlls)) did.push_back("select all " + name);
            if (TileView* card = app->grid().tile(tile->id()); card && card->isRenaming()) did.push_back("rename " + name);
        }
        std::string text;
        for (const auto& each : did) text += (text.empty() ? "" : ", ") + each;
        return text.empty() ? "nothing" : text;
    }
    // Where the keys went: each tile's, by name ("esc" and "F10" for those keys).
    std::string keys(const Before& b) {
        std::string text;
        for (FakeTile* tile : app->tiles) {
            const std::string name = nameOf(*tile);
            const auto& got = tile->keysTyped();
            const size_t from = b.keys.contains(name) ? b.keys.at(name) : 0;
            std::string its;
            for (size_t i = from; i < got.size(); ++i) {
                its += its.empty() ? "" : ",";
                if (got[i] == Key::escape) its += "esc";
                else if (got[i] == platform::ui::functionKey(10)) its += "F10";
                else its += "key";
            }
            if (!its.empty()) text += (text.empty() ? "" : " ") + name + ":" + its;
        }
        if (!text.empty()) return text;
        if (app->modals().shownAlert() || app->modals().shownPrompt()) return "alert";
        if (app->window().attachedSheet()) return "sheet";
        for (FakeTile* tile : app->tiles) {
            if (TileView* card = app->grid().tile(tile->id()); card && card->isRenaming()) return "field";
        }
        return "nowhere";
    }
    // The key, then a key typed after it at a human pace (the loop turns in between), into the
    // window that has the keyboard then: a sheet that came up is a window of its own, and an alert
    // takes the keys, as the toolkit's do.
    void typeKeyThenMore(const KeyEvent& key) {
        app->window().sendKeyEvent(key);
        app->loop.runPending();
        if (platform::ui::Window* sheet = app->window().attachedSheet()) sheet->sendKeyEvent(press("x", 0));
        else if (!app->modals().shownAlert() && !app->modals().shownPrompt()) app->window().sendKeyEvent(press("x", 0));
        app->loop.runPending();
    }
    // Each case on one wall, Main, at the usual zoom, whatever an earlier test left.
    static void freshWall(std::vector<Store::ClosedTile> tiles = {}) {
        Store::shared().setWalls({});
        Store::shared().setCurrentWall("");
        Store::shared().setOpenTiles(std::move(tiles));
        Store::shared().setZoomScale(1.0);
    }
    void configure(FakeTile& tile, TableTile state) {
        if (tile.request.name != "a") return;
        tile.foregroundNow = state == TableTile::shellRunningProgram   ? WallTile::Foreground::keyProgram
                             : state == TableTile::shellRunningCommand ? WallTile::Foreground::lineCommand
                                                                       : WallTile::Foreground::itsOwn;
        const SessionStatus status = state == TableTile::assistantWorking ? SessionStatus::busy
                                     : state == TableTile::assistantAsking ? SessionStatus::waiting
                                                                            : SessionStatus::idle;
        tile.setStatus(status);
    }
    static bool shell(TableTile state) {
        return state == TableTile::shellAtPrompt || state == TableTile::shellRunningProgram ||
               state == TableTile::shellRunningCommand;
    }
};

// Every key of the key table and Escape, through the window as the user types them, with the
// keyboard in each kind of tile, zoomed or not: what it does, and where a key typed straight after
// it goes.
TEST_F(KeyTableTest, EveryKeyByTheTileItIsTypedIn) {
    for (const TableKey& key : keyTable()) {
        for (const TableTile state : tableTiles) {
            for (const bool zoomed : {false, true}) {
                if (state == TableTile::none && zoomed) continue;
                SCOPED_TRACE(std::string(key.name) + ", " + tileName(state) + (zoomed ? ", zoomed" : ""));
                app.reset();
                freshWall();
                launch();
                if (state != TableTile::none) {
                    openTile("b", SessionStatus::idle);
                    FakeTile& a = openTile("a", SessionStatus::idle, shell(state));
                    configure(a, state);
                    if (zoomed) app->grid().zoom(a.id());
                    ASSERT_TRUE(app->loop.runUntil([&] { return app->window().firstResponder() == &a.view(); }, 2s));
                }
                app->loop.runPending();
                const Before b = before();
                typeKeyThenMore(key.event);
                EXPECT_EQ((TableSeen{did(b), keys(b)}), expectedOf(key.name, false, state, zoomed));
            }
        }
    }
}

// The same keys typed while the window holds the keys for the tiles still to come back at launch
// (the CLI's capability probe runs): what opens a window of its own or acts on no tile acts at
// once; what acts on a tile waits with the keys and acts in its turn, on the tile it names, once
// the tiles are there (tile "a" is the one that gets the keyboard), the keys after it following.
// With no tile to restore, every key acts at once.
TEST_F(KeyTableTest, EveryKeyWhileTheLaunchHoldsTheKeys) {
    const std::filesystem::path gate = home.path() + "/probe-gate";
    home.setVariable("FAKE_CLAUDE_HELP_GATE", gate.string());
    for (const TableKey& key : keyTable()) {
        for (const TableTile state : tableTiles) {
            SCOPED_TRACE(std::string(key.name) + ", " + tileName(state));
            app.reset();
            std::filesystem::remove(gate);
            ClaudeCapabilities::reset();
            Defaults::standard().remove("claude.flags." + ClaudeCapabilities::binaryKey().value());
            std::vector<Store::ClosedTile> saved;
            if (state != TableTile::none) {
                for (const std::string name : {"b", "a"}) {
                    Store::ClosedTile record;
                    record.cwd = home.path() + "/" + name;
                    record.name = name;
                    record.isShell = name == "a" && shell(state);
                    std::filesystem::create_directories(record.cwd);
                    saved.push_back(record);
                }
            }
            freshWall(saved);
            app.emplace();
            app->onTileMade = [&](FakeTile& tile) { configure(tile, state); };
            app->application().finishLaunching();
            ASSERT_FALSE(app->delegate->tilesOpened());
            const Before b = before(saved.size());
            typeKeyThenMore(key.event);
            const std::string during = did(b);
            testing::writeFile(gate, "");
            ASSERT_TRUE(app->loop.runUntil([&] { return app->delegate->tilesOpened() && !app->grid().restoring(); }, 60s));
            app->loop.runPending();
            const TableSeen expected = expectedOf(key.name, true, state, false);
            // With no tile to come back nothing waits: New Shell opens its tile while the probe runs.
            EXPECT_EQ(during, actsAtOnce(key.name) || state == TableTile::none ? expected.did : "nothing");
            EXPECT_EQ((TableSeen{did(b), keys(b)}), expected);
        }
    }
}

// A zoomed shell tile's header says what Escape does at every moment, as what runs in it changes:
// at its prompt, while a command reads lines, while a program reads its keys; nothing once it is no
// longer zoomed, and nothing in an assistant tile.
TEST_F(AppDelegateTest, AZoomedShellTileSaysWhatEscapeDoesThere) {
    using Hint = TileView::EscapeHint;
    using F = WallTile::Foreground;
    launch();
    FakeTile& shell = openTile("shell", SessionStatus::idle, true);
    FakeTile& assistant = openTile("assistant", SessionStatus::busy);
    TileView& card = *app->grid().tile(shell.id());
    app->grid().zoom(shell.id());
    EXPECT_EQ(card.escapeHintShown(), Hint::atPrompt);
    const std::pair<F, Hint> steps[] = {{F::keyProgram, Hint::program}, {F::itsOwn, Hint::atPrompt},
                                        {F::lineCommand, Hint::commandRuns}, {F::keyProgram, Hint::program}};
    for (const auto& [foreground, hint] : steps) {
        shell.foregroundNow = foreground;
        app->loop.advance(GridController::zoomedProgramCheck);
        EXPECT_EQ(card.escapeHintShown(), hint);
    }
    // Each fits the zoomed header in every language.
    for (const Lang lang : Lang::allCases()) {
        Lang::setCurrent(lang);
        platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
        for (const auto& [foreground, hint] : steps) {
            SCOPED_TRACE(std::string(lang.rawValue()));
            shell.foregroundNow = foreground;
            app->loop.advance(GridController::zoomedProgramCheck);
            EXPECT_EQ(card.escapeHintShown(), hint);
        }
    }
    Lang::setCurrent(Lang::en);
    app->grid().unzoom();
    EXPECT_EQ(card.escapeHintShown(), Hint::none);
    assistant.foregroundNow = F::keyProgram;
    app->grid().zoom(assistant.id());
    EXPECT_EQ(app->grid().tile(assistant.id())->escapeHintShown(), Hint::none);
}

TEST_F(AppDelegateTest, UncleanPreviousRunIsToldAfterOneAndAHalfSeconds) {
    for (const bool snapshot : {false, true}) {
        testing::writeFile(StateFolder::path() / "running", "1");
        std::optional<ScopedVariable> snapshotPath;
        if (snapshot) snapshotPath.emplace("QUILTDECK_SNAPSHOT", home.path() + "/shot.png");
        app.reset();
        launch();
        app->loop.advance(1400ms);
        EXPECT_FALSE(app->modals().shownAlert());
        app->loop.advance(200ms);
        if (snapshot) {
            EXPECT_FALSE(app->modals().shownAlert());
            continue;
        }
        ASSERT_TRUE(app->modals().shownAlert());
        EXPECT_EQ(app->modals().shownAlert()->messageText, t("crash_title"));
        EXPECT_EQ(app->modals().shownAlert()->buttons, (std::vector<std::string>{t("ok"), t("menu_show_log")}));
        EXPECT_EQ(app->modals().shownOver(), &app->window());
        app->modals().clickButton(1);
        EXPECT_EQ(opened, std::vector<std::string>{fileURL(Log::url())});
    }
}

TEST_F(AppDelegateTest, KeysAheadOfTheTiles) {
    launch();
    // No tile yet: Stop Claude still takes the key.
    EXPECT_TRUE(key(press("s", ctrlShift)));
    auto& first = openTile("one");
    openTile("two");
    app->grid().focus(0);
    const struct {
        KeyEvent event;
        bool taken;
        std::string sent;
    } cases[] = {
        {press("s", ctrlShift), true, "\x1b"},
        {press("s", ctrlShift | Modifier::alt), false, ""},
        {press("s", Modifier::control), false, ""},
        {press("c", ctrlShift), true, ""},
        {press("v", ctrlShift), true, ""},
        {press("a", ctrlShift), true, ""},
        {press("=", ctrlShift), true, ""},  // Larger Zoomed Tile, disabled: taken all the same
        {press("5", ctrlShift), true, ""},  // no fifth tile: nothing
        {press("x", ctrlShift), false, ""},
        // focus(0) zoomed the first tile: Escape un-zooms and is taken; then nothing is zoomed.
        {press("\x1b", 0, Key::escape), true, ""},
        {press("\x1b", 0, Key::escape), false, ""},
    };
    for (const auto& test : cases) {
        first.sent.clear();
        EXPECT_EQ(key(test.event), test.taken) << test.event.unshiftedCharacters;
        EXPECT_EQ(first.sent, test.sent) << test.event.unshiftedCharacters;
    }
    EXPECT_EQ(first.copies, 1);
    EXPECT_EQ(first.pastes, 1);
    EXPECT_EQ(first.selectAlls, 1);

    // Ctrl+Shift+2 makes the second tile the one keys go to.
    EXPECT_TRUE(key(press("2", ctrlShift)));
    EXPECT_EQ(app->grid().activeId(), app->tiles[1]->id());
    EXPECT_EQ(app->grid().zoomId(), app->tiles[1]->id());
    app->loop.runPending();
    EXPECT_EQ(app->window().firstResponder(), &app->tiles[1]->view());
}

TEST_F(AppDelegateTest, NewSessionAndShell) {
    launch();
    std::filesystem::create_directories(home.path() + "/project/.git");
    EXPECT_TRUE(key(press("n", ctrlShift)));
    PickerWindow* picker = app->delegate->picker();
    ASSERT_TRUE(picker);
    platform::ui::Window* sheet = app->window().attachedSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet, picker->panel());
    EXPECT_EQ(sheet->identifier(), "bl.sheet");
    EXPECT_EQ(sheet->firstResponder(), &picker->search());
    // Asked again while the picker is up: nothing more.
    key(press("n", ctrlShift));
    EXPECT_EQ(app->delegate->picker(), picker);
    // Typed into the search field, the keys pass the picker; Return opens the first match.
    for (const char* letter : {"p", "r", "o", "j"}) sheet->sendKeyEvent(press(letter, 0));
    EXPECT_EQ(picker->search().stringValue(), "proj");
    sheet->sendKeyEvent(press("\r", 0, Key::returnKey));
    ASSERT_EQ(app->tiles.size(), 1u);
    EXPECT_EQ(app->tiles[0]->request.name, "project");
    EXPECT_EQ(app->tiles[0]->request.cwd, home.path() + "/project");
    EXPECT_FALSE(app->tiles[0]->request.isShell);
    EXPECT_FALSE(app->tiles[0]->request.browser);
    EXPECT_FALSE(app->delegate->picker());
    EXPECT_FALSE(app->window().attachedSheet());
    EXPECT_EQ(Sheets::ownerCount(), 0u);

    // Shift+Return from the home row opens a shell there.
    key(press("n", ctrlShift));
    app->window().attachedSheet()->sendKeyEvent(press("\r", Modifier::shift, Key::returnKey));
    ASSERT_EQ(app->tiles.size(), 2u);
    EXPECT_TRUE(app->tiles[1]->request.isShell);
    EXPECT_EQ(app->tiles[1]->request.cwd, home.path());

    // Escape ends the picker as a cancel; Ctrl+Shift+W with a sheet up ends the sheet, not the tile.
    key(press("n", ctrlShift));
    app->window().attachedSheet()->sendKeyEvent(press("\x1b", 0, Key::escape));
    EXPECT_FALSE(app->window().attachedSheet());
    EXPECT_FALSE(app->delegate->picker());
    key(press("n", ctrlShift));
    EXPECT_TRUE(key(press("w", ctrlShift)));
    EXPECT_FALSE(app->window().attachedSheet());
    EXPECT_FALSE(app->delegate->picker());
    EXPECT_EQ(app->grid().sessions().size(), 2u);

    EXPECT_TRUE(key(press("n", ctrlShift | Modifier::alt)));
    ASSERT_EQ(app->tiles.size(), 3u);
    EXPECT_FALSE(app->window().attachedSheet());
    EXPECT_TRUE(app->tiles[2]->request.isShell);
    EXPECT_EQ(app->tiles[2]->request.name, "shell");
    EXPECT_EQ(app->tiles[2]->request.cwd, home.path());
}

// Ctrl+Shift+, over the picker ends the picker's sheet; the picker cleans up all the same, so
// New Session opens one again.
TEST_F(AppDelegateTest, APickerEndedByAnotherSheetLetsNewSessionOpenOneAgain) {
    launch();
    key(press("n", ctrlShift));
    ASSERT_TRUE(app->delegate->picker());
    app->window().attachedSheet()->sendKeyEvent(press(",", ctrlShift));
    ASSERT_TRUE(app->delegate->settingsPanel());
    EXPECT_EQ(app->window().attachedSheet(), app->delegate->settingsPanel()->panel());
    EXPECT_FALSE(app->delegate->picker());
    key(press("\x1b", 0, Key::escape));
    EXPECT_FALSE(app->window().attachedSheet());
    EXPECT_TRUE(key(press("n", ctrlShift)));
    ASSERT_TRUE(app->delegate->picker());
    EXPECT_EQ(app->window().attachedSheet(), app->delegate->picker()->panel());
}

// A tile's change of folder goes through the picker to a new tile there, in the old one's place,
// of the old one's kind whatever the picker was told; a tile gone by then is left alone.
TEST_F(AppDelegateTest, ChangeFolderReplacesTheTileInItsPlace) {
    launch();
    std::filesystem::create_directories(home.path() + "/elsewhere/.git");
    struct Case {
        const char* name;
        bool shellTile;
        int modifiers;
        bool closedFirst;
    };
    const std::vector<Case> cases = {
        {"an assistant stays one after Shift+Return", false, Modifier::shift, false},
        {"a shell stays one after Return", true, 0, false},
        {"a tile closed while the picker was up", false, 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& tile : app->grid().sessions()) app->grid().close(tile->id());
        openTile("a");
        testing::FakeTile& middle = openTile("b");
        middle.request.isShell = c.shellTile;
        openTile("c");
        const std::string id = middle.id();
        ASSERT_TRUE(app->grid().onChangeFolderRequested);
        app->grid().onChangeFolderRequested(id);
        PickerWindow* picker = app->delegate->picker();
        ASSERT_TRUE(picker);
        // Asked again while it is up: the same picker.
        app->grid().onChangeFolderRequested(id);
        EXPECT_EQ(app->delegate->picker(), picker);
        if (c.closedFirst) app->grid().close(id);
        const size_t made = app->tiles.size();
        platform::ui::Window* sheet = app->window().attachedSheet();
        ASSERT_TRUE(sheet);
        for (const char* letter : {"e", "l", "s", "e"}) sheet->sendKeyEvent(press(letter, 0));
        sheet->sendKeyEvent(press("\r", c.modifiers, Key::returnKey));
        EXPECT_FALSE(app->delegate->picker());
        EXPECT_FALSE(app->window().attachedSheet());
        std::vector<std::string> folders;
        for (const auto& tile : app->grid().sessions()) folders.push_back(tile->record().cwd.substr(home.path().size() + 1));
        if (c.closedFirst) {
            EXPECT_EQ(app->tiles.size(), made);
            EXPECT_EQ(folders, (std::vector<std::string>{"a", "c"}));
            continue;
        }
        ASSERT_EQ(app->tiles.size(), made + 1);
        EXPECT_EQ(folders, (std::vector<std::string>{"a", "elsewhere", "c"}));
        EXPECT_EQ(app->tiles.back()->request.isShell, c.shellTile);
        EXPECT_EQ(app->tiles.back()->request.name, "elsewhere");
        EXPECT_FALSE(app->grid().session(id));
    }
    // Escape changes nothing.
    const std::string id = app->grid().sessions()[0]->id();
    app->grid().onChangeFolderRequested(id);
    app->window().attachedSheet()->sendKeyEvent(press("\x1b", 0, Key::escape));
    EXPECT_FALSE(app->delegate->picker());
    EXPECT_TRUE(app->grid().session(id));
}

// The wall's commands from the menus: Tile n zooms the n-th tile of the wall shown, Zoom toggles the
// active one, Larger and Smaller act only while a tile is zoomed, Next Waiting jumps to a waiting tile.
TEST_F(AppDelegateTest, WallCommandsFromTheMenus) {
    launch();
    const std::string a = openTile("a", SessionStatus::idle).id();
    const std::string b = openTile("b", SessionStatus::busy).id();
    const std::string c = openTile("c", SessionStatus::waiting).id();
    Store::shared().setZoomScale(1.0);
    struct Step {
        const char* name;
        MenuCommand command;
        int tag;
        std::optional<std::string> zoomed;
        double scale;
    };
    const std::vector<Step> steps = {
        {"larger with nothing zoomed", MenuCommand::zoomLarger, 0, std::nullopt, 1.0},
        {"tile 2", MenuCommand::focusTile, 1, b, 1.0},
        {"larger", MenuCommand::zoomLarger, 0, b, 1.1},
        {"smaller twice", MenuCommand::zoomSmaller, 0, b, 0.9},
        {"toggle off", MenuCommand::toggleZoom, 0, std::nullopt, 0.9},
        {"toggle on the active", MenuCommand::toggleZoom, 0, b, 0.9},
        {"tile 9 of three", MenuCommand::focusTile, 8, b, 0.9},
        {"next waiting", MenuCommand::jumpToAttention, 0, c, 0.9},
        {"tile 1", MenuCommand::focusTile, 0, a, 0.9},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        ASSERT_TRUE(app->delegate->isEnabled(step.command));
        app->delegate->perform(step.command, step.tag);
        if (std::string(step.name) == "smaller twice") app->delegate->perform(step.command, step.tag);
        EXPECT_EQ(app->grid().zoomId(), step.zoomed);
        EXPECT_NEAR(Store::shared().zoomScale(), step.scale, 1e-9);
    }
}

// History, settings and browsers open from their menu items, their shortcuts and the bar, each
// a new panel replacing the last; Escape ends each.
TEST_F(AppDelegateTest, PanelsFromTheMenusTheShortcutsAndTheBar) {
    launch();
    struct Case {
        const char* shortcut;
        const char* title;
        platform::ui::Button* (*pill)(BarView&);
    } cases[] = {
        {"y", "menu_history", [](BarView& bar) { return &bar.historyButton(); }},
        {",", "menu_settings", [](BarView& bar) { return &bar.settingsButton(); }},
        {"b", "menu_browsers", [](BarView& bar) { return &bar.browsersButton(); }},
    };
    for (const Case& c : cases) {
        auto& window = app->window();
        const platform::ui::MenuItem* item = window.menuBar()->itemWithTitle(t(c.title));
        ASSERT_TRUE(item) << c.title;
        EXPECT_TRUE(item->enabled) << c.title;
        // Each sheet in turn: the application's own, and a new window each time.
        std::vector<uintptr_t> shown;
        auto check = [&](int step) {
            platform::ui::Window* sheet = window.attachedSheet();
            ASSERT_TRUE(sheet) << c.title << " " << step;
            EXPECT_EQ(sheet->identifier(), "bl.sheet");
            shown.push_back(reinterpret_cast<uintptr_t>(sheet));
        };
        EXPECT_TRUE(key(press(c.shortcut, ctrlShift)));
        check(0);
        platform::ui::MenuBar::perform(*item);
        check(1);
        EXPECT_TRUE(c.pill(app->grid().bar())->performClick());
        check(2);
        EXPECT_NE(shown[0], shown[1]) << c.title;
        EXPECT_NE(shown[1], shown[2]) << c.title;
        EXPECT_EQ(Sheets::ownerCount(), 1u);
        window.attachedSheet()->sendKeyEvent(press("\x1b", 0, Key::escape));
        EXPECT_FALSE(window.attachedSheet()) << c.title;
        EXPECT_EQ(Sheets::ownerCount(), 0u);
    }
    EXPECT_EQ(app->delegate->browsersPanel()->hookPort(), app->grid().hooks().port());
}

// Reopen from the history reopens the record with its conversation.
TEST_F(AppDelegateTest, HistoryReopensWithTheConversation) {
    launch();
    Store::ClosedTile record;
    record.title = "old work";
    record.name = "work";
    record.cwd = home.path() + "/work";
    record.claudeSessionId = "conversation-1";
    std::filesystem::create_directories(record.cwd);
    Store::shared().recordClosed(record);
    key(press("y", ctrlShift));
    ASSERT_TRUE(app->window().attachedSheet());
    app->window().attachedSheet()->sendKeyEvent(press("\r", 0, Key::returnKey));
    EXPECT_FALSE(app->window().attachedSheet());
    ASSERT_EQ(app->tiles.size(), 1u);
    EXPECT_EQ(app->tiles[0]->request.cwd, record.cwd);
    EXPECT_EQ(app->tiles[0]->request.resume, "conversation-1");
    // Open again, it has left the history.
    const auto& closed = Store::shared().closed();
    EXPECT_TRUE(std::none_of(closed.begin(), closed.end(), [](const auto& r) { return r.title == "old work"; }));
}

TEST_F(AppDelegateTest, CloseTileAsksWhileTheTileRuns) {
    launch();
    auto& live = openTile("live");
    auto& ended = openTile("ended", SessionStatus::exited);
    app->grid().focus(1);
    key(press("w", ctrlShift));
    EXPECT_FALSE(platform::ui::Modals::isShowing());
    EXPECT_EQ(app->grid().sessions().size(), 1u);
    EXPECT_EQ(Store::shared().closed().front().cwd, ended.request.cwd);

    app->grid().focus(0);
    key(press("w", ctrlShift));
    ASSERT_TRUE(app->modals().shownAlert());
    EXPECT_EQ(app->modals().shownAlert()->messageText, t("close_tile_q", {"live"}));
    app->modals().clickButton(1);
    EXPECT_EQ(live.kills, 0);
    key(press("w", ctrlShift));
    app->modals().clickButton(0);
    EXPECT_TRUE(app->grid().sessions().empty());
    EXPECT_EQ(Store::shared().closed().front().cwd, live.request.cwd);
    EXPECT_TRUE(Store::shared().openTiles().empty());
}

TEST_F(AppDelegateTest, GermanMenusAfterTheLanguageChanges) {
    launch();
    openTile("one");
    openTile("two");
    Lang::setCurrent(Lang::de);
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(Lang::didChange));
    app->loop.runPending();
    Lang::setCurrent(Lang::en);
    EXPECT_EQ(app->window().menuBar()->menus[0].title, *L10n::text("menu_session", Lang::de));
    EXPECT_TRUE(key(press("2", ctrlShift)));
    EXPECT_EQ(app->grid().activeId(), app->tiles[1]->id());
}

// A terminal keeps Tab and F10, so the bar's language and AI titles are in the Session menu too:
// either way of changing one shows in the other, in the store, and in the menu bar built anew.
TEST_F(AppDelegateTest, TheLanguageAndTheAiTitlesFromTheMenuBar) {
    launch();
    openTile("a");
    app->loop.runPending();
    platform::ui::Window& window = app->window();
    ASSERT_EQ(window.firstResponder(), &app->tiles[0]->view());
    BarView& bar = app->grid().bar();
    const bool initially = Store::shared().aiTitles();
    // The menu bar of the moment held while its item runs, as the key handling holds it.
    auto choose = [&](const std::string& title, std::optional<Lang> language = std::nullopt) {
        const std::shared_ptr<const platform::ui::MenuBar> menus = window.menuBar();
        const platform::ui::MenuItem* item = menus->itemWithTitle(title);
        ASSERT_TRUE(item) << title;
        if (language) item = &item->submenu.at(static_cast<size_t>(language->index()));
        EXPECT_TRUE(platform::ui::MenuBar::perform(*item));
    };
    auto aiItem = [&] { return *window.menuBar()->itemWithTitle(t("menu_ai_titles")); };
    EXPECT_EQ(aiItem().checked, initially);
    for (const bool on : {!initially, initially}) {
        choose(t("menu_ai_titles"));
        EXPECT_EQ(Store::shared().aiTitles(), on);
        EXPECT_EQ(bar.aiToggle().state() == platform::ui::Button::State::on, on);
        EXPECT_EQ(aiItem().checked, on);
    }
    // The bar's check box: the menu follows.
    bar.aiToggle().performClick();
    EXPECT_EQ(Store::shared().aiTitles(), !initially);
    EXPECT_EQ(aiItem().checked, !initially);
    app->grid().setAiTitles(initially);

    choose(t("language"), Lang::de);
    app->loop.runPending();
    EXPECT_EQ(Lang::current(), Lang::de);
    EXPECT_EQ(Store::shared().language(), "de");
    EXPECT_EQ(bar.languagePicker().indexOfSelectedItem(), Lang(Lang::de).index());
    EXPECT_EQ(window.menuBar()->menus[0].title, *L10n::text("menu_session", Lang::de));
    EXPECT_EQ(bar.aiToggle().title(), *L10n::text("ai_titles", Lang::de));
    // The keyboard stayed with the terminal.
    EXPECT_EQ(window.firstResponder(), &app->tiles[0]->view());
    choose(t("language"), Lang::en);
    EXPECT_EQ(Lang::current(), Lang::en);
    EXPECT_EQ(Store::shared().language(), "en");
    EXPECT_EQ(bar.languagePicker().indexOfSelectedItem(), 0);
}

TEST_F(AppDelegateTest, WindowTitleCountsWaitingTiles) {
    launch();
    auto& one = openTile("one");
    auto& two = openTile("two");
    EXPECT_EQ(app->window().title(), "Quiltdeck");
    one.setStatus(SessionStatus::waiting);
    two.setStatus(SessionStatus::waiting);
    EXPECT_EQ(app->window().title(), "Quiltdeck (2 waiting for you)");
    two.setStatus(SessionStatus::exited);
    EXPECT_EQ(app->window().title(), "Quiltdeck (1 waiting for you)");
    // The bar counts the same tiles.
    EXPECT_EQ(app->grid().bar().counts().text(), BarView::countsLine(2, 0, 1, 0).string());
}

// The guide comes from the bar's pill and from the Help menu, over any other sheet, and goes with
// its close button or Escape, wherever the keyboard is.
TEST_F(AppDelegateTest, GuideSheetFromTheBarAndTheMenu) {
    launch();
    auto& window = app->window();
    EXPECT_TRUE(app->grid().bar().guideButton().performClick());
    platform::ui::Window* sheet = window.attachedSheet();
    ASSERT_TRUE(sheet);
    EXPECT_EQ(sheet->title(), "Guide");
    EXPECT_EQ(sheet->identifier(), "bl.sheet");
    EXPECT_EQ(sheet->size(), (platform::gfx::Size{560, 640}));
    EXPECT_EQ(sheet, app->delegate->guide()->panel());

    // Escape pressed in the guide's own window.
    sheet->sendKeyEvent(press("\x1b", 0, Key::escape));
    EXPECT_EQ(window.attachedSheet(), nullptr);
    EXPECT_EQ(Sheets::ownerCount(), 0u);

    // Another sheet up: the guide ends it first.
    platform::ui::headless::HeadlessWindow other({300, 200}, 1);
    int otherEnded = 0;
    Sheets::present(other, window, nullptr, [&](int) { ++otherEnded; });
    platform::ui::MenuBar::perform(*window.menuBar()->itemWithTitle(t("menu_readme")));
    EXPECT_EQ(otherEnded, 1);
    ASSERT_TRUE(window.attachedSheet());
    EXPECT_EQ(window.attachedSheet()->title(), "Guide");
    app->delegate->guide()->closeButton()->performClick();
    EXPECT_EQ(window.attachedSheet(), nullptr);

    // A sheet that is not the application's own stays on Escape.
    platform::ui::headless::HeadlessWindow foreign({300, 200}, 1);
    window.beginSheet(foreign, nullptr);
    EXPECT_FALSE(key(press("\x1b", 0, Key::escape)));
    EXPECT_EQ(window.attachedSheet(), &foreign);
    window.endSheet(foreign);
}

TEST_F(AppDelegateTest, HelpMenuOpensDocumentsAndTheLog) {
    launch();
    const auto& bar = *app->window().menuBar();
    for (const char* title : {"Licence Agreement", "Privacy Notes", "Show Log", "About Quiltdeck"})
        platform::ui::MenuBar::perform(*bar.itemWithTitle(title));
    EXPECT_EQ(opened, (std::vector<std::string>{fileURL(Resources::folder() / "LICENSE.txt"),
                                                fileURL(Resources::folder() / "PRIVACY.md"), fileURL(Log::url())}));
    ASSERT_EQ(app->modals().abouts().size(), 1u);
    EXPECT_EQ(app->modals().abouts()[0].programName, "Quiltdeck");
    EXPECT_FALSE(bar.itemWithTitle("Check for Updates…")->enabled);
    // The active tile renames itself.
    EXPECT_TRUE(bar.itemWithTitle("Rename Tile")->enabled);
}

// About shows the program's own icon (the desktop may not know its name) and speaks the
// interface language, the toolkit's title and close button too.
TEST_F(AppDelegateTest, AboutShowsTheIconInTheInterfaceLanguage) {
    launch();
    struct Case {
        Lang lang;
        const char* title;
        const char* close;
    } const cases[] = {{Lang::en, "About Quiltdeck", "Close"}, {Lang::de, "Über Quiltdeck", "Schließen"},
                       {Lang::zh, "关于 Quiltdeck", "关闭"}};
    for (const Case& c : cases) {
        Lang::setCurrent(c.lang);
        app->delegate->perform(MenuCommand::about, 0);
        const platform::ui::AboutInfo& about = app->modals().abouts().back();
        EXPECT_EQ(about.windowTitle, c.title);
        EXPECT_EQ(about.closeTitle, c.close);
        EXPECT_EQ(about.comments, t("about_comment"));
        EXPECT_EQ(about.copyright, t("about_copyright"));
        ASSERT_TRUE(about.icon);
        EXPECT_EQ(about.icon->width, 128);
        EXPECT_EQ(about.icon->height, 128);
    }
    EXPECT_NE(app->modals().abouts()[0].comments, app->modals().abouts()[1].comments);
    Lang::setCurrent(Lang::en);
}

TEST_F(AppDelegateTest, AnotherStartPresentsTheWindow) {
    launch();
    app->application().delegate()->applicationShouldPresent();
    EXPECT_EQ(app->window().presentCount(), 2);
}

// --- Quit ----------------------------------------------------------------------------------------

TEST_F(AppDelegateTest, QuitWithOnlyExitedTilesEndsAtOnce) {
    launch();
    auto& ended = openTile("ended", SessionStatus::exited);
    auto& alsoEnded = openTile("also", SessionStatus::exited);
    key(press("q", ctrlShift));
    EXPECT_FALSE(platform::ui::Modals::isShowing());
    EXPECT_TRUE(app->application().terminated());
    EXPECT_EQ(ended.kills, 1);
    EXPECT_EQ(alsoEnded.kills, 1);
    // Exited tiles go to the history, and none is saved to reopen.
    EXPECT_EQ(Store::shared().closed()[0].cwd, alsoEnded.request.cwd);
    EXPECT_EQ(Store::shared().closed()[1].cwd, ended.request.cwd);
    EXPECT_TRUE(Store::shared().openTiles().empty());
}

TEST_F(AppDelegateTest, QuitWithLiveTilesAsksEachTime) {
    launch();
    auto& one = openTile("one");
    auto& two = openTile("two", SessionStatus::waiting);
    auto& ended = openTile("ended", SessionStatus::exited);
    key(press("q", ctrlShift));
    ASSERT_TRUE(app->modals().shownAlert());
    const auto alert = *app->modals().shownAlert();
    EXPECT_EQ(alert.messageText, "Quit Quiltdeck?");
    EXPECT_EQ(alert.informativeText, t("quit_info", {2}));
    EXPECT_EQ(alert.buttons, (std::vector<std::string>{"Quit", "Cancel"}));
    // A second request while it is up asks nothing more.
    key(press("q", ctrlShift));
    EXPECT_EQ(platform::ui::Modals::waiting(), 0u);
    app->modals().clickButton(1);
    EXPECT_FALSE(app->application().terminated());
    EXPECT_EQ(one.kills, 0);

    key(press("q", ctrlShift));
    ASSERT_TRUE(app->modals().shownAlert());
    app->modals().clickButton(0);
    EXPECT_TRUE(app->application().terminated());
    EXPECT_FALSE(app->delegate->quitConfirmed());
    for (auto* tile : {&one, &two, &ended}) EXPECT_EQ(tile->kills, 1);
    ASSERT_EQ(Store::shared().openTiles().size(), 2u);
    EXPECT_EQ(Store::shared().openTiles()[0].tileId, one.id());
    EXPECT_EQ(Store::shared().openTiles()[1].tileId, two.id());
    EXPECT_EQ(Store::shared().closed().front().cwd, ended.request.cwd);
    const std::string log = logged();
    EXPECT_TRUE(log.ends_with("  quit\n")) << log;
    EXPECT_EQ(log.find("CRASH"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(StateFolder::path() / "running"));
}

// Shells are not conversations: the question says they open again in their folders, and on a
// mixed wall says both.
TEST_F(AppDelegateTest, TheQuitQuestionSaysWhatBecomesOfShells) {
    const struct {
        Lang lang;
        int claude, shells;
        const char* starts;
        const char* holds;  // further on
    } cases[] = {
        {Lang::en, 2, 0, "2 tiles are running. Their conversations will be resumed", ""},
        {Lang::en, 0, 1, "1 shell is running. It opens again in its folder", ""},
        {Lang::en, 1, 2, "1 Claude session is running. Its conversation will be resumed",
         ".\n\n2 shells are running. They open again in their folders"},
        {Lang::ru, 3, 5, "Запущены 3 сессии Claude. Их разговоры продолжатся", "\n\nЗапущено 5 оболочек. Они снова откроются"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.lang.rawValue()) + " " + std::to_string(c.claude) + "+" + std::to_string(c.shells));
        Lang::setCurrent(c.lang);
        app.reset();
        Store::shared().setOpenTiles({});
        launch();
        for (int i = 0; i < c.claude + c.shells; ++i) openTile("t" + std::to_string(i), SessionStatus::busy, i >= c.claude);
        openTile("ended shell", SessionStatus::exited, true);
        key(press("q", ctrlShift));
        ASSERT_TRUE(app->modals().shownAlert());
        const std::string info = app->modals().shownAlert()->informativeText;
        EXPECT_TRUE(info.starts_with(c.starts)) << info;
        EXPECT_NE(info.find(c.holds), std::string::npos) << info;
        app->modals().clickButton(1);
    }
    Lang::setCurrent(Lang::en);
}

// While saves fail the quit question first tries once more, then says what a quit loses and why
// instead of what comes back, in the interface language; with nothing running it asks only then.
TEST_F(AppDelegateTest, TheQuitQuestionSaysWhatIsLostWhileSavesFail) {
    const struct {
        const char* name;
        Lang lang;
        int tiles;
        bool roomAtQuit;  // the disk has room again by the quit, before the store's own retry
        std::optional<std::string> info;  // none: quits without asking
    } cases[] = {
        {"full", Lang::en, 3, false,
         "The last changes could not be saved (the disk is full) and are lost if you quit now: the next time you open "
         "the app, your tiles and settings are as they were when last saved.\n\nWhatever runs in the tiles now is ended."},
        {"full, German", Lang::de, 1, false,
         "Die letzten Änderungen konnten nicht gespeichert werden (der Datenträger ist voll) und gehen verloren, wenn du "
         "jetzt beendest: Beim nächsten Öffnen der App sind deine Kacheln und Einstellungen so, wie sie zuletzt "
         "gespeichert wurden.\n\nWas jetzt in den Kacheln läuft, wird beendet."},
        {"full, nothing running", Lang::en, 0, false,
         "The last changes could not be saved (the disk is full) and are lost if you quit now: the next time you open "
         "the app, your tiles and settings are as they were when last saved."},
        {"room again", Lang::en, 3, true, t("quit_info", {3})},
        {"room again, nothing running", Lang::en, 0, true, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lang::setCurrent(c.lang);
        app.reset();
        Store::shared().setOpenTiles({});
        ASSERT_TRUE(Store::shared().flush());
        launch();
        failDurableWritesWith(ENOSPC);
        Store::shared().setAiTitles(false);
        for (int i = 0; i < c.tiles; ++i) openTile("t" + std::to_string(i));
        ASSERT_FALSE(Store::shared().flush());
        EXPECT_EQ(Store::shared().saveError(), ENOSPC);
        if (c.roomAtQuit) failDurableWritesWith(0);
        key(press("q", ctrlShift));
        failDurableWritesWith(0);
        ASSERT_EQ(app->modals().shownAlert().has_value(), c.info.has_value());
        EXPECT_EQ(app->application().terminated(), !c.info);
        if (c.info) {
            EXPECT_EQ(app->modals().shownAlert()->informativeText, *c.info);
            app->modals().clickButton(1);
        }
        // The last try reached the disk with every tile open at the quit.
        if (c.roomAtQuit) {
            EXPECT_EQ(Store::shared().saveError(), 0);
            EXPECT_EQ(Store::decode(testing::readFile(Store::shared().file()))->openTiles.size(), static_cast<size_t>(c.tiles));
        }
        Store::shared().setAiTitles(true);
        ASSERT_TRUE(Store::shared().flush());
    }
    Lang::setCurrent(Lang::en);
}

// Show Log opens the log; where no application opens it (a text handler that needs a terminal
// where there is none), its folder; where neither opens, an alert says where the log is.
// Every Help item that opens a file: where no application opens it, its folder; where neither
// opens, an alert that names the file and says where it is.
TEST_F(AppDelegateTest, HelpFilesFallBackToTheirFolderThenSayWhereTheyAre) {
    const struct {
        const char* item;
        std::filesystem::path file;
        std::string title;
    } items[] = {
        {"Show Log", Log::url(), "The log could not be opened"},
        {"Licence Agreement", Resources::folder() / "LICENSE.txt", "“Licence Agreement” could not be opened"},
        {"Third-Party Licences", Resources::folder() / "THIRD-PARTY-LICENSES.txt", "“Third-Party Licences” could not be opened"},
        {"Privacy Notes", Resources::folder() / "PRIVACY.md", "“Privacy Notes” could not be opened"},
    };
    launch();
    for (const auto& item : items) {
        const std::string file = fileURL(item.file), folder = fileURL(item.file.parent_path());
        const struct {
            const char* name;
            std::set<std::string> refused;
            std::vector<std::string> opened;
            bool alert;
        } cases[] = {
            {"handler", {}, {file}, false},
            {"no handler for the file", {file}, {folder}, false},
            {"nothing opens", {file, folder}, {}, true},
        };
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(item.item) + ": " + c.name);
            opened.clear();
            platform::ui::Workspace::setOpener([&](const std::string& url) {
                if (c.refused.contains(url)) return false;
                opened.push_back(url);
                return true;
            });
            platform::ui::MenuBar::perform(*app->window().menuBar()->itemWithTitle(item.item));
            EXPECT_EQ(opened, c.opened);
            ASSERT_EQ(app->modals().shownAlert().has_value(), c.alert);
            if (!c.alert) continue;
            EXPECT_EQ(app->modals().shownAlert()->messageText, item.title);
            EXPECT_NE(app->modals().shownAlert()->informativeText.find(item.file.string()), std::string::npos);
            app->modals().clickButton(0);
        }
    }
}

TEST_F(AppDelegateTest, CloseButtonAsksToQuitAndNeverClosesAlone) {
    const struct {
        bool live;
        std::optional<int> button;  // none: no alert expected
        bool terminated;
    } cases[] = {{true, 1, false}, {true, Alert::cancelled, false}, {true, 0, true}, {false, std::nullopt, true}};
    for (const auto& test : cases) {
        app.reset();
        Store::shared().setOpenTiles({});
        launch();
        openTile("tile", test.live ? SessionStatus::idle : SessionStatus::exited);
        ASSERT_TRUE(app->window().onCloseRequest);
        app->window().onCloseRequest();
        if (test.button) {
            ASSERT_TRUE(app->modals().shownAlert());
            app->modals().clickButton(*test.button);
        }
        // Confirmed once: the quit request that follows asks no more.
        EXPECT_FALSE(platform::ui::Modals::isShowing());
        EXPECT_EQ(app->application().terminated(), test.terminated);
        EXPECT_EQ(app->delegate->quitConfirmed(), test.terminated);
    }
}

TEST_F(AppDelegateTest, QuitWhileAnUpdateInstallsAsksNothing) {
    launch();
    openTile("live");
    Updater::shared().willInstallUpdate({"9.9"});
    key(press("q", ctrlShift));
    EXPECT_FALSE(platform::ui::Modals::isShowing());
    EXPECT_TRUE(app->application().terminated());
    // One that aborts asks again.
    app.reset();
    launch();
    openTile("live");
    Updater::shared().didAbortWithError("The update could not be installed");
    key(press("q", ctrlShift));
    EXPECT_TRUE(platform::ui::Modals::isShowing());
    EXPECT_FALSE(app->application().terminated());
}

TEST_F(AppDelegateTest, TerminationSignalsQuitWithoutAsking) {
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        app.reset();
        Store::shared().setOpenTiles({});
        launch();
        auto& live = openTile("live");
        app->application().handleSignal(signal);
        EXPECT_FALSE(platform::ui::Modals::isShowing());
        EXPECT_TRUE(app->application().terminated());
        EXPECT_EQ(app->application().exitCode(), 0);
        EXPECT_EQ(live.kills, 1);
        EXPECT_EQ(Store::shared().openTiles().size(), 1u);
    }
}

// Quit on another wall with a Main tile whose conversation is gone: its fresh start at the next
// launch happens out of sight, and the wall shown stays.
TEST_F(AppDelegateTest, AnAutomaticRestartAtLaunchKeepsTheWallShown) {
    launch();
    auto& main = openTile("main", SessionStatus::idle);
    main.request.resume = "gone-conversation";
    app->grid().addWall("Second");
    app->grid().showWall("Second");
    openTile("second", SessionStatus::idle);
    app->application().handleSignal(SIGTERM);
    ASSERT_EQ(Store::shared().openTiles().size(), 2u);
    ASSERT_EQ(Store::shared().currentWall(), "Second");

    app.reset();
    launch();
    ASSERT_EQ(app->tiles.size(), 2u);
    testing::FakeTile& restored = *app->tiles[0];
    const std::string secondId = app->tiles[1]->id();
    EXPECT_EQ(restored.wall(), "");
    EXPECT_EQ(app->grid().activeId(), secondId);
    ASSERT_TRUE(restored.onResumeFailed);
    restored.onResumeFailed();
    app->loop.runPending();

    ASSERT_EQ(app->tiles.size(), 3u);
    const testing::FakeTile& fresh = *app->tiles[2];
    EXPECT_EQ(fresh.request.resume, std::nullopt);
    EXPECT_EQ(fresh.wall(), "");
    EXPECT_EQ(app->grid().currentWall(), "Second");
    EXPECT_EQ(Store::shared().currentWall(), "Second");
    EXPECT_EQ(app->grid().activeId(), secondId);
    EXPECT_EQ(app->grid().tabs().current(), "Second");
    EXPECT_TRUE(app->grid().tile(fresh.id())->isHidden());
    Store::shared().setWalls({});
    Store::shared().setCurrentWall("");
}

// A state file that cannot be trusted is told at once and stays told in the bar; a good one
// shows nothing.
TEST_F(AppDelegateTest, AStateFileLeftAloneIsToldInTheWindow) {
    // No earlier run left unfinished: the alert of an unclean quit stays away.
    std::filesystem::remove(StateFolder::path() / "running");
    launch();
    app->loop.advance(2s);
    EXPECT_FALSE(app->modals().shownAlert());
    EXPECT_TRUE(app->grid().bar().notice().isHidden());

    testing::TempFolder folder;
    std::filesystem::create_directory(folder / "state.json");
    const Store broken(folder.path());
    app->delegate->showStateNotice(broken);
    ASSERT_TRUE(app->modals().shownAlert());
    EXPECT_EQ(app->modals().shownAlert()->messageText, t("state_ro_title"));
    EXPECT_NE(app->modals().shownAlert()->informativeText.find((folder / "state.json").string()), std::string::npos);
    app->modals().clickButton(0);
    EXPECT_FALSE(app->grid().bar().notice().isHidden());
    EXPECT_EQ(app->grid().bar().notice().text(), StateNotice::line(broken));
    // The keyboard's way to the whole line, and to a bar that says nothing.
    for (const bool says : {true, false}) {
        if (!says) app->delegate->showStateNotice(Store::shared());
        app->delegate->perform(MenuCommand::showBarMessage, 0);
        ASSERT_TRUE(app->modals().shownAlert());
        EXPECT_EQ(app->modals().shownAlert()->messageText, says ? *StateNotice::line(broken) : t("bar_message_none"));
        app->modals().clickButton(0);
    }
    EXPECT_TRUE(app->grid().bar().notice().isHidden());
}

// --- Snapshot mode -------------------------------------------------------------------------------

TEST_F(AppDelegateTest, SnapshotAfterTheDelay) {
    const struct {
        const char* delay;  // null: unset
        platform::runtime::Duration at;
    } cases[] = {{"2.5", 2500ms}, {" 2.5", 6000ms}, {"2.5s", 6000ms}, {nullptr, 6000ms}};
    for (const auto& test : cases) {
        const std::string path = home.path() + "/shot.png";
        std::filesystem::remove(path);
        ScopedVariable snapshot("QUILTDECK_SNAPSHOT", path);
        ScopedVariable delay("QUILTDECK_SNAPSHOT_DELAY", test.delay ? test.delay : "");
        if (!test.delay) ::unsetenv("QUILTDECK_SNAPSHOT_DELAY");
        app.reset();
        launch();
        auto& tile = openTile("tile");
        app->loop.advance(test.at - 10ms);
        EXPECT_FALSE(app->application().terminated()) << (test.delay ? test.delay : "unset");
        app->loop.advance(10ms);
        EXPECT_TRUE(app->application().terminated());
        EXPECT_EQ(app->application().exitCode(), 0);
        EXPECT_TRUE(std::filesystem::exists(path));
        EXPECT_EQ(tile.kills, 1);
        EXPECT_FALSE(std::filesystem::exists(StateFolder::path() / "running"));
    }
}

TEST_F(AppDelegateTest, SnapshotThatCannotBeWrittenExitsOne) {
    ScopedVariable snapshot("QUILTDECK_SNAPSHOT", home.path() + "/missing/shot.png");
    ScopedVariable delay("QUILTDECK_SNAPSHOT_DELAY", "1");
    launch();
    app->loop.advance(1s);
    EXPECT_TRUE(app->application().terminated());
    EXPECT_EQ(app->application().exitCode(), 1);
}

TEST_F(AppDelegateTest, SnapshotTabsStepMovesTheSecondTile) {
    for (const int count : {1, 2}) {
        ScopedVariable snapshot("QUILTDECK_SNAPSHOT", home.path() + "/shot.png");
        ScopedVariable action("QUILTDECK_SNAPSHOT_ACTION", "tabs");
        app.reset();
        launch();
        for (int i = 0; i < count; ++i) openTile("tile" + std::to_string(i));
        app->loop.advance(3s);
        for (auto* tile : app->tiles) {
            const bool moved = count == 2 && tile == app->tiles[1];
            EXPECT_EQ(tile->wall(), moved ? std::string(AppDelegate::snapshotWall) : "") << count;
        }
    }
}

// The sign-in the login step starts is cancelled with the rest at termination.
TEST_F(AppDelegateTest, SnapshotLoginStepSignsInAndQuitCancelsIt) {
    ScopedVariable snapshot("QUILTDECK_SNAPSHOT", home.path() + "/shot.png");
    ScopedVariable action("QUILTDECK_SNAPSHOT_ACTION", "login");
    launch();
    auto& setup = quiltdeck::Setup::shared();
    EXPECT_TRUE(setup.polling());
    EXPECT_TRUE(app->loop.runUntil([&] { return setup.stage() == quiltdeck::Setup::Stage::needsLogin; }, 60s));
    app->loop.advance(2s - 10ms);
    EXPECT_EQ(setup.job(), quiltdeck::Setup::Job::none);
    app->loop.advance(10ms);
    EXPECT_EQ(setup.job(), quiltdeck::Setup::Job::loggingIn);
    ASSERT_TRUE(app->loop.runUntil([&] { return setup.awaitingCode(); }, 60s));
    app->application().handleSignal(SIGTERM);
    EXPECT_NE(logged().find("login: cancelled"), std::string::npos);
    EXPECT_TRUE(app->loop.runUntil([&] { return setup.job() == quiltdeck::Setup::Job::none; }, 60s));
}

// Rename opens the title editor of the active tile; with no tile it does nothing.
TEST_F(AppDelegateTest, RenameOpensTheActiveTilesEditor) {
    launch();
    const auto* item = app->window().menuBar()->itemWithTitle(t("menu_rename"));
    ASSERT_TRUE(item);
    EXPECT_TRUE(app->delegate->isEnabled(MenuCommand::renameTile));
    platform::ui::MenuBar::perform(*item);
    openTile("a");
    openTile("b");
    platform::ui::MenuBar::perform(*item);
    const auto id = app->grid().activeId();
    ASSERT_TRUE(id);
    for (WallTile* tile : app->grid().sessions())
        EXPECT_EQ(app->grid().tile(tile->id())->isRenaming(), tile->id() == *id) << tile->name();
    app->grid().tile(*id)->endRename(false);
}

// From launch, by keys alone: F10 (while no view takes it) and Ctrl+Shift+M open the menu bar,
// Ctrl+Shift+L the look popover of the tile that has the keyboard, on its dot.
TEST_F(AppDelegateTest, TheMenuBarAndTheTileLookFromTheKeyboard) {
    launch();
    platform::ui::Window& window = app->window();
    EXPECT_TRUE(window.sendKeyEvent(press("", 0, static_cast<Key>(static_cast<uint16_t>(Key::f1) + 9))));
    EXPECT_EQ(window.menuBarOpenings(), 1);
    EXPECT_TRUE(key(press("l", ctrlShift)));
    EXPECT_FALSE(app->grid().lookPopover());
    openTile("a");
    openTile("b");
    app->grid().focus(0);
    app->loop.runPending();
    ASSERT_EQ(window.firstResponder(), &app->tiles[0]->view());
    EXPECT_TRUE(key(press("m", ctrlShift)));
    EXPECT_EQ(window.menuBarOpenings(), 2);
    EXPECT_TRUE(key(press("l", ctrlShift)));
    ASSERT_TRUE(app->grid().lookPopover());
    EXPECT_TRUE(app->grid().lookPopover()->popover().isShown());
    TileView* card = app->grid().tile(app->tiles[0]->id());
    EXPECT_EQ(app->grid().lookPopover()->popover().anchor(), card->dot().convertToWindow(card->dot().bounds()));
}

// An ended tile's buttons by keys alone: the keyboard moves from its terminal to its first button
// (which a key typed ahead does not press), Tab and Shift+Tab go between the two, F10 opens the menu bar, Return presses the button that has
// the keyboard. The Session menu offers both for the active tile, greyed while it has not ended.
TEST_F(AppDelegateTest, AnEndedTilesButtonsFromTheKeysAndTheMenu) {
    launch();
    platform::ui::Window& window = app->window();
    auto enabled = [&](const char* key) { return window.menuBar()->itemWithTitle(t(key))->enabled; };
    testing::FakeTile& a = openTile("a");
    a.request.resume = "conv-a";
    testing::FakeTile& b = openTile("b");
    app->grid().focus(0);
    app->loop.runPending();
    ASSERT_EQ(window.firstResponder(), &a.view());
    EXPECT_FALSE(enabled("menu_resume") || enabled("menu_restart"));
    a.setStatus(SessionStatus::exited);
    app->loop.runPending();
    TileView& card = *app->grid().tile(a.id());
    EXPECT_EQ(window.firstResponder(), &card.resumeButton());
    EXPECT_TRUE(enabled("menu_resume") && enabled("menu_restart"));
    // A Return typed ahead into the terminal as it ended presses nothing.
    const size_t opened = app->tiles.size();
    EXPECT_TRUE(window.sendKeyEvent(press("\r", 0, Key::returnKey)));
    app->loop.runPending();
    EXPECT_EQ(app->tiles.size(), opened);
    app->loop.advance(TileView::veilKeysDelay);
    const Key f10 = static_cast<Key>(static_cast<uint16_t>(Key::f1) + 9);
    const std::pair<KeyEvent, platform::ui::View*> steps[] = {
        {press("\t", 0, Key::tab), &card.restartButton()}, {press("\t", 0, Key::tab), &card.resumeButton()},
        {press("\t", Modifier::shift, Key::tab), &card.restartButton()}, {press("", 0, f10), &card.restartButton()},
        {press("\t", Modifier::shift, Key::tab), &card.resumeButton()}};
    for (const auto& [key, to] : steps) {
        EXPECT_TRUE(window.sendKeyEvent(key));
        EXPECT_EQ(window.firstResponder(), to);
    }
    EXPECT_EQ(window.menuBarOpenings(), 1);
    // Return continues the conversation in a tile of its own, which gets the keyboard.
    EXPECT_TRUE(window.sendKeyEvent(press("\r", 0, Key::returnKey)));
    app->loop.runPending();
    EXPECT_EQ(app->tiles.back()->request.resume, "conv-a");
    EXPECT_EQ(window.firstResponder(), &app->tiles.back()->view());
    // Start Fresh from the menu on the other once it has ended; with no conversation to continue,
    // that item stays greyed.
    app->grid().focus(1);
    b.setStatus(SessionStatus::exited);
    app->loop.runPending();
    EXPECT_FALSE(enabled("menu_resume"));
    const std::string ended = b.id();
    platform::ui::MenuBar::perform(*window.menuBar()->itemWithTitle(t("menu_restart")));
    app->loop.runPending();
    EXPECT_FALSE(app->grid().session(ended));
    EXPECT_EQ(app->grid().sessions().size(), 2u);
}

}  // namespace
}  // namespace quiltdeck
