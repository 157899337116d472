#include "quiltdeck/sessions/Store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <ctime>
#include <iterator>
#include <system_error>

#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"
#include "quiltdeck/shell/StateFolder.h"

namespace quiltdeck {

namespace fs = std::filesystem;

Store& Store::shared() {
    static Store* const store = new Store(StateFolder::path());
    return *store;
}

namespace {

// The shell's settings are the process's store's, made on first use as every other reader makes it.
const StoredSettings& sharedSettings() { return Store::shared(); }
[[maybe_unused]] const bool storeAnswersTheSettings = (StoredSettings::setSource(&sharedSettings), true);

}  // namespace

Store::Store(fs::path dir) : dir_(std::move(dir)), file_(dir_ / "state.json") {
    std::error_code ignored;
    fs::create_directories(dir_ / "drops", ignored);
    lockFolder();
    if (!heldByAnotherProcess_) removeUnfinishedWrites(file_);
    load();
}

Store::~Store() {
    if (lockFd_ >= 0) ::close(lockFd_);
}

bool Store::heldElsewhere(const fs::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);  // releases the lock if it was taken here
    return held;
}

// Two processes on one folder would overwrite each other's changes and resume
// the same conversations; the second one only reads.
void Store::lockFolder() {
    lockFd_ = ::open(dir_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lockFd_ < 0) return;
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) == 0) return;
    if (errno == EWOULDBLOCK) {
        heldByAnotherProcess_ = true;
        readOnly_ = true;
        readOnlyCause_ = ReadOnlyCause::heldElsewhere;
        Log::write("state folder " + dir_.string() + " is in use by another process; changes will not be saved");
    }
    ::close(lockFd_);
    lockFd_ = -1;
}

void Store::load() {
    int readError = 0;
    const auto bytes = readWholeFile(file_, fileSizeLimit, &readError);
    if (!bytes) {
        // A file that is there but cannot be read must never be replaced.
        if (readError != ENOENT) {
            readOnly_ = true;
            // Another process's hold says more than its file does.
            if (readOnlyCause_ == ReadOnlyCause::none) {
                readOnlyCause_ = ReadOnlyCause::unreadable;
                readOnlyError_ = readError;
            }
            Log::write(std::string("state.json unreadable (") +
                       (readError == EINVAL ? "not a regular file" : std::strerror(readError)) +
                       "); changes will not be saved");
        }
        return;
    }
    std::string error;
    // Only what the limits keep is made: the open tiles to restore and the history behind them.
    if (auto decoded = decode(*bytes, &error, openTilesLimit + closedLimit)) {
        state_ = std::move(*decoded);
        if (holdToLimits(state_) > 0) {
            Log::write("state.json: open tiles past the first " + std::to_string(openTilesLimit) + " go to the history");
        }
        return;
    }
    if (heldByAnotherProcess_) return;  // the holder deals with it

    const std::string copyName = "state.json.broken-" + std::to_string(static_cast<long long>(std::time(nullptr)));
    if (writeFileDurably(dir_ / copyName, *bytes, 0600)) {
        ::unlink(file_.c_str());
    } else {
        readOnly_ = true;
        readOnlyCause_ = ReadOnlyCause::undecodable;
    }
    Log::write("state.json failed to decode (" + error + "); copy set aside as " + copyName);
}

bool Store::save() {
    if (readOnly_) return false;
    // A file past the read limit would leave every later run read-only.
    size_t dropped = 0;
    const std::optional<std::string> bytes = encodeWithin(state_, fileSizeLimit, &dropped);
    if (dropped > 0) {
        Log::write("store: the " + std::to_string(dropped) + " oldest history records dropped, state.json would pass " +
                   std::to_string(fileSizeLimit >> 20) + " MiB");
    }
    if (!bytes) return saveReport_.record(false, EFBIG);
    const bool saved = writeFileDurably(file_, *bytes, 0600);
    return saveReport_.record(saved, errno);
}

