#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "quiltdeck/sessions/BrowserInfo.h"
#include "quiltdeck/sessions/Date.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/SessionStatus.h"

namespace quiltdeck {

// The tile wall without views or sessions: the tiles of every wall in one
// order, the rules of the walls, and the picks the wall makes from them (the
// active tile, the tile that needs the user, counts). A tile here is a record;
// the grid keeps each one's status and finished flag current. The main wall is
// the empty name; the other walls are the store's list, in order.
class WallModel {
public:
    struct Tile {
        std::string id;
        std::string wall;
        SessionStatus status = SessionStatus::idle;
        bool finished = false;
        friend bool operator==(const Tile&, const Tile&) = default;
    };

    // --- Order ---------------------------------------------------------------------------------
    const std::vector<Tile>& tiles() const { return tiles_; }
    size_t count() const { return tiles_.size(); }
    bool empty() const { return tiles_.empty(); }
    const Tile* find(std::string_view id) const;
    Tile* find(std::string_view id);
    std::optional<size_t> indexOf(std::string_view id) const;
    // Appends, or puts the tile at `at` when 0 ≤ `at` < count; returns where it went.
    size_t insert(Tile tile, std::optional<long> at = std::nullopt);
    // False when no tile has the id.
    bool remove(std::string_view id);
    // The ids of one wall's tiles, in order: its slots.
    std::vector<std::string> idsOnWall(std::string_view wall) const;
    size_t countOnWall(std::string_view wall) const;
    // A tile's slot on its wall.
    std::optional<size_t> slotOf(std::string_view id) const;
    // Moves a tile of `wall` into the wall's slot `slot`; the tiles of other walls
    // keep their order. False when nothing moved (unknown tile, same slot).
    bool moveToSlot(std::string_view id, std::string_view wall, size_t slot);
    // Every tile of `from` goes to `to`, in place.
    void reassignWall(std::string_view from, std::string_view to);

    // --- Walls -----------------------------------------------------------------------------------
    // The main wall, then `walls`.
    static std::vector<std::string> wallOrder(const std::vector<std::string>& walls);
    // The main wall, or a name in `walls`.
    static bool wallExists(std::string_view wall, const std::vector<std::string>& walls);
    // The wall `delta` places on, cycling; none when there is only the main wall
    // or `current` is not a wall.
    static std::optional<std::string> nextWall(std::string_view current, const std::vector<std::string>& walls,
                                               int delta);
    // `old` replaced by `name` in place; none when the rename changes nothing
    // (same name, empty name, or a name already taken).
    static std::optional<std::vector<std::string>> renamedWalls(const std::vector<std::string>& walls,
                                                                std::string_view old, std::string_view name);
    static std::vector<std::string> withoutWall(const std::vector<std::string>& walls, std::string_view wall);
    // `name` appended unless empty or already there.
    static std::vector<std::string> withWall(const std::vector<std::string>& walls, std::string_view name);

    // --- Active, zoom and attention ---------------------------------------------------------------
    std::optional<std::string> firstOnWall(std::string_view wall) const;
    // The active tile once `wall` is shown: `active` while it is on that wall, else the wall's first.
    std::optional<std::string> activeFor(std::string_view wall, const std::optional<std::string>& active) const;
    // The tile at a 0-based position of the wall; none out of range.
    std::optional<std::string> atSlot(std::string_view wall, long index) const;
    // The tile that needs the user most: waiting on the wall shown, waiting
    // anywhere, finished on the wall shown, finished anywhere; never the zoomed one.
    std::optional<std::string> attentionPick(std::string_view currentWall, const std::optional<std::string>& zoomId) const;

    // --- Counts ----------------------------------------------------------------------------------
    struct Counts {
        int total = 0, busy = 0, waiting = 0, done = 0;
        friend bool operator==(const Counts&, const Counts&) = default;
    };
    Counts counts() const;
    // Per wall with any: waiting tiles; finished tiles.
    std::map<std::string, int> waitingByWall() const;
    std::map<std::string, int> doneByWall() const;

    // --- Records -------------------------------------------------------------------------------
    // What a record is made from.
    struct Facts {
        std::string id;
        std::string title;
        std::string cwd;
        bool isShell = false;
        std::optional<std::string> browserId;
        std::optional<std::string> claudeSessionId;
        std::string lastPrompt;
        bool userNamed = false;
        std::string wall;
    };
    // close: for the history, no wall, no id. exited: for the history at quit,
    // with its wall. open: the open-tile list, with its wall and id. A Main tile
    // has no wall in any record.
    enum class Maker { close, exited, open };
    static Store::ClosedTile record(const Facts& facts, Maker maker, Date now = Date::now());

    // How a record reopens. From the history, a record without a wall (or with
    // one that is gone) goes to the wall shown; at the restore, one without a
    // wall was a Main tile and goes back to Main.
    struct Reopen {
        std::optional<BrowserInfo> browser;
        // none: the wall shown.
        std::optional<std::string> wall;
        std::optional<std::string> resume;
        bool continueLatest = false;
        bool userNamed = false;
        // The record's id when no live tile uses it.
        std::optional<std::string> id;
    };
    Reopen reopenChoices(const Store::ClosedTile& record, bool resume, bool restoring,
                         const std::vector<std::string>& walls, const std::vector<BrowserInfo>& browsers) const;

private:
    std::vector<Tile> tiles_;
};

}  // namespace quiltdeck
