// The walls of the grid: switching, creating, renaming, removing, and moving tiles between them.
#include <algorithm>

#include "platform/ui/Alert.h"
#include "platform/ui/PopUpMenu.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/wall/GridController.h"

namespace quiltdeck {

namespace {

std::string wallTitle(const std::string& wall) { return wall.empty() ? t("tab_main") : wall; }

}  // namespace

void GridController::showWall(const std::string& wall) {
    if (!WallModel::wallExists(wall, Store::shared().walls())) return;
    if (zoomId_) unzoom();
    currentWall_ = wall;
    Store::shared().setCurrentWall(wall);
    syncModel();
    setActive(model_.activeFor(wall, activeId_));
    reindex();
    reloadTabs();
    relayout();
    focusActive();
}

void GridController::nextWall(int delta) {
    if (const auto next = WallModel::nextWall(currentWall_, Store::shared().walls(), delta)) showWall(*next);
}

std::string GridController::addWall(const std::string& name) {
    if (!WallModel::wallExists(name, Store::shared().walls())) {
        Store::shared().setWalls(WallModel::withWall(Store::shared().walls(), name));
        reloadTabs();
    }
    return name;
}

void GridController::newWall() {
    std::weak_ptr<int> alive = alive_;
    askText(root_.window(), t("new_tab_name"), "", [this, alive](std::optional<std::string> name) {
        if (alive.expired() || !name) return;
        addWall(*name);
        showWall(*name);
    });
}

void GridController::renameWall(const std::string& old) {
    std::weak_ptr<int> alive = alive_;
    askText(root_.window(), t("rename_tab"), old, [this, alive, old](std::optional<std::string> name) {
        if (alive.expired() || !name) return;
        const auto walls = WallModel::renamedWalls(Store::shared().walls(), old, *name);
        if (!walls) return;
        Store::shared().setWalls(*walls);
        for (WallTile* s : sessions()) {
            if (s->wall() == old) s->setWall(*name);
        }
        model_.reassignWall(old, *name);
        if (currentWall_ == old) {
            currentWall_ = *name;
            Store::shared().setCurrentWall(*name);
        }
        reloadTabs();
        saveOpenTiles();
    });
}

void GridController::removeWall(const std::string& wall) {
    // Main is never listed: nothing to remove.
    if (wall.empty()) return;
    Store::shared().setWalls(WallModel::withoutWall(Store::shared().walls(), wall));
    for (WallTile* s : sessions()) {
        if (s->wall() == wall) s->setWall("");
    }
    model_.reassignWall(wall, "");
    if (currentWall_ == wall) {
        showWall("");
    } else {
        reloadTabs();
        reindex();
        relayout();
    }
    saveOpenTiles();
}

void GridController::move(const std::string& id, const std::string& wall) {
    WallTile* s = session(id);
    if (!s) return;
    if (!wall.empty()) addWall(wall);
    s->setWall(wall);
    syncModel();
    if (zoomId_ == id) {
        zoomId_.reset();
        hideScrim();
    }
    if (activeId_ == id && wall != currentWall_) setActive(model_.firstOnWall(currentWall_));
    reindex();
    reloadTabs();
    relayout();
    saveOpenTiles();
    focusActive();
}

void GridController::moveFolder(const std::string& id, const std::string& path) {
    WallTile* s = session(id);
    if (!s) return;
    const Store::ClosedTile r = s->record();
    TileRequest request;
    request.cwd = path;
    request.name = lastPathComponent(path);
    request.isShell = r.isShell;
    if (r.browserId) {
        for (const BrowserInfo& browser : Browsers::shared().list()) {
            if (browser.deviceId == *r.browserId) {
                request.browser = browser;
                break;
            }
        }
    }
    request.title = s->title();
    request.userNamed = r.userNamed.value_or(false);
    request.wall = s->wall();
    if (const auto at = model_.indexOf(id)) request.at = static_cast<long>(*at);
    close(id);
    open(std::move(request));
}

void GridController::confirmMove(const std::string& id, const std::string& wall) {
    WallTile* s = session(id);
    platform::ui::Window* window = root_.window();
    if (!s || !window) return;
    platform::ui::Alert alert;
    alert.messageText = t("move_tile_q", {s->title(), wallTitle(wall)});
    alert.buttons = {t("move"), t("cancel")};
    std::weak_ptr<int> alive = alive_;
    alert.present(window, [this, alive, id, wall](int button) {
        // A tile closed meanwhile is not found: nothing moves.
        if (button == 0 && !alive.expired()) move(id, wall);
    });
}

void GridController::showMoveMenu(const std::string& id, platform::ui::View& anchor) {
    WallTile* s = session(id);
    if (!s) return;
    std::weak_ptr<int> alive = alive_;
    platform::ui::Menu menu;
    for (const std::string& wall : WallModel::wallOrder(Store::shared().walls())) {
        platform::ui::MenuItem item;
        item.title = wallTitle(wall);
        item.checked = wall == s->wall();
        item.action = [this, alive, id, wall](const platform::ui::MenuItem&) {
            if (!alive.expired()) move(id, wall);
        };
        menu.items.push_back(std::move(item));
    }
    menu.items.push_back(platform::ui::MenuItem::separatorItem());
    platform::ui::MenuItem newTab;
    newTab.title = t("new_tab_ellipsis");
    newTab.action = [this, alive, id](const platform::ui::MenuItem&) {
        if (alive.expired()) return;
        askText(root_.window(), t("new_tab_name"), "", [this, alive, id](std::optional<std::string> name) {
            // The view stays on the wall shown.
            if (!alive.expired() && name) move(id, *name);
        });
    };
    menu.items.push_back(std::move(newTab));
    // Under the anchor, 4 points below its bottom edge.
    const double below = anchor.isFlipped() ? anchor.bounds().height + 4 : -4;
    platform::ui::PopUpMenu::popUp(menu, anchor, Point{0, below});
}

void GridController::reloadTabs() {
    syncModel();
    tabs_.reload(Store::shared().walls(), currentWall_, model_.waitingByWall(), model_.doneByWall());
}

void GridController::reindex() {
    syncModel();
    size_t n = 0;
    for (const std::string& id : model_.idsOnWall(currentWall_)) {
        if (TileView* card = tile(id)) card->setIndexText(std::to_string(++n));
    }
}

}  // namespace quiltdeck
