#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Modals.h"
#include "platform/ui/PopUpMenu.h"
#include "platform/ui/headless/HeadlessModals.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/app/AppDelegateTestSupport.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/Theme.h"
#include "quiltdeck/wall/GridController.h"

namespace quiltdeck::testing {

// The store as a fresh start has it: no walls, Main shown, nothing saved or closed.
inline void resetWallState() {
    Store& store = Store::shared();
    store.setWalls({});
    store.setCurrentWall("");
    store.setOpenTiles({});
    store.setZoomScale(1.0);
    store.setOnboarded(false);
    while (!store.closed().empty()) store.removeClosed(0);
    // The terminal runs edge to edge in the dark theme: the frames below count on it.
    Theme::setMode(ThemeMode::dark);
    Theme::resolve();
}

// A grid of fake tiles on the virtual clock, its view filling a headless window
// of the main window's size; tiles are named by their folder.
class WallTest : public ::testing::Test {
protected:
    WallTest() {
        resetWallState();
        platform::ui::Modals::reset();
        platform::ui::PopUpMenu::setPresenter(nullptr);
    }
    ~WallTest() override {
        platform::ui::Modals::reset();
        grid.reset();
        loop.runPending();
    }
    // The grid as a launch makes it (after the store is set up as the test wants).
    GridController& makeGrid(bool inWindow = true) {
        grid = std::make_unique<GridController>(
            [this](const TileRequest& request, uint16_t) {
                loop.skipTime(makeCost);
                auto tile = std::make_unique<FakeTile>(request);
                made.push_back(tile.get());
                names[tile->id()] = lastPathComponent(request.cwd);
                return tile;
            },
            HookServer::Options{0, 0, &loop, {}});
        grid->viewDidLoad();
        if (inWindow) window.setContentView(&grid->view());
        return *grid;
    }
    TileRequest request(const std::string& name, std::optional<std::string> wall = std::nullopt) {
        TileRequest r;
        r.cwd = (folder / name).string();
        std::filesystem::create_directories(r.cwd);
        r.name = name;
        r.wall = std::move(wall);
        return r;
    }
    FakeTile& open(const std::string& name, std::optional<std::string> wall = std::nullopt) {
        grid->open(request(name, std::move(wall)));
        return *made.back();
    }
    // A live tile.
    FakeTile& fake(const std::string& id) { return dynamic_cast<FakeTile&>(*grid->session(id)); }
    FakeTile& fakeNamed(const std::string& name) { return fake(idOf(name)); }
    std::string nameOf(const std::string& id) { return names.count(id) ? names[id] : "?"; }
    // The tiles in wall order (every wall), by name.
    std::vector<std::string> order() {
        std::vector<std::string> names;
        for (WallTile* t : grid->sessions()) names.push_back(lastPathComponent(t->record().cwd));
        return names;
    }
    std::vector<std::string> onWall(const std::string& wall) {
        std::vector<std::string> names;
        for (const std::string& id : grid->model().idsOnWall(wall)) names.push_back(nameOf(id));
        return names;
    }
    std::string idOf(const std::string& name) {
        for (WallTile* t : grid->sessions()) {
            if (lastPathComponent(t->record().cwd) == name) return t->id();
        }
        return {};
    }
    TileView& card(const std::string& name) { return *grid->tile(idOf(name)); }
    platform::ui::headless::HeadlessModals& modals() { return *platform::ui::headless::HeadlessModals::current(); }
    platform::ui::headless::HeadlessMenus& menus() { return *platform::ui::headless::HeadlessMenus::current(); }
    // Runs the clock on until the layout's animations are over.
    void settle() { loop.advance(std::chrono::milliseconds(500)); }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    // The time each tile takes to make, on the virtual clock.
    platform::runtime::Duration makeCost{0};
    TempFolder folder;
    platform::ui::headless::HeadlessWindow window{{1720, 1080}, 1};
    std::unique_ptr<GridController> grid;
    // Every tile made, closed ones too (do not touch those): use the names.
    std::vector<FakeTile*> made;
    std::map<std::string, std::string> names;
};

}  // namespace quiltdeck::testing
