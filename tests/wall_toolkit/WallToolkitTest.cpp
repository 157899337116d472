// The wall in a real toolkit window on the virtual display, beside a headless twin that gets the
// same tiles, bytes and commands and is drawn whole from nothing when compared: what reaches the X
// window after zooms among flooding tiles, and what a zoomed tile shows over the hidden setup card.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/gtk/Toolkit.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/OnboardingView.h"
#include "quiltdeck/panels/ScriptedSetupProbe.h"
#include "quiltdeck/wall/WallRedrawSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::gfx::Point;
using platform::gfx::Rect;
using platform::gfx::Size;
using platform::runtime::MainLoop;
using platform::ui::gtk::ToolkitWindow;
using testing::WallPair;

// What the X server shows of the window's drawing area, the toolkit's widgets over it included.
platform::gfx::Image onScreen(ToolkitWindow& window) {
    GtkWidget* area = window.contentWidget();
    GtkWidget* top = gtk_widget_get_toplevel(area);
    int x = 0, y = 0;
    gtk_widget_translate_coordinates(area, top, 0, 0, &x, &y);
    const int width = static_cast<int>(window.size().width), height = static_cast<int>(window.size().height);
    platform::gfx::Image image{width, height, {}};
    GdkWindow* native = gtk_widget_get_window(top);
    GdkPixbuf* shot = native ? gdk_pixbuf_get_from_window(native, x, y, width, height) : nullptr;
    if (!shot) return {};
    const int stride = gdk_pixbuf_get_rowstride(shot), channels = gdk_pixbuf_get_n_channels(shot);
    const guchar* data = gdk_pixbuf_read_pixels(shot);
    image.pixels.reserve(static_cast<size_t>(width) * static_cast<size_t>(height));
    for (int row = 0; row < height; ++row) {
        for (int col = 0; col < width; ++col) {
            const guchar* p = data + row * stride + col * channels;
            image.pixels.push_back(0xff000000u | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2]);
        }
    }
    g_object_unref(shot);
    return image;
}

// The rows of a picture from `top` down, `height` of them: the wall under the bar and the tab bar,
// whose controls are the toolkit's widgets, not the surface's pixels.
platform::gfx::Image rows(const platform::gfx::Image& image, int top, int height) {
    platform::gfx::Image cut{image.width, height, {}};
    if (top < 0 || height < 0 || top + height > image.height) return cut;
    cut.pixels.assign(image.pixels.begin() + static_cast<ptrdiff_t>(top) * image.width,
                      image.pixels.begin() + static_cast<ptrdiff_t>(top + height) * image.width);
    return cut;
}

// A point of the window (y up) on the screen, for the pointer.
Point onTheScreen(ToolkitWindow& window, Point p) {
    GtkWidget* area = window.contentWidget();
    gint x = 0, y = 0;
    gdk_window_get_origin(gtk_widget_get_window(area), &x, &y);
    return {x + p.x, y + window.size().height - p.y};
}

// Moves the pointer as the user does (through the X server), or presses or releases its button
// where it is.
void pointer(const std::string& what, Point p = {}) {
    char command[128];
    if (what.empty()) {
        std::snprintf(command, sizeof command, "xdotool mousemove --sync %d %d", static_cast<int>(p.x), static_cast<int>(p.y));
    } else {
        std::snprintf(command, sizeof command, "xdotool %s", what.c_str());
    }
    ASSERT_EQ(std::system(command), 0) << command;
}

void runFor(platform::runtime::Duration time) { MainLoop::main().runUntil([] { return false; }, time); }

