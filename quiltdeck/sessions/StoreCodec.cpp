// The state document's JSON form: decoded field by field, encoded whole.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>

#include "quiltdeck/sessions/JsonNesting.h"
#include "quiltdeck/sessions/Store.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

using Json = nlohmann::json;

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

// --- Reading records and lists ---------------------------------------------------------------
// A record that cannot be read is left out and the rest of its list kept; a field of the wrong
// type keeps its default. Either loses what the file held, so each is counted in the tally.

using SetAside = Store::SetAside;

template <class T>
struct Plain {
    using type = T;
};
template <class T>
struct Plain<std::optional<T>> {
    using type = T;
};

class Reader {
public:
    explicit Reader(SetAside& tally) : tally_(tally) {}

    // Takes the key's value when it is present and of the right type; keeps the default otherwise.
    template <class Target>
    void field(const Json& object, const char* key, Target& target) {
        const Json* found = present(object, key);
        if (!found) return;
        typename Plain<Target>::type taken{};
        if (value(*found, taken)) target = std::move(taken);
        else ++tally_.fields;
    }

    // Past `kept` records the rest are only read and counted.
    template <class T>
    void list(const Json& object, const char* key, std::vector<T>& target, SetAside::List which,
              size_t kept = SIZE_MAX) {
        if (const Json* found = present(object, key, Json::value_t::array)) target = records<T>(*found, which, kept);
    }

    template <class T>
    void map(const Json& object, const char* key, std::map<std::string, T>& target, SetAside::List which) {
        const Json* found = present(object, key, Json::value_t::object);
        if (!found) return;
        std::map<std::string, T> values;
        for (const auto& [name, element] : found->items()) {
            T taken{};
            if (entry(element, taken, which)) values.emplace(name, std::move(taken));
        }
        target = std::move(values);
    }

private:
    // A null holds nothing to lose: it counts as missing.
    static const Json* present(const Json& object, const char* key) {
        auto found = object.find(key);
        return found == object.end() || found->is_null() ? nullptr : &*found;
    }
    // A list or a map in the file is of its kind, or a field of the wrong type.
    const Json* present(const Json& object, const char* key, Json::value_t kind) {
        const Json* found = present(object, key);
        if (!found || found->type() == kind) return found;
        ++tally_.fields;
        return nullptr;
    }

    template <class T>
    std::vector<T> records(const Json& array, SetAside::List which, size_t kept) {
        std::vector<T> values;
        values.reserve(std::min(array.size(), kept));
        for (const Json& element : array) {
            T taken{};
            if (entry(element, taken, which) && values.size() < kept) values.push_back(std::move(taken));
        }
        return values;
    }

    // One record of the list, counted.
    template <class T>
    bool entry(const Json& v, T& out, SetAside::List which) {
        return counted(value(v, out), which);
    }
    // A map value that is itself a list (a folder's metrics): its records count, or it as one.
    template <class T>
    bool entry(const Json& v, std::vector<T>& out, SetAside::List which) {
        if (!v.is_array()) return counted(false, which);
        out = records<T>(v, which, SIZE_MAX);
        return true;
    }
    bool counted(bool readable, SetAside::List which) {
        ++tally_.records[which].inFile;
        if (!readable) ++tally_.records[which].unread;
        return readable;
    }

