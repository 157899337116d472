#include "quiltdeck/wall/WallModel.h"

#include <algorithm>

#include "quiltdeck/sessions/PathText.h"

namespace quiltdeck {

// --- Order ---------------------------------------------------------------------------------------

const WallModel::Tile* WallModel::find(std::string_view id) const {
    for (const Tile& tile : tiles_) {
        if (tile.id == id) return &tile;
    }
    return nullptr;
}

WallModel::Tile* WallModel::find(std::string_view id) {
    return const_cast<Tile*>(static_cast<const WallModel&>(*this).find(id));
}

std::optional<size_t> WallModel::indexOf(std::string_view id) const {
    for (size_t i = 0; i < tiles_.size(); ++i) {
        if (tiles_[i].id == id) return i;
    }
    return std::nullopt;
}

size_t WallModel::insert(Tile tile, std::optional<long> at) {
    // A position before the end takes the tile; anything else (negative, past the end) appends.
    if (at && *at >= 0 && static_cast<size_t>(*at) < tiles_.size()) {
        tiles_.insert(tiles_.begin() + *at, std::move(tile));
        return static_cast<size_t>(*at);
    }
    tiles_.push_back(std::move(tile));
    return tiles_.size() - 1;
}

bool WallModel::remove(std::string_view id) {
    const auto at = indexOf(id);
    if (!at) return false;
    tiles_.erase(tiles_.begin() + static_cast<long>(*at));
    return true;
}

std::vector<std::string> WallModel::idsOnWall(std::string_view wall) const {
    std::vector<std::string> ids;
    for (const Tile& tile : tiles_) {
        if (tile.wall == wall) ids.push_back(tile.id);
    }
    return ids;
}

size_t WallModel::countOnWall(std::string_view wall) const {
    return static_cast<size_t>(
        std::count_if(tiles_.begin(), tiles_.end(), [&](const Tile& tile) { return tile.wall == wall; }));
}

std::optional<size_t> WallModel::slotOf(std::string_view id) const {
    const Tile* tile = find(id);
    if (!tile) return std::nullopt;
    size_t slot = 0;
    for (const Tile& other : tiles_) {
        if (other.id == id) return slot;
        if (other.wall == tile->wall) ++slot;
    }
    return std::nullopt;
}

bool WallModel::moveToSlot(std::string_view id, std::string_view wall, size_t slot) {
    const std::vector<std::string> onWall = idsOnWall(wall);
    const auto from = std::find(onWall.begin(), onWall.end(), id);
    if (from == onWall.end() || slot >= onWall.size()) return false;
    const size_t f = static_cast<size_t>(from - onWall.begin());
    if (f == slot) return false;
    const std::string anchor = onWall[slot];
    const auto dragged = indexOf(id);
    Tile moving = std::move(tiles_[*dragged]);
    tiles_.erase(tiles_.begin() + static_cast<long>(*dragged));
    // Forwards the tile goes after the tile it lands on, backwards before it.
    size_t to = indexOf(anchor).value_or(tiles_.size());
    if (f < slot) ++to;
    to = std::min(to, tiles_.size());
    tiles_.insert(tiles_.begin() + static_cast<long>(to), std::move(moving));
    return true;
}

void WallModel::reassignWall(std::string_view from, std::string_view to) {
    for (Tile& tile : tiles_) {
        if (tile.wall == from) tile.wall = std::string(to);
    }
}

// --- Walls ---------------------------------------------------------------------------------------

std::vector<std::string> WallModel::wallOrder(const std::vector<std::string>& walls) {
    std::vector<std::string> order{""};
    order.insert(order.end(), walls.begin(), walls.end());
    return order;
}

bool WallModel::wallExists(std::string_view wall, const std::vector<std::string>& walls) {
    return wall.empty() || std::find(walls.begin(), walls.end(), wall) != walls.end();
}

std::optional<std::string> WallModel::nextWall(std::string_view current, const std::vector<std::string>& walls,
                                               int delta) {
    const std::vector<std::string> order = wallOrder(walls);
    const auto at = std::find(order.begin(), order.end(), current);
    if (at == order.end() || order.size() == 1) return std::nullopt;
    const long count = static_cast<long>(order.size());
    const long i = at - order.begin();
    // Any delta, however large, lands inside the list.
    const long next = ((i + delta) % count + count) % count;
    return order[static_cast<size_t>(next)];
}

std::optional<std::vector<std::string>> WallModel::renamedWalls(const std::vector<std::string>& walls,
                                                                std::string_view old, std::string_view name) {
    if (name.empty() || name == old) return std::nullopt;
    if (std::find(walls.begin(), walls.end(), name) != walls.end()) return std::nullopt;
    std::vector<std::string> renamed = walls;
    std::replace(renamed.begin(), renamed.end(), std::string(old), std::string(name));
    return renamed;
}

std::vector<std::string> WallModel::withoutWall(const std::vector<std::string>& walls, std::string_view wall) {
    std::vector<std::string> rest = walls;
    std::erase(rest, std::string(wall));
    return rest;
}

std::vector<std::string> WallModel::withWall(const std::vector<std::string>& walls, std::string_view name) {
    if (wallExists(name, walls)) return walls;
    std::vector<std::string> more = walls;
    more.emplace_back(name);
    return more;
}

// --- Active, zoom and attention --------------------------------------------------------------------

std::optional<std::string> WallModel::firstOnWall(std::string_view wall) const {
    for (const Tile& tile : tiles_) {
        if (tile.wall == wall) return tile.id;
    }
    return std::nullopt;
}

std::optional<std::string> WallModel::activeFor(std::string_view wall, const std::optional<std::string>& active) const {
    if (active) {
        if (const Tile* tile = find(*active); tile && tile->wall == wall) return active;
    }
    return firstOnWall(wall);
}

std::optional<std::string> WallModel::atSlot(std::string_view wall, long index) const {
    if (index < 0) return std::nullopt;
    long slot = 0;
    for (const Tile& tile : tiles_) {
        if (tile.wall != wall) continue;
        if (slot++ == index) return tile.id;
    }
    return std::nullopt;
}

std::optional<std::string> WallModel::attentionPick(std::string_view currentWall,
                                                    const std::optional<std::string>& zoomId) const {
    auto pick = [&](auto wanted, bool currentOnly) -> std::optional<std::string> {
        for (const Tile& tile : tiles_) {
            if (currentOnly && tile.wall != currentWall) continue;
            if (!wanted(tile) || (zoomId && tile.id == *zoomId)) continue;
            return tile.id;
        }
        return std::nullopt;
    };
    auto waiting = [](const Tile& t) { return t.status == SessionStatus::waiting; };
    auto finished = [](const Tile& t) { return t.finished; };
    if (auto id = pick(waiting, true)) return id;
    if (auto id = pick(waiting, false)) return id;
    if (auto id = pick(finished, true)) return id;
    return pick(finished, false);
}

// --- Counts --------------------------------------------------------------------------------------

WallModel::Counts WallModel::counts() const {
    Counts counts;
    for (const Tile& tile : tiles_) {
        ++counts.total;
        if (tile.status == SessionStatus::busy) ++counts.busy;
        if (tile.status == SessionStatus::waiting) ++counts.waiting;
        if (tile.finished) ++counts.done;
    }
    return counts;
}

std::map<std::string, int> WallModel::waitingByWall() const {
    std::map<std::string, int> byWall;
    for (const Tile& tile : tiles_) {
        if (tile.status == SessionStatus::waiting) ++byWall[tile.wall];
    }
    return byWall;
}

std::map<std::string, int> WallModel::doneByWall() const {
    std::map<std::string, int> byWall;
    for (const Tile& tile : tiles_) {
        if (tile.finished) ++byWall[tile.wall];
    }
    return byWall;
}

// --- Records -------------------------------------------------------------------------------------

Store::ClosedTile WallModel::record(const Facts& facts, Maker maker, Date now) {
    Store::ClosedTile record;
    record.title = facts.title;
    record.name = lastPathComponent(facts.cwd);
    record.cwd = facts.cwd;
    record.isShell = facts.isShell;
    record.browserId = facts.browserId;
    record.closedAt = now;
    record.claudeSessionId = facts.claudeSessionId;
    if (!facts.lastPrompt.empty()) record.lastPrompt = facts.lastPrompt;
    record.userNamed = facts.userNamed;
    if (maker != Maker::close && !facts.wall.empty()) record.wall = facts.wall;
    if (maker == Maker::open) record.tileId = facts.id;
    return record;
}

WallModel::Reopen WallModel::reopenChoices(const Store::ClosedTile& record, bool resume, bool restoring,
                                           const std::vector<std::string>& walls,
                                           const std::vector<BrowserInfo>& browsers) const {
    Reopen reopen;
    if (record.browserId) {
        const auto browser = std::find_if(browsers.begin(), browsers.end(),
                                          [&](const BrowserInfo& b) { return b.deviceId == *record.browserId; });
        if (browser != browsers.end()) reopen.browser = *browser;
    }
    if (record.wall) {
        if (wallExists(*record.wall, walls)) reopen.wall = *record.wall;
    } else if (restoring) {
        // Open tiles are saved without a wall only when they were on Main.
        reopen.wall = "";
    }
    if (resume) {
        reopen.resume = record.claudeSessionId;
        reopen.continueLatest = !record.claudeSessionId && record.lastPrompt && !record.lastPrompt->empty();
    }
    reopen.userNamed = record.userNamed.value_or(false);
    if (record.tileId && !find(*record.tileId)) reopen.id = record.tileId;
    return reopen;
}

}  // namespace quiltdeck
