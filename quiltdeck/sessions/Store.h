#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "quiltdeck/sessions/Date.h"
#include "quiltdeck/shell/FileSaver.h"
#include "quiltdeck/shell/SaveReport.h"
#include "quiltdeck/shell/StoredSettings.h"

namespace platform::runtime {
class WorkItem;
}

namespace quiltdeck {

// The state folder and its one document, state.json: every persistent choice and
// history of the application. Loaded once at creation; every change hands the
// whole document to the store's writer, which writes it durably on a thread of
// its own (the newest only, when changes come faster than the disk). Used on the
// main thread.
//
// The store holds an exclusive lock on the folder for its life. A store that
// cannot trust the file on disk (held by another process, or unreadable) runs
// read-only: changes live in memory and nothing is written. A file that loses
// something at load (undecodable, or records left out) is copied aside before
// anything is written over it; while the copy cannot be made, saves fail.
//
// The process's store is also the shell's StoredSettings (its font, language, login and folder
// colour choices).
class Store final : public StoredSettings {
public:
    // One tile that can be reopened.
    struct ClosedTile {
        std::string title;
        std::string name;
        std::string cwd;
        bool isShell = false;
        std::optional<std::string> browserId;
        Date closedAt = Date::now();
        std::optional<std::string> claudeSessionId;
        std::optional<std::string> lastPrompt;
        std::optional<bool> userNamed;
        std::optional<std::string> wall;
        std::optional<std::string> tileId;
        friend bool operator==(const ClosedTile&, const ClosedTile&) = default;
    };

    // One live number on a tile.
    struct Metric {
        std::string label;
        std::string value;
        std::optional<std::string> command;  // none for a fixed value
        std::optional<int> every;            // seconds
        std::optional<Date> updatedAt;
        friend bool operator==(const Metric&, const Metric&) = default;
    };

    struct FeedItem {
        std::string title;
        std::string url;
        friend bool operator==(const FeedItem&, const FeedItem&) = default;
    };

    // The headline feed of a tile.
    struct Feed {
        std::string label;
        std::string command;
        int every = 300;
        std::vector<FeedItem> items;
        std::optional<Date> updatedAt;
        friend bool operator==(const Feed&, const Feed&) = default;
    };

    // The document. Folder-path keys are a tile's working folder as its session holds it.
    struct State {
        std::vector<std::string> recents;
        bool aiTitles = true;
        StringMap browserLabels;  // device id -> the user's label
        std::string themeMode = "system";
        std::string fontName{defaultFontName};
        double minFontSize = 11.5;
        double zoomScale = 1.0;
        StringMap browserCache;  // device id -> browser name
        std::string markStyle = "converge";
        StringMap tileColors;  // folder -> hex RGB (written upper-case, read either)
        StringMap tileLogos;   // folder -> image path; "" = no logo at all
        StringMap tileNames;   // folder -> tile name
        std::vector<ClosedTile> closed;
        std::string language{defaultLanguage};
        std::vector<ClosedTile> openTiles;
        bool autoTrustHome = false;
        bool openAtLogin = defaultOpenAtLogin;
        std::string permissionMode = "manual";
        StringMap browserAccounts;  // device id -> account
        bool onboarded = false;
        std::vector<std::string> walls;
        std::string currentWall;
        std::map<std::string, std::vector<Metric>> tileMetrics;
        std::map<std::string, Feed> tileFeeds;
        friend bool operator==(const State&, const State&) = default;
    };

    static constexpr size_t recentsLimit = 24;
    static constexpr size_t closedLimit = 60;
    static constexpr size_t metricsLimit = 5;
    static constexpr size_t feedItemsLimit = 3;
    static constexpr size_t labelLimit = 32;
    // The open tiles a launch restores; those past them in the file go to the history.
    static constexpr size_t openTilesLimit = 64;
    static constexpr double zoomScaleMin = 0.5;
    static constexpr double zoomScaleMax = 1.6;
    // The sizes a tile's terminal font takes, in points, and the shortest refresh periods of live
    // numbers and headlines, in seconds.
    static constexpr double minFontSizeMin = 9;
    static constexpr double minFontSizeMax = 22;
    static constexpr int metricPeriodMin = 15;
    static constexpr int feedPeriodMin = 30;
    // The longest text of each kind the program writes, in bytes. Longer text in a file was not
    // written by it: a load cuts it at a character boundary, and drops a map entry whose key is
    // longer (a cut key would name another folder or browser).
    static constexpr size_t pathLimit = 4096;      // folders and logo files: the system's path limit
    static constexpr size_t titleLimit = 1024;     // titles, names, walls, labels, headlines: 68
                                                   // characters with their marks, or a folder's name
    static constexpr size_t wordLimit = 256;       // ids, settings' words, colours, font, browser and account names
    static constexpr size_t textLimit = 1'000'000; // the last prompt, commands and links: one hook request
    // The last prompt a history or open-tile record keeps: what History shows of it (its first
    // characters) with room to spare, and that a conversation was under way. A whole megabyte
    // in each of 124 records would make every save and every quit wait for 120 MB.
    static constexpr size_t promptLimit = 4096;
    // Read at most, and so written at most.
    static constexpr size_t fileSizeLimit = 64u << 20;

