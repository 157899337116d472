// What the wall shows after it was drawn piece by piece (zooms, floods, resizes) equals what a
// whole drawing of the same state shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "quiltdeck/panels/OnboardingView.h"
#include "quiltdeck/panels/ScriptedSetupProbe.h"
#include "quiltdeck/wall/WallRedrawSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::gfx::Size;
using platform::ui::View;
using testing::PacedWindow;
using testing::WallPair;

// Screens of programs a wall holds: an editor, a process table, a listing, a prompt.
const char* const editorScreen =
    "\x1b[?1049h\x1b[H\x1b[2J\x1b[1;1H#include <stdio.h>\r\n\r\nint main(void) {\r\n    puts(\"hi\");\r\n}\r\n"
    "\x1b[34m~\r\n~\r\n~\r\n~\r\n~\x1b[m\x1b[30;1H\x1b[7m main.c   [+]          5,1    All \x1b[m\x1b[4;5H";
const char* const tableScreen =
    "\x1b[H\x1b[2Jtop - 10:00:01 up 1 day,  load average: 0.52\r\n\x1b[7m  PID USER   %CPU COMMAND      \x1b[m\r\n"
    "  101 me      3.0 quiltdeck\r\n  202 me      1.2 bash\r\n";
const char* const listingScreen =
    "$ ls -la\r\ntotal 12\r\ndrwxr-xr-x 2 me me 4096 .\r\n\x1b[1;34mdrwxr-xr-x\x1b[m 9 me me 4096 ..\r\n"
    "-rw-r--r-- 1 me me  220 .profile\r\n$ ";

// The backing scale, and the theme: the light one lays a dark terminal on a light card.
struct Look {
    double scale;
    bool dark;
    friend void PrintTo(const Look& look, std::ostream* out) { *out << look.scale << (look.dark ? " dark" : " light"); }
};

class WallRedraw : public testing::WallTest, public ::testing::WithParamInterface<Look> {
protected:
    WallRedraw() {
        Theme::setMode(GetParam().dark ? ThemeMode::dark : ThemeMode::light);
        Theme::resolve();
    }
    // Six tiles flooding: lines of numbers (seq), of y (yes), some in colour.
    void flood(WallPair& wall, int tick) {
        for (size_t t = 0; t < 6; ++t) {
            std::string bytes;
            for (int i = 0; i < 7 + int(t) * 3; ++i) {
                const int n = tick * 40 + i;
                if (t % 3 == 0) bytes += std::to_string(n) + "\r\n";
                else if (t % 3 == 1) bytes += "y\r\n";
                else bytes += "\x1b[3" + std::to_string(1 + n % 6) + "mline " + std::to_string(n) + "\x1b[m\r\n";
            }
            wall.feed(t, bytes);
        }
    }
    // Floods for a while at a pace that varies, then lets the wall come to rest.
    void run(WallPair& wall, platform::runtime::Duration time) {
        const auto end = loop.now() + time;
        while (loop.now() < end) {
            flood(wall, ticks++);
            loop.advance(std::chrono::milliseconds(3 + ticks % 17));
        }
        loop.advance(600ms);
    }
    int ticks = 0;
};

