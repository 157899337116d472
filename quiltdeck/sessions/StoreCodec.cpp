// The state document's JSON form: decoded field by field, encoded whole.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>

#include "quiltdeck/sessions/Store.h"

namespace quiltdeck {

namespace {

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

// --- Reading one value: false when it has the wrong type -----------------------------------

bool read(const Json& v, std::string& out) {
    if (!v.is_string()) return false;
    out = v.get_ref<const std::string&>();
    return true;
}

bool read(const Json& v, bool& out) {
    if (!v.is_boolean()) return false;
    out = v.get<bool>();
    return true;
}

bool read(const Json& v, double& out) {
    if (!v.is_number()) return false;
    const double value = v.get<double>();
    if (!std::isfinite(value)) return false;
    out = value;
    return true;
}

// Whole numbers only; 300.0 counts, 300.5 does not.
bool read(const Json& v, int& out) {
    double value = 0;
    if (!read(v, value) || value != std::trunc(value) || value < std::numeric_limits<int>::min() ||
        value > std::numeric_limits<int>::max())
        return false;
    out = static_cast<int>(value);
    return true;
}

bool read(const Json& v, Date& out) { return read(v, out.sinceReference); }

template <class T>
bool read(const Json& v, std::vector<T>& out);
template <class T>
bool read(const Json& v, std::map<std::string, T>& out);
bool read(const Json& v, Store::ClosedTile& out);
bool read(const Json& v, Store::Metric& out);
bool read(const Json& v, Store::Feed& out);
bool read(const Json& v, Store::FeedItem& out);

// A container decodes whole or not at all; past `kept` elements the rest are only checked.
template <class T>
bool read(const Json& v, std::vector<T>& out, size_t kept) {
    if (!v.is_array()) return false;
    std::vector<T> values;
    values.reserve(std::min(v.size(), kept));
    for (const Json& element : v) {
        T value{};
        if (!read(element, value)) return false;
        if (values.size() < kept) values.push_back(std::move(value));
    }
    out = std::move(values);
    return true;
}

template <class T>
bool read(const Json& v, std::vector<T>& out) {
    return read(v, out, SIZE_MAX);
}

template <class T>
bool read(const Json& v, std::map<std::string, T>& out) {
    if (!v.is_object()) return false;
    std::map<std::string, T> values;
    for (const auto& [key, element] : v.items()) {
        T value{};
        if (!read(element, value)) return false;
        values.emplace(key, std::move(value));
    }
    out = std::move(values);
    return true;
}

// Takes the key's value when it is present and of the right type; keeps the default otherwise.
template <class T>
void field(const Json& object, const char* key, T& target) {
    auto found = object.find(key);
    if (found == object.end()) return;
    T value{};
    if (read(*found, value)) target = std::move(value);
}

template <class T>
void field(const Json& object, const char* key, std::vector<T>& target, size_t kept) {
    auto found = object.find(key);
    if (found == object.end()) return;
    std::vector<T> value;
    if (read(*found, value, kept)) target = std::move(value);
}

template <class T>
void field(const Json& object, const char* key, std::optional<T>& target) {
    auto found = object.find(key);
    if (found == object.end()) return;
    T value{};
    if (read(*found, value)) target = std::move(value);
}

// Inside a record every key falls back by itself; only a record that is no object fails.
// Records come in freshly made (a ClosedTile's closedAt: the moment of decoding).
bool read(const Json& v, Store::ClosedTile& tile) {
    if (!v.is_object()) return false;
    field(v, "title", tile.title);
    field(v, "name", tile.name);
    field(v, "cwd", tile.cwd);
    field(v, "isShell", tile.isShell);
    field(v, "browserId", tile.browserId);
    field(v, "closedAt", tile.closedAt);
    field(v, "claudeSessionId", tile.claudeSessionId);
    field(v, "lastPrompt", tile.lastPrompt);
    field(v, "userNamed", tile.userNamed);
    field(v, "wall", tile.wall);
    field(v, "tileId", tile.tileId);
    return true;
}

bool read(const Json& v, Store::Metric& metric) {
    if (!v.is_object()) return false;
    field(v, "label", metric.label);
    field(v, "value", metric.value);
    field(v, "command", metric.command);
    field(v, "every", metric.every);
    field(v, "updatedAt", metric.updatedAt);
    return true;
}

bool read(const Json& v, Store::FeedItem& item) {
    if (!v.is_object()) return false;
    field(v, "title", item.title);
    field(v, "url", item.url);
    return true;
}

bool read(const Json& v, Store::Feed& feed) {
    if (!v.is_object()) return false;
    field(v, "label", feed.label);
    field(v, "command", feed.command);
    field(v, "every", feed.every);
    field(v, "items", feed.items);
    field(v, "updatedAt", feed.updatedAt);
    return true;
}

// --- Writing --------------------------------------------------------------------------------

template <class T>
void put(OrderedJson& object, const char* key, const std::optional<T>& value) {
    if (value) object[key] = *value;
}

OrderedJson toJson(const Store::ClosedTile& tile) {
    OrderedJson o = OrderedJson::object();
    o["title"] = tile.title;
    o["name"] = tile.name;
    o["cwd"] = tile.cwd;
    o["isShell"] = tile.isShell;
    put(o, "browserId", tile.browserId);
    o["closedAt"] = tile.closedAt.sinceReference;
    put(o, "claudeSessionId", tile.claudeSessionId);
    put(o, "lastPrompt", tile.lastPrompt);
    put(o, "userNamed", tile.userNamed);
    put(o, "wall", tile.wall);
    put(o, "tileId", tile.tileId);
    return o;
}

OrderedJson toJson(const Store::Metric& metric) {
    OrderedJson o = OrderedJson::object();
    o["label"] = metric.label;
    o["value"] = metric.value;
    put(o, "command", metric.command);
    put(o, "every", metric.every);
    if (metric.updatedAt) o["updatedAt"] = metric.updatedAt->sinceReference;
    return o;
}

OrderedJson toJson(const Store::Feed& feed) {
    OrderedJson o = OrderedJson::object();
    o["label"] = feed.label;
    o["command"] = feed.command;
    o["every"] = feed.every;
    OrderedJson items = OrderedJson::array();
    for (const auto& item : feed.items) items.push_back(OrderedJson{{"title", item.title}, {"url", item.url}});
    o["items"] = std::move(items);
    if (feed.updatedAt) o["updatedAt"] = feed.updatedAt->sinceReference;
    return o;
}

template <class T>
OrderedJson toJsonArray(const std::vector<T>& values) {
    OrderedJson array = OrderedJson::array();
    for (const auto& value : values) array.push_back(toJson(value));
    return array;
}

}  // namespace

std::optional<Store::State> Store::decode(std::string_view bytes, std::string* error, size_t recordsKept,
                                          size_t* openTilesInFile) {
    Json document;
    try {
        document = Json::parse(bytes);
    } catch (const std::exception& e) {
        if (error) *error = e.what();
        return std::nullopt;
    }
    if (!document.is_object()) {
        if (error) *error = "the document is not a JSON object";
        return std::nullopt;
    }
    State s;
    field(document, "recents", s.recents);
    field(document, "aiTitles", s.aiTitles);
    field(document, "browserLabels", s.browserLabels);
    field(document, "themeMode", s.themeMode);
    field(document, "fontName", s.fontName);
    field(document, "minFontSize", s.minFontSize);
    field(document, "zoomScale", s.zoomScale);
    field(document, "browserCache", s.browserCache);
    field(document, "markStyle", s.markStyle);
    field(document, "tileColors", s.tileColors);
    field(document, "tileLogos", s.tileLogos);
    field(document, "tileNames", s.tileNames);
    field(document, "closed", s.closed, recordsKept);
    field(document, "language", s.language);
    field(document, "openTiles", s.openTiles, recordsKept);
    field(document, "autoTrustHome", s.autoTrustHome);
    field(document, "openAtLogin", s.openAtLogin);
    field(document, "permissionMode", s.permissionMode);
    field(document, "browserAccounts", s.browserAccounts);
    field(document, "onboarded", s.onboarded);
    field(document, "walls", s.walls);
    field(document, "currentWall", s.currentWall);
    field(document, "tileMetrics", s.tileMetrics);
    field(document, "tileFeeds", s.tileFeeds);
    if (openTilesInFile) *openTilesInFile = s.openTiles.empty() ? 0 : document.find("openTiles")->size();
    return s;
}

std::string Store::encode(const State& s) {
    OrderedJson o = OrderedJson::object();
    o["recents"] = s.recents;
    o["aiTitles"] = s.aiTitles;
    o["browserLabels"] = s.browserLabels;
    o["themeMode"] = s.themeMode;
    o["fontName"] = s.fontName;
    o["minFontSize"] = s.minFontSize;
    o["zoomScale"] = s.zoomScale;
    o["browserCache"] = s.browserCache;
    o["markStyle"] = s.markStyle;
    o["tileColors"] = s.tileColors;
    o["tileLogos"] = s.tileLogos;
    o["tileNames"] = s.tileNames;
    o["closed"] = toJsonArray(s.closed);
    o["language"] = s.language;
    o["openTiles"] = toJsonArray(s.openTiles);
    o["autoTrustHome"] = s.autoTrustHome;
    o["openAtLogin"] = s.openAtLogin;
    o["permissionMode"] = s.permissionMode;
    o["browserAccounts"] = s.browserAccounts;
    o["onboarded"] = s.onboarded;
    o["walls"] = s.walls;
    o["currentWall"] = s.currentWall;
    OrderedJson metrics = OrderedJson::object();
    for (const auto& [folder, list] : s.tileMetrics) metrics[folder] = toJsonArray(list);
    o["tileMetrics"] = std::move(metrics);
    OrderedJson feeds = OrderedJson::object();
    for (const auto& [folder, feed] : s.tileFeeds) feeds[folder] = toJson(feed);
    o["tileFeeds"] = std::move(feeds);
    return o.dump(-1, ' ', false, OrderedJson::error_handler_t::replace);
}

std::optional<std::string> Store::encodeWithin(State& state, size_t limit, size_t* dropped) {
    size_t gone = 0;
    std::string bytes = encode(state);
    // Each pass drops the oldest records whose own text covers the excess, then measures again.
    while (bytes.size() > limit && !state.closed.empty()) {
        const size_t excess = bytes.size() - limit;
        size_t freed = 0;
        while (freed < excess && !state.closed.empty()) {
            freed += toJson(state.closed.back()).dump(-1, ' ', false, OrderedJson::error_handler_t::replace).size() + 1;
            state.closed.pop_back();
            ++gone;
        }
        bytes = encode(state);
    }
    if (dropped) *dropped = gone;
    if (bytes.size() > limit) return std::nullopt;
    return bytes;
}

}  // namespace quiltdeck