size_t Store::holdToLimits(State& s) {
    std::vector<std::string> recents;
    for (std::string& folder : s.recents) {
        if (recents.size() == recentsLimit) break;
        if (std::find(recents.begin(), recents.end(), folder) == recents.end()) recents.push_back(std::move(folder));
    }
    s.recents = std::move(recents);
    for (auto label = s.browserLabels.begin(); label != s.browserLabels.end();) {
        const std::string trimmed = trimWhiteSpace(label->second);
        if (trimmed.empty()) {
            label = s.browserLabels.erase(label);
            continue;
        }
        label->second = firstCharacters(trimmed, labelLimit);
        ++label;
    }
    if (std::isfinite(s.zoomScale)) s.zoomScale = std::clamp(s.zoomScale, zoomScaleMin, zoomScaleMax);
    for (auto metrics = s.tileMetrics.begin(); metrics != s.tileMetrics.end();) {
        if (metrics->second.empty()) {
            metrics = s.tileMetrics.erase(metrics);
            continue;
        }
        if (metrics->second.size() > metricsLimit) metrics->second.resize(metricsLimit);
        ++metrics;
    }
    for (auto& [folder, feed] : s.tileFeeds) {
        if (feed.items.size() > feedItemsLimit) feed.items.resize(feedItemsLimit);
    }
    size_t moved = 0;
    if (s.openTiles.size() > openTilesLimit) {
        // Newer than anything closed: they were open at the last save. History records carry no id.
        const auto past = s.openTiles.begin() + static_cast<std::ptrdiff_t>(openTilesLimit);
        moved = static_cast<size_t>(s.openTiles.end() - past);
        for (auto tile = past; tile != s.openTiles.end(); ++tile) tile->tileId.reset();
        s.closed.insert(s.closed.begin(), std::make_move_iterator(past), std::make_move_iterator(s.openTiles.end()));
        s.openTiles.erase(past, s.openTiles.end());
    }
    if (s.closed.size() > closedLimit) s.closed.resize(closedLimit);
    return moved;
}

std::vector<Store::Metric> Store::metrics(const std::string& folder) const {
    auto found = state_.tileMetrics.find(folder);
    return found == state_.tileMetrics.end() ? std::vector<Metric>{} : found->second;
}

std::optional<Store::Feed> Store::feed(const std::string& folder) const {
    auto found = state_.tileFeeds.find(folder);
    if (found == state_.tileFeeds.end()) return std::nullopt;
    return found->second;
}

void Store::setAiTitles(bool on) { change([&](State& s) { s.aiTitles = on; }); }
void Store::setThemeMode(std::string mode) { change([&](State& s) { s.themeMode = std::move(mode); }); }
void Store::setFontName(std::string name) { change([&](State& s) { s.fontName = std::move(name); }); }
void Store::setMarkStyle(std::string style) { change([&](State& s) { s.markStyle = std::move(style); }); }
void Store::setLanguage(std::string code) { change([&](State& s) { s.language = std::move(code); }); }
void Store::setPermissionMode(std::string mode) { change([&](State& s) { s.permissionMode = std::move(mode); }); }
void Store::setAutoTrustHome(bool on) { change([&](State& s) { s.autoTrustHome = on; }); }
void Store::setOpenAtLogin(bool on) { change([&](State& s) { s.openAtLogin = on; }); }
void Store::setOnboarded(bool on) { change([&](State& s) { s.onboarded = on; }); }
void Store::setWalls(std::vector<std::string> walls) { change([&](State& s) { s.walls = std::move(walls); }); }
void Store::setCurrentWall(std::string wall) { change([&](State& s) { s.currentWall = std::move(wall); }); }
void Store::setOpenTiles(std::vector<ClosedTile> tiles) { change([&](State& s) { s.openTiles = std::move(tiles); }); }
void Store::setBrowserCache(StringMap cache) { change([&](State& s) { s.browserCache = std::move(cache); }); }
void Store::setBrowserAccounts(StringMap accounts) {
    change([&](State& s) { s.browserAccounts = std::move(accounts); });
}

