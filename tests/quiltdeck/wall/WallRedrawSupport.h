#pragma once

// A wall of tiles with real terminals, drawn piece by piece as a toolkit's frame clock draws it,
// beside a twin that gets the same tiles, bytes and commands and is drawn whole only when asked:
// after any sequence the two windows' pixels must agree.

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/wall/WallTestSupport.h"
#include "support/ViewTestSupport.h"
#include "vantel/view/TerminalView.h"

namespace quiltdeck::testing {

// A tile whose terminal has no child: what it is fed is what it shows.
class ScreenTile : public FakeTile {
public:
    explicit ScreenTile(const TileRequest& request) : FakeTile(request) {
        screen.setTerminalDelegate(&owner);
    }
    platform::ui::View& view() override { return screen; }
    vantel::TerminalView* terminal() override { return &screen; }
    bool isShell() const override { return true; }
    void feed(std::string_view bytes) {
        screen.feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    }

    vantel::TerminalView screen{platform::gfx::Rect{0, 0, 600, 400}};
    vantel::testing::RecordingViewOwner owner;
};

// Draws what is dirty at most once a frame, as a toolkit's frame clock does: views ask between
// frames and are drawn at the next one.
class PacedWindow : public platform::ui::headless::HeadlessWindow {
public:
    static constexpr platform::runtime::Duration frame = std::chrono::microseconds(16'667);
    PacedWindow(platform::gfx::Size size, double scale) : HeadlessWindow(size, scale) {
        if (needsDisplay()) scheduleDisplay();
    }
    ~PacedWindow() override {
        if (pending_) pending_->cancel();
    }

protected:
    void scheduleDisplay() override {
        if (pending_) return;
        pending_ = platform::runtime::MainLoop::main().postAfter(frame, [this] {
            pending_.reset();
            displayIfNeeded();
        });
    }

private:
    std::shared_ptr<platform::runtime::WorkItem> pending_;
};

// A window drawn whole on a new surface when asked: nothing it drew before shows through, and
// what is not painted over whole keeps some of a colour no view uses.
class FreshWindow : public platform::ui::headless::HeadlessWindow {
public:
    using HeadlessWindow::HeadlessWindow;
    void drawFromNothing() {
        replaceSurface();
        displayIfNeeded();
    }

protected:
    std::unique_ptr<platform::gfx::Canvas> makeSurface(platform::gfx::Size size, double scale) override {
        auto surface = HeadlessWindow::makeSurface(size, scale);
        surface->fill(platform::gfx::Rect{0, 0, size.width, size.height}, platform::gfx::Rgba{1, 0, 1, 1});
        return surface;
    }
};

// One grid of screen tiles in a window of its own.
struct ScreenWall {
    ScreenWall(std::unique_ptr<platform::ui::Window> shownIn, platform::runtime::MainLoop& loop)
        : window(std::move(shownIn)) {
        grid = std::make_unique<GridController>(
            [this](const TileRequest& request, uint16_t) {
                auto tile = std::make_unique<ScreenTile>(request);
                tiles.push_back(tile.get());
                return tile;
            },
            HookServer::Options{0, 0, &loop, {}});
        grid->viewDidLoad();
        window->setContentView(&grid->view());
        window->setKeyWindow(true);
    }
    ~ScreenWall() {
        window->setContentView(nullptr);
        grid.reset();
    }
    std::unique_ptr<platform::ui::Window> window;
    std::unique_ptr<GridController> grid;
    std::vector<ScreenTile*> tiles;
};

// The wall drawn piece by piece in `drawn` (a paced headless window, or a toolkit's) and its twin,
// driven together.
class WallPair {
public:
    static constexpr int edgePixels = 48;
    WallPair(platform::runtime::MainLoop& loop, const std::filesystem::path& folder, platform::gfx::Size size,
             double scale, std::unique_ptr<platform::ui::Window> drawnIn = nullptr)
        : folder_(folder),
          drawn(drawnIn ? std::move(drawnIn) : std::make_unique<PacedWindow>(size, scale), loop),
          fresh(std::make_unique<FreshWindow>(size, scale), loop) {}

    void open(const std::string& name) {
        TileRequest r;
        r.cwd = (folder_ / name).string();
        std::filesystem::create_directories(r.cwd);
        r.name = name;
        r.isShell = true;
        for (ScreenWall* w : {&drawn, &fresh}) w->grid->open(r);
    }
    void feed(size_t tile, std::string_view bytes) {
        for (ScreenWall* w : {&drawn, &fresh}) w->tiles.at(tile)->feed(bytes);
    }
    void zoom(size_t tile) {
        drawn.grid->zoom(drawn.tiles.at(tile)->id());
        fresh.grid->zoom(fresh.tiles.at(tile)->id());
    }
    void unzoom() {
        drawn.grid->unzoom();
        fresh.grid->unzoom();
    }
    void resize(platform::gfx::Size size) {
        drawn.window->setSize(size);
        fresh.window->setSize(size);
    }

    // The twin drawn whole now, from nothing.
    platform::gfx::Image freshPicture() {
        static_cast<FreshWindow&>(*fresh.window).drawFromNothing();
        return fresh.window->surface().image();
    }

    // The device pixels where two pictures differ by more than two levels a channel, unless they
    // are no more than a few dozen: rasterised under other clips, a shadow drawn in pieces differs
    // by a level or two along its edges, an antialiased edge by a few levels in a few pixels.
    static int beyondEdges(const platform::gfx::Image& a, const platform::gfx::Image& b) {
        if (a.pixels.size() != b.pixels.size()) return -1;
        int n = 0;
        for (size_t i = 0; i < a.pixels.size(); ++i) {
            if (a.pixels[i] == b.pixels[i]) continue;
            for (int c = 0; c < 32; c += 8) {
                if (std::abs(int((a.pixels[i] >> c) & 0xff) - int((b.pixels[i] >> c) & 0xff)) > 2) {
                    ++n;
                    break;
                }
            }
        }
        return n > edgePixels ? n : 0;
    }

    // How far the piecemeal window's pixels are from the twin drawn whole now (beyondEdges). The
    // pictures go to QUILTDECK_REDRAW_PICTURES (a folder) when they differ and it is set.
    int differences(const std::string& label) {
        // The frame due now is drawn first.
        drawn.window->displayIfNeeded();
        const platform::gfx::Image whole = freshPicture();
        const int n = beyondEdges(drawn.window->surface().image(), whole);
        if (n != 0) keepPictures(label, drawn.window->surface().image(), whole);
        return n;
    }
    static void keepPictures(const std::string& label, const platform::gfx::Image& drawnPicture,
                             const platform::gfx::Image& freshPicture) {
        const char* dir = std::getenv("QUILTDECK_REDRAW_PICTURES");
        if (!dir) return;
        for (const auto& [picture, name] : {std::pair{&drawnPicture, "-drawn.png"}, {&freshPicture, "-fresh.png"}}) {
            platform::gfx::Canvas canvas(platform::gfx::Size{double(picture->width), double(picture->height)}, 1);
            canvas.drawImageAtPixel(*picture, 0, 0);
            canvas.writePng(std::string(dir) + "/" + label + name);
        }
    }

    std::filesystem::path folder_;
    ScreenWall drawn;
    ScreenWall fresh;
};

}  // namespace quiltdeck::testing
