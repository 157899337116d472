#include "quiltdeck/wall/GridController.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Modals.h"
#include "platform/ui/Window.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/Uuid.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {

namespace {

std::string lastComponent(const std::string& path) {
    const std::filesystem::path p(path);
    const std::string name = p.filename().string();
    return name.empty() ? p.parent_path().filename().string() : name;
}

}  // namespace

GridController::RootView::RootView(BarView& bar, GridView& grid) : bar_(bar), grid_(grid) {
    addSubview(&grid_);
    addSubview(&bar_);
}

void GridController::RootView::setFrameSize(Size size) {
    FlippedView::setFrameSize(size);
    const double width = frame().width, height = frame().height;
    bar_.setFrame({0, 0, width, BarView::height});
    grid_.setFrame({0, BarView::height, width, std::max(0.0, height - BarView::height)});
}

GridController::GridController(TileFactory makeTile, HookServer::Options hookOptions)
    : makeTile_(std::move(makeTile)), hooks_(std::make_unique<HookServer>(std::move(hookOptions))) {
    savedAtLaunch_ = Store::shared().openTiles();
    auto relay = [](const std::function<void()>& callback) {
        return [&callback] {
            if (callback) callback();
        };
    };
    bar_.onNew = relay(onNewRequested);
    bar_.onGuide = relay(onGuideRequested);
    bar_.onHistory = relay(onHistoryRequested);
    bar_.onSettings = relay(onSettingsRequested);
    bar_.onBrowsers = relay(onBrowsersRequested);
    bar_.onToggleAI = [](bool on) { Store::shared().setAiTitles(on); };
    empty_.onOpenProject = relay(onNewRequested);
    view_.setEmptyView(&empty_, [this](double width) { return empty_.layoutContent(width, false); });
    // The card took these first (it subscribed when it was made) and knows its new height.
    auto& center = platform::runtime::NotificationCenter::defaultCenter();
    for (std::string_view name : {Setup::didChange, Theme::didChange, Lang::didChange}) {
        observers_.push_back(center.subscribe(std::string(name), [this](const auto&) { view_.layoutTiles(); }));
    }
}

GridController::~GridController() {
    // The hook server's closures must find nothing once the tiles are gone.
    hooks_.reset();
    sessions_.clear();
}

void GridController::viewDidLoad() {
    hooks_->start();
    std::weak_ptr<int> alive = alive_;
    hooks_->onHook = [this, alive](const std::string& id, const std::string& event, const nlohmann::json& body) {
        if (alive.expired()) return;
        if (WallTile* tile = session(id)) tile->handleHook(event, body);
    };
    hooks_->onRename = [this, alive](const std::string& id, const std::string& title) {
        if (alive.expired()) return;
        if (WallTile* tile = session(id)) tile->rename(title);
    };
    hooks_->onMetrics = [this, alive](const std::string& id, const nlohmann::json& body) {
        if (alive.expired()) return;
        if (WallTile* tile = session(id)) {
            tile->applyMetrics(body);
            relayout();
        } else {
            Log::write("metrics: dropped, no tile " + id);
        }
    };
    hooks_->onFeed = [this, alive](const std::string& id, const nlohmann::json& body) {
        if (alive.expired()) return;
        if (WallTile* tile = session(id)) {
            tile->applyFeed(body);
            relayout();
        } else {
            Log::write("feed: dropped, no tile " + id);
        }
    };
    publishTiles();
    // The first count, in the theme resolved by now.
    recount();
}

WallTile* GridController::session(const std::string& id) const {
    for (const auto& tile : sessions_) {
        if (tile->id() == id) return tile.get();
    }
    return nullptr;
}

std::optional<std::string> GridController::activeId() const {
    if (platform::ui::Window* window = view_.window()) {
        for (const auto& tile : sessions_) {
            if (window->firstResponder() == &tile->view()) activeId_ = tile->id();
        }
    }
    if (activeId_ && !session(*activeId_)) activeId_.reset();
    return activeId_;
}

WallTile* GridController::activeSession() const {
    const auto id = activeId();
    return id ? session(*id) : nullptr;
}