    // The process's store, on StateFolder::path(); made on first use, never destroyed.
    static Store& shared();

    // Whether another process holds the folder's lock now; asks without taking it and without
    // writing anything, so a program can refuse to start before it touches the folder.
    static bool heldElsewhere(const std::filesystem::path& dir);

    explicit Store(std::filesystem::path dir);
    ~Store() override;
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::filesystem::path& dir() const { return dir_; }
    const std::filesystem::path& file() const { return file_; }
    const State& state() const { return state_; }
    bool readOnly() const { return readOnly_; }
    // Another process holds the state folder; this store is read-only.
    bool heldByAnotherProcess() const { return heldByAnotherProcess_; }
    // Why the store is read-only (none while it saves), and for an unreadable file the system's
    // error number (EINVAL: not a regular file).
    enum class ReadOnlyCause { none, heldElsewhere, unreadable };
    ReadOnlyCause readOnlyCause() const { return readOnlyCause_; }
    int readOnlyError() const { return readOnlyError_; }
    // What a load could not read and left out, so that it is kept and told: per list the records
    // that are no record of its kind (a null, a number, ...), the fields at the top or inside a
    // record that were lost by what they were, and where the file as it was is kept.
    struct SetAside {
        enum List {
            history, openTiles, recents, walls, browserLabels, browserCache, browserAccounts,
            tileColors, tileLogos, tileNames, metrics, feeds, headlines, listCount
        };
        // Each list beside its name in the log ("1 of 6 history records"): a list added without a
        // row here does not compile.
        static constexpr std::array<std::pair<List, std::string_view>, listCount> names{{
            {history, "history"},
            {openTiles, "open-tile"},
            {recents, "recent-folder"},
            {walls, "wall"},
            {browserLabels, "browser-label"},
            {browserCache, "browser"},
            {browserAccounts, "browser-account"},
            {tileColors, "tile-colour"},
            {tileLogos, "tile-logo"},
            {tileNames, "tile-name"},
            {metrics, "live-number"},
            {feeds, "headline-feed"},
            {headlines, "headline"},
        }};
        static_assert([] {
            for (size_t list = 0; list < listCount; ++list) {
                if (names[list].first != static_cast<List>(list) || names[list].second.empty()) return false;
            }
            return true;
        }(), "every list has a row in `names`, in the order of `List`");
        struct Records {
            size_t unread = 0;
            size_t inFile = 0;
        };
        std::array<Records, listCount> records{};
        size_t fields = 0;   // of the wrong type
        size_t numbers = 0;  // out of range: no double holds them, or no whole number of the field's size
        size_t strings = 0;  // broken: a lone surrogate, a byte that is no UTF-8, a control character, a bad escape
        std::optional<std::filesystem::path> copy;
        bool any() const;
    };
    // The file did not decode: the run started from the defaults.
    bool startedAfresh() const { return startedAfresh_; }
    // Where an undecodable state.json was set aside (the store then starts afresh and saves);
    // none when the file loaded or no copy is made yet.
    const std::optional<std::filesystem::path>& brokenCopy() const { return brokenCopy_; }
    // The file as it was (undecodable, or loaded with entries left out) still waits for its copy:
    // nothing is written over it until the copy is made. Every save tries the copy first and
    // fails with its cause in saveError() until it is made, every `saveRetry` too, changed or not.
    bool copyPending() const { return pendingCopy_ != nullptr; }
    // The copies "state.json.broken-<seconds>" kept in the folder: the newest, and never two
    // with the same bytes. Only a regular file under such a name is a copy.
    static constexpr size_t brokenCopiesKept = 3;
    // What the load left out of a file that decoded, and where the file as it was is kept.
    const SetAside& setAside() const { return setAside_; }
    // A save found where the links lead a file this run had not read nor written (a link mended
    // while it runs, or the file changed since): its bytes were kept beside it before the save
    // replaced it (the newest FileSaver::keptCopies copies stay). The last such file, its copy,
    // and how many times this run found a version there it had not read nor written (a hand edit,
    // a checkout, a sync tool: which, it cannot tell).
    struct Kept {
        std::filesystem::path file;
        std::filesystem::path copy;
        size_t times = 1;
    };
    const std::optional<Kept>& keptAside() const { return keptAside_; }

