#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "platform/runtime/MainLoop.h"
#include "quiltdeck/sessions/Date.h"
#include "quiltdeck/sessions/Store.h"

namespace quiltdeck {

// A tile's live numbers (up to five, fixed or computed by a shell command on a
// period) and its headline feed (one command whose lines are "title<TAB>url").
// The assistant defines them through the hook server; the definitions, and
// the results of the last runs, are kept per folder in the store, so a later
// tile in the same folder takes them over.
//
// Everything runs on the main thread but the commands, which run in the
// folder through the login shell on worker threads: the metrics of one refresh
// one after another, the feed beside them.
class LiveMetrics {
public:
    static constexpr size_t metricsLimit = Store::metricsLimit;
    static constexpr size_t feedItemsLimit = Store::feedItemsLimit;
    static constexpr platform::runtime::Duration refreshInterval = std::chrono::seconds(15);
    static constexpr platform::runtime::Duration metricTimeout = std::chrono::seconds(20);
    static constexpr platform::runtime::Duration feedTimeout = std::chrono::seconds(25);

    // What a test replaces.
    struct Services {
        std::function<Date()> clock = &Date::now;
        platform::runtime::MainLoop* loop = nullptr;  // the program's loop when none
        Store* store = nullptr;                       // Store::shared() when none
    };

    // `isExited` tells whether the tile's child has ended: then nothing runs.
    LiveMetrics(std::string sessionId, std::string cwd, std::function<bool()> isExited);
    LiveMetrics(std::string sessionId, std::string cwd, std::function<bool()> isExited, Services services);
    ~LiveMetrics();
    LiveMetrics(const LiveMetrics&) = delete;
    LiveMetrics& operator=(const LiveMetrics&) = delete;

    // Called when a shown value or headline changes, or a definition is set.
    std::function<void()> onChange;

    // A /metrics body: {"metrics":[...]} replaces the list, {"clear":true}
    // empties it. A body that fails the checks changes nothing.
    void applyMetrics(const nlohmann::json& body);
    // A /feed body: {"label", "command", "every"} sets the feed, {"clear":true} removes it.
    void applyFeed(const nlohmann::json& body);
    // A new tile in a folder that had a tile before: the stored definitions and
    // results are shown at once and refreshed.
    void carryOver();
    // The tile's child has ended or the tile is closed: no more refreshes.
    void stop();

    const std::vector<Store::Metric>& metrics() const { return metrics_; }
    const std::optional<Store::Feed>& feed() const { return feed_; }
    bool metricsRunning() const { return metricsBusy_; }
    bool feedRunning() const { return feedBusy_; }

private:
    struct MetricResult {
        size_t position;
        std::string command;
        std::string value;
    };

    void scheduleMetrics();
    void refreshMetrics(bool force);
    void refreshFeed(bool force);
    void applyMetricResults(const std::vector<MetricResult>& results);
    void applyFeedResult(const std::string& command, std::optional<std::vector<Store::FeedItem>> items);
    void changed();
    std::string shortId() const;

    const std::string sessionId_;
    const std::string cwd_;
    const std::function<bool()> isExited_;
    std::function<Date()> clock_;
    platform::runtime::MainLoop& loop_;
    Store& store_;
    std::vector<Store::Metric> metrics_;
    std::optional<Store::Feed> feed_;
    std::shared_ptr<platform::runtime::WorkItem> timer_;
    bool metricsBusy_ = false;
    bool feedBusy_ = false;
    // Results posted back from the workers check it on the main thread.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace quiltdeck
