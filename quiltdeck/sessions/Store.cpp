#include "quiltdeck/sessions/Store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <functional>
#include <iterator>
#include <limits>
#include <system_error>
#include <unordered_set>

#include "platform/runtime/MainLoop.h"
#include "platform/runtime/NotificationCenter.h"
#include "quiltdeck/sessions/FileReading.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/Lang.h"
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

Store::Store(fs::path dir)
    : dir_(std::move(dir)),
      file_(dir_ / "state.json"),
      // A dotfile manager may keep state.json as a link elsewhere: it stays a link.
      saver_(
          file_, 0600, [this](bool saved, int error) { saveTried(saved, error); }, FileSaver::Links::through,
          [this](const FileSaver::KeptNews& news) {
              std::string line = "store: " + news.file.string() + " is not the file this run read or wrote; what it held is " +
                                 (news.made ? "kept as " : "kept already, as ") + news.copy.string();
              if (news.times > 1) line += " (another program has written it " + std::to_string(news.times) + " times)";
              for (const auto& removed : news.removed) line += "; the older copy " + removed.filename().string() + " removed";
              Log::write(line);
              platform::runtime::MainLoop::main().post([this, alive = weakAlive_, kept = Kept{news.file, news.copy, news.times}] {
                  if (alive.expired()) return;
                  keptAside_ = kept;
                  savesChanged();
              });
          }) {
    StateFolder::make(dir_);
    lockFolder();
    if (!heldByAnotherProcess_) {
        removeUnfinishedWrites(file_);
        if (const auto target = finalLinkTarget(file_); target && *target != file_) removeUnfinishedWrites(*target);
    }
    load();
}