size_t GridController::liveCount() const {
    return static_cast<size_t>(std::count_if(sessions_.begin(), sessions_.end(),
                                             [](const auto& tile) { return tile->status() != SessionStatus::exited; }));
}

size_t GridController::waitingCount() const {
    return static_cast<size_t>(std::count_if(sessions_.begin(), sessions_.end(),
                                             [](const auto& tile) { return tile->status() == SessionStatus::waiting; }));
}

WallTile* GridController::open(TileRequest request) {
    if (!makeTile_) return nullptr;
    // The id is known to the hook server before the child starts, so its first hook finds the tile.
    if (!request.id) request.id = newUuid();
    HookSnapshot next = snapshot();
    next.tileIds.insert(*request.id);
    hooks_->publish(std::move(next));
    std::unique_ptr<WallTile> made = makeTile_(request, hooks_->port());
    if (!made) {
        publishTiles();
        return nullptr;
    }
    // The first assistant tile ends the first run: an empty wall shows the short message from then on.
    if (!request.isShell && !Store::shared().onboarded()) Store::shared().setOnboarded(true);
    WallTile& tile = *made;
    tile.setWall(request.wall.value_or(""));
    std::weak_ptr<int> alive = alive_;
    const std::string id = tile.id();
    tile.onChange = [this, alive] {
        if (!alive.expired()) changed();
    };
    tile.onPersist = [this, alive] {
        if (!alive.expired()) saveOpenTiles();
    };
    tile.onResumeFailed = [this, alive, id] {
        if (alive.expired()) return;
        WallTile* failed = session(id);
        if (!failed) return;
        // Started again in its place, without the conversation that is gone.
        Store::ClosedTile record = recordOf(*failed, true, true);
        record.claudeSessionId.reset();
        record.lastPrompt.reset();
        const auto at = std::find_if(sessions_.begin(), sessions_.end(), [&](const auto& t) { return t->id() == id; });
        std::unique_ptr<WallTile> gone = std::move(*at);
        sessions_.erase(at);
        gone->kill();
        gone->view().removeFromSuperview();
        reopen(record, false);
        // This runs inside the tile's own callback: it goes on the next turn.
        discard(std::move(gone));
    };
    sessions_.push_back(std::move(made));
    // A new tile takes the keyboard; restored ones leave it where it was.
    if (!restoring_ || !activeId_) activeId_ = id;
    publishTiles();
    relayout();
    changed();
    saveOpenTiles();
    if (!restoring_) focusActive();
    return &tile;
}

void GridController::reopen(const Store::ClosedTile& record, bool resume) {
    std::error_code error;
    if (!std::filesystem::exists(record.cwd, error)) {
        Log::write("reopen: folder missing, kept in history: " + record.cwd);
        Store::shared().recordClosed(record);
        return;
    }
    TileRequest request;
    request.cwd = record.cwd;
    request.name = record.name;
    request.isShell = record.isShell;
    request.title = record.title;
    if (record.browserId) {
        for (const BrowserInfo& browser : Browsers::shared().list()) {
            if (browser.deviceId == *record.browserId) request.browser = browser;
        }
    }
    if (resume) {
        request.resume = record.claudeSessionId;
        request.continueLatest = !record.claudeSessionId && record.lastPrompt && !record.lastPrompt->empty();
    }
    request.userNamed = record.userNamed.value_or(false);
    request.wall = record.wall;
    request.carryOver = true;
    if (record.tileId && !session(*record.tileId)) request.id = record.tileId;
    open(std::move(request));
}

void GridController::restoreOpenTiles() {
    if (savedAtLaunch_.empty()) return;
    restoring_ = true;
    for (const auto& record : savedAtLaunch_) reopen(record, true);
    restoring_ = false;
    saveOpenTiles();
    if (!sessions_.empty() && !activeSession()) activeId_ = sessions_.front()->id();
    relayout();
    focusActive();
}