    template <class T>
    bool value(const Json& v, T& out) {
        return read(v, out);
    }
    // Records come in freshly made (a ClosedTile's closedAt: the moment of decoding); inside one
    // every key falls back by itself.
    bool value(const Json& v, Store::ClosedTile& tile) {
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
    bool value(const Json& v, Store::Metric& metric) {
        if (!v.is_object()) return false;
        field(v, "label", metric.label);
        field(v, "value", metric.value);
        field(v, "command", metric.command);
        field(v, "every", metric.every);
        field(v, "updatedAt", metric.updatedAt);
        return true;
    }
    bool value(const Json& v, Store::FeedItem& item) {
        if (!v.is_object()) return false;
        field(v, "title", item.title);
        field(v, "url", item.url);
        return true;
    }
    bool value(const Json& v, Store::Feed& feed) {
        if (!v.is_object()) return false;
        field(v, "label", feed.label);
        field(v, "command", feed.command);
        field(v, "every", feed.every);
        list(v, "items", feed.items, SetAside::headlines);
        field(v, "updatedAt", feed.updatedAt);
        return true;
    }

    SetAside& tally_;
};

// --- Writing --------------------------------------------------------------------------------
// Written directly rather than through a JSON tree: a document may hold tens of megabytes of
// text (commands, links), and plain text is copied in runs.

constexpr char hexDigits[] = "0123456789abcdef";

// A JSON string: quotes, backslashes and control characters escaped, bytes that are no UTF-8
// each replaced by U+FFFD.
void putString(std::string& out, std::string_view text) {
    out += '"';
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    size_t run = 0;
    for (size_t i = 0; i < text.size();) {
        const uint8_t c = bytes[i];
        if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
            ++i;
            continue;
        }
        out.append(text.substr(run, i - run));
        if (c >= 0x80) {
            const vantel::utf8::Sequence sequence = vantel::utf8::decode(bytes + i, text.size() - i);
            if (sequence.isScalar()) out.append(text.substr(i, sequence.length));
            else out += "\xEF\xBF\xBD";
            i += sequence.length;
            run = i;
            continue;
        }
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\u00";
                out += hexDigits[c >> 4];
                out += hexDigits[c & 0xF];
        }
        run = ++i;
    }
    out.append(text.substr(run));
    out += '"';
}

// The shortest text that reads back as the same number.
void putNumber(std::string& out, double value) { out += Json(value).dump(); }
void putNumber(std::string& out, int value) { out += std::to_string(value); }

// One object: each member after a comma but the first.
struct ObjectWriter {
    std::string& out;
    bool first = true;

    explicit ObjectWriter(std::string& out) : out(out) { out += '{'; }
    ~ObjectWriter() { out += '}'; }
    std::string& key(const char* name) {
        if (!first) out += ',';
        first = false;
        out += '"';
        out += name;
        out += "\":";
        return out;
    }
    void put(const char* name, std::string_view text) { putString(key(name), text); }
    void put(const char* name, bool value) { key(name) += value ? "true" : "false"; }
    void put(const char* name, double value) { putNumber(key(name), value); }
    void put(const char* name, int value) { putNumber(key(name), value); }
    void put(const char* name, const std::string& text) { put(name, std::string_view(text)); }
    void put(const char* name, const Date& date) { put(name, date.sinceReference); }
    template <class T>
    void put(const char* name, const std::optional<T>& value) {
        if (value) put(name, *value);
    }
    template <class T>
    void put(const char* name, const std::vector<T>& values);
    template <class T>
    void put(const char* name, const std::map<std::string, T>& values);
};

void put(std::string& out, const std::string& text) { putString(out, text); }

void put(std::string& out, const Store::ClosedTile& tile) {
    ObjectWriter o(out);
    o.put("title", tile.title);
    o.put("name", tile.name);
    o.put("cwd", tile.cwd);
    o.put("isShell", tile.isShell);
    o.put("browserId", tile.browserId);
    o.put("closedAt", tile.closedAt);
    o.put("claudeSessionId", tile.claudeSessionId);
    o.put("lastPrompt", tile.lastPrompt);
    o.put("userNamed", tile.userNamed);
    o.put("wall", tile.wall);
    o.put("tileId", tile.tileId);
}

void put(std::string& out, const Store::Metric& metric) {
    ObjectWriter o(out);
    o.put("label", metric.label);
    o.put("value", metric.value);
    o.put("command", metric.command);
    o.put("every", metric.every);
    o.put("updatedAt", metric.updatedAt);
}

void put(std::string& out, const Store::FeedItem& item) {
    ObjectWriter o(out);
    o.put("title", item.title);
    o.put("url", item.url);
}

void put(std::string& out, const Store::Feed& feed) {
    ObjectWriter o(out);
    o.put("label", feed.label);
    o.put("command", feed.command);
    o.put("every", feed.every);
    o.put("items", feed.items);
    o.put("updatedAt", feed.updatedAt);
}

template <class T>
void put(std::string& out, const std::vector<T>& values) {
    out += '[';
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out += ',';
        put(out, values[i]);
    }
    out += ']';
}

template <class T>
void ObjectWriter::put(const char* name, const std::vector<T>& values) {
    quiltdeck::put(key(name), values);
}