    // Hands the whole document to the writer; nothing when read-only (false). The first failure
    // of a run of failures logs "store: save failed: <cause>", the first success after them
    // "store: saved again"; the file on disk stays the last whole one. While saves fail the store
    // tries again every `saveRetry`, and each change of that posts `savesDidChange`. A document
    // past the read limit loses its oldest history first (logged); one that still does not fit
    // is not written.
    bool save();
    // Waits until the writer has tried the document of the last change, at most `limit`. True
    // when it reached the disk; false when it failed, the limit passed first, or read-only. Any
    // thread (a main thread held in work of its own does not hold it up).
    bool flush(std::chrono::milliseconds limit = std::chrono::milliseconds::max()) const;
    // The errno value of the saves failing now (ENOSPC: the disk is full); 0 while they work.
    int saveError() const { return saveError_.load(); }
    static constexpr std::string_view savesDidChange = "quiltdeck.stateSaves";
    static constexpr std::chrono::seconds saveRetry{5};

    // The document as compact JSON with all 24 keys; invalid UTF-8 replaced.
    static std::string encode(const State& state);
    // The encoded document within `limit` bytes, the oldest history records dropped from
    // `state` as far as needed (their number in `dropped`); nothing when it does not fit even
    // without a history.
    static std::optional<std::string> encodeWithin(State& state, size_t limit, size_t* dropped = nullptr);
    // Field by field, record by record: a missing or mistyped field keeps its default, and a
    // record that cannot be read is skipped (both counted in `setAside`); so is a value nothing
    // can hold (a number out of range, a string with a lone surrogate or a byte that is no UTF-8).
    // Nothing, with the reason in `error`, when the bytes are no JSON, not an object, or nest
    // deeper than `nestingLimit`. The document is read as it comes, without a tree: at most
    // `recordsKept` records of the history and of the open tiles are made (the others are still
    // checked), and as many of the other lists as any load keeps (the first 24 distinct recents,
    // distinct walls, 5 live numbers a folder, 3 headlines a feed), so that a file of millions of
    // records costs no memory past what the limits keep.
    // The number of readable open tiles the file lists, kept or not, goes to `openTilesInFile`.
    static std::optional<State> decode(std::string_view bytes, std::string* error = nullptr,
                                       size_t recordsKept = SIZE_MAX, size_t* openTilesInFile = nullptr,
                                       SetAside* setAside = nullptr);
    // Far above the document's own depth (5), far below what copying a parsed value can recurse.
    static constexpr int nestingLimit = 64;
    // What holding a loaded document to its limits changed.
    struct Held {
        size_t openTilesMoved = 0;  // open tiles past the restore's cap, now first in the history
        size_t textsCut = 0;        // texts cut to their kind's limit, map entries dropped for their key
        size_t numbersHeld = 0;     // numbers brought into their range
    };
    // Holds a loaded document to the limits its lists keep as entries are added: recents and walls
    // without duplicates, recents at most 24, labels trimmed to 32 characters, metrics at most 5 per
    // folder and headlines 3 per feed; open tiles past 64 go to the front of the history, which
    // keeps its 60 newest. Every text to its kind's limit above; the zoom scale, the font size and
    // the refresh periods into their ranges, and no moment later than now.
    static Held holdToLimits(State& state);
    // The record's last prompt cut to `promptLimit` at a character boundary.
    static void keepWhatARecordNeeds(ClosedTile& tile);

    // --- Reading -------------------------------------------------------------------------
    const std::vector<std::string>& recents() const { return state_.recents; }
    bool aiTitles() const { return state_.aiTitles; }
    const StringMap& browserLabels() const { return state_.browserLabels; }
    const std::string& themeMode() const { return state_.themeMode; }
    const std::string& fontName() const override { return state_.fontName; }
    double minFontSize() const { return state_.minFontSize; }
    double zoomScale() const { return state_.zoomScale; }
    const StringMap& browserCache() const { return state_.browserCache; }
    const std::string& markStyle() const { return state_.markStyle; }
    const StringMap& tileColors() const override { return state_.tileColors; }
    const StringMap& tileLogos() const { return state_.tileLogos; }
    const StringMap& tileNames() const { return state_.tileNames; }
    const std::vector<ClosedTile>& closed() const { return state_.closed; }
    const std::string& language() const override { return state_.language; }
    bool readable() const override { return readOnlyCause_ != ReadOnlyCause::unreadable; }
    const std::vector<ClosedTile>& openTiles() const { return state_.openTiles; }
    bool autoTrustHome() const { return state_.autoTrustHome; }
    bool openAtLogin() const override { return state_.openAtLogin; }
    const std::string& permissionMode() const { return state_.permissionMode; }
    const StringMap& browserAccounts() const { return state_.browserAccounts; }
    bool onboarded() const { return state_.onboarded; }
    const std::vector<std::string>& walls() const { return state_.walls; }
    const std::string& currentWall() const { return state_.currentWall; }
    const std::map<std::string, std::vector<Metric>>& tileMetrics() const { return state_.tileMetrics; }
    const std::map<std::string, Feed>& tileFeeds() const { return state_.tileFeeds; }