// Twelve tiles, six of them flooding, zoomed and un-zoomed one after another at varied intervals
// (another tile zoomed over a zoomed one too, a tile opened while one is zoomed), the window
// resized in between.
TEST_P(WallRedraw, ZoomsAmongFloodingTilesLeaveWhatAWholeDrawingShows) {
    WallPair wall(loop, folder.path(), Size{1720, 1080}, GetParam().scale);
    for (int i = 0; i < 12; ++i) {
        wall.open("tile" + std::to_string(i + 1));
        // A steady caret: a fading one differs between any two moments.
        wall.feed(size_t(i), "\x1b[2 q");
    }
    wall.feed(6, editorScreen);
    wall.feed(7, tableScreen);
    wall.feed(8, listingScreen);
    wall.feed(9, "$ ");
    wall.feed(10, editorScreen);
    wall.feed(11, listingScreen);
    run(wall, 200ms);
    ASSERT_EQ(wall.differences("start"), 0);
    constexpr int unzoom = -1, open = -2;
    struct Step {
        int zoom;  // the tile zoomed, or unzoom, or open: a new tile, which takes the zoom
        int millis;
        bool resize = false;
    };
    const Step steps[] = {
        {0, 2000}, {unzoom, 1900}, {6, 2100}, {unzoom, 300}, {3, 90}, {unzoom, 40}, {10, 1200}, {7, 700},
        {unzoom, 2000}, {1, 500, true}, {unzoom, 150}, {8, 2000}, {2, 60}, {unzoom, 1800}, {11, 250},
        {unzoom, 2200}, {4, 1000}, {open, 600}, {unzoom, 30}, {9, 2000}, {unzoom, 2000}, {5, 400}, {unzoom, 1000},
    };
    int n = 0;
    for (const Step& step : steps) {
        const std::string label = "step" + std::to_string(++n);
        SCOPED_TRACE(label);
        if (step.resize) wall.resize(Size{1500, 940});
        if (step.zoom >= 0) {
            wall.zoom(size_t(step.zoom));
        } else if (step.zoom == open) {
            wall.open("tile" + std::to_string(n));
            wall.feed(wall.drawn.tiles.size() - 1, "\x1b[2 q$ ");
        } else {
            wall.unzoom();
        }
        run(wall, std::chrono::milliseconds(step.millis));
        EXPECT_EQ(wall.differences(label), 0);
    }
}

