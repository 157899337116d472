// The state document's JSON form: decoded field by field, encoded whole.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <nlohmann/json.hpp>
#include <string_view>
#include <type_traits>
#include <unordered_set>

#include "quiltdeck/sessions/JsonReader.h"
#include "quiltdeck/sessions/Store.h"
#include "vantel/core/Utf8.h"

namespace quiltdeck {

namespace {

using Json = nlohmann::json;
using Kind = JsonReader::Kind;
using SetAside = Store::SetAside;

template <class T>
struct Plain {
    using type = T;
};
template <class T>
struct Plain<std::optional<T>> {
    using type = T;
};

// Why a value was not taken.
enum class Lost { nothing, wrongType, number, string };

// Reads the document as it comes, field by field and record by record, and makes only what it
// keeps. A record that cannot be read is left out and the rest of its list kept; a field of the
// wrong type, or a value nothing can hold (a number out of range, a broken string), keeps its
// default. Either loses what the file held, so each is counted in the tally, by what it was.
class Decoder {
public:
    Decoder(JsonReader& in, SetAside& tally) : in_(in), tally_(tally) {}

    // Takes the value when it is of the target's type; keeps the default otherwise. A null holds
    // nothing to lose: it counts as missing.
    template <class Target>
    void field(Target& target) {
        if (in_.peek() == Kind::null) return in_.skip();
        typename Plain<Target>::type taken{};
        const Lost lost = value(taken);
        if (lost == Lost::nothing) target = std::move(taken);
        else count(lost);
    }

    // Past `kept` records the rest are only read and counted; with `distinct`, a record equal to
    // one made before is not made again.
    template <class T>
    void list(std::vector<T>& target, SetAside::List which, size_t kept = SIZE_MAX, bool distinct = false) {
        if (!present(Kind::array)) return;
        target = records<T>(which, kept, distinct);
    }

    template <class T>
    void map(std::map<std::string, T>& target, SetAside::List which) {
        if (!present(Kind::object)) return;
        std::map<std::string, T> values;
        std::string key;
        bool keyReadable = true;
        in_.enterObject();
        while (in_.nextMember(key, keyReadable)) {
            T taken = fresh<T>();
            // A broken key would name another folder or browser: its entry is left out.
            if (entry(taken, which, keyReadable)) values.insert_or_assign(key, std::move(taken));
        }
        target = std::move(values);
    }

    // Each member of the object in turn, its key to `member`, which reads or skips its value. A
    // broken key is a field lost.
    template <class Member>
    void members(Member&& member) {
        in_.enterObject();
        std::string key;
        bool keyReadable = true;
        while (in_.nextMember(key, keyReadable)) {
            if (keyReadable) {
                member(std::string_view(key));
            } else {
                count(Lost::string);
                in_.skip();
            }
        }
    }

private:
    void count(Lost lost) {
        switch (lost) {
            case Lost::nothing: break;
            case Lost::wrongType: ++tally_.fields; break;
            case Lost::number: ++tally_.numbers; break;
            case Lost::string: ++tally_.strings; break;
        }
    }

    // A list or a map in the file is of its kind, or a field of the wrong type; a null is missing.
    bool present(Kind kind) {
        const Kind found = in_.peek();
        if (found == kind) return true;
        if (found != Kind::null) count(Lost::wrongType);
        in_.skip();
        return false;
    }

    // A record comes in freshly made: a ClosedTile's closedAt is the moment of decoding, taken
    // once rather than for each of a million records.
    template <class T>
    T fresh() {
        if constexpr (std::is_same_v<T, Store::ClosedTile>) return freshTile_;
        else return T{};
    }

    template <class T>
    std::vector<T> records(SetAside::List which, size_t kept, bool distinct) {
        std::vector<T> values;
        std::unordered_set<std::string> seen;
        T unkept = fresh<T>();
        in_.enterArray();
        while (in_.nextElement()) {
            if (values.size() >= kept) {
                entry(unkept, which);
                continue;
            }
            T taken = fresh<T>();
            if (!entry(taken, which)) continue;
            if constexpr (std::is_same_v<T, std::string>) {
                if (distinct && !seen.insert(taken).second) continue;
            }
            values.push_back(std::move(taken));
        }
        return values;
    }

    // One record of a list or a map, counted.
    template <class T>
    bool entry(T& out, SetAside::List which, bool keyReadable = true) {
        return counted(value(out) == Lost::nothing && keyReadable, which);
    }
    // A map value that is itself a list (a folder's metrics): its records count, or it as one.
    bool entry(std::vector<Store::Metric>& out, SetAside::List which, bool keyReadable) {
        if (in_.peek() != Kind::array || !keyReadable) {
            in_.skip();
            return counted(false, which);
        }
        out = records<Store::Metric>(which, Store::metricsLimit, false);
        return true;
    }
    bool counted(bool readable, SetAside::List which) {
        ++tally_.records[which].inFile;
        if (!readable) ++tally_.records[which].unread;
        return readable;
    }

    // --- One value: what was lost when it has the wrong type or cannot be held ----------------

