#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/FlippedView.h"
#include "quiltdeck/panels/BarView.h"
#include "quiltdeck/panels/OnboardingView.h"
#include "quiltdeck/sessions/HookServer.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/wall/GridView.h"
#include "quiltdeck/wall/WallTile.h"

namespace quiltdeck {

// The tile wall, as far as the application shell needs it: the open tiles in
// order, each one's terminal view in an equal cell of the grid's view, the active
// tile (the one last clicked or focused), the hook server wired to the tiles, and
// the operations that open, restore, save, record and close tiles. One wall;
// nothing zooms. Main thread.
class GridController {
public:
    // Makes the tile's session and starts its child; `hookPort` is the hook server's.
    using TileFactory = std::function<std::unique_ptr<WallTile>(const TileRequest& request, uint16_t hookPort)>;

    GridController(TileFactory makeTile, HookServer::Options hookOptions = {});
    ~GridController();
    GridController(const GridController&) = delete;
    GridController& operator=(const GridController&) = delete;

    // Starts the hook server, then hands its requests to the tiles.
    void viewDidLoad();

    GridView& view() { return view_; }
    // The window's content: the top bar above the grid.
    platform::ui::View& root() { return root_; }
    BarView& bar() { return bar_; }
    // What the wall shows while it has no tiles.
    OnboardingView& emptyCard() { return empty_; }
    HookServer& hooks() { return *hooks_; }
    const std::vector<std::unique_ptr<WallTile>>& sessions() const { return sessions_; }
    WallTile* session(const std::string& id) const;
    // The tile whose view has the keyboard, else the one that had it last.
    std::optional<std::string> activeId() const;
    WallTile* activeSession() const;
    size_t liveCount() const;
    size_t waitingCount() const;

    // Told whenever tiles come or go or a tile's status changes.
    std::function<void()> onSessionsChanged;
    // The wall's own "new tile" request (also the bar's new-session pill), and the bar's others.
    std::function<void()> onNewRequested;
    std::function<void()> onGuideRequested;
    std::function<void()> onHistoryRequested;
    std::function<void()> onSettingsRequested;
    std::function<void()> onBrowsersRequested;

    // The new tile, appended; null when no tile could be made.
    WallTile* open(TileRequest request);
    // Reopens the tiles saved at the last quit, with their conversations, then
    // saves the list again.
    void restoreOpenTiles();
    void reopen(const Store::ClosedTile& record, bool resume);
    // The live tiles to the store's open-tile list (not while restoring).
    void saveOpenTiles();
    // Every exited tile into the closed-tile history.
    void recordExitedTiles();
    // Asks first (with a sheet) when the tile is live.
    void requestClose(const std::string& id);
    // Records the tile in the history, kills it and takes it off the wall.
    void close(const std::string& id);
    // The keyboard to the tile at that position; nothing past the end.
    void focus(size_t index);
    // The keyboard to the active tile, on the next turn of the main loop.
    void focusActive();
    // Nothing zooms on this wall: Escape is never taken.
    bool escapePressed() { return false; }
    // Every tile's child ends (quit, snapshot): timers stop, SIGTERM, no exit report.
    void killAll();

private:
    Store::ClosedTile recordOf(const WallTile& tile, bool withWall, bool withId) const;
    void relayout();
    void recount();
    HookSnapshot snapshot() const;
    void discard(std::unique_ptr<WallTile> tile);
    void publishTiles();
    void changed();

    TileFactory makeTile_;
    std::unique_ptr<HookServer> hooks_;
    // Lays the bar along the top and the grid under it.
    class RootView : public platform::ui::FlippedView {
    public:
        RootView(BarView& bar, GridView& grid);
        void setFrameSize(Size size) override;

    private:
        BarView& bar_;
        GridView& grid_;
    };

    GridView view_;
    OnboardingView empty_;
    BarView bar_;
    RootView root_{bar_, view_};
    std::vector<std::unique_ptr<WallTile>> sessions_;
    mutable std::optional<std::string> activeId_;
    std::vector<Store::ClosedTile> savedAtLaunch_;
    bool restoring_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    std::vector<platform::runtime::NotificationCenter::Subscription> observers_;
};

}  // namespace quiltdeck
