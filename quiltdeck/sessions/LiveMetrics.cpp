#include "quiltdeck/sessions/LiveMetrics.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <nlohmann/json.hpp>

#include "platform/runtime/WorkerPool.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/ShellCommand.h"
#include "quiltdeck/shell/Log.h"
#include "quiltdeck/shell/Shorten.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

using nlohmann::json;
using platform::runtime::Duration;

constexpr int labelLength = 18;
constexpr int valueLength = 16;
constexpr int titleLength = 140;
constexpr int defaultMetricPeriod = 60, shortestMetricPeriod = Store::metricPeriodMin;
constexpr int defaultFeedPeriod = 120, shortestFeedPeriod = Store::feedPeriodMin;

const json* member(const json& body, const char* key) {
    if (!body.is_object()) return nullptr;
    auto found = body.find(key);
    return found == body.end() ? nullptr : &*found;
}

bool isClear(const json& body) {
    const json* clear = member(body, "clear");
    return clear && clear->is_boolean() && clear->get<bool>();
}

std::optional<std::string> nonEmptyString(const json& body, const char* key) {
    const json* value = member(body, key);
    if (!value || !value->is_string() || value->get_ref<const std::string&>().empty()) return std::nullopt;
    return value->get<std::string>();
}

// A JSON number that is exactly a 64-bit integer; anything else is absent.
std::optional<int64_t> wholeNumber(const json* value) {
    if (!value) return std::nullopt;
    if (value->is_number_unsigned()) {
        const auto number = value->get<uint64_t>();
        if (number > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
        return static_cast<int64_t>(number);
    }
    if (value->is_number_integer()) return value->get<int64_t>();
    if (value->is_number_float()) {
        const double number = value->get<double>();
        if (!std::isfinite(number) || number != std::trunc(number) || number < -0x1p63 || number >= 0x1p63)
            return std::nullopt;
        return static_cast<int64_t>(number);
    }
    return std::nullopt;
}

// At least `shortest`; the store keeps an int, and no period is that long anyway.
int period(const json* every, int fallback, int shortest) {
    const int64_t seconds = std::max<int64_t>(wholeNumber(every).value_or(fallback), shortest);
    return static_cast<int>(std::min<int64_t>(seconds, INT_MAX));
}

std::string valueText(const json& value) {
    if (value.is_string()) return value.get<std::string>();
    if (auto whole = wholeNumber(&value)) return std::to_string(*whole);
    if (value.is_null()) return {};
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::optional<Store::Metric> metricFrom(const json& element) {
    auto label = nonEmptyString(element, "label");
    if (!label) return std::nullopt;
    Store::Metric metric;
    metric.label = shorten(*label, labelLength);
    const json* value = member(element, "value");
    metric.value = value ? shorten(valueText(*value), valueLength) : std::string();
    metric.command = nonEmptyString(element, "command");
    if (metric.command) metric.every = period(member(element, "every"), defaultMetricPeriod, shortestMetricPeriod);
    return metric;
}

bool isLineBreak(char32_t c) {
    return c == U'\n' || c == U'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

bool isHorizontalSpace(char32_t c) {
    return c == U'\t' || c == U' ' || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x202F ||
           c == 0x205F || c == 0x3000;
}

std::u32string_view trimmed(std::u32string_view text) {
    while (!text.empty() && isHorizontalSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isHorizontalSpace(text.back())) text.remove_suffix(1);
    return text;
}

// The output's non-empty lines; invalid UTF-8 becomes U+FFFD.
std::vector<std::u32string> outputLines(const std::string& output) {
    std::vector<std::u32string> lines;
    std::u32string line;
    for (char32_t c : vantel::fromUtf8(output)) {
        if (!isLineBreak(c)) {
            line += c;
        } else if (!line.empty()) {
            lines.push_back(std::move(line));
            line.clear();
        }
    }
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

std::optional<ProcessCapture::Result> runCommand(const std::string& command, const std::string& cwd, Duration timeout) {
    platform::runtime::ChildProcess::Options process;
    process.arguments = ShellCommand::loginShellArguments(std::string(ShellCommand::pathExport) + command);
    process.directory = cwd;
    return ProcessCapture::run(process, timeout);
}

// Only the last non-empty line counts; a failed run shows "?".
std::string metricValue(const std::optional<ProcessCapture::Result>& result) {
    if (!result) return "?";
    const std::vector<std::u32string> lines = outputLines(result->output);
    const std::u32string_view last = lines.empty() ? std::u32string_view() : trimmed(lines.back());
    if (result->status != 0 || last.empty()) return "?";
    return shorten(vantel::toUtf8(last), valueLength);
}

// "title<TAB>url"; leading tabs are skipped, further tabs stay in the url.
std::optional<Store::FeedItem> feedItem(std::u32string_view line) {
    while (!line.empty() && line.front() == U'\t') line.remove_prefix(1);
    const size_t tab = line.find(U'\t');
    const std::u32string_view title = trimmed(line.substr(0, tab));
    if (title.empty()) return std::nullopt;
    std::string url = tab == std::u32string_view::npos ? std::string() : vantel::toUtf8(trimmed(line.substr(tab + 1)));
    if (!url.starts_with("http")) url.clear();
    return Store::FeedItem{shorten(vantel::toUtf8(title), titleLength), std::move(url)};
}

// Nothing when the run failed: the headlines shown stay.
std::optional<std::vector<Store::FeedItem>> feedItems(const std::optional<ProcessCapture::Result>& result) {
    if (!result || result->status != 0) return std::nullopt;
    std::vector<Store::FeedItem> items;
    for (const auto& line : outputLines(result->output)) {
        if (auto item = feedItem(line)) items.push_back(std::move(*item));
        if (items.size() == LiveMetrics::feedItemsLimit) break;
    }
    return items;
}

}  // namespace

LiveMetrics::LiveMetrics(std::string sessionId, std::string cwd, std::function<bool()> isExited)
    : LiveMetrics(std::move(sessionId), std::move(cwd), std::move(isExited), Services{}) {}

LiveMetrics::LiveMetrics(std::string sessionId, std::string cwd, std::function<bool()> isExited, Services services)
    : sessionId_(std::move(sessionId)),
      cwd_(std::move(cwd)),
      isExited_(std::move(isExited)),
      clock_(std::move(services.clock)),
      loop_(services.loop ? *services.loop : platform::runtime::MainLoop::main()),
      store_(services.store ? *services.store : Store::shared()) {
    if (!clock_) clock_ = &Date::now;
}

LiveMetrics::~LiveMetrics() { stop(); }

void LiveMetrics::stop() {
    if (timer_) timer_->cancel();
    timer_.reset();
}

std::string LiveMetrics::shortId() const { return firstCharacters(sessionId_, 8); }

void LiveMetrics::changed() {
    if (onChange) onChange();
}

void LiveMetrics::applyMetrics(const json& body) {
    std::vector<Store::Metric> list;
    if (!isClear(body)) {
        const json* elements = member(body, "metrics");
        if (!elements || !elements->is_array()) return;
        if (!std::all_of(elements->begin(), elements->end(), [](const json& e) { return e.is_object(); })) return;
        // An element dropped among the first five is not replaced by a sixth.
        for (size_t i = 0; i < std::min(elements->size(), metricsLimit); ++i) {
            if (auto metric = metricFrom((*elements)[i])) list.push_back(std::move(*metric));
        }
    }
    metrics_ = std::move(list);
    store_.setMetrics(metrics_, cwd_);
    std::string labels;
    for (const auto& metric : metrics_) labels += (labels.empty() ? "" : ", ") + metric.label;
    Log::write("metrics " + shortId() + ": " + labels);
    changed();
    scheduleMetrics();
}

void LiveMetrics::applyFeed(const json& body) {
    std::optional<Store::Feed> next;
    if (!isClear(body)) {
        auto label = nonEmptyString(body, "label");
        auto command = nonEmptyString(body, "command");
        if (!label || !command) return;
        Store::Feed feed;
        feed.label = shorten(*label, labelLength);
        feed.every = period(member(body, "every"), defaultFeedPeriod, shortestFeedPeriod);
        // The same command keeps its headlines until its next run.
        if (feed_ && feed_->command == *command) feed.items = feed_->items;
        feed.command = std::move(*command);
        next = std::move(feed);
    }
    feed_ = std::move(next);
    store_.setTileFeed(cwd_, feed_);
    Log::write("feed " + shortId() + ": " + (feed_ ? feed_->label : std::string("cleared")));
    changed();
    scheduleMetrics();
}

void LiveMetrics::carryOver() {
    metrics_ = store_.metrics(cwd_);
    feed_ = store_.feed(cwd_);
    scheduleMetrics();
}

void LiveMetrics::scheduleMetrics() {
    stop();
    const bool computed = std::any_of(metrics_.begin(), metrics_.end(),
                                      [](const Store::Metric& m) { return m.command && !m.command->empty(); });
    if (!computed && !feed_) return;
    timer_ = loop_.scheduleRepeating(refreshInterval, [this, alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired()) return;
        refreshMetrics(false);
        refreshFeed(false);
    });
    refreshMetrics(true);
    refreshFeed(true);
}

void LiveMetrics::refreshMetrics(bool force) {
    if (metricsBusy_ || (isExited_ && isExited_())) return;
    const Date now = clock_();
    std::vector<MetricResult> due;
    for (size_t position = 0; position < metrics_.size(); ++position) {
        const Store::Metric& metric = metrics_[position];
        if (!metric.command || metric.command->empty()) continue;
        const double period = metric.every.value_or(defaultMetricPeriod);
        if (!force && metric.updatedAt && now.sinceReference - metric.updatedAt->sinceReference < period) continue;
        due.push_back({position, *metric.command, {}});
    }
    if (due.empty()) return;
    metricsBusy_ = true;
    platform::runtime::WorkerPool::shared().submit(
        [this, alive = std::weak_ptr<int>(alive_), loop = &loop_, due = std::move(due), cwd = cwd_]() mutable {
            for (auto& run : due) run.value = metricValue(runCommand(run.command, cwd, metricTimeout));
            loop->post([this, alive, results = std::move(due)] {
                if (!alive.expired()) applyMetricResults(results);
            });
        });
}

// Results reach only the metric at the same position with the same command:
// a list replaced during the run takes no stale value.
void LiveMetrics::applyMetricResults(const std::vector<MetricResult>& results) {
    metricsBusy_ = false;
    const Date now = clock_();
    bool valueChanged = false;
    for (const auto& result : results) {
        if (result.position >= metrics_.size() || metrics_[result.position].command != result.command) continue;
        Store::Metric& metric = metrics_[result.position];
        valueChanged |= metric.value != result.value;
        metric.value = result.value;
        metric.updatedAt = now;
    }
    store_.setMetrics(metrics_, cwd_);
    if (valueChanged) changed();
}

void LiveMetrics::refreshFeed(bool force) {
    if (feedBusy_ || (isExited_ && isExited_()) || !feed_) return;
    if (!force && feed_->updatedAt && clock_().sinceReference - feed_->updatedAt->sinceReference < feed_->every) return;
    feedBusy_ = true;
    platform::runtime::WorkerPool::shared().submit(
        [this, alive = std::weak_ptr<int>(alive_), loop = &loop_, command = feed_->command, cwd = cwd_] {
            auto items = feedItems(runCommand(command, cwd, feedTimeout));
            loop->post([this, alive, command, items = std::move(items)] {
                if (!alive.expired()) applyFeedResult(command, items);
            });
        });
}

void LiveMetrics::applyFeedResult(const std::string& command, std::optional<std::vector<Store::FeedItem>> items) {
    feedBusy_ = false;
    if (!feed_ || feed_->command != command) return;
    bool itemsChanged = false;
    if (items) {
        itemsChanged = *items != feed_->items;
        feed_->items = std::move(*items);
    }
    feed_->updatedAt = clock_();
    store_.setTileFeed(cwd_, feed_);
    if (itemsChanged) changed();
}

}  // namespace quiltdeck