    Lost wrongType() {
        in_.skip();
        return Lost::wrongType;
    }
    Lost value(std::string& out) {
        if (in_.peek() != Kind::string) return wrongType();
        return in_.string(out) ? Lost::nothing : Lost::string;
    }
    Lost value(bool& out) {
        if (in_.peek() != Kind::boolean) return wrongType();
        out = in_.boolean();
        return Lost::nothing;
    }
    Lost value(double& out) {
        if (in_.peek() != Kind::number) return wrongType();
        const std::optional<double> number = in_.number();
        if (!number) return Lost::number;
        out = *number;
        return Lost::nothing;
    }
    // Whole numbers only; 300.0 counts, 300.5 is of the wrong type.
    Lost value(int& out) {
        double number = 0;
        if (const Lost lost = value(number); lost != Lost::nothing) return lost;
        if (number != std::trunc(number)) return Lost::wrongType;
        if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) return Lost::number;
        out = static_cast<int>(number);
        return Lost::nothing;
    }
    Lost value(Date& out) { return value(out.sinceReference); }

    // Inside a record every key falls back by itself.
    template <class Field>
    Lost record(Field&& field) {
        if (in_.peek() != Kind::object) return wrongType();
        members([&](std::string_view key) {
            if (!field(key)) in_.skip();
        });
        return Lost::nothing;
    }
    Lost value(Store::ClosedTile& tile) {
        return record([&](std::string_view key) {
            if (key == "title") field(tile.title);
            else if (key == "name") field(tile.name);
            else if (key == "cwd") field(tile.cwd);
            else if (key == "isShell") field(tile.isShell);
            else if (key == "browserId") field(tile.browserId);
            else if (key == "closedAt") field(tile.closedAt);
            else if (key == "claudeSessionId") field(tile.claudeSessionId);
            else if (key == "lastPrompt") field(tile.lastPrompt);
            else if (key == "userNamed") field(tile.userNamed);
            else if (key == "wall") field(tile.wall);
            else if (key == "tileId") field(tile.tileId);
            else return false;
            return true;
        });
    }
    Lost value(Store::Metric& metric) {
        return record([&](std::string_view key) {
            if (key == "label") field(metric.label);
            else if (key == "value") field(metric.value);
            else if (key == "command") field(metric.command);
            else if (key == "every") field(metric.every);
            else if (key == "updatedAt") field(metric.updatedAt);
            else return false;
            return true;
        });
    }
    Lost value(Store::FeedItem& item) {
        return record([&](std::string_view key) {
            if (key == "title") field(item.title);
            else if (key == "url") field(item.url);
            else return false;
            return true;
        });
    }
    Lost value(Store::Feed& feed) {
        return record([&](std::string_view key) {
            if (key == "label") field(feed.label);
            else if (key == "command") field(feed.command);
            else if (key == "every") field(feed.every);
            else if (key == "items") list(feed.items, SetAside::headlines, Store::feedItemsLimit);
            else if (key == "updatedAt") field(feed.updatedAt);
            else return false;
            return true;
        });
    }

    JsonReader& in_;
    SetAside& tally_;
    const Store::ClosedTile freshTile_;
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
    JsonReader in(bytes, nestingLimit);
    State s;
    SetAside tally;
    Decoder d(in, tally);
    const Kind top = in.peek();
    if (top != Kind::object) {
        in.skip();
        if (error) *error = in.finish() ? "the document is not a JSON object" : in.error();
        return std::nullopt;
    }
    d.members([&](std::string_view key) {
        if (key == "recents") d.list(s.recents, SetAside::recents, recentsLimit, true);
        else if (key == "aiTitles") d.field(s.aiTitles);
        else if (key == "browserLabels") d.map(s.browserLabels, SetAside::browserLabels);
        else if (key == "themeMode") d.field(s.themeMode);
        else if (key == "fontName") d.field(s.fontName);
        else if (key == "minFontSize") d.field(s.minFontSize);
        else if (key == "zoomScale") d.field(s.zoomScale);
        else if (key == "browserCache") d.map(s.browserCache, SetAside::browserCache);
        else if (key == "markStyle") d.field(s.markStyle);
        else if (key == "tileColors") d.map(s.tileColors, SetAside::tileColors);
        else if (key == "tileLogos") d.map(s.tileLogos, SetAside::tileLogos);
        else if (key == "tileNames") d.map(s.tileNames, SetAside::tileNames);
        else if (key == "closed") d.list(s.closed, SetAside::history, recordsKept);
        else if (key == "language") d.field(s.language);
        else if (key == "openTiles") d.list(s.openTiles, SetAside::openTiles, recordsKept);
        else if (key == "autoTrustHome") d.field(s.autoTrustHome);
        else if (key == "openAtLogin") d.field(s.openAtLogin);
        else if (key == "permissionMode") d.field(s.permissionMode);
        else if (key == "browserAccounts") d.map(s.browserAccounts, SetAside::browserAccounts);
        else if (key == "onboarded") d.field(s.onboarded);
        else if (key == "walls") d.list(s.walls, SetAside::walls, SIZE_MAX, true);
        else if (key == "currentWall") d.field(s.currentWall);
        else if (key == "tileMetrics") d.map(s.tileMetrics, SetAside::metrics);
        else if (key == "tileFeeds") d.map(s.tileFeeds, SetAside::feeds);
        else in.skip();
    });
    if (!in.finish()) {
        if (error) *error = in.error();
        return std::nullopt;
    }
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