Store::ClosedTile GridController::recordOf(const WallTile& tile, bool withWall, bool withId) const {
    Store::ClosedTile record = tile.record();
    record.name = lastComponent(record.cwd);
    record.closedAt = Date::now();
    if (record.lastPrompt && record.lastPrompt->empty()) record.lastPrompt.reset();
    record.wall = withWall && !tile.wall().empty() ? std::optional(tile.wall()) : std::nullopt;
    record.tileId = withId ? std::optional(tile.id()) : std::nullopt;
    return record;
}

void GridController::saveOpenTiles() {
    if (restoring_) return;
    std::vector<Store::ClosedTile> open;
    for (const auto& tile : sessions_) {
        if (tile->status() != SessionStatus::exited) open.push_back(recordOf(*tile, true, true));
    }
    Store::shared().setOpenTiles(std::move(open));
}

void GridController::recordExitedTiles() {
    for (const auto& tile : sessions_) {
        if (tile->status() == SessionStatus::exited) Store::shared().recordClosed(recordOf(*tile, true, false));
    }
}

void GridController::requestClose(const std::string& id) {
    WallTile* tile = session(id);
    if (!tile) return;
    platform::ui::Window* window = view_.window();
    if (tile->status() == SessionStatus::exited || !window) {
        close(id);
        return;
    }
    platform::ui::Alert alert;
    alert.messageText = t("close_tile_q", {tile->title()});
    alert.informativeText = t(tile->record().isShell ? "close_shell_info" : "close_claude_info");
    alert.buttons = {t("close"), t("cancel")};
    std::weak_ptr<int> alive = alive_;
    alert.present(window, [this, alive, id](int button) {
        if (button == 0 && !alive.expired()) close(id);
    });
}

void GridController::close(const std::string& id) {
    const auto at = std::find_if(sessions_.begin(), sessions_.end(), [&](const auto& t) { return t->id() == id; });
    if (at == sessions_.end()) return;
    Store::shared().recordClosed(recordOf(**at, false, false));
    std::unique_ptr<WallTile> tile = std::move(*at);
    sessions_.erase(at);
    tile->kill();
    tile->view().removeFromSuperview();
    if (activeId_ == id) activeId_ = sessions_.empty() ? std::nullopt : std::optional(sessions_.front()->id());
    publishTiles();
    relayout();
    changed();
    saveOpenTiles();
    focusActive();
    discard(std::move(tile));
}

void GridController::discard(std::unique_ptr<WallTile> tile) {
    // The tile may still be on the way out of an event or a callback of its own.
    platform::runtime::MainLoop::main().post([gone = std::shared_ptr<WallTile>(std::move(tile))] {});
}

void GridController::focus(size_t index) {
    if (index >= sessions_.size()) return;
    activeId_ = sessions_[index]->id();
    if (platform::ui::Window* window = view_.window()) window->makeFirstResponder(&sessions_[index]->view());
}

void GridController::focusActive() {
    std::weak_ptr<int> alive = alive_;
    platform::runtime::MainLoop::main().post([this, alive] {
        if (alive.expired()) return;
        WallTile* tile = activeSession();
        platform::ui::Window* window = view_.window();
        if (tile && window) window->makeFirstResponder(&tile->view());
    });
}

void GridController::killAll() {
    for (const auto& tile : sessions_) tile->kill();
}

void GridController::relayout() {
    std::vector<platform::ui::View*> views;
    for (const auto& tile : sessions_) views.push_back(&tile->view());
    view_.setTiles(std::move(views));
}

HookSnapshot GridController::snapshot() const {
    HookSnapshot snapshot;
    for (const auto& tile : sessions_) snapshot.tileIds.insert(tile->id());
    return snapshot;
}

void GridController::publishTiles() { hooks_->publish(snapshot()); }

void GridController::recount() {
    auto count = [this](auto&& pick) { return static_cast<int>(std::count_if(sessions_.begin(), sessions_.end(), pick)); };
    bar_.update(static_cast<int>(sessions_.size()), count([](const auto& t) { return t->status() == SessionStatus::busy; }),
                count([](const auto& t) { return t->status() == SessionStatus::waiting; }),
                count([](const auto& t) { return t->finished(); }));
}

void GridController::changed() {
    recount();
    if (onSessionsChanged) onSessionsChanged();
}

}  // namespace quiltdeck
