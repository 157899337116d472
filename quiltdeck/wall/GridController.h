#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/NotificationCenter.h"
#include "platform/ui/BlurView.h"
#include "platform/ui/FlippedView.h"
#include "quiltdeck/panels/BarView.h"
#include "quiltdeck/panels/OnboardingView.h"
#include "quiltdeck/sessions/ClaudeCLI.h"
#include "quiltdeck/sessions/HookServer.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/wall/TabsView.h"
#include "quiltdeck/wall/TileView.h"
#include "quiltdeck/wall/WallGeometry.h"
#include "quiltdeck/wall/WallModel.h"
#include "quiltdeck/wall/WallTile.h"

namespace quiltdeck {

class LookPopover;

// The click-catching layer behind a zoomed tile.
class ScrimView : public platform::ui::FlippedView {
public:
    using FlippedView::FlippedView;
    std::function<void()> onClick;
    void mouseDown(const platform::ui::MouseEvent&) override {
        if (onClick) onClick();
    }
    void mouseUp(const platform::ui::MouseEvent&) override {}
    void mouseDragged(const platform::ui::MouseEvent&) override {}
};

// The wall's root view: its size changes lay the wall out again.
class WallView : public platform::ui::FlippedView {
public:
    using FlippedView::FlippedView;
    std::function<void()> onResize;
    void setFrameSize(Size size) override {
        FlippedView::setFrameSize(size);
        if (onResize) onResize();
    }
    std::function<void()> onWindowChange;
    void viewDidMoveToWindow() override {
        FlippedView::viewDidMoveToWindow();
        if (onWindowChange) onWindowChange();
    }
};

// The tile wall, the main window's content: every tile of every wall in one
// order (the model), one card per tile, the current wall, the active and the
// zoomed tile, the top bar, the tab bar, the blur and scrim behind a zoomed
// tile, the empty card, and the hook server wired to the tiles. Tiles come into
// being only through `open` and end only through `close`; opening and closing
// end with the order renumbered, laid out, told, saved, then focused or zoomed.
// Callbacks handed to tiles, sessions, prompts and the hook server hold the
// controller weakly and do nothing once it is gone. Main thread.
class GridController {
public:
    using Point = platform::gfx::Point;
    using Rect = platform::gfx::Rect;
    // Makes the tile's session and starts its child; `hookPort` is the hook server's.
    using TileFactory = std::function<std::unique_ptr<WallTile>(const TileRequest& request, uint16_t hookPort)>;

    static constexpr double zoomDuration = 0.22;
    static constexpr platform::ui::TimingFunction zoomCurve{0.2, 1.18, 0.3, 1.0};
    static constexpr double reorderDuration = 0.14;
    static constexpr double dragOpacity = 0.92;
    static constexpr double dragShadowRadius = 36;
    // A tile's output streaming while nobody types into it is drawn this often (30 a second), so
    // that the tile typed into keeps every frame beside tiles that flood.
    static constexpr platform::runtime::Duration streamingTileInterval{33'333'333};

    GridController(TileFactory makeTile, HookServer::Options hookOptions = {});
    ~GridController();
    GridController(const GridController&) = delete;
    GridController& operator=(const GridController&) = delete;

    // Starts the hook server, then hands its requests to the tiles.
    void viewDidLoad();

    // The window's content: the bar, the tab bar and the wall under them.
    platform::ui::View& view() { return root_; }
    platform::ui::View& root() { return root_; }
    HookServer& hooks() { return *hooks_; }
    BarView& bar() { return bar_; }
    TabsView& tabs() { return tabs_; }
    OnboardingView& emptyCard() { return empty_; }
    ScrimView& scrim() { return scrim_; }
    platform::ui::BlurView& scrimBlur() { return scrimBlur_; }

    // --- State --------------------------------------------------------------------------------
    // Every tile of every wall, in wall order.
    std::vector<WallTile*> sessions() const;
    WallTile* session(const std::string& id) const;
    TileView* tile(const std::string& id) const;
    const WallModel& model();
    const std::string& currentWall() const { return currentWall_; }
    std::optional<std::string> activeId() const;
    WallTile* activeSession() const;
    const std::optional<std::string>& zoomId() const { return zoomId_; }
    const std::optional<std::string>& dragId() const { return dragId_; }
    size_t liveCount() const;
    // The shells among them.
    size_t liveShellCount() const;
    size_t waitingCount() const;