// A number the document cannot hold would be written as null and lost at the
// next load, so it never gets in.
void Store::setMinFontSize(double points) {
    if (std::isfinite(points)) change([&](State& s) { s.minFontSize = points; });
}

void Store::setZoomScale(double scale) {
    if (std::isfinite(scale)) change([&](State& s) { s.zoomScale = std::clamp(scale, zoomScaleMin, zoomScaleMax); });
}

namespace {

template <class Map, class Value>
void setOrErase(Map& map, const std::string& key, std::optional<Value> value) {
    if (value) map[key] = std::move(*value);
    else map.erase(key);
}

}  // namespace

void Store::setTileColor(const std::string& folder, std::optional<std::string> color) {
    change([&](State& s) { setOrErase(s.tileColors, folder, std::move(color)); });
}

void Store::setTileLogo(const std::string& folder, std::optional<std::string> path) {
    change([&](State& s) { setOrErase(s.tileLogos, folder, std::move(path)); });
}

void Store::setTileName(const std::string& folder, std::optional<std::string> name) {
    change([&](State& s) { setOrErase(s.tileNames, folder, std::move(name)); });
}

void Store::setTileFeed(const std::string& folder, std::optional<Feed> feed) {
    change([&](State& s) { setOrErase(s.tileFeeds, folder, std::move(feed)); });
}

void Store::removeClosed(size_t index) {
    change([&](State& s) {
        if (index < s.closed.size()) s.closed.erase(s.closed.begin() + static_cast<std::ptrdiff_t>(index));
    });
}

void Store::remember(const std::string& cwd) {
    change([&](State& s) {
        std::erase(s.recents, cwd);
        s.recents.insert(s.recents.begin(), cwd);
        if (s.recents.size() > recentsLimit) s.recents.resize(recentsLimit);
    });
}

namespace {

bool sameConversation(const Store::ClosedTile& a, const Store::ClosedTile& b) {
    return a.claudeSessionId && !a.claudeSessionId->empty() && a.claudeSessionId == b.claudeSessionId;
}

// Reopening it starts afresh in its folder, whatever else the record holds.
bool nothingToResume(const Store::ClosedTile& tile) {
    return (!tile.claudeSessionId || tile.claudeSessionId->empty()) && (!tile.lastPrompt || tile.lastPrompt->empty());
}

}  // namespace

void Store::recordClosed(ClosedTile tile) {
    putFirstInHistory(std::move(tile), [](const ClosedTile&) { return false; });
}

void Store::recordFreshStart(ClosedTile tile) {
    const bool fresh = nothingToResume(tile);
    const std::string cwd = tile.cwd;
    const bool isShell = tile.isShell;
    putFirstInHistory(std::move(tile), [&](const ClosedTile& old) {
        return fresh && nothingToResume(old) && old.cwd == cwd && old.isShell == isShell;
    });
}

void Store::putFirstInHistory(ClosedTile tile, const std::function<bool(const ClosedTile&)>& replaces) {
    change([&](State& s) {
        std::erase_if(s.closed, [&](const ClosedTile& old) { return sameConversation(old, tile) || replaces(old); });
        s.closed.insert(s.closed.begin(), std::move(tile));
        if (s.closed.size() > closedLimit) s.closed.resize(closedLimit);
    });
}

void Store::setLabel(std::string_view label, const std::string& deviceId) {
    std::string trimmed = trimWhiteSpace(label);
    change([&](State& s) {
        if (trimmed.empty()) s.browserLabels.erase(deviceId);
        else s.browserLabels[deviceId] = firstCharacters(trimmed, labelLimit);
    });
}

void Store::setMetrics(std::vector<Metric> metrics, const std::string& folder) {
    change([&](State& s) {
        if (metrics.empty()) {
            s.tileMetrics.erase(folder);
            return;
        }
        if (metrics.size() > metricsLimit) metrics.resize(metricsLimit);
        s.tileMetrics[folder] = std::move(metrics);
    });
}

}  // namespace quiltdeck
