#include "quiltdeck/wall/GridController.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <set>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Modals.h"
#include "platform/ui/Window.h"
#include "quiltdeck/panels/LookPopover.h"
#include "quiltdeck/panels/PanelColors.h"
#include "quiltdeck/panels/Setup.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/HookRequest.h"
#include "quiltdeck/sessions/HookTexts.h"
#include "quiltdeck/sessions/PathText.h"
#include "quiltdeck/sessions/Uuid.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Lang.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"
#include "quiltdeck/shell/Theme.h"

namespace quiltdeck {

using platform::runtime::MainLoop;
using platform::runtime::NotificationCenter;
using platform::ui::AnimationContext;
using platform::ui::View;

// A tile and its card. The card goes first: it shows the session's terminal.
struct GridController::Entry {
    std::unique_ptr<WallTile> session;
    std::unique_ptr<TileView> tile;
    // A change of a tile whose output streams, shown with its terminal's next redraw.
    std::shared_ptr<platform::runtime::WorkItem> refresh;
    ~Entry() {
        if (refresh) refresh->cancel();
        tile.reset();
        session.reset();
    }
};

GridController::GridController(TileFactory makeTile, HookServer::Options hookOptions)
    : makeTile_(std::move(makeTile)), hooks_(std::make_unique<HookServer>(std::move(hookOptions))) {
    currentWall_ = Store::shared().currentWall();
    savedAtLaunch_ = Store::shared().openTiles();
    std::weak_ptr<int> alive = alive_;

    // From the bottom: bar, empty card, tab bar, (the tiles), blur, scrim.
    root_.onResize = [this, alive] {
        if (!alive.expired()) relayout();
    };
    root_.addSubview(&bar_);
    bar_.onNew = [this, alive] {
        if (!alive.expired() && onNewRequested) onNewRequested();
    };
    bar_.onBrowsers = [this, alive] {
        if (!alive.expired() && onBrowsersRequested) onBrowsersRequested();
    };
    bar_.onToggleAI = [this, alive](bool on) {
        if (!alive.expired()) setAiTitles(on);
    };
    bar_.onSettings = [this, alive] {
        if (!alive.expired() && onSettingsRequested) onSettingsRequested();
    };
    bar_.onHistory = [this, alive] {
        if (!alive.expired() && onHistoryRequested) onHistoryRequested();
    };
    bar_.onGuide = [this, alive] {
        if (!alive.expired() && onGuideRequested) onGuideRequested();
    };
    empty_.onOpenProject = [this, alive] {
        if (!alive.expired() && onNewRequested) onNewRequested();
    };
    root_.addSubview(&empty_);
    root_.addSubview(&tabs_);
    tabs_.onSelect = [this, alive](const std::string& wall) {
        if (!alive.expired()) showWall(wall);
    };
    tabs_.onNew = [this, alive] {
        if (!alive.expired()) newWall();
    };
    tabs_.onRename = [this, alive](const std::string& wall) {
        if (!alive.expired()) renameWall(wall);
    };
    tabs_.onRemove = [this, alive](const std::string& wall) {
        if (!alive.expired()) removeWall(wall);
    };
    if (!WallModel::wallExists(currentWall_, Store::shared().walls())) currentWall_.clear();
    reloadTabs();
    auto& center = NotificationCenter::defaultCenter();
    observers_.push_back(center.subscribe(std::string(Setup::didChange), [this, alive](const auto&) {
        if (!alive.expired()) relayout();
    }));
    scrimBlur_.setHidden(true);
    root_.addSubview(&scrimBlur_);
    scrim_.setHidden(true);
    scrim_.onClick = [this, alive] {
        if (!alive.expired()) unzoom();
    };
    root_.addSubview(&scrim_);
    applyTheme();
    for (const std::string_view name : {Theme::didChange, Lang::didChange}) {
        observers_.push_back(center.subscribe(std::string(name), [this, alive](const auto&) {
            if (!alive.expired()) applyTheme();
        }));
    }
}

GridController::~GridController() {
    observers_.clear();
    for (auto* timer : {&titleTimer_, &barHideTimer_, &zoomedProgramTimer_}) {
        if (*timer) (*timer)->cancel();
    }
    // The hook server's closures must find nothing once the tiles are gone.
    hooks_.reset();
    entries_.clear();
}

void GridController::viewDidLoad() {
    hooks_->start();
    setupBarAutoHide();
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
    startTitleLoop();
}

// --- State ---------------------------------------------------------------------------------------

GridController::Entry* GridController::entry(const std::string& id) const {
    const auto it = entries_.find(id);
    return it == entries_.end() ? nullptr : it->second.get();
}

WallTile* GridController::session(const std::string& id) const {
    const Entry* e = entry(id);
    return e ? e->session.get() : nullptr;
}

TileView* GridController::tile(const std::string& id) const {
    const Entry* e = entry(id);
    return e ? e->tile.get() : nullptr;
}

std::vector<WallTile*> GridController::sessions() const {
    std::vector<WallTile*> ordered;
    for (const WallModel::Tile& t : model_.tiles()) {
        if (WallTile* s = session(t.id)) ordered.push_back(s);
    }
    return ordered;
}

void GridController::syncModel() {
    for (const WallModel::Tile& t : model_.tiles()) {
        const WallTile* s = session(t.id);
        if (!s) continue;
        WallModel::Tile* record = model_.find(t.id);
        record->status = s->status();
        record->finished = s->finished();
        record->wall = s->wall();
    }
}

const WallModel& GridController::model() {
    syncModel();
    return model_;
}

std::optional<std::string> GridController::activeId() const {
    if (activeId_ && !entry(*activeId_)) return std::nullopt;
    return activeId_;
}

void GridController::setActive(std::optional<std::string> id) {
    if (id == activeId_) return;
    activeId_ = std::move(id);
    if (auto told = onActiveChanged) told();
}

WallTile* GridController::activeSession() const {
    const auto id = activeId();
    return id ? session(*id) : nullptr;
}

size_t GridController::liveCount() const {
    size_t live = 0;
    for (const auto& [id, e] : entries_) live += e->session->status() != SessionStatus::exited;
    return live;
}

size_t GridController::liveShellCount() const {
    size_t live = 0;
    for (const auto& [id, e] : entries_) live += e->session->status() != SessionStatus::exited && e->session->isShell();
    return live;
}

size_t GridController::waitingCount() const {
    size_t waiting = 0;
    for (const auto& [id, e] : entries_) waiting += e->session->status() == SessionStatus::waiting;
    return waiting;
}

// --- Opening -------------------------------------------------------------------------------------

namespace {

// Whether the hook commands can carry a saved or asked-for id; one that cannot is said in the log,
// and its tile gets a fresh one.
bool hookable(const std::string& id) {
    if (HookTexts::isValidTileId(id)) return true;
    Log::write("tile id \"" + HookRequest::printable(firstCharacters(id, 64)) + "\" cannot carry hooks; the tile gets a new one");
    return false;
}

}  // namespace

void GridController::publishTiles(const std::optional<std::string>& coming) {
    HookSnapshot snapshot;
    for (const auto& [id, e] : entries_) snapshot.tileIds.insert(id);
    // Tiles of a restore still to start are known already.
    for (const Store::ClosedTile& record : pendingRestore_) snapshot.tileIds.insert(*record.tileId);
    if (coming) snapshot.tileIds.insert(*coming);
    for (const BrowserInfo& browser : Browsers::shared().list()) snapshot.browserLabels.emplace(browser.deviceId, browser.label());
    hooks_->publish(std::move(snapshot));
}

WallTile* GridController::open(TileRequest request) {
    if (!makeTile_) return nullptr;
    // A free id is kept; a taken one (or none) gives a new one. Either way the hook
    // server knows it before the child starts, so the child's first hook finds the tile.
    if (!request.id || entry(*request.id) || !hookable(*request.id)) request.id = newUuid();
    const std::string id = *request.id;
    // A restore told the hook server every id of its tiles before the first started.
    const bool restored = restoringOne_;
    if (!restored) publishTiles(id);
    std::unique_ptr<WallTile> made = makeTile_(request, hooks_->port());
    if (!made) {
        if (!restored) publishTiles();
        return nullptr;
    }
    if (made->id() != id) {
        // The factory chose its own id: it is the tile's from now on.
        request.id = made->id();
    }
    const std::string tileId = made->id();
    if (!made->isShell() && !Store::shared().onboarded()) Store::shared().setOnboarded(true);
    auto e = std::make_unique<Entry>();
    e->session = std::move(made);
    e->tile = std::make_unique<TileView>(*e->session);
    WallTile& s = *e->session;
    TileView& card = *e->tile;

    const std::string wall = request.wall.value_or(currentWall_);
    s.setWall(wall);
    // Only the user's own actions change the wall shown.
    if (wall != currentWall_ && !restoring_ && !request.automatic) showWall(wall);
    const bool elsewhere = wall != currentWall_ && request.automatic;
    wireTile(tileId, s, card);
    if (vantel::TerminalView* terminal = s.terminal()) terminal->setStreamingDisplayInterval(streamingTileInterval);

    WallModel::Tile record{tileId, wall, s.status(), s.finished()};
    model_.insert(std::move(record), request.at);
    entries_[tileId] = std::move(e);
    root_.addSubview(&card, &scrimBlur_);
    if (restored) {
        // Laid out, counted and saved once, when the restore ends; unseen until then.
        card.setHidden(true);
        setActive(tileId);
        card.refresh();
        return &s;
    }
    publishTiles();

    // A tile started out of sight leaves the zoom and the focus where they are.
    const bool wasZoomed = zoomId_.has_value() && !elsewhere;
    if (wasZoomed) {
        zoomId_.reset();
        hideScrim();
        for (const auto& [other, oe] : entries_) {
            if (other != tileId) oe->tile->setZoomed(false);
        }
    }
    if (!elsewhere) setActive(tileId);
    reindex();
    relayout();
    card.refresh();
    // The bar's counts and the tabs' badges follow the tiles; told at the end of it.
    updateCounts();
    saveOpenTiles();
    if (wasZoomed) {
        zoom(tileId);
    } else if (!elsewhere) {
        focusActive();
    }
    return &s;
}

void GridController::wireTile(const std::string& id, WallTile& s, TileView& card) {
    std::weak_ptr<int> alive = alive_;
    card.onClick = [this, alive, id] {
        if (!alive.expired()) zoom(id);
    };
    card.onCloseRequested = [this, alive, id] {
        if (!alive.expired()) requestClose(id);
    };
    card.onResizeCorner = [this, alive](Point corner) {
        if (!alive.expired()) resizeZoom(corner);
    };
    card.onMoveRequested = [this, alive, id](View& anchor) {
        if (!alive.expired()) showMoveMenu(id, anchor);
    };
    card.onDragBegan = [this, alive, id] {
        if (!alive.expired()) dragBegan(id);
    };
    card.onDragMoved = [this, alive](Point p) {
        if (!alive.expired()) dragMoved(p);
    };
    card.onDragEnded = [this, alive](Point p) {
        if (!alive.expired()) dragEnded(p);
    };
    card.onSuggestName = [this, alive, id](TileView::SuggestDone done) {
        WallTile* target = alive.expired() ? nullptr : session(id);
        if (target) {
            suggestName(*target, std::move(done));
        } else if (done) {
            done({});
        }
    };
    card.onActivated = [this, alive, id] {
        if (!alive.expired()) setActive(id);
    };
    // The card goes with the tile it belongs to: the restart runs once its button is done.
    card.onRestart = [this, alive, id](bool resume) {
        if (!alive.expired()) restartSoon(id, resume);
    };
    card.onRebind = [this, alive, id](std::optional<BrowserInfo> browser) {
        if (alive.expired()) return;
        MainLoop::main().post([this, alive, id, browser = std::move(browser)] {
            if (!alive.expired()) rebind(id, browser);
        });
    };
    card.onChangeFolder = [this, alive, id] {
        if (!alive.expired() && onChangeFolderRequested) onChangeFolderRequested(id);
    };
    card.onLook = [this, alive, id](View& anchor) {
        if (!alive.expired()) showLook(id, anchor);
    };
    // A conversation the assistant no longer has starts afresh in the same place.
    s.onResumeFailed = [this, alive, id] {
        if (alive.expired()) return;
        // Inside the session's own exit: the restart goes on the next turn.
        MainLoop::main().post([this, alive, id] {
            if (!alive.expired()) restart(id, false, true);
        });
    };
    s.onChange = [this, alive, id] {
        if (alive.expired()) return;
        Entry* e = entry(id);
        if (!e) return;
        // While output streams into the tile, its card changes with the terminal's next redraw (paced
        // as the terminal is, in the same frame), not with every chunk the status follows.
        vantel::TerminalView* terminal = e->session->terminal();
        const auto due = terminal ? terminal->pendingDisplayDue() : std::nullopt;
        if (due && *due > MainLoop::main().now()) {
            if (e->refresh) return;
            e->refresh = std::make_shared<platform::runtime::WorkItem>([this, alive, id] {
                if (alive.expired()) return;
                Entry* later = entry(id);
                if (!later) return;
                later->refresh.reset();
                later->tile->refresh();
                updateCounts();
            });
            MainLoop::main().postAt(*due, e->refresh);
            return;
        }
        if (e->refresh) std::exchange(e->refresh, nullptr)->cancel();
        e->tile->refresh();
        updateCounts();
    };
    s.onPersist = [this, alive] {
        if (!alive.expired()) saveOpenTiles();
    };
}

bool GridController::canRestartActive(bool resume) const {
    const WallTile* s = activeSession();
    if (!s || s->status() != SessionStatus::exited) return false;
    return !resume || s->canResume();
}

void GridController::restart(const std::string& id, bool resume, bool automatic) {
    WallTile* s = session(id);
    if (!s) return;
    const Store::ClosedTile r = s->record();
    TileRequest request;
    request.cwd = r.cwd;
    request.name = lastPathComponent(r.cwd);
    request.isShell = r.isShell;
    if (r.browserId) {
        for (const BrowserInfo& browser : Browsers::shared().list()) {
            if (browser.deviceId == *r.browserId) {
                request.browser = browser;
                break;
            }
        }
    }
    if (resume) {
        request.resume = r.claudeSessionId;
        request.continueLatest = !r.claudeSessionId;
    }
    const auto at = model_.indexOf(id);
    if (at) request.at = static_cast<long>(*at);
    request.wall = s->wall();
    request.carryOver = true;
    request.automatic = automatic;
    // Keys typed into a tile whose conversation was found gone go to the one that starts afresh.
    if (automatic) request.typedAhead = s->takeTypedBeforeStart();
    // The program restarts a tile by itself only when its conversation is gone.
    replacing_ = true;
    close(id, automatic);
    replacing_ = false;
    if (open(std::move(request))) return;
    dropKeysForNoTile();
    focusActive();
}

void GridController::restartSoon(const std::string& id, bool resume) {
    if (platform::ui::Window* window = root_.window()) window->holdKeysFor(nullptr);
    std::weak_ptr<int> alive = alive_;
    MainLoop::main().post([this, alive, id, resume] {
        if (alive.expired()) return;
        restart(id, resume);
        // The tile was gone meanwhile.
        dropKeysForNoTile();
    });
}

void GridController::dropKeysForNoTile() {
    platform::ui::Window* window = root_.window();
    if (window && window->holdsKeys() && !window->keysHeldFor()) window->dropHeldKeys();
}

void GridController::rebind(const std::string& id, std::optional<BrowserInfo> browser) {
    WallTile* s = session(id);
    if (!s) return;
    const Store::ClosedTile r = s->record();
    Log::write("rebind " + id.substr(0, 8) + " to " + (browser ? browser->label() : std::string("no browser")) +
               ", resume " + (r.claudeSessionId ? r.claudeSessionId->substr(0, 8) : std::string("none")));
    TileRequest request;
    request.cwd = r.cwd;
    request.name = lastPathComponent(r.cwd);
    request.browser = std::move(browser);
    request.resume = r.claudeSessionId;
    request.title = s->title();
    request.userNamed = r.userNamed.value_or(false);
    if (const auto at = model_.indexOf(id)) request.at = static_cast<long>(*at);
    request.wall = s->wall();
    request.carryOver = true;
    close(id);
    open(std::move(request));
}

void GridController::showLook(const std::string& id, View& anchor) {
    WallTile* s = session(id);
    platform::ui::Window* window = anchor.window();
    if (!s || !window) return;
    std::weak_ptr<int> alive = alive_;
    lookPopover_ = LookPopover::make(s->cwd(), [this, alive, id] {
        if (alive.expired()) return;
        if (TileView* card = tile(id)) {
            card->reloadLogo();
            card->applyTheme();
        }
    });
    lookPopover_->window = window;
    lookPopover_->show(*window, anchor.convertToWindow(anchor.bounds()));
}

// --- Closing, history, saving ----------------------------------------------------------------------

Store::ClosedTile GridController::recordOf(const WallTile& tile, WallModel::Maker maker) const {
    const Store::ClosedTile r = tile.record();
    WallModel::Facts facts;
    facts.id = tile.id();
    facts.title = tile.title();
    facts.cwd = r.cwd;
    facts.isShell = r.isShell;
    facts.browserId = r.browserId;
    facts.claudeSessionId = r.claudeSessionId;
    facts.lastPrompt = r.lastPrompt.value_or("");
    facts.userNamed = r.userNamed.value_or(false);
    facts.wall = tile.wall();
    return WallModel::record(facts, maker);
}

void GridController::requestClose(const std::string& id) {
    WallTile* s = session(id);
    if (!s) return;
    platform::ui::Window* window = root_.window();
    if (s->status() == SessionStatus::exited || !window) {
        close(id);
        return;
    }
    platform::ui::Alert alert;
    alert.messageText = t("close_tile_q", {s->title()});
    alert.informativeText = t(s->isShell() ? "close_shell_info" : "close_claude_info");
    alert.style = platform::ui::Alert::Style::warning;
    alert.buttons = {t("close"), t("cancel")};
    std::weak_ptr<int> alive = alive_;
    alert.present(window, [this, alive, id](int button) {
        if (button == 0 && !alive.expired()) close(id);
    });
}

void GridController::close(const std::string& id, bool conversationGone) {
    Entry* e = entry(id);
    if (!e) return;
    Store::ClosedTile record = recordOf(*e->session, WallModel::Maker::close);
    if (conversationGone) Store::shared().recordFreshStart(std::move(record));
    else Store::shared().recordClosed(std::move(record));
    e->session->kill();
    model_.remove(id);
    e->tile->removeFromSuperview();
    if (zoomId_ == id) {
        zoomId_.reset();
        hideScrim();
    }
    if (activeId_ == id) setActive(model_.firstOnWall(currentWall_));
    if (dragId_ == id) dragId_.reset();
    discard(id);
    publishTiles();
    reindex();
    relayout();
    updateCounts();
    saveOpenTiles();
    if (!replacing_) focusActive();
}

void GridController::discard(const std::string& id) {
    auto it = entries_.find(id);
    if (it == entries_.end()) return;
    // The tile may still be on the way out of an event or a callback of its own.
    std::shared_ptr<Entry> gone(std::move(it->second));
    entries_.erase(it);
    titleFailedPrompts_.erase(id);
    gone->session->onChange = nullptr;
    gone->session->onPersist = nullptr;
    gone->session->onResumeFailed = nullptr;
    MainLoop::main().post([gone] {});
}

void GridController::reopen(const Store::ClosedTile& record, bool resume) {
    std::error_code error;
    if (!std::filesystem::exists(record.cwd, error)) {
        Log::write("reopen: folder missing, kept in history: " + record.cwd);
        Store::shared().recordClosed(record);
        return;
    }
    const WallModel::Reopen choices =
        model_.reopenChoices(record, resume, restoring_, Store::shared().walls(), Browsers::shared().list());
    TileRequest request;
    request.cwd = record.cwd;
    request.name = record.name;
    request.isShell = record.isShell;
    request.title = record.title;
    request.browser = choices.browser;
    request.resume = choices.resume;
    request.continueLatest = choices.continueLatest;
    request.userNamed = choices.userNamed;
    request.wall = choices.wall;
    request.carryOver = true;
    request.id = choices.id;
    open(std::move(request));
}

void GridController::restoreOpenTiles() {
    launchSettled_ = true;
    // Nothing to restore: keys held for a tile at launch have none to go to.
    if (savedAtLaunch_.empty()) dropKeysForNoTile();
    if (savedAtLaunch_.empty() || restoring_) return;
    restoring_ = true;
    restoreMissed_ = false;
    // Each tile's id is settled now and the hook server learns them all at once: every child's
    // first hook finds its tile, and the snapshot is built once for the whole restore.
    std::set<std::string> taken;
    for (const auto& [id, e] : entries_) taken.insert(id);
    for (Store::ClosedTile record : savedAtLaunch_) {
        if (!record.tileId || taken.contains(*record.tileId) || !hookable(*record.tileId)) record.tileId = newUuid();
        taken.insert(*record.tileId);
        pendingRestore_.push_back(std::move(record));
    }
    publishTiles();
    empty_.setHidden(true);
    restoreSome();
}

void GridController::restoreSome() {
    // Tiles start a slice at a time: between slices the loop draws the window and answers
    // signals, so a long list never freezes the launch.
    MainLoop& loop = MainLoop::main();
    const platform::runtime::TimePoint sliceEnd = loop.now() + restoreSlice;
    while (!pendingRestore_.empty()) {
        const Store::ClosedTile record = std::move(pendingRestore_.front());
        pendingRestore_.pop_front();
        restoringOne_ = true;
        reopen(record, true);
        restoringOne_ = false;
        restoreMissed_ = restoreMissed_ || !entry(*record.tileId);
        if (!pendingRestore_.empty() && (loop.now() >= sliceEnd || loop.shouldYield())) {
            std::weak_ptr<int> alive = alive_;
            loop.post([this, alive] {
                if (!alive.expired()) restoreSome();
            });
            return;
        }
    }
    finishRestore();
}

void GridController::finishRestore() {
    restoring_ = false;
    // Tiles that did not come back (or came with ids of their own) leave the server.
    if (restoreMissed_) publishTiles();
    saveOpenTiles();
    if (zoomId_) unzoom();
    setActive(model_.activeFor(currentWall_, activeId_));
    reindex();
    relayout();
    updateCounts();
    focusActive();
    // No tile took the keys held since launch.
    dropKeysForNoTile();
}

void GridController::saveOpenTiles() {
    if (restoring_) return;
    std::vector<Store::ClosedTile> open;
    if (!launchSettled_) {
        // Not restored yet: a save now must not lose the last run's tiles.
        for (const Store::ClosedTile& saved : savedAtLaunch_) {
            if (!saved.tileId || !entry(*saved.tileId)) open.push_back(saved);
        }
    }
    for (const WallTile* s : sessions()) {
        if (s->status() != SessionStatus::exited) open.push_back(recordOf(*s, WallModel::Maker::open));
    }
    Store::shared().setOpenTiles(std::move(open));
}

void GridController::recordExitedTiles() {
    for (const WallTile* s : sessions()) {
        if (s->status() == SessionStatus::exited) Store::shared().recordClosed(recordOf(*s, WallModel::Maker::exited));
    }
}

void GridController::killAll() {
    for (const auto& [id, e] : entries_) e->session->kill();
}

// --- Layout --------------------------------------------------------------------------------------

WallGeometry GridController::geometry() {
    WallGeometry g;
    g.width = root_.bounds().width;
    g.height = root_.bounds().height;
    g.top = topInset();
    g.barHidden = barHidden_;
    g.count = model_.countOnWall(currentWall_);
    return g;
}

void GridController::relayout() {
    syncModel();
    const WallGeometry g = geometry();
    bar_.setFrameImplicitly(g.barFrame());
    tabs_.setFrameImplicitly(g.tabBarFrame());
    scrim_.setFrameImplicitly(g.gridArea());
    scrimBlur_.setFrameImplicitly(g.gridArea());
    // Tiles of other walls are only hidden: they cost nothing here.
    for (const auto& [id, e] : entries_) e->tile->setHidden(e->session->wall() != currentWall_);
    empty_.setHidden(g.count > 0);
    if (g.count == 0) {
        const double height = empty_.layoutContent(g.emptyCardWidth(), false);
        empty_.setFrameImplicitly(g.emptyCardFrame(height));
        empty_.layoutContent(empty_.bounds().width, true);
        return;
    }
    size_t slot = 0;
    for (const WallModel::Tile& t : model_.tiles()) {
        if (t.wall != currentWall_) continue;
        const size_t at = slot++;
        TileView* card = tile(t.id);
        if (!card || t.id == layoutSkip_ || t.id == dragId_) continue;
        if (t.id == zoomId_) {
            card->setZoomed(true);
            card->animator().setFrame(g.zoomFrame(Store::shared().zoomScale()));
        } else {
            card->setZoomed(false);
            card->animator().setFrame(g.slotFrame(at));
        }
    }
}

void GridController::animateLayout() {
    AnimationContext::runAnimationGroup([this](AnimationContext& context) {
        context.duration = zoomDuration;
        context.timing = zoomCurve;
        context.allowsImplicitAnimation = true;
        relayout();
    });
}

void GridController::animateLayout(const std::string& skip) {
    layoutSkip_ = skip;
    AnimationContext::runAnimationGroup([this](AnimationContext& context) {
        context.duration = reorderDuration;
        context.allowsImplicitAnimation = true;
        relayout();
    });
    layoutSkip_.reset();
}

std::optional<size_t> GridController::slotIndex(Point point) { return geometry().slotIndex(point); }

void GridController::resizeZoom(Point corner) {
    if (!zoomId_) return;
    TileView* card = tile(*zoomId_);
    if (!card) return;
    const Rect f = card->frame();
    const auto scale = geometry().gripScale(corner, Point{f.x + f.width / 2, f.y + f.height / 2});
    // No grid area to scale against: nothing changes.
    if (!scale) return;
    Store::shared().setZoomScale(*scale);
    relayout();
}

void GridController::applyTheme() {
    using C = PanelColors;
    root_.setLayerBackgroundColor(C::pick(C::rgb(11, 12, 13), C::rgb(233, 232, 230)));
    tabs_.restyle();
    scrim_.setLayerBackgroundColor(Theme::isDark() ? platform::gfx::Rgba{0.02, 0.02, 0.024, 0.62}
                                                   : platform::gfx::Rgba{0.42, 0.42, 0.45, 0.32});
    scrimBlur_.setTint(Theme::isDark() ? platform::gfx::Rgba{0, 0, 0, 0.12} : platform::gfx::Rgba{1, 1, 1, 0.18});
    empty_.applyTheme();
    relayout();
    updateCounts();
}

void GridController::updateCounts() {
    const WallModel::Counts counts = model().counts();
    bar_.update(counts.total, counts.busy, counts.waiting, counts.done);
    reloadTabs();
    if (onSessionsChanged) onSessionsChanged();
}

void GridController::hideScrim() {
    scrim_.setHidden(true);
    scrimBlur_.setHidden(true);
}

}  // namespace quiltdeck