    // Told after every change of the tiles and every count update.
    std::function<void()> onSessionsChanged;
    std::function<void()> onNewRequested;
    std::function<void()> onBrowsersRequested;
    std::function<void()> onSettingsRequested;
    std::function<void()> onHistoryRequested;
    std::function<void()> onGuideRequested;
    std::function<void(const std::string& id)> onChangeFolderRequested;
    // After the AI-titles setting changed, from the bar or through setAiTitles.
    std::function<void()> onAiTitlesChanged;
    // AI titles on or off: stored, shown in the bar's check box, told.
    void setAiTitles(bool on);
    // Told when another tile (or none) becomes the active one: what the menus do for "the tile"
    // may change.
    std::function<void()> onActiveChanged;

    // --- Opening, closing, saving -------------------------------------------------------------------
    // The new tile; null when no tile could be made.
    WallTile* open(TileRequest request);
    void requestClose(const std::string& id);
    // `conversationGone`: the tile starts afresh in its place because its conversation is gone, and
    // its record takes the place of the folder's earlier such record in the history.
    void close(const std::string& id, bool conversationGone = false);
    void reopen(const Store::ClosedTile& record, bool resume);
    // Reopens the tiles saved at the last quit, a slice of them per turn of the main loop; the
    // wall is laid out, counted and saved once, when the last has started.
    void restoreOpenTiles();
    // The last quit left tiles open, for restoreOpenTiles to bring back.
    bool hasTilesToRestore() const { return !savedAtLaunch_.empty(); }
    bool restoring() const { return restoring_; }
    // The time one turn of the main loop spends starting restored tiles.
    static constexpr platform::runtime::Duration restoreSlice = std::chrono::milliseconds(12);
    // The start-up folders took the place of the restore: from now on the live tiles alone are saved.
    void launchTilesOpened() {
        launchSettled_ = true;
        dropKeysForNoTile();
    }
    void saveOpenTiles();
    void recordExitedTiles();
    // The active tile has ended, and (to resume) has a conversation to continue: what its veil's
    // buttons offer.
    bool canRestartActive(bool resume) const;
    // A fresh tile in the tile's place: resumed (or the folder's latest conversation) or not.
    // `automatic`: the program's own restart, which leaves the wall shown as it is.
    void restart(const std::string& id, bool resume, bool automatic = false);
    // The same on the next turn (from the tile's own button, or a menu item, still at work now);
    // the keys typed meanwhile wait for the new tile.
    void restartSoon(const std::string& id, bool resume);
    void rebind(const std::string& id, std::optional<BrowserInfo> browser);
    // The folder's colour and logo, in a popover at the tile.
    void showLook(const std::string& id, platform::ui::View& anchor);
    LookPopover* lookPopover() const { return lookPopover_.get(); }
    // Every tile's child ends (quit, snapshot): timers stop, SIGTERM, no exit report.
    void killAll();

    // --- Walls ----------------------------------------------------------------------------------
    void showWall(const std::string& wall);
    void nextWall(int delta);
    std::string addWall(const std::string& name);
    void newWall();
    void renameWall(const std::string& wall);
    void removeWall(const std::string& wall);
    void move(const std::string& id, const std::string& wall);
    void moveFolder(const std::string& id, const std::string& path);
    void confirmMove(const std::string& id, const std::string& wall);
    void showMoveMenu(const std::string& id, platform::ui::View& anchor);
    void reloadTabs();
    void reindex();

    // --- Zoom, focus, attention ------------------------------------------------------------------
    void zoom(const std::string& id);
    void unzoom();
    // Escape: true when it un-zoomed (the key is taken).
    bool escapePressed();
    // Escape in the tile is its program's: one run from a shell tile's prompt reads its keys one
    // by one (an editor, a pager). One that reads lines (a build, sleep) leaves it to the zoom.
    static bool escapeGoesToProgram(const WallTile& tile);
    // What a zoomed tile's header says Escape does: a shell tile's only, as what runs in it.
    static TileView::EscapeHint escapeHintFor(const WallTile& tile);
    // How often the zoomed shell tile is looked at for what has its keys, which its card says.
    static constexpr platform::runtime::Duration zoomedProgramCheck = std::chrono::milliseconds(300);
    // Zooms the tile at that 0-based position of the wall shown.
    void focus(long index);
    // The keyboard to the active tile's terminal: at once when it is shown, else on the next turn
    // of the main loop, the window holding the keys typed meanwhile for it; at once away from a
    // view that is not shown (the window keeps it where the wall shown has no tile).
    void focusActive();
    void jumpToAttention();
    // The zoomed tile's scale by `delta` (clamped by the store), animated; only while zoomed.
    void changeZoomScale(double delta);

    // --- Drag -------------------------------------------------------------------------------------
    void dragBegan(const std::string& id);
    void dragMoved(Point point);
    void dragEnded(Point point);