    // The folder's metrics, empty when none; its feed, nothing when none.
    std::vector<Metric> metrics(const std::string& folder) const;
    std::optional<Feed> feed(const std::string& folder) const;

    // --- Changing (each one saves) -----------------------------------------------------------
    void setAiTitles(bool on);
    void setThemeMode(std::string mode);
    void setFontName(std::string name);
    void setMinFontSize(double points);  // non-finite values are ignored
    void setZoomScale(double scale);     // clamped to 0.5 ... 1.6; non-finite values are ignored
    void setMarkStyle(std::string style);
    void setLanguage(std::string code);
    void setPermissionMode(std::string mode);
    void setAutoTrustHome(bool on);
    void setOpenAtLogin(bool on);
    void setOnboarded(bool on);
    void setWalls(std::vector<std::string> walls);
    void setCurrentWall(std::string wall);
    // Nothing changes (nor is saved) when the records differ only in when they were made.
    void setOpenTiles(std::vector<ClosedTile> tiles);
    void setBrowserCache(StringMap cache);
    void setBrowserAccounts(StringMap accounts);
    // Nothing removes the folder's entry (its automatic choice comes back).
    void setTileColor(const std::string& folder, std::optional<std::string> color);
    void setTileLogo(const std::string& folder, std::optional<std::string> path);
    void setTileName(const std::string& folder, std::optional<std::string> name);
    void setTileFeed(const std::string& folder, std::optional<Feed> feed);
    // Forgets one history entry; an index out of range changes nothing (and still saves).
    void removeClosed(size_t index);

    // Puts the folder first in recents, without duplicates, at most 24.
    void remember(const std::string& cwd);
    // Puts the record first in the history, at most 60: one row per conversation, so an earlier
    // record of the same conversation goes.
    void recordClosed(ClosedTile tile);
    // The same for a tile that starts afresh because its conversation is gone: it also takes the
    // place of the folder's earlier records that had nothing to resume either, so that a tile never
    // used leaves one row however often it comes back without its conversation.
    void recordFreshStart(ClosedTile tile);
    // Trimmed, at most 32 characters; empty removes the label.
    void setLabel(std::string_view label, const std::string& deviceId);
    // At most 5; empty removes the folder's entry.
    void setMetrics(std::vector<Metric> metrics, const std::string& folder);

private:
    void lockFolder();
    void load();
    // Keeps the file as it was when the load left some of it out; read-only when it cannot.
    void keepWhatWasSetAside(std::string_view bytes, SetAside setAside);
    // The copy still to make, the writer's thread alone once the load is over.
    struct PendingCopy {
        std::string bytes;
        bool made = false;
    };
    void waitForCopy(std::string_view bytes, int error);
    // On the main thread when the writer made the copy that was pending.
    void copyMade(const std::filesystem::path& copy);
    // On the writer's thread after each attempt.
    void saveTried(bool saved, int error);
    // On the main thread when saves start failing or work again.
    void savesChanged();
    void scheduleRetry();
    // The record first in the history, without the earlier ones of its conversation or that it replaces.
    void putFirstInHistory(ClosedTile tile, const std::function<bool(const ClosedTile&)>& replaces);
    template <class Change>
    void change(Change&& apply) {
        apply(state_);
        save();
    }

    std::filesystem::path dir_;
    std::filesystem::path file_;
    State state_;
    bool readOnly_ = false;
    bool heldByAnotherProcess_ = false;
    ReadOnlyCause readOnlyCause_ = ReadOnlyCause::none;
    int readOnlyError_ = 0;
    std::optional<std::filesystem::path> brokenCopy_;
    bool startedAfresh_ = false;
    std::shared_ptr<PendingCopy> pendingCopy_;
    bool lastFailureWasCopy_ = false;  // the writer's thread only
    SetAside setAside_;
    std::optional<Kept> keptAside_;
    int lockFd_ = -1;
    SaveReport saveReport_{"store"};  // the writer's thread only
    std::atomic<int> saveError_{0};
    std::shared_ptr<platform::runtime::WorkItem> retry_;
    const std::shared_ptr<int> alive_ = std::make_shared<int>(0);
    const std::weak_ptr<int> weakAlive_ = alive_;
    mutable FileSaver saver_;  // last: its thread ends before the rest goes
};

}  // namespace quiltdeck