Store::~Store() {
    if (retry_) retry_->cancel();
    // The last change is on disk before the folder is free for another process.
    saver_.flush();
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

namespace {

// The interface language named in a document that failed to decode, so that the run it starts
// afresh, and the notice that says so, speak the user's language: a top-level key written
// compactly as the store writes it.
std::optional<std::string> languageIn(std::string_view bytes) {
    constexpr std::string_view key = "\"language\":\"";
    const size_t at = bytes.rfind(key);
    if (at == std::string_view::npos) return std::nullopt;
    const std::string_view rest = bytes.substr(at + key.size());
    const std::string_view code = rest.substr(0, rest.find('"'));
    if (code.size() == rest.size() || !Lang::fromRawValue(code)) return std::nullopt;
    return std::string(code);
}

std::string plural(size_t count, const std::string& one, const std::string& many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

constexpr std::string_view brokenCopyPrefix = "state.json.broken-";

// What stands beside state.json under a copy's name. Only a regular file counts as a copy: a link
// or anything else under such a name is never read, named or removed, though its name is taken.
struct BrokenCopies {
    // Named for the moment they were made (seconds since 1970), newest first.
    std::vector<std::pair<long long, fs::path>> copies;
    std::unordered_set<long long> taken;  // the seconds of every name, copy or not
};

BrokenCopies brokenCopies(const fs::path& dir) {
    BrokenCopies found;
    for (const std::string& name : listNames(dir).value_or(std::vector<std::string>{})) {
        if (!name.starts_with(brokenCopyPrefix)) continue;
        const std::string_view digits = std::string_view(name).substr(brokenCopyPrefix.size());
        long long seconds = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
        if (error != std::errc() || end != digits.data() + digits.size() || digits.empty()) continue;
        found.taken.insert(seconds);
        struct stat info {};
        if (::lstat((dir / name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
            found.copies.emplace_back(seconds, dir / name);
    }
    std::sort(found.copies.begin(), found.copies.end(), std::greater<>());
    return found;
}

// Compared on the file opened, never through a link: a name swapped for a link after the listing
// holds nothing.
bool holdsBytes(const fs::path& file, std::string_view bytes) {
    const int fd = openRegularFile(file, O_RDONLY | O_NOFOLLOW);
    if (fd < 0) return false;
    struct stat info {};
    bool same = ::fstat(fd, &info) == 0 && static_cast<uintmax_t>(info.st_size) == bytes.size();
    std::string chunk(same ? std::min<size_t>(bytes.size(), 1 << 16) : 0, '\0');
    for (size_t at = 0; same && at < bytes.size();) {
        const ssize_t n = ::read(fd, chunk.data(), std::min(chunk.size(), bytes.size() - at));
        if (n < 0 && errno == EINTR) continue;
        const std::string_view read(chunk.data(), n > 0 ? static_cast<size_t>(n) : 0);
        same = !read.empty() && bytes.substr(at, read.size()) == read;
        at += read.size();
    }
    ::close(fd);
    return same;
}

struct KeptCopy {
    fs::path path;
    std::vector<std::string> removed;  // older copies, past the newest few
};

// Keeps the bytes beside state.json, the user's alone and durably, unless a copy with the same
// bytes is kept already (a file put back by a sync tool, launch after launch): then that copy is
// the one named. Only the newest few copies stay, the one named among them. Nothing, with the
// errno value in `error`, when the copy cannot be written.
std::optional<KeptCopy> keepCopy(const fs::path& dir, std::string_view bytes, int& error) {
    const BrokenCopies found = brokenCopies(dir);
    const auto& copies = found.copies;
    KeptCopy kept;
    const auto same = std::find_if(copies.begin(), copies.end(), [&](const auto& copy) { return holdsBytes(copy.second, bytes); });
    if (same != copies.end()) {
        kept.path = same->second;
    } else {
        // Another launch in the same second made a copy of other bytes: its name is not reused,
        // nor the name of anything else there.
        auto seconds = static_cast<long long>(std::time(nullptr));
        while (found.taken.contains(seconds)) ++seconds;
        kept.path = dir / (std::string(brokenCopyPrefix) + std::to_string(seconds));
        if (!writeFileDurably(kept.path, bytes, 0600)) {
            error = errno ? errno : EIO;
            return std::nullopt;
        }
    }
    size_t others = 0;
    for (const auto& [seconds, path] : copies) {
        if (path == kept.path || ++others < Store::brokenCopiesKept) continue;
        if (::unlink(path.c_str()) == 0) kept.removed.push_back(path.filename().string());
    }
    return kept;
}

// "copy set aside as state.json.broken-1765000000; older copies removed: state.json.broken-1764000000"
std::string told(const std::string& keptAs, const KeptCopy& copy) {
    std::string text = keptAs + copy.path.filename().string();
    for (size_t i = 0; i < copy.removed.size(); ++i) text += (i == 0 ? "; older copies removed: " : ", ") + copy.removed[i];
    return text;
}

std::string noCopy(int error) {
    return std::string("no copy of the file could be made (") + std::strerror(error) +
           "); nothing is written over it until one is, tried again with each save";
}

// "1 of 6 history records, 1 of 3 open-tile records, 2 fields of the wrong type and 1 number out
// of range could not be read and were set aside"
std::string describe(const Store::SetAside& setAside) {
    std::vector<std::string> parts;
    size_t total = setAside.fields + setAside.numbers + setAside.strings;
    for (size_t list = 0; list < Store::SetAside::listCount; ++list) {
        const auto& [unread, inFile] = setAside.records[list];
        const std::string name(Store::SetAside::names[list].second);
        if (unread > 0) parts.push_back(std::to_string(unread) + " of " + plural(inFile, name + " record", name + " records"));
        total += unread;
    }
    if (setAside.fields > 0) parts.push_back(plural(setAside.fields, "field of the wrong type", "fields of the wrong type"));
    if (setAside.numbers > 0) parts.push_back(plural(setAside.numbers, "number out of range", "numbers out of range"));
    if (setAside.strings > 0) parts.push_back(plural(setAside.strings, "broken string", "broken strings"));
    std::string text;
    for (size_t i = 0; i < parts.size(); ++i) text += (i == 0 ? "" : i + 1 == parts.size() ? " and " : ", ") + parts[i];
    return text + " could not be read and " + (total == 1 ? "was" : "were") + " set aside";
}

}  // namespace

bool Store::SetAside::any() const {
    return fields > 0 || numbers > 0 || strings > 0 ||
           std::any_of(records.begin(), records.end(), [](const Records& list) { return list.unread > 0; });
}

void Store::load() {
    int readError = 0;
    // Read where a link leads, as it is saved there; a link that ends nowhere is a state not yet
    // made. A path the kernel would not walk (into a folder not made yet and back out) leads where
    // realpath says, as the saves go.
    const auto end = resolveLinks(file_);
    // A link whose end names a folder ("a.json/"): no file can stand there to read, and no save
    // can go there until the link is mended. Said from the start, and tried again.
    if (end && end->namesFolder) {
        Log::write("state.json leads to " + end->path.string() + "/, where only a folder can be; changes are not saved");
        saveError_ = EISDIR;
        scheduleRetry();
        return;
    }
    const auto bytes = readWholeFile(end ? end->path : file_, fileSizeLimit, &readError);
    // What was read is this run's to replace; anything else found there later is kept first.
    if (bytes && end) saver_.knowFile(end->path, *bytes);
    if (!bytes) {
        // A file that is there but cannot be read must never be replaced.
        if (readError != ENOENT) {
            readOnly_ = true;
            // Another process's hold says more than its file does.
            if (readOnlyCause_ == ReadOnlyCause::none) {
                readOnlyCause_ = ReadOnlyCause::unreadable;
                readOnlyError_ = readError;
            }
            Log::write(std::string("state.json unreadable (") + writeFailureText(readError) + "); changes will not be saved");
        }
        return;
    }
    std::string error;
    size_t openTilesInFile = 0;
    SetAside setAside;
    // Only what the limits keep is made: the open tiles to restore and the history behind them.
    if (auto decoded = decode(*bytes, &error, openTilesLimit + closedLimit, &openTilesInFile, &setAside)) {
        state_ = std::move(*decoded);
        const Held held = holdToLimits(state_);
        if (held.textsCut > 0 || held.numbersHeld > 0) {
            Log::write("state.json: " + plural(held.textsCut, "text", "texts") + " cut to the length the program writes, " +
                       plural(held.numbersHeld, "number", "numbers") + " brought into range");
        }
        if (openTilesInFile > openTilesLimit) {
            const size_t toHistory = std::min(held.openTilesMoved, closedLimit);
            Log::write("state.json holds " + std::to_string(openTilesInFile) + " open tiles: the first " +
                       std::to_string(openTilesLimit) + " are restored, " + std::to_string(toHistory) +
                       " go to the history and " + std::to_string(openTilesInFile - openTilesLimit - toHistory) +
                       " are dropped");
        }
        // The holder keeps the file; this store never writes it.
        if (setAside.any() && !heldByAnotherProcess_) keepWhatWasSetAside(*bytes, std::move(setAside));
        return;
    }
    if (heldByAnotherProcess_) return;  // the holder deals with it

    startedAfresh_ = true;
    if (auto language = languageIn(*bytes)) state_.language = std::move(*language);
    int copyError = 0;
    if (const auto copy = keepCopy(dir_, *bytes, copyError)) {
        // The file goes, not a link to it: the first save makes the link's target anew.
        if (const auto target = finalLinkTarget(file_)) ::unlink(target->c_str());
        brokenCopy_ = copy->path;
        Log::write("state.json failed to decode (" + error + "); " + told("copy set aside as ", *copy));
    } else {
        waitForCopy(*bytes, copyError);
        Log::write("state.json failed to decode (" + error + "); " + noCopy(copyError));
    }
}

// The next save writes the document without what was left out: the file as it was goes beside
// it first, and without that copy nothing is written.
void Store::keepWhatWasSetAside(std::string_view bytes, SetAside setAside) {
    int copyError = 0;
    std::string kept;
    if (const auto copy = keepCopy(dir_, bytes, copyError)) {
        setAside.copy = copy->path;
        kept = told("the file as it was is kept as ", *copy);
    } else {
        waitForCopy(bytes, copyError);
        kept = noCopy(copyError);
    }
    Log::write("state.json: " + describe(setAside) + "; " + kept);
    setAside_ = std::move(setAside);
}

// Saves fail with the copy's cause, and are tried again, until the copy is made.
void Store::waitForCopy(std::string_view bytes, int error) {
    pendingCopy_ = std::make_shared<PendingCopy>(PendingCopy{std::string(bytes), false});
    saveError_ = error;
    scheduleRetry();
}

void Store::copyMade(const fs::path& copy) {
    pendingCopy_.reset();
    if (startedAfresh_) brokenCopy_ = copy;
    else setAside_.copy = copy;
    savesChanged();
}

bool Store::save() {
    if (readOnly_) return false;
    // A copy is all the main thread pays; encoding and writing happen on the writer's thread.
    saver_.submit([this, state = state_, pending = pendingCopy_](int& error) mutable -> std::optional<std::string> {
        // Nothing goes over the file as it was before its copy is made.
        lastFailureWasCopy_ = false;
        if (pending && !pending->made) {
            const auto copy = keepCopy(dir_, pending->bytes, error);
            if (!copy) {
                lastFailureWasCopy_ = true;
                return std::nullopt;
            }
            pending->made = true;
            std::string().swap(pending->bytes);
            Log::write("state.json: " + told("copy set aside as ", *copy) + "; changes are saved from now on");
            platform::runtime::MainLoop::main().post([this, alive = weakAlive_, path = copy->path] {
                if (!alive.expired()) copyMade(path);
            });
        }
        // A file past the read limit would leave every later run read-only.
        size_t dropped = 0;
        std::optional<std::string> bytes = encodeWithin(state, fileSizeLimit, &dropped);
        if (dropped > 0) {
            Log::write("store: the " + std::to_string(dropped) + " oldest history records dropped, state.json would pass " +
                       std::to_string(fileSizeLimit) + " bytes");
            // The document in memory keeps what the file keeps.
            platform::runtime::MainLoop::main().post([this, alive = weakAlive_, kept = state.closed.size()] {
                if (!alive.expired() && state_.closed.size() > kept) state_.closed.resize(kept);
            });
        }
        if (!bytes) error = EFBIG;
        return bytes;
    });
    return true;
}

bool Store::flush(std::chrono::milliseconds limit) const { return !readOnly_ && saver_.flush(limit); }

void Store::saveTried(bool saved, int error) {
    // A copy that cannot be made was told at load, and its making is told when it comes.
    if (!lastFailureWasCopy_) saveReport_.record(saved, error);
    // Told when saves start or stop failing, and when the cause of failing ones changes.
    const int now = saved ? 0 : error;
    if (saveError_.exchange(now) == now) return;
    platform::runtime::MainLoop::main().post([this, alive = weakAlive_] {
        if (!alive.expired()) savesChanged();
    });
}

void Store::savesChanged() {
    platform::runtime::NotificationCenter::defaultCenter().post(std::string(savesDidChange));
    if (saveError() != 0 && !retry_) scheduleRetry();
}

// Nothing is lost while saves fail: the document stays in memory and goes to the disk again
// until it gets there, changed or not.
void Store::scheduleRetry() {
    retry_ = platform::runtime::MainLoop::main().postAfter(saveRetry, [this, alive = weakAlive_] {
        if (alive.expired()) return;
        retry_.reset();
        if (saveError() == 0) return;
        save();
        scheduleRetry();
    });
}

namespace {

// Cuts texts to their limits and counts what it cut.
struct TextHolder {
    size_t cut = 0;

    void text(std::string& text, size_t limit) {
        if (text.size() <= limit) return;
        text.resize(prefixWithin(text, limit).size());
        ++cut;
    }
    void text(std::optional<std::string>& text, size_t limit) {
        if (text) this->text(*text, limit);
    }
    // Entries whose key passes `keyLimit` go; `value` holds the others' values.
    template <class Map, class HoldValue>
    void entries(Map& map, size_t keyLimit, HoldValue&& value) {
        for (auto entry = map.begin(); entry != map.end();) {
            if (entry->first.size() > keyLimit) {
                entry = map.erase(entry);
                ++cut;
                continue;
            }
            value(entry->second);
            ++entry;
        }
    }
    void entries(Store::StringMap& map, size_t keyLimit, size_t valueLimit) {
        entries(map, keyLimit, [&](std::string& value) { text(value, valueLimit); });
    }
    void record(Store::ClosedTile& tile) {
        text(tile.title, Store::titleLimit);
        text(tile.name, Store::titleLimit);
        text(tile.cwd, Store::pathLimit);
        text(tile.browserId, Store::wordLimit);
        text(tile.claudeSessionId, Store::wordLimit);
        text(tile.lastPrompt, Store::promptLimit);
        text(tile.wall, Store::titleLimit);
        text(tile.tileId, Store::wordLimit);
    }
};

// Brings numbers into their ranges and counts what it changed.
struct NumberHolder {
    const Date now = Date::now();
    size_t held = 0;

    template <class T>
    void range(T& value, T low, T high) {
        const T kept = std::clamp(value, low, high);
        if (kept == value) return;
        value = kept;
        ++held;
    }
    void atLeast(std::optional<int>& period, int shortest) {
        if (period) range(*period, shortest, std::numeric_limits<int>::max());
    }
    // A moment past now would hold a refresh off until then.
    void notLater(Date& moment) {
        if (moment <= now) return;
        moment = now;
        ++held;
    }
    void notLater(std::optional<Date>& moment) {
        if (moment) notLater(*moment);
    }
};

// The first of each, at most `limit`; empty ones go when `keepEmpty` is false.
void keepFirstOfEach(std::vector<std::string>& list, size_t limit, bool keepEmpty) {
    std::vector<std::string> kept;
    std::unordered_set<std::string> seen;
    for (std::string& item : list) {
        if (kept.size() == limit) break;
        if ((keepEmpty || !item.empty()) && seen.insert(item).second) kept.push_back(std::move(item));
    }
    list = std::move(kept);
}

}  // namespace

void Store::keepWhatARecordNeeds(ClosedTile& tile) {
    if (tile.lastPrompt && tile.lastPrompt->size() > promptLimit)
        tile.lastPrompt->resize(prefixWithin(*tile.lastPrompt, promptLimit).size());
}

Store::Held Store::holdToLimits(State& s) {
    TextHolder texts;
    for (std::string& folder : s.recents) texts.text(folder, pathLimit);
    texts.entries(s.browserLabels, wordLimit, titleLimit);
    texts.text(s.themeMode, wordLimit);
    texts.text(s.fontName, wordLimit);
    texts.entries(s.browserCache, wordLimit, wordLimit);
    texts.text(s.markStyle, wordLimit);
    texts.entries(s.tileColors, pathLimit, wordLimit);
    texts.entries(s.tileLogos, pathLimit, pathLimit);
    texts.entries(s.tileNames, pathLimit, titleLimit);
    for (ClosedTile& tile : s.closed) texts.record(tile);
    texts.text(s.language, wordLimit);
    for (ClosedTile& tile : s.openTiles) texts.record(tile);
    texts.text(s.permissionMode, wordLimit);
    texts.entries(s.browserAccounts, wordLimit, wordLimit);
    for (std::string& wall : s.walls) texts.text(wall, titleLimit);
    texts.text(s.currentWall, titleLimit);
    texts.entries(s.tileMetrics, pathLimit, [&](std::vector<Metric>& metrics) {
        for (Metric& metric : metrics) {
            texts.text(metric.label, titleLimit);
            texts.text(metric.value, titleLimit);
            texts.text(metric.command, textLimit);
        }
    });
    texts.entries(s.tileFeeds, pathLimit, [&](Feed& feed) {
        texts.text(feed.label, titleLimit);
        texts.text(feed.command, textLimit);
        for (FeedItem& item : feed.items) {
            texts.text(item.title, titleLimit);
            texts.text(item.url, textLimit);
        }
    });

    NumberHolder numbers;
    if (std::isfinite(s.minFontSize)) numbers.range(s.minFontSize, minFontSizeMin, minFontSizeMax);
    if (std::isfinite(s.zoomScale)) numbers.range(s.zoomScale, zoomScaleMin, zoomScaleMax);
    for (ClosedTile& tile : s.closed) numbers.notLater(tile.closedAt);
    for (ClosedTile& tile : s.openTiles) numbers.notLater(tile.closedAt);
    for (auto& [folder, metrics] : s.tileMetrics) {
        for (Metric& metric : metrics) {
            numbers.atLeast(metric.every, metricPeriodMin);
            numbers.notLater(metric.updatedAt);
        }
    }
    for (auto& [folder, feed] : s.tileFeeds) {
        numbers.range(feed.every, feedPeriodMin, std::numeric_limits<int>::max());
        numbers.notLater(feed.updatedAt);
    }

    keepFirstOfEach(s.recents, recentsLimit, true);
    // Main is no name in the list; a name twice would be two tabs of one wall.
    keepFirstOfEach(s.walls, SIZE_MAX, false);
    for (auto label = s.browserLabels.begin(); label != s.browserLabels.end();) {
        const std::string trimmed = trimWhiteSpace(label->second);
        if (trimmed.empty()) {
            label = s.browserLabels.erase(label);
            continue;
        }
        label->second = firstCharacters(trimmed, labelLimit);
        ++label;
    }
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
    Held held{0, texts.cut, numbers.held};
    if (s.openTiles.size() > openTilesLimit) {
        // Newer than anything closed: they were open at the last save. History records carry no id.
        const auto past = s.openTiles.begin() + static_cast<std::ptrdiff_t>(openTilesLimit);
        held.openTilesMoved = static_cast<size_t>(s.openTiles.end() - past);
        for (auto tile = past; tile != s.openTiles.end(); ++tile) tile->tileId.reset();
        s.closed.insert(s.closed.begin(), std::make_move_iterator(past), std::make_move_iterator(s.openTiles.end()));
        s.openTiles.erase(past, s.openTiles.end());
    }
    if (s.closed.size() > closedLimit) s.closed.resize(closedLimit);
    return held;
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
void Store::setOpenTiles(std::vector<ClosedTile> tiles) {
    for (ClosedTile& tile : tiles) keepWhatARecordNeeds(tile);
    // The wall saves its tiles at every change of theirs and at quit; records that differ only in
    // the moment they were made change nothing, and a quit then waits for no write.
    const auto sameButTheMoment = [](ClosedTile tile, const ClosedTile& stored) {
        tile.closedAt = stored.closedAt;
        return tile == stored;
    };
    if (std::equal(tiles.begin(), tiles.end(), state_.openTiles.begin(), state_.openTiles.end(), sameButTheMoment)) return;
    change([&](State& s) { s.openTiles = std::move(tiles); });
}
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
    keepWhatARecordNeeds(tile);
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