    // --- Automatic titles -------------------------------------------------------------------------
    // Runs the assistant CLI once with `prompt`; `done` gets its output, or why there is none.
    // The CLI's one-shot run (no tools, no browser, 60 s) unless a test sets another.
    using OneShot = std::function<void(std::string prompt, ClaudeCLI::Done done)>;
    OneShot runOneShot;
    // Ticks every 5 s on the main loop for as long as the controller lives.
    void startTitleLoop();
    // Asks for names of every tile that needs one, in one run, unless automatic titles are
    // off, the CLI is not set up or an earlier batch is still out.
    void tickTitles();
    bool titleBusy() const { return titleBusy_; }
    // One name for one tile, for its rename editor, or why there is none; names nothing and
    // stamps nothing.
    void suggestName(WallTile& session, TileView::SuggestDone done);

    // --- The bars in full screen -----------------------------------------------------------------
    static constexpr platform::runtime::Duration barHideDelay = std::chrono::seconds(3);
    static constexpr double barSlideDuration = 0.16;
    // The strip along the window's top edge that brings the bars back.
    static constexpr double revealZone = 4;
    // Follows the window's full screen, every pointer move, the bar's news and the menu bar
    // opened by keys.
    void setupBarAutoHide();
    void pointerMoved();
    // (Re)arms the hide while the window is in full screen, not before the bar's news is old;
    // cancels it either way.
    void scheduleBarHide();
    // Brings the bars in while the window is in full screen, for at least `shown`.
    void revealBarFor(platform::runtime::Duration shown);
    void setBar(bool hidden);
    // Cancels a pending hide and shows the bars.
    void showBar(bool permanent);
    bool barHidden() const { return barHidden_; }
    bool barHidePending() const { return barHideTimer_ != nullptr; }
    // 24 in full screen with the bars shown, else 0.
    double topInset() const;

    // --- Layout -----------------------------------------------------------------------------------
    void relayout();
    void animateLayout();
    void animateLayout(const std::string& skip);
    std::optional<size_t> slotIndex(Point point);
    void resizeZoom(Point corner);
    void applyTheme();
    void updateCounts();
    WallGeometry geometry();

private:
    struct Entry;

    Entry* entry(const std::string& id) const;
    void wireTile(const std::string& id, WallTile& session, TileView& tile);
    Store::ClosedTile recordOf(const WallTile& tile, WallModel::Maker maker) const;
    void syncModel();
    // Every tile's id to the hook server, with the restore's tiles still to start and `coming`.
    void publishTiles(const std::optional<std::string>& coming = std::nullopt);
    void restoreSome();
    void finishRestore();
    void discard(const std::string& id);
    void hideScrim();
    void setActive(std::optional<std::string> id);
    // Keys held for a tile to come, when none came: they go nowhere.
    void dropKeysForNoTile();

    TileFactory makeTile_;
    std::unique_ptr<HookServer> hooks_;

    WallView root_;
    BarView bar_;
    OnboardingView empty_;
    TabsView tabs_;
    platform::ui::BlurView scrimBlur_;
    ScrimView scrim_;

    WallModel model_;
    std::map<std::string, std::unique_ptr<Entry>> entries_;
    std::string currentWall_;
    std::optional<std::string> activeId_;
    std::optional<std::string> zoomId_;
    bool barHidden_ = false;
    bool restoring_ = false;
    // A tile of the restore is being opened.
    bool restoringOne_ = false;
    bool restoreMissed_ = false;
    // The restore's records still to start, each with the id it will have.
    std::deque<Store::ClosedTile> pendingRestore_;
    // Until the restore (or the start-up folders), saves keep the last run's tiles too.
    bool launchSettled_ = false;
    std::vector<Store::ClosedTile> savedAtLaunch_;
    std::optional<std::string> dragId_;
    std::optional<std::string> layoutSkip_;
    // A tile is closed to be opened anew in its place: the keyboard waits for the new one.
    bool replacing_ = false;
    bool titleBusy_ = false;
    // Tile id to its prompt when the last answer about it named nothing.
    std::map<std::string, std::string> titleFailedPrompts_;
    std::shared_ptr<platform::runtime::WorkItem> titleTimer_;
    std::shared_ptr<platform::runtime::WorkItem> zoomedProgramTimer_;
    // Looks at the zoomed tile now and, while it is a shell tile, again in a while.
    void watchZoomedProgram();
    std::shared_ptr<platform::runtime::WorkItem> barHideTimer_;
    // Until then the bars stay in for what the bar said.
    platform::runtime::TimePoint barNewsUntil_{};
    platform::ui::Window* monitoredWindow_ = nullptr;
    std::shared_ptr<LookPopover> lookPopover_;

    std::vector<platform::runtime::NotificationCenter::Subscription> observers_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quiltdeck