// A key typed into a tile while others flood: the window may draw the tile's echo alone and the
// rest in the next frame. A zoom, an un-zoom or a resize comes once the echo is asked for, or once
// it was drawn alone: the tile stands on fractions of a pixel, and the blur over the wall is shown
// over lines that have not reached the window's surface yet.
TEST_P(WallRedraw, AKeyTypedAmongFloodingTilesAndAZoomLeaveWhatAWholeDrawingShows) {
    constexpr int none = -1, resize = -2;
    struct Case {
        const char* name;
        int zoomedBefore;  // the tile zoomed before the key, or none
        int then;          // the tile zoomed after the key, or none (un-zoom), or resize
        // After the pass that drew the echo alone (never while a blur shows), or as soon as the
        // echo is asked for.
        bool echoDrawn;
    } cases[] = {
        {"zoom", none, 2, true},
        {"zoom as the echo is asked", none, 2, false},
        {"zoom the typed tile", none, 7, true},
        {"un-zoom as the echo is asked", 3, none, false},
        {"zoom another", 3, 0, false},
        {"resize", none, resize, true},
        {"resize as the echo is asked", none, resize, false},
        {"resize zoomed", 1, resize, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WallPair wall(loop, folder.path(), Size{1366, 868}, GetParam().scale);
        auto& paced = static_cast<PacedWindow&>(*wall.drawn.window);
        paced.setDrawsTypingFirst(true);
        for (int i = 0; i < 8; ++i) {
            wall.open("tile" + std::to_string(i + 1));
            wall.feed(size_t(i), "\x1b[2 q");
        }
        wall.feed(6, editorScreen);
        wall.feed(7, "$ ");
        if (c.zoomedBefore != none) wall.zoom(size_t(c.zoomedBefore));
        run(wall, 300ms);
        const vantel::TerminalView& typed = wall.drawn.tiles.at(7)->screen;
        auto near = [&](const View& v, const platform::gfx::Rect& r) {
            const platform::gfx::Rect f = v.convertToWindow(v.bounds());
            return platform::gfx::Rect{f.x - 2, f.y - 2, f.width + 4, f.height + 4}.contains(r);
        };
        // The last pass drew the echo alone, and lines of the floods wait for the next one.
        auto echoDrawnAlone = [&] {
            const auto& drawn = paced.lastDisplayedRects();
            if (drawn.empty() || !std::all_of(drawn.begin(), drawn.end(), [&](const auto& r) { return near(typed, r); })) {
                return false;
            }
            for (size_t f = 0; f < 6; ++f) {
                const View& screen = wall.drawn.tiles.at(f)->screen;
                for (const auto& d : paced.dirtyRects()) {
                    const auto piece = d.intersection(screen.convertToWindow(screen.bounds()));
                    if (piece.width >= 100 && piece.height >= 10) return true;
                }
            }
            return false;
        };
        auto echoAsked = [&] {
            const auto& dirty = paced.dirtyRects();
            const platform::gfx::Rect t = typed.convertToWindow(typed.bounds());
            return std::any_of(dirty.begin(), dirty.end(), [&](const auto& r) { return r.intersects(t); });
        };
        // The floods' last lines, then the key and its echo a little later, until the moment comes.
        bool came = false;
        for (int later = 0; later < 34 && !came; later += 3) {
            flood(wall, ticks++);
            loop.advance(std::chrono::milliseconds(later));
            for (testing::ScreenWall* w : {&wall.drawn, &wall.fresh}) {
                w->window->makeFirstResponder(&w->tiles.at(7)->screen);
                platform::ui::KeyEvent key;
                key.key = platform::ui::Key::character;
                key.characters = key.charactersIgnoringModifiers = "k";
                w->window->sendKeyEvent(key);
            }
            wall.feed(7, "k");
            for (int ms = 0; ms < 60 && !came; ++ms) {
                loop.advance(1ms);
                came = c.echoDrawn ? echoDrawnAlone() : echoAsked();
            }
            if (!came) loop.advance(1100ms);
        }
        EXPECT_TRUE(came);
        if (c.then == resize) wall.resize(Size{1280, 800});
        else if (c.then == none) wall.unzoom();
        else wall.zoom(size_t(c.then));
        loop.advance(900ms);
        EXPECT_EQ(wall.differences(std::string("typed-") + c.name), 0);
    }
}

// A zoomed terminal sits on fractions of a pixel: rows that change together, a row that changes
// alone and the caret that blinks are drawn again by themselves and leave nothing of what the
// pixels held before, zoomed at the sizes the grip gives it and back in its slot.
TEST_P(WallRedraw, RowsDrawnAloneAtFractionalPlacesLeaveNoSeams) {
    for (const double zoomScale : {0.5, 0.75, 1.0, 1.3, 1.6}) {
        SCOPED_TRACE(zoomScale);
        const std::string at = std::to_string(int(zoomScale * 100)) + "-";
        Store::shared().setZoomScale(zoomScale);
        WallPair wall(loop, folder.path(), Size{1366, 868}, GetParam().scale);
        for (int i = 0; i < 3; ++i) wall.open("tile" + std::to_string(i + 1));
        // A blinking caret; rows of text on the ground, one on a ground of its own.
        wall.feed(1, "\x1b[1 q$ ls\r\nalpha  beta  gamma\r\n\x1b[44mon blue\x1b[K\x1b[m\r\ndelta\r\n$ ");
        auto blinkAndCompare = [&](const std::string& label) {
            // Rows in white go back to the ground together, then one row changes; the caret blinks
            // over them for a while.
            wall.feed(1, "\x1b[s\x1b[H\x1b[7m" + std::string(12, 'W') + "\x1b[K\r\n" + std::string(12, 'W') +
                             "\x1b[K\r\n\x1b[K\r\n\x1b[K\r\n\x1b[K\r\n\x1b[K\x1b[m\x1b[u");
            loop.advance(100ms);
            wall.feed(1, "\x1b[s\x1b[H\x1b[K\r\n\x1b[K\r\n\x1b[K\r\n\x1b[K\r\n\x1b[K\r\n\x1b[K\x1b[u");
            loop.advance(100ms);
            wall.feed(1, "\x1b[s\x1b[2;1Halpha  beta  gamma " + label + "\x1b[K\x1b[u");
            loop.advance(2300ms);
            // The caret's fade is drawn as it stands now in both.
            for (testing::ScreenWall* w : {&wall.drawn, &wall.fresh}) {
                w->tiles.at(1)->screen.caretView()->setNeedsDisplay();
            }
            EXPECT_EQ(wall.differences(at + label), 0) << label;
        };
        loop.advance(600ms);
        wall.zoom(1);
        loop.advance(600ms);
        EXPECT_EQ(wall.differences(at + "zoomed"), 0);
        blinkAndCompare("zoomed-row");
        wall.unzoom();
        loop.advance(600ms);
        EXPECT_EQ(wall.differences(at + "unzoomed"), 0);
        blinkAndCompare("unzoomed-row");
    }
}

// With one tile on the wall the setup card is hidden: zoomed over where it stood, the tile shows
// nothing of it however the pointer makes the window draw, and a press where its button was
// reaches the terminal.
TEST_P(WallRedraw, AHiddenCardShowsNothingThroughAZoomedTile) {
    // The CLI is not installed: the card offers to install it.
    auto script = std::make_shared<testing::ScriptedProbe::Script>();
    script->last = {{false, false, std::nullopt, std::nullopt}, true};
    Setup::setShared(Setup::make(std::make_unique<testing::ScriptedProbe>(script)));
    Setup::shared().start();
    ASSERT_TRUE(loop.runUntil(
        [] { return !Setup::shared().checking() && Setup::shared().stage() == Setup::Stage::needsInstall; }, 10s));
    struct SetupGoes {
        platform::runtime::VirtualMainLoop& loop;
        ~SetupGoes() {
            loop.runUntil([] { return !Setup::shared().checking(); }, 10s);
            Setup::setShared(nullptr);
        }
    } setupGoes{loop};
    WallPair wall(loop, folder.path(), Size{1366, 868}, GetParam().scale);
    int installs = 0;
    for (testing::ScreenWall* w : {&wall.drawn, &wall.fresh}) {
        w->grid->emptyCard().step(OnboardingView::install).button.setAction([&](auto&) { ++installs; });
    }
    loop.advance(600ms);
    platform::ui::Button& install = wall.drawn.grid->emptyCard().step(OnboardingView::install).button;
    ASSERT_FALSE(install.isHidden());
    const platform::gfx::Rect button = install.convertToWindow(install.bounds());
    const platform::gfx::Point was{button.x + button.width / 2, button.y + button.height / 2};
    wall.open("shell");
    wall.feed(0, "\x1b[2 q$ echo hello\r\nhello\r\n$ ");
    loop.advance(600ms);
    ASSERT_TRUE(wall.drawn.grid->emptyCard().isHidden());
    wall.zoom(0);
    loop.advance(600ms);
    vantel::TerminalView& terminal = wall.drawn.tiles.at(0)->screen;
    const platform::gfx::Rect tile = terminal.convertToWindow(terminal.bounds());
    ASSERT_TRUE(tile.intersects(platform::gfx::Rect{was.x, was.y, 1, 1}));
    auto send = [&](platform::ui::MouseEvent::Type type, platform::gfx::Point at) {
        platform::ui::MouseEvent e;
        e.type = type;
        e.locationInWindow = at;
        e.timestamp = loop.now().time_since_epoch().count() / 1e9;
        for (testing::ScreenWall* w : {&wall.drawn, &wall.fresh}) w->window->sendMouseEvent(e);
    };
    // Across the tile and over where the card's rows stood, a frame at a time.
    for (int i = 0; i <= 40; ++i) {
        const double t = i / 40.0;
        send(platform::ui::MouseEvent::Type::moved,
             {tile.minX() + t * tile.width, was.y + (i % 2 ? -1 : 1) * (20 + 60 * t)});
        loop.advance(17ms);
    }
    send(platform::ui::MouseEvent::Type::moved, was);
    loop.advance(600ms);
    EXPECT_EQ(wall.differences("pointer-over-card"), 0);
    EXPECT_EQ(wall.drawn.window->viewUnderPointer(), &terminal);
    send(platform::ui::MouseEvent::Type::down, was);
    EXPECT_EQ(wall.drawn.window->mouseDownView(), &terminal);
    send(platform::ui::MouseEvent::Type::up, was);
    loop.advance(600ms);
    EXPECT_EQ(installs, 0);
    EXPECT_EQ(wall.differences("pressed-over-card"), 0);
}

INSTANTIATE_TEST_SUITE_P(Looks, WallRedraw, ::testing::Values(Look{1, true}, Look{1, false}, Look{2, false}));

}  // namespace
}  // namespace quiltdeck