template <class T>
void ObjectWriter::put(const char* name, const std::map<std::string, T>& values) {
    std::string& text = key(name);
    text += '{';
    bool firstEntry = true;
    for (const auto& [entry, value] : values) {
        if (!firstEntry) text += ',';
        firstEntry = false;
        putString(text, entry);
        text += ':';
        quiltdeck::put(text, value);
    }
    text += '}';
}

}  // namespace

std::optional<Store::State> Store::decode(std::string_view bytes, std::string* error, size_t recordsKept,
                                          size_t* openTilesInFile, SetAside* setAside) {
    if (!jsonNestedWithin(bytes, nestingLimit)) {
        if (error) *error = "nested deeper than " + std::to_string(nestingLimit) + " levels";
        return std::nullopt;
    }
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
    SetAside tally;
    Reader r(tally);
    r.list(document, "recents", s.recents, SetAside::recents);
    r.field(document, "aiTitles", s.aiTitles);
    r.map(document, "browserLabels", s.browserLabels, SetAside::browserLabels);
    r.field(document, "themeMode", s.themeMode);
    r.field(document, "fontName", s.fontName);
    r.field(document, "minFontSize", s.minFontSize);
    r.field(document, "zoomScale", s.zoomScale);
    r.map(document, "browserCache", s.browserCache, SetAside::browserCache);
    r.field(document, "markStyle", s.markStyle);
    r.map(document, "tileColors", s.tileColors, SetAside::tileColors);
    r.map(document, "tileLogos", s.tileLogos, SetAside::tileLogos);
    r.map(document, "tileNames", s.tileNames, SetAside::tileNames);
    r.list(document, "closed", s.closed, SetAside::history, recordsKept);
    r.field(document, "language", s.language);
    r.list(document, "openTiles", s.openTiles, SetAside::openTiles, recordsKept);
    r.field(document, "autoTrustHome", s.autoTrustHome);
    r.field(document, "openAtLogin", s.openAtLogin);
    r.field(document, "permissionMode", s.permissionMode);
    r.map(document, "browserAccounts", s.browserAccounts, SetAside::browserAccounts);
    r.field(document, "onboarded", s.onboarded);
    r.list(document, "walls", s.walls, SetAside::walls);
    r.field(document, "currentWall", s.currentWall);
    r.map(document, "tileMetrics", s.tileMetrics, SetAside::metrics);
    r.map(document, "tileFeeds", s.tileFeeds, SetAside::feeds);
    const SetAside::Records& open = tally.records[SetAside::openTiles];
    if (openTilesInFile) *openTilesInFile = open.inFile - open.unread;
    if (setAside) *setAside = std::move(tally);
    return s;
}

std::string Store::encode(const State& s) {
    std::string out;
    {
        ObjectWriter o(out);
        o.put("recents", s.recents);
        o.put("aiTitles", s.aiTitles);
        o.put("browserLabels", s.browserLabels);
        o.put("themeMode", s.themeMode);
        o.put("fontName", s.fontName);
        o.put("minFontSize", s.minFontSize);
        o.put("zoomScale", s.zoomScale);
        o.put("browserCache", s.browserCache);
        o.put("markStyle", s.markStyle);
        o.put("tileColors", s.tileColors);
        o.put("tileLogos", s.tileLogos);
        o.put("tileNames", s.tileNames);
        o.put("closed", s.closed);
        o.put("language", s.language);
        o.put("openTiles", s.openTiles);
        o.put("autoTrustHome", s.autoTrustHome);
        o.put("openAtLogin", s.openAtLogin);
        o.put("permissionMode", s.permissionMode);
        o.put("browserAccounts", s.browserAccounts);
        o.put("onboarded", s.onboarded);
        o.put("walls", s.walls);
        o.put("currentWall", s.currentWall);
        o.put("tileMetrics", s.tileMetrics);
        o.put("tileFeeds", s.tileFeeds);
    }
    return out;
}

std::optional<std::string> Store::encodeWithin(State& state, size_t limit, size_t* dropped) {
    size_t gone = 0;
    std::string bytes = encode(state);
    // Each pass drops the oldest records whose own text covers the excess, then measures again.
    while (bytes.size() > limit && !state.closed.empty()) {
        const size_t excess = bytes.size() - limit;
        size_t freed = 0;
        while (freed < excess && !state.closed.empty()) {
            std::string record;
            put(record, state.closed.back());
            freed += record.size() + 1;
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