class WallToolkit : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        int argc = 0;
        ASSERT_TRUE(platform::ui::gtk::Toolkit::start(&argc, nullptr)) << "no display";
    }
    WallToolkit() { testing::resetWallState(); }

    static std::unique_ptr<platform::ui::Window> shown(Size size) {
        auto window = std::make_unique<ToolkitWindow>(size, "wall toolkit test");
        window->show();
        return window;
    }
    // The wall's rows of a picture of the window: under the bar and the tab bar.
    static platform::gfx::Image wallOf(const WallPair& wall, const platform::gfx::Image& image) {
        const Rect area = wall.drawn.grid->scrim().frame();
        return rows(image, static_cast<int>(area.y), static_cast<int>(area.height));
    }
    // Until nothing is left to draw and the screen shows the surface on the wall; what still differs.
    static int settle(const WallPair& wall) {
        auto& window = static_cast<ToolkitWindow&>(*wall.drawn.window);
        int wrong = -1;
        MainLoop::main().runUntil(
            [&] {
                if (window.needsDisplay()) return false;
                const auto screen = wallOf(wall, onScreen(window)), surface = wallOf(wall, window.surface().image());
                if (screen.pixels.size() != surface.pixels.size()) return false;
                wrong = 0;
                for (size_t i = 0; i < screen.pixels.size(); ++i) wrong += screen.pixels[i] != (surface.pixels[i] | 0xff000000u);
                return wrong == 0;
            },
            3s);
        if (wrong != 0) WallPair::keepPictures("toolkit-screen", onScreen(window), window.surface().image());
        return wrong;
    }

    testing::TempFolder folder;
};

// Twelve tiles, six of them flooding, zoomed and un-zoomed at varied intervals, the window resized
// in between: once the output stops, the X window shows the surface, and the surface what a whole
// drawing of the same state shows.
TEST_F(WallToolkit, ZoomsAmongFloodingTilesReachTheWindowAsAWholeDrawing) {
    WallPair wall(MainLoop::main(), folder.path(), Size{1366, 868}, 1, shown(Size{1366, 868}));
    auto& window = static_cast<ToolkitWindow&>(*wall.drawn.window);
    for (int i = 0; i < 12; ++i) {
        wall.open("tile" + std::to_string(i + 1));
        wall.feed(size_t(i), "\x1b[2 q");
    }
    wall.feed(6, "\x1b[?1049h\x1b[H\x1b[2Jint main(void) {\r\n}\r\n\x1b[34m~\r\n~\x1b[m\x1b[8;1H\x1b[7m main.c  All \x1b[m");
    wall.feed(7, "$ ls -la\r\ntotal 12\r\n-rw-r--r-- 1 me me 220 .profile\r\n$ ");
    int tick = 0;
    auto run = [&](int millis) {
        const auto end = MainLoop::main().now() + std::chrono::milliseconds(millis);
        while (MainLoop::main().now() < end) {
            for (size_t t = 0; t < 6; ++t) {
                std::string bytes;
                for (int i = 0; i < 4 + int(t); ++i) {
                    bytes += "\x1b[3" + std::to_string(1 + (tick + i) % 6) + "m" + std::to_string(tick * 10 + i) + " y\x1b[m\r\n";
                }
                wall.feed(t, bytes);
            }
            ++tick;
            runFor(std::chrono::milliseconds(4 + tick % 13));
        }
        runFor(700ms);
    };
    run(300);
    ASSERT_EQ(settle(wall), 0) << "the first frames";
    struct Step {
        int zoom;  // the tile zoomed, or -1: un-zoom
        int millis;
        bool resize = false;
    };
    const Step steps[] = {
        {0, 1500}, {-1, 1200}, {6, 90}, {-1, 40}, {3, 700}, {10, 250}, {-1, 1500}, {1, 400, true}, {-1, 150},
        {7, 1200}, {2, 60}, {-1, 900}, {11, 300}, {-1, 1400}, {4, 500}, {-1, 30}, {9, 1100}, {-1, 800},
        {5, 200}, {-1, 1000},
    };
    int n = 0;
    for (const Step& step : steps) {
        const std::string label = "toolkit-step" + std::to_string(++n);
        SCOPED_TRACE(label);
        if (step.resize) {
            gtk_window_resize(window.nativeWindow(), 1180, 760);
            ASSERT_TRUE(MainLoop::main().runUntil([&] { return window.size() == Size{1180, 760}; }, 5s));
            wall.fresh.window->setSize(window.size());
        }
        if (step.zoom >= 0) wall.zoom(size_t(step.zoom));
        else wall.unzoom();
        run(step.millis);
        EXPECT_EQ(settle(wall), 0) << "the window shows the surface";
        const auto drawn = wallOf(wall, window.surface().image()), whole = wallOf(wall, wall.freshPicture());
        EXPECT_EQ(WallPair::beyondEdges(drawn, whole), 0);
        if (WallPair::beyondEdges(drawn, whole) != 0) WallPair::keepPictures(label, drawn, whole);
    }
}

// With one tile on the wall the setup card is hidden. The tile zoomed over where the card stood
// and the window brought to the front (as a press on a tile of a window in the background does),
// the window shows nothing of the card's widgets however the pointer moves, and a drag from where
// its button was selects in the terminal.
TEST_F(WallToolkit, AHiddenCardShowsNothingThroughAZoomedTile) {
    auto script = std::make_shared<testing::ScriptedProbe::Script>();
    script->last = {{false, false, std::nullopt, std::nullopt}, true};
    Setup::setShared(Setup::make(std::make_unique<testing::ScriptedProbe>(script)));
    Setup::shared().start();
    ASSERT_TRUE(MainLoop::main().runUntil(
        [] { return !Setup::shared().checking() && Setup::shared().stage() == Setup::Stage::needsInstall; }, 10s));
    struct SetupGoes {
        ~SetupGoes() {
            MainLoop::main().runUntil([] { return !Setup::shared().checking(); }, 10s);
            Setup::setShared(nullptr);
        }
    } setupGoes;
    {
        WallPair wall(MainLoop::main(), folder.path(), Size{1366, 868}, 1, shown(Size{1366, 868}));
        auto& window = static_cast<ToolkitWindow&>(*wall.drawn.window);
        int installs = 0;
        for (testing::ScreenWall* w : {&wall.drawn, &wall.fresh})
            w->grid->emptyCard().step(OnboardingView::install).button.setAction([&](auto&) { ++installs; });
        platform::ui::Button& install = wall.drawn.grid->emptyCard().step(OnboardingView::install).button;
        // The card's widgets are made and shown (the toolkit draws them, not the surface).
        ASSERT_TRUE(MainLoop::main().runUntil([&] { return install.peer() != nullptr && !window.needsDisplay(); }, 5s));
        runFor(300ms);
        const Rect button = install.convertToWindow(install.bounds());
        const Point was{button.x + button.width / 2, button.y + button.height / 2};

        wall.open("shell");
        wall.feed(0, "\x1b[2 q$ echo hello\r\nhello\r\n$ ");
        runFor(300ms);
        ASSERT_TRUE(wall.drawn.grid->emptyCard().isHidden());
        wall.zoom(0);
        runFor(700ms);
        ASSERT_EQ(settle(wall), 0);
        // Brought to the front while nothing changes on the wall (the caret is steady).
        window.present();
        runFor(300ms);
        vantel::TerminalView& terminal = wall.drawn.tiles.at(0)->screen;
        const Rect tile = terminal.convertToWindow(terminal.bounds());
        ASSERT_TRUE(tile.intersects(Rect{was.x, was.y, 1, 1}));
        // Across the tile, over where the card's rows and its footer stood.
        for (int i = 0; i <= 24; ++i) {
            const double t = i / 24.0;
            pointer("", onTheScreen(window, {tile.minX() + 20 + t * (tile.width - 40), was.y + (i % 2 ? -1 : 1) * (20 + 90 * t)}));
            runFor(20ms);
        }
        pointer("", onTheScreen(window, was));
        runFor(500ms);
        EXPECT_EQ(settle(wall), 0);
        EXPECT_EQ(WallPair::beyondEdges(wallOf(wall, onScreen(window)), wallOf(wall, wall.freshPicture())), 0);
        EXPECT_EQ(window.viewUnderPointer(), &terminal);
        EXPECT_EQ(window.cursorName(), "text");
        // A drag from there, 130 points along, selects in the terminal.
        pointer("mousedown 1");
        EXPECT_TRUE(MainLoop::main().runUntil([&] { return window.mouseDownView() == &terminal; }, 3s));
        for (int step = 1; step <= 13; ++step) {
            pointer("", onTheScreen(window, {was.x + 10 * step, was.y}));
            runFor(10ms);
        }
        pointer("mouseup 1");
        runFor(300ms);
        EXPECT_TRUE(terminal.selection().active());
        EXPECT_EQ(installs, 0);
    }
}

}  // namespace
}  // namespace quiltdeck
