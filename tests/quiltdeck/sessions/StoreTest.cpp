#include "quiltdeck/sessions/Store.h"

#include <fcntl.h>
#include <pwd.h>
#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "platform/gfx/PngEncoder.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Defaults.h"
#include "quiltdeck/sessions/Drop.h"
#include "quiltdeck/panels/ClaudeFirstRun.h"
#include "quiltdeck/shell/DurableFile.h"
#include "quiltdeck/shell/FileSaver.h"
#include "quiltdeck/shell/LogWriter.h"
#include "quiltdeck/shell/LoginItem.h"
#include "quiltdeck/shell/StateFolder.h"

namespace quiltdeck {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
using State = Store::State;

// Sets (or, with nothing, unsets) a variable for one scope.
struct EnvOverride {
    EnvOverride(const char* name, std::optional<std::string> value) : name(name) {
        if (const char* before = std::getenv(name)) old = before;
        value ? ::setenv(name, value->c_str(), 1) : ::unsetenv(name);
    }
    ~EnvOverride() { old ? ::setenv(name, old->c_str(), 1) : ::unsetenv(name); }
    const char* name;
    std::optional<std::string> old;
};

State decoded(const std::string& json) {
    auto state = Store::decode(json);
    EXPECT_TRUE(state) << json;
    return state.value_or(State{});
}

// The file as the store would have written it, once its writer has had the last change.
void expectSaved(const Store& store) {
    EXPECT_TRUE(store.flush());
    EXPECT_EQ(readFile(store.file()), Store::encode(store.state()));
}

// "history 1/2 fields 1 numbers 1": each list's records set aside of those in the file, then the
// fields of the wrong type, the numbers out of range and the broken strings.
std::string tally(const Store::SetAside& setAside) {
    std::string text;
    for (const auto& [list, name] : Store::SetAside::names) {
        const auto& [unread, inFile] = setAside.records[list];
        if (unread > 0) text += std::string(name) + " " + std::to_string(unread) + "/" + std::to_string(inFile) + " ";
    }
    for (const auto& [count, name] : {std::pair{setAside.fields, "fields"}, {setAside.numbers, "numbers"}, {setAside.strings, "strings"}}) {
        if (count > 0) text += std::string(name) + " " + std::to_string(count) + " ";
    }
    return text.substr(0, text.size() - !text.empty());
}

// A record that cannot be read is left out and the rest of its list kept; a field of the wrong
// type keeps its default. Both are counted as set aside; a null field holds nothing to lose.
TEST(StoreDecode, EachFieldFallsBackByItself) {
    const Date before = Date::now();
    std::string hundred = "{\"closed\":[";
    for (int i = 0; i < 100; ++i) hundred += std::string(i ? "," : "") + "{\"cwd\":\"/p\"}";
    hundred += "]}";
    const auto at = [](double closedAt, std::string title = "", std::string cwd = "") {
        return Store::ClosedTile{std::move(title), "", std::move(cwd), false, {}, Date{closedAt}, {}, {}, {}, {}, {}};
    };
    struct Case {
        std::string json;
        std::function<void(State&)> expect;
        std::string setAside;
    };
    const Case cases[] = {
        {R"({"themeMode":5,"language":"de"})", [](State& s) { s.language = "de"; }, "fields 1"},
        {R"({"closed":[{"cwd":"/a","closedAt":1},3],"walls":["w"]})",
         [&](State& s) { s.closed = {at(1, "", "/a")}; s.walls = {"w"}; }, "history 1/2"},
        {R"({"recents":["a",1],"browserLabels":{"a":"b","c":2},"currentWall":"x"})",
         [](State& s) { s.recents = {"a"}; s.browserLabels = {{"a", "b"}}; s.currentWall = std::string("x"); },
         "recent-folder 1/2 browser-label 1/2"},
        {R"({"zoomScale":null,"aiTitles":0,"minFontSize":"12","openAtLogin":false})",
         [](State& s) { s.openAtLogin = false; }, "fields 2"},
        {R"({"tileMetrics":{"/p":[{"label":"a"},"b"]},"tileFeeds":{"/p":3}})",
         [](State& s) { s.tileMetrics["/p"] = {{"a", "", {}, {}, {}}}; }, "live-number 1/2 headline-feed 1/1"},
        {R"({"tileFeeds":{"/p":{"label":"x","every":12.5,"items":[{"url":7,"title":"t"}]}}})",
         [](State& s) { s.tileFeeds["/p"] = {"x", "", 300, {{"t", ""}}, std::nullopt}; }, "fields 2"},
        {R"({"tileMetrics":{"/p":[{"label":"a","every":"x","updatedAt":5.5}]}})",
         [](State& s) { s.tileMetrics["/p"] = {{"a", "", std::nullopt, std::nullopt, Date{5.5}}}; }, "fields 1"},
        {R"({"unknown":{"deep":[1,2]},"minFontSize":13})", [](State& s) { s.minFontSize = 13; }, ""},
        {R"({"closed":[{"title":"a","closedAt":1},null,7,{"closedAt":2,"isShell":"yes"},{"closedAt":3}]})",
         [&](State& s) { s.closed = {at(1, "a"), at(2), at(3)}; }, "history 2/5 fields 1"},
        {R"({"openTiles":[7,{"closedAt":1,"tileId":5},null,{"title":"u","closedAt":2,"wall":null}]})",
         [&](State& s) { s.openTiles = {at(1), at(2, "u")}; }, "open-tile 2/4 fields 1"},
        {R"({"recents":["/a",null,3,{"x":"/c"},"/b"],"walls":["w",null,["x"]]})",
         [](State& s) { s.recents = {"/a", "/b"}; s.walls = {"w"}; }, "recent-folder 3/5 wall 2/3"},
        {R"({"browserCache":{"d":"C","e":null},"browserAccounts":{"d":1},"tileColors":{"/p":"ff0000","/q":[1]},
             "tileLogos":{"/p":false,"/q":""},"tileNames":{"/p":"n","/q":{}}})",
         [](State& s) { s.browserCache = {{"d", "C"}}; s.tileColors = {{"/p", "ff0000"}}; s.tileLogos = {{"/q", ""}}; s.tileNames = {{"/p", "n"}}; },
         "browser 1/2 browser-account 1/1 tile-colour 1/2 tile-logo 1/2 tile-name 1/2"},
        {R"({"tileMetrics":{"/p":[{"label":"a"},null,7,{"label":"b","command":9}],"/q":"x"}})",
         [](State& s) { s.tileMetrics["/p"] = {{"a", "", {}, {}, {}}, {"b", "", {}, {}, {}}}; }, "live-number 3/5 fields 1"},
        {R"({"tileFeeds":{"/p":{"label":"x","items":[{"title":"t"},null,3,{"title":7,"url":"u"}]},"/q":null,"/r":5,"/s":{"items":{}}}})",
         [](State& s) { s.tileFeeds = {{"/p", {"x", "", 300, {{"t", ""}, {"", "u"}}, {}}}, {"/s", {}}}; },
         "headline-feed 2/4 headline 2/4 fields 2"},
        {R"({"closed":5,"openTiles":{},"tileMetrics":[],"recents":"a","language":"fr"})",
         [](State& s) { s.language = "fr"; }, "fields 4"},
        // A value the document cannot hold costs its field, its record or its entry alone: a number
        // out of range, a byte that is no UTF-8, a control character. Half a surrogate pair, as
        // JSON.stringify writes half an emoji, is a replacement character and costs nothing else.
        {R"({"tileMetrics":{"/p":[{"label":"a","every":1e999},{"label":"b","every":-1e999}]}})",
         [](State& s) { s.tileMetrics["/p"] = {{"a", "", {}, {}, {}}, {"b", "", {}, {}, {}}}; }, "numbers 2"},
        {R"({"zoomScale":1e400,"language":"de","minFontSize":1e-400})",
         [](State& s) { s.language = "de"; s.minFontSize = 0; }, "numbers 1"},
        // A whole number the field's size cannot hold is out of range; a fraction is of the wrong type.
        {R"({"tileFeeds":{"/p":{"label":"x","every":3e9}},"tileMetrics":{"/p":[{"label":"a","every":-3e9},{"label":"b","every":0.5}]}})",
         [](State& s) { s.tileFeeds["/p"] = {"x", "", 300, {}, {}}; s.tileMetrics["/p"] = {{"a", "", {}, {}, {}}, {"b", "", {}, {}, {}}}; },
         "fields 1 numbers 2"},
        {R"({"closed":[{"title":"\ud800","cwd":"/a","closedAt":1},{"title":"\udc00\ud800x\ud83d","closedAt":2}]})",
         [&](State& s) { s.closed = {at(1, "\uFFFD", "/a"), at(2, "\uFFFD\uFFFDx\uFFFD")}; }, ""},
        {R"({"fontName":"\ud83d\ude00 \u00e9\u0000","markStyle":"a\qb","browserLabels":{"d":"\ud83d\u0041"}})",
         [](State& s) { s.fontName = std::string("\U0001F600 \u00E9\0", 8); s.browserLabels = {{"d", "\uFFFDA"}}; }, "strings 1"},
        {"{\"openTiles\":[{\"title\":\"a\xff\",\"closedAt\":2}],\"currentWall\":\"\xc3(\",\"walls\":[\"\xed\xa0\x80\"]}",
         [&](State& s) { s.openTiles = {at(2)}; }, "wall 1/1 strings 2"},
        {"{\"tileNames\":{\"/p\xff\":\"n\",\"/q\":\"m\\ud800\",\"/r\":\"r\"},\"lang\xffuage\":\"de\",\"markStyle\":\"a\x01\"}",
         [](State& s) { s.tileNames = {{"/q", "m\uFFFD"}, {"/r", "r"}}; }, "tile-name 1/3 strings 2"},
        // 64 levels are read.
        {R"({"unknown":)" + std::string(63, '[') + std::string(63, ']') + R"(,"onboarded":true})",
         [](State& s) { s.onboarded = true; }, ""},
    };
    for (const Case& c : cases) {
        State wanted;
        c.expect(wanted);
        Store::SetAside setAside;
        const auto state = Store::decode(c.json, nullptr, SIZE_MAX, nullptr, &setAside);
        ASSERT_TRUE(state) << c.json;
        EXPECT_EQ(*state, wanted) << c.json;
        EXPECT_EQ(tally(setAside), c.setAside) << c.json;
        EXPECT_EQ(setAside.any(), !c.setAside.empty()) << c.json;
    }

    const State tile = decoded(R"({"closed":[{"cwd":"/tmp"}]})");
    ASSERT_EQ(tile.closed.size(), 1u);
    EXPECT_EQ(tile.closed[0].title, "");
    EXPECT_FALSE(tile.closed[0].isShell);
    EXPECT_GE(tile.closed[0].closedAt, before);
    EXPECT_LE(tile.closed[0].closedAt, Date::now());
    // Bounds apply when entries are added, not at load.
    EXPECT_EQ(decoded(hundred).closed.size(), 100u);
}

TEST(StoreDecode, OnlyAJsonObjectIsADocument) {
    const std::string deep = "{\"a\":" + std::string(64, '[') + std::string(64, ']') + "}";
    for (const std::string& bytes : {std::string(""), std::string("[]"), std::string("not json"), std::string("\"text\""),
                                     std::string("{\"a\":1e}"), std::string("{\"a\":01}"), std::string("{\"a\":\"x"),
                                     std::string("{\"a\":[1,]}"), std::string("{\"a\":\"x\\"), std::string("{} x"), deep}) {
        std::string error;
        EXPECT_FALSE(Store::decode(bytes, &error)) << bytes;
        EXPECT_FALSE(error.empty());
    }
}

TEST(StoreEncode, CompactWithAll24KeysInOrder) {
    const std::string bytes = Store::encode(State{});
    EXPECT_EQ(bytes.find('\n'), std::string::npos);
    EXPECT_EQ(bytes.find(": "), std::string::npos);
    std::vector<std::string> keys;
    const auto document = nlohmann::ordered_json::parse(bytes);
    for (const auto& [key, value] : document.items()) keys.push_back(key);
    const std::vector<std::string> expected = {
        "recents",   "aiTitles",    "browserLabels", "themeMode",     "fontName",       "minFontSize",
        "zoomScale", "browserCache", "markStyle",    "tileColors",    "tileLogos",      "tileNames",
        "closed",    "language",    "openTiles",     "autoTrustHome", "openAtLogin",    "permissionMode",
        "browserAccounts", "onboarded", "walls",     "currentWall",   "tileMetrics",    "tileFeeds"};
    EXPECT_EQ(keys, expected);
}

// A document with something in every field and list.
State everyField() {
    State s;
    s.recents = {"/a", "/b"};
    s.aiTitles = false;
    s.browserLabels = {{"d1", "Work"}};
    s.themeMode = "dark";
    s.fontName = "Mono";
    s.minFontSize = 12.25;
    s.zoomScale = 1.3;
    s.browserCache = {{"d1", "Chrome"}};
    s.markStyle = "dots";
    s.tileColors = {{"/a", "ff8800"}};
    s.tileLogos = {{"/a", ""}};
    s.tileNames = {{"/a", "Name ✨"}, {"/q\"\\", std::string("\x01\b\f\n\r\t\x1f\x7f\0\"\\/", 13)}};
    s.closed = {{"t", "n", "/a", true, "b", Date{123456789.123456}, "sid", "fix it", true, "w", "id1"},
                {"t2", "", "/b", false, std::nullopt, Date{-5.5}, std::nullopt, std::nullopt, std::nullopt,
                 std::nullopt, std::nullopt}};
    s.language = "zh";
    s.openTiles = {s.closed[1]};
    s.autoTrustHome = true;
    s.openAtLogin = false;
    s.permissionMode = "auto";
    s.browserAccounts = {{"d1", "me@example.org"}};
    s.onboarded = true;
    s.walls = {"Client"};
    s.currentWall = "Client";
    s.tileMetrics = {{"/a", {{"users", "12", "echo 12", 60, Date{1.0 / 3}}, {"fixed", "x", {}, {}, {}}}}};
    s.tileFeeds = {{"/a", {"news", "cat f", 120, {{"A", "https://a"}, {"B", ""}}, Date{7.75}}}};
    return s;
}

TEST(StoreEncode, FullRoundTripKeepsEveryField) {
    const State s = everyField();
    EXPECT_EQ(decoded(Store::encode(s)), s);
}

// Documents damaged at random (junk put in, bytes cut or changed): a read never fails hard, what it
// keeps is written back and read again as the same, and every object a strict parser takes is
// read.
TEST(StoreDecode, DamagedDocumentsKeepWhatTheyWriteBack) {
    const std::string whole = Store::encode(everyField());
    const std::string junk[] = {"null", "7", "\"x\"", "[]", "{}", "[[[[", "}", ",", "1e999", "-0", "\"\\ud800\""};
    std::mt19937 random(20261208);
    size_t read = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string bytes = whole;
        for (unsigned edits = 1 + random() % 3; edits-- > 0;) {
            const size_t at = random() % bytes.size();
            switch (random() % 3) {
                case 0: bytes.insert(at, junk[random() % std::size(junk)]); break;
                case 1: bytes.erase(at, 1 + random() % 8); break;
                default: bytes[at] = static_cast<char>(random());
            }
        }
        const auto first = Store::decode(bytes);
        if (!first) {
            EXPECT_FALSE(nlohmann::json::parse(bytes, nullptr, false).is_object()) << bytes;
            continue;
        }
        ++read;
        const auto again = Store::decode(Store::encode(*first));
        ASSERT_TRUE(again) << bytes;
        EXPECT_EQ(*again, *first) << bytes;
    }
    EXPECT_GT(read, 300u) << "most damage should still leave a document";
}

TEST(StoreEncode, InvalidUtf8IsReplaced) {
    State s;
    s.fontName = "a\xff";
    EXPECT_EQ(decoded(Store::encode(s)).fontName, "a\xEF\xBF\xBD");
}

class StoreTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::filesystem::path stateFile() const { return folder / "state.json"; }
};

TEST_F(StoreTest, FreshFolderGetsDropsAndNoDocumentUntilAChange) {
    Store store(folder / "nested");
    EXPECT_TRUE(std::filesystem::is_directory(folder / "nested/drops"));
    EXPECT_FALSE(std::filesystem::exists(store.file()));
    store.setAiTitles(false);
    expectSaved(store);
}

TEST_F(StoreTest, UndecodableDocumentIsSetAsideAndDefaultsSaveNormally) {
    // Nested past what the decoder walks: a file that does not parse, never a silent fresh start.
    const std::string nested = R"({"openTiles":)" + std::string(1'000'000, '[') + std::string(1'000'000, ']') + "}";
    for (const std::string& bytes : std::vector<std::string>{"[]", "not json", "", nested}) {
        TempFolder dir;
        writeFile(dir / "state.json", bytes);
        const auto before = std::time(nullptr);
        Store store(dir.path());
        const auto after = std::time(nullptr);
        EXPECT_EQ(store.state(), State{});
        EXPECT_FALSE(store.readOnly());
        EXPECT_FALSE(std::filesystem::exists(store.file())) << bytes.substr(0, 20);
        int copies = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            if (!name.starts_with("state.json.broken-")) continue;
            const long seconds = std::stol(name.substr(18));
            EXPECT_TRUE(seconds >= before && seconds <= after) << name;
            EXPECT_EQ(readFile(entry.path()), bytes);
            ++copies;
        }
        EXPECT_EQ(copies, 1) << bytes.substr(0, 20);
        store.setLanguage("fr");
        expectSaved(store);
    }
    EXPECT_NE(testing::logContents().find("state.json failed to decode (nested deeper than 64 levels)"), std::string::npos);
}

// The copies beside state.json, by name.
std::set<std::string> brokenCopiesIn(const std::filesystem::path& dir) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().filename().string().starts_with("state.json.broken-")) names.insert(entry.path().filename().string());
    }
    return names;
}

// A copy's name in a table: "state.json.broken-now+1" is named for a second after the test began.
std::string copyNamed(const std::string& name, long long now) {
    const size_t at = name.find("now");
    if (at == std::string::npos) return name;
    const long long later = at + 3 < name.size() ? std::stoll(name.substr(at + 4)) : 0;
    return name.substr(0, at) + std::to_string(now + later);
}

// Records and fields that cannot be read are left out of a file that loads; before anything is
// saved without them, the file as it was is kept beside it, the user's alone, and the log says
// what went. So is a file that does not decode. A copy that cannot be made is tried again with
// each save, and until it is made the file is never written over. A copy of the same bytes is
// made once, and only the newest few are kept. Only a regular file is a copy: a link under a
// copy's name is never read, named or removed, and its name is not taken for a new copy.
TEST_F(StoreTest, WhatALoadLeavesOutIsKeptInACopy) {
    const std::string kept = "; the file as it was is kept as ";
    const std::string noCopy = "no copy of the file could be made (No space left on device); nothing is written over "
                               "it until one is, tried again with each save";
    const std::string cutOff = " failed to decode (the text ends too soon, at byte 10); copy set aside as ";
    struct Case {
        std::string bytes;
        int failWith;  // the copy's writes fail with it until a retry
        std::string log;  // empty: nothing left out
        // Copies in the folder before the load ("-> name": a symbolic link to that name).
        std::map<std::string, std::string> before = {};
        std::string named = "";  // the copy named, when one of those
        std::set<std::string> after = {};  // those still there after
    };
    const Case cases[] = {
        {R"({"closed":[{},{},{},null,{},{}],"openTiles":[{"title":"a"},7,{"title":"b"}]})", 0,
         ": 1 of 6 history records and 1 of 3 open-tile records could not be read and were set aside" + kept},
        {R"({"themeMode":5,"walls":["w",null]})", 0,
         ": 1 of 2 wall records and 1 field of the wrong type could not be read and were set aside" + kept},
        // Each lost field is told by what it was.
        {R"({"zoomScale":1e999,"fontName":"a\qb","themeMode":5,"markStyle":"\u0001\q","walls":[7]})", 0,
         ": 1 of 1 wall record, 1 field of the wrong type, 1 number out of range and 2 broken strings could not be "
         "read and were set aside" + kept},
        {R"({"closed":[{"title":"h"}],"themeMode":null})", 0, ""},
        {R"({"closed":[{},false]})", ENOSPC, ": 1 of 2 history records could not be read and was set aside; " + noCopy},
        {"[]", ENOSPC, " failed to decode (the document is not a JSON object); " + noCopy},
        // The same bytes as a copy already kept (a file put back by a sync tool, launch after launch).
        {R"({"walls":[null]})", 0, ": 1 of 1 wall record could not be read and was set aside" + kept,
         {{"state.json.broken-100", R"({"walls":[null]})"}, {"state.json.broken-200", "other"}}, "state.json.broken-100",
         {"state.json.broken-100", "state.json.broken-200"}},
        {"[]", 0, " failed to decode (the document is not a JSON object); copy set aside as ",
         {{"state.json.broken-100", "[]"}}, "state.json.broken-100", {"state.json.broken-100"}},
        // Only the newest copies stay, the new one among them.
        {R"({"walls":[7]})", 0, ": 1 of 1 wall record could not be read and was set aside" + kept,
         {{"state.json.broken-100", "a"}, {"state.json.broken-300", "c"}, {"state.json.broken-200", "b"}}, "",
         {"state.json.broken-200", "state.json.broken-300"}},
        // A copy made in the same second as others gets a name of its own: none of theirs is
        // written over.
        {R"({"walls":[8]})", 0, ": 1 of 1 wall record could not be read and was set aside" + kept,
         {{"state.json.broken-now", "a"}, {"state.json.broken-now+1", "b"}, {"state.json.broken-now+2", "c"}}, "",
         {"state.json.broken-now+1", "state.json.broken-now+2"}},
        // A link named like a copy is no copy, though it leads to the same bytes: a copy is made,
        // and the link stays as it is.
        {R"({"walls":[null,1]})", 0, ": 2 of 2 wall records could not be read and were set aside" + kept,
         {{"state.json.broken-100", "-> state.json"}}, "", {"state.json.broken-100"}},
        {R"({"walls":[)", 0, cutOff, {{"state.json.broken-100", "-> state.json"}}, "", {"state.json.broken-100"}},
        {R"({"walls":[2]})", 0, ": 1 of 1 wall record could not be read and was set aside" + kept,
         {{"state.json.broken-100", R"({"walls":[2]})"}, {"state.json.broken-200", "-> state.json.broken-100"}},
         "state.json.broken-100", {"state.json.broken-100", "state.json.broken-200"}},
        // Links count neither among the newest copies nor as names free for a new one.
        {R"({"walls":[3]})", 0, ": 1 of 1 wall record could not be read and was set aside" + kept,
         {{"state.json.broken-100", "a"}, {"state.json.broken-200", "b"}, {"state.json.broken-300", "c"},
          {"state.json.broken-400", "-> state.json.broken-100"}},
         "", {"state.json.broken-200", "state.json.broken-300", "state.json.broken-400"}},
        {R"({"walls":[4]})", 0, ": 1 of 1 wall record could not be read and was set aside" + kept,
         {{"state.json.broken-now", "-> state.json"}, {"state.json.broken-now+1", "-> nowhere"}}, "",
         {"state.json.broken-now", "state.json.broken-now+1"}},
    };
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes + " " + std::to_string(c.before.size()));
        TempFolder dir;
        writeFile(dir / "state.json", c.bytes);
        const long long now = std::time(nullptr);
        std::map<std::string, std::string> before;
        for (const auto& [name, bytes] : c.before) {
            before[copyNamed(name, now)] = bytes;
            if (bytes.starts_with("-> ")) std::filesystem::create_symlink(bytes.substr(3), dir / copyNamed(name, now));
            else writeFile(dir / copyNamed(name, now), bytes);
        }
        std::set<std::string> after;
        for (const std::string& name : c.after) after.insert(copyNamed(name, now));
        failDurableWritesWith(c.failWith);
        Store store(dir.path());
        const auto copy = [&] { return store.startedAfresh() ? store.brokenCopy() : store.setAside().copy; };
        EXPECT_FALSE(store.readOnly());
        EXPECT_EQ(store.copyPending(), c.failWith != 0);
        EXPECT_EQ(store.saveError(), c.failWith);
        ASSERT_EQ(copy().has_value(), !c.log.empty() && !c.failWith);
        if (!c.named.empty()) {
            EXPECT_EQ(copy()->filename(), c.named);
        } else if (copy()) {
            EXPECT_FALSE(before.contains(copy()->filename().string())) << "made over " << copy()->filename();
        }
        std::set<std::string> copies = after;
        if (copy()) copies.insert(copy()->filename().string());
        EXPECT_EQ(brokenCopiesIn(dir.path()), copies);
        // What stays keeps its bytes, a link its target.
        for (const auto& [name, bytes] : before) {
            if (!after.contains(name)) continue;
            std::error_code notALink;
            if (bytes.starts_with("-> ")) {
                EXPECT_EQ(std::filesystem::read_symlink(dir / name, notALink), bytes.substr(3)) << name;
            } else {
                EXPECT_EQ(readFile(dir / name), bytes) << name;
            }
        }
        // An undecodable file that has its copy is gone; the store starts afresh.
        EXPECT_EQ(std::filesystem::exists(dir / "state.json"), !(store.startedAfresh() && copy()));
        if (!c.log.empty()) {
            std::string line = "state.json" + c.log + (copy() ? copy()->filename().string() : "");
            std::string removed;
            for (auto name = before.rbegin(); name != before.rend(); ++name) {
                if (!after.contains(name->first)) removed += (removed.empty() ? "" : ", ") + name->first;
            }
            if (!removed.empty()) line += "; older copies removed: " + removed;
            EXPECT_NE(testing::logContents().find(line), std::string::npos) << line;
        }
        store.setAiTitles(false);
        EXPECT_EQ(store.flush(), !c.failWith);
        EXPECT_EQ(readFile(store.file()), c.failWith ? c.bytes : Store::encode(store.state()));
        if (c.failWith) {
            // Room again: the next try, made by the store itself, copies the file and then saves.
            failDurableWritesWith(0);
            loop.advance(Store::saveRetry);
            EXPECT_TRUE(store.flush());
            loop.runPending();
            EXPECT_FALSE(store.copyPending());
            EXPECT_EQ(store.saveError(), 0);
            ASSERT_TRUE(copy());
            EXPECT_EQ(brokenCopiesIn(dir.path()), std::set<std::string>{copy()->filename().string()});
            EXPECT_EQ(readFile(store.file()), Store::encode(store.state()));
            EXPECT_FALSE(store.aiTitles());
            EXPECT_NE(testing::logContents().find("state.json: copy set aside as " + copy()->filename().string() +
                                                  "; changes are saved from now on"),
                      std::string::npos);
        }
        if (!copy()) continue;
        EXPECT_EQ(readFile(*copy()), c.bytes);
        if (!c.named.empty()) continue;  // not made here
        struct stat info {};
        EXPECT_EQ(::stat(copy()->c_str(), &info) == 0 ? info.st_mode & 07777 : 0, 0600u);
    }
}

TEST_F(StoreTest, UnknownKeysAreGoneAfterASave) {
    writeFile(stateFile(), R"({"legacy":1,"aiTitles":false})");
    Store store(folder.path());
    EXPECT_FALSE(store.aiTitles());
    store.setAiTitles(false);
    store.flush();
    EXPECT_EQ(readFile(stateFile()).find("legacy"), std::string::npos);
}

TEST_F(StoreTest, SecondStoreOnAHeldFolderOnlyReads) {
    auto first = std::make_unique<Store>(folder.path());
    first->setLanguage("de");
    first->flush();
    Store second(folder.path());
    EXPECT_TRUE(second.heldByAnotherProcess());
    EXPECT_TRUE(second.readOnly());
    EXPECT_EQ(second.language(), "de");
    second.setLanguage("fr");
    EXPECT_EQ(Store::decode(readFile(stateFile()))->language, "de");
    EXPECT_FALSE(first->heldByAnotherProcess());
    first.reset();
    EXPECT_FALSE(Store(folder.path()).heldByAnotherProcess());
}

// What makes a store read-only is kept for the window to tell.
TEST_F(StoreTest, TellsWhyItOnlyReads) {
    using Cause = Store::ReadOnlyCause;
    struct Case {
        const char* name;
        std::function<void()> prepare;
        Cause cause;
        int error;
        int saveError = 0;  // saves that fail from the start
    };
    std::unique_ptr<Store> holder;
    const Case cases[] = {
        {"missing", [] {}, Cause::none, 0},
        {"good", [&] { writeFile(stateFile(), R"({"language":"de"})"); }, Cause::none, 0},
        {"undecodable, set aside", [&] { writeFile(stateFile(), "[]"); }, Cause::none, 0},
        {"a folder", [&] { std::filesystem::create_directory(stateFile()); }, Cause::unreadable, EISDIR},
        // A link is read through, as a dotfile manager keeps the file elsewhere; what it ends at
        // must be a regular file.
        {"a link",
         [&] {
             writeFile(folder / "elsewhere.json", R"({"language":"de"})");
             std::filesystem::create_symlink("elsewhere.json", stateFile());
         },
         Cause::none, 0},
        {"a dangling link", [&] { std::filesystem::create_symlink("nowhere/state.json", stateFile()); }, Cause::none, 0},
        {"a link to a device", [&] { std::filesystem::create_symlink("/dev/zero", stateFile()); }, Cause::unreadable, EINVAL},
        {"a link to a FIFO",
         [&] {
             std::filesystem::remove(folder / "fifo");
             ::mkfifo((folder / "fifo").c_str(), 0600);
             std::filesystem::create_symlink("fifo", stateFile());
         },
         Cause::unreadable, EINVAL},
        {"a loop of links", [&] { std::filesystem::create_symlink("state.json", stateFile()); }, Cause::unreadable, ELOOP},
        // Only a folder can stand where it ends: no save gets there until it is mended, said at once.
        {"a link to a folder's name", [&] { std::filesystem::create_symlink("nowhere.json/", stateFile()); }, Cause::none, 0, EISDIR},
        {"a link to a folder", [&] { std::filesystem::create_symlink(folder.path(), stateFile()); }, Cause::unreadable, EISDIR},
        {"held", [&] { holder = std::make_unique<Store>(folder.path()); }, Cause::heldElsewhere, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        holder.reset();
        std::filesystem::remove_all(stateFile());
        c.prepare();
        const Store store(folder.path());
        EXPECT_EQ(store.readOnlyCause(), c.cause);
        EXPECT_EQ(store.readOnly(), c.cause != Cause::none);
        EXPECT_EQ(store.readOnlyError(), c.error);
        EXPECT_EQ(store.saveError(), c.saveError);
        if (c.cause == Cause::unreadable) {
            EXPECT_EQ(store.language(), Store::State{}.language);
        }
    }
}

// A link mended while the program runs (it led nowhere at launch, or somewhere else): the file it
// leads to now is not what the run read, and its bytes are kept beside it before a save replaces
// it, and said. One the run read at launch, pointed away and back, is the run's own.
TEST_F(StoreTest, AFileTheRunDidNotReadIsKeptBesideItBeforeASave) {
    struct Case {
        const char* name;
        const char* atLaunch;  // where the link leads at launch
        bool kept;             // ../real/a.json is kept aside once the link leads there again
        const char* between = nullptr;  // where it leads for a save between launch and the mend
    };
    const Case cases[] = {
        {"a typo", "../rael/a.json", true},
        {"a trailing slash", "../real/a.json/", true},
        {"up and back through a missing folder", "../real/missing/../b.json", true},
        {"read at launch, pointed away and back", "../real/a.json", false, "../real/c.json"},
    };
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    const std::string theirs = R"({"openTiles":[{"title":"one","cwd":"/p1"},{"title":"two","cwd":"/p2"}],"closed":[{"title":"h1"},{"title":"h2"},{"title":"h3"},{"title":"h4"},{"title":"h5"}]})";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder home;
        std::filesystem::create_directories(home / ".quiltdeck");
        std::filesystem::create_directories(home / "real");
        const auto real = home / "real" / "a.json";
        writeFile(real, theirs);
        const auto link = home / ".quiltdeck" / "state.json";
        std::filesystem::create_symlink(c.atLaunch, link);
        Store store(home / ".quiltdeck");
        store.setLanguage("fr");
        store.flush();
        const auto pointTo = [&](const char* target) {
            std::filesystem::remove(link);
            std::filesystem::create_symlink(target, link);
        };
        if (c.between) {
            pointTo(c.between);
            store.setLanguage("de");
            EXPECT_TRUE(store.flush());
        }
        pointTo("../real/a.json");
        store.setLanguage("it");
        EXPECT_TRUE(store.flush()) << std::strerror(store.saveError());
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(Store::decode(readFile(real))->language, "it");
        std::vector<std::filesystem::path> copies;
        for (const auto& entry : std::filesystem::directory_iterator(home / "real"))
            if (entry.path().filename().string().starts_with("a.json.kept-")) copies.push_back(entry.path());
        ASSERT_EQ(copies.size(), c.kept ? 1u : 0u);
        loop.runPending();
        EXPECT_EQ(store.keptAside().has_value(), c.kept);
        if (!c.kept) {
            // What it read at launch is still there for the run: its tiles and history.
            EXPECT_EQ(store.openTiles().size(), 2u);
            continue;
        }
        EXPECT_EQ(readFile(copies[0]), theirs);
        EXPECT_EQ(store.keptAside()->copy, copies[0]);
        // Saved again: the file is the run's own now, nothing more is kept.
        store.setLanguage("de");
        EXPECT_TRUE(store.flush());
        size_t after = 0;
        for (const auto& entry : std::filesystem::directory_iterator(home / "real"))
            after += entry.path().filename().string().starts_with("a.json.kept-");
        EXPECT_EQ(after, 1u);
    }
}

// state.json kept as a link elsewhere is read and saved through it: the link stays a link, the file
// it ends at holds the new state, written beside it, and a link that ends nowhere gets its file.
TEST_F(StoreTest, ALinkedStateFileIsReadAndSavedThroughTheLink) {
    struct Case {
        const char* name;
        // Makes the links at state.json; gives the file they end at.
        std::function<std::filesystem::path(const std::filesystem::path& link, const std::filesystem::path& elsewhere)> make;
        // What the file holds at first; nothing: it does not exist.
        std::optional<std::string> bytes = R"({"language":"de"})";
        // Names in the dotfiles folder the saves must not make.
        std::vector<std::string> notMade = {};
    };
    const Case cases[] = {
        {"relative",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink("../dotfiles/qd.json", link);
             return elsewhere / "qd.json";
         }},
        {"absolute",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink(elsewhere / "qd.json", link);
             return elsewhere / "qd.json";
         }},
        {"a link to a link",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink("qd.json", elsewhere / "middle.json");
             std::filesystem::create_symlink(elsewhere / "middle.json", link);
             return elsewhere / "qd.json";
         }},
        {"dangling",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink("../dotfiles/new.json", link);
             return elsewhere / "new.json";
         },
         std::nullopt},
        // Set aside as a copy in the state folder; the link stays and gets a new file.
        {"undecodable",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink("../dotfiles/qd.json", link);
             return elsewhere / "qd.json";
         },
         "not json"},
        // A dotfile link made before the folder it points into: the first save makes the folder.
        {"dangling into a missing folder",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink("../dotfiles/new/deeper/qd.json", link);
             return elsewhere / "new" / "deeper" / "qd.json";
         },
         std::nullopt},
        // Through a folder link that leads nowhere yet (a sync folder not set up): made where it leads.
        {"through a folder link leading nowhere",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink("sync/qd", elsewhere / "mid");
             std::filesystem::create_symlink("../dotfiles/mid/state.json", link);
             return elsewhere / "sync" / "qd" / "state.json";
         },
         std::nullopt},
        {"absolute, into a missing folder",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink(elsewhere / "repo" / "qd.json", link);
             return elsewhere / "repo" / "qd.json";
         },
         std::nullopt},
        // Worked out as realpath does: a missing folder the path goes into and back out of is not made.
        {"into a missing folder and back",
         [](const std::filesystem::path& link, const std::filesystem::path& elsewhere) {
             std::filesystem::create_symlink("../dotfiles/missing/../qd.json", link);
             return elsewhere / "qd.json";
         },
         std::nullopt, {"missing"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        const auto state = root / "state";
        const auto elsewhere = root / "dotfiles";
        std::filesystem::create_directories(state);
        std::filesystem::create_directories(elsewhere);
        const auto link = state / "state.json";
        const std::filesystem::path target = c.make(link, elsewhere);
        if (c.bytes) writeFile(target, *c.bytes);
        const std::string first = c.bytes && c.bytes->starts_with("{") ? "de" : Store::State{}.language;
        for (const char* language : {"fr", "it"}) {
            Store store(state);
            EXPECT_FALSE(store.readOnly());
            EXPECT_EQ(store.language(), std::string(language) == "fr" ? first : "fr");
            store.setLanguage(language);
            EXPECT_TRUE(store.flush());
            EXPECT_TRUE(std::filesystem::is_symlink(link));
            EXPECT_EQ(Store::decode(readFile(target))->language, language);
        }
        // Nothing else was written beside the link or the file.
        std::set<std::string> names;
        for (const auto& folder : {state, elsewhere, target.parent_path()}) {
            for (const auto& entry : std::filesystem::directory_iterator(folder)) names.insert(entry.path().filename().string());
        }
        EXPECT_EQ(names.count(target.filename().string()), 1u);
        for (const auto& name : names) EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name;
        struct stat info {};
        EXPECT_EQ(::stat(target.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, 0600u);
        for (auto made = target.parent_path(); made != elsewhere && made.has_parent_path(); made = made.parent_path()) {
            EXPECT_EQ(::stat(made.c_str(), &info) == 0 ? info.st_mode & 07777 : 0, 0700u) << made;
        }
        for (const auto& name : c.notMade) EXPECT_FALSE(std::filesystem::exists(elsewhere / name)) << name;
    }
}

// A link pointed, after the load, at something that is no regular file: each save refuses it, says
// why, and leaves it and the link as they are.
TEST_F(StoreTest, ASaveThroughALinkRefusesWhatIsNoRegularFile) {
    struct Case {
        const char* name;
        // Puts something at `path`; false when this machine cannot.
        std::function<bool(const std::filesystem::path& path)> make;
        int error;
        bool (*still)(const std::filesystem::path&);
        const char* linkText = "../other";
    };
    const Case cases[] = {
        {"a FIFO", [](const auto& path) { return ::mkfifo(path.c_str(), 0600) == 0; }, EINVAL,
         [](const auto& path) { return std::filesystem::is_fifo(path); }},
        // The null device's own numbers, in the test's folder: what a link to /dev/null would be.
        {"a device node", [](const auto& path) { return ::mknod(path.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; }, EINVAL,
         [](const auto& path) { return std::filesystem::is_character_file(path); }},
        {"a folder", [](const auto& path) { return std::filesystem::create_directory(path); }, EISDIR,
         [](const auto& path) { return std::filesystem::is_directory(path); }},
        // A link whose end names a folder ("…/newdir/"): refused before anything is made.
        {"a name only a folder can have", [](const auto&) { return true; }, EISDIR,
         [](const auto& path) { return !std::filesystem::exists(path) && !std::filesystem::exists(path.parent_path() / "newdir"); },
         "../newdir/"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        const auto state = root / "state";
        std::filesystem::create_directories(state);
        writeFile(root / "qd.json", R"({"language":"de"})");
        const auto link = state / "state.json";
        std::filesystem::create_symlink("../qd.json", link);
        Store store(state);
        ASSERT_FALSE(store.readOnly());
        // Pointed elsewhere while the program runs.
        std::filesystem::remove(link);
        if (!c.make(root / "other")) {
            // Only a device node needs the right to make one (CI runs as root).
            EXPECT_EQ(errno, EPERM) << std::strerror(errno);
            continue;
        }
        std::filesystem::create_symlink(c.linkText, link);
        store.setLanguage("fr");
        EXPECT_FALSE(store.flush());
        EXPECT_EQ(store.saveError(), c.error);
        EXPECT_TRUE(c.still(root / "other"));
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(Store::decode(readFile(root / "qd.json"))->language, "de");
        for (const auto& entry : std::filesystem::directory_iterator(root.path())) {
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
        }
    }
}

// A save through a link keeps the file it ends at its owner's, as an editor saves a linked file:
// run as root (a sudo that keeps HOME) it stays the user's; run as a user, another user's file in a
// folder open to all is refused and left as it is, while one left in the user's own folder (by a
// run as root) becomes the user's again.
TEST_F(StoreTest, ASaveThroughALinkKeepsTheFilesOwner) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to make another user's files";
    constexpr uid_t nobody = testing::FilesAsNobody::nobody;
    struct Case {
        const char* name;
        uid_t fileOwner, folderOwner;
        bool saverIsNobody;
        bool saved;
        uid_t ownerAfter;
    };
    const Case cases[] = {
        {"root saves a user's file", nobody, nobody, false, true, nobody},
        {"a user saves root's file in a folder open to all", 0, 0, true, false, 0},
        {"a user saves root's file in the user's own folder", 0, nobody, true, true, nobody},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder root;
        ::chmod(root.path().c_str(), 0755);
        const auto state = root / "state", dotfiles = root / "dotfiles";
        std::filesystem::create_directories(state);
        std::filesystem::create_directories(dotfiles);
        ::chmod(state.c_str(), 0777);
        ::chmod(dotfiles.c_str(), 0777);
        ASSERT_EQ(::chown(dotfiles.c_str(), c.folderOwner, c.folderOwner), 0);
        const auto target = dotfiles / "qd.json";
        writeFile(target, R"({"language":"de"})");
        ASSERT_EQ(::chown(target.c_str(), c.fileOwner, c.fileOwner), 0);
        ::chmod(target.c_str(), 0644);
        std::filesystem::create_symlink("../dotfiles/qd.json", state / "state.json");
        std::optional<testing::FilesAsNobody> asNobody;
        if (c.saverIsNobody) asNobody.emplace();
        Store store(state);
        ASSERT_FALSE(store.readOnly());
        store.setLanguage("fr");
        EXPECT_EQ(store.flush(), c.saved);
        EXPECT_EQ(store.saveError(), c.saved ? 0 : EPERM);
        asNobody.reset();
        struct stat info {};
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_uid, c.ownerAfter);
        // Whose group a file the user makes has is not this test's to set (its group stays root's).
        if (c.ownerAfter == c.fileOwner) {
            EXPECT_EQ(info.st_gid, c.fileOwner);
        }
        EXPECT_EQ(Store::decode(readFile(target))->language, c.saved ? "fr" : "de");
        for (const auto& entry : std::filesystem::directory_iterator(dotfiles))
            EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos) << entry.path();
    }
}

size_t occurrences(const std::string& text, const std::string& line) {
    size_t count = 0;
    for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
    return count;
}

// Both writers of settings in the state folder: a folder made read-only (or a full disk) fails
// their saves with one line, keeps the last whole file, and the first save after it is made
// writable again says so.
// A run as root with a user's home (sudo keeping HOME) makes the program's files there as the user's:
// the state folder, state.json and the drops folder, the log, the defaults and their folders, the
// CLI's ~/.claude.json. The user's next launch reads and saves them all.
TEST(StateFolderSaves, ARunAsRootInAUsersHomeLeavesTheFilesTheUsers) {
    if (::geteuid() != 0) return;  // needs root, and another user to give the files to
    constexpr uid_t user = testing::FilesAsNobody::nobody;
    TempFolder home;
    ASSERT_EQ(::chown(home.path().c_str(), user, user), 0);
    ::chmod(home.path().c_str(), 0755);
    testing::ScopedVariable homeVariable("HOME", home.path().string());
    const auto dir = home / ".quiltdeck";
    {
        Store store(dir);
        store.setLanguage("fr");
        EXPECT_TRUE(store.flush());
        LogWriter log(dir / "log.txt");
        log.append(LogWriter::entry("as root"));
        EXPECT_TRUE(log.flush());
        Defaults(home / ".config" / "quiltdeck" / "defaults.json").setValue("k", 1);
        EXPECT_EQ(ClaudeFirstRun::answer(home / ".claude.json"), ClaudeFirstRun::Outcome::written);
        // The drops folder made again at the next launch, and a picture dropped into it.
        std::filesystem::remove_all(dir / "drops");
        Store again(dir);
        std::string reason;
        const auto picture = *platform::gfx::encodePng({1, 1, {0xFF00FF00}});
        ASSERT_TRUE(Drop::saveImage(picture, dir / "drops", 1000, reason)) << reason;
    }
    struct passwd* entry = ::getpwuid(user);
    const gid_t group = entry ? entry->pw_gid : user;
    for (const auto& made : {dir, dir / "state.json", dir / "drops", dir / "drops" / "1000-dropped.png", dir / "log.txt", home / ".config",
                             home / ".config" / "quiltdeck", home / ".config" / "quiltdeck" / "defaults.json",
                             home / ".claude.json"}) {
        struct stat info {};
        ASSERT_EQ(::stat(made.c_str(), &info), 0) << made;
        EXPECT_EQ(info.st_uid, user) << made;
        EXPECT_EQ(info.st_gid, group) << made;
    }
    // The user's own launch: all of it theirs to read and save.
    testing::FilesAsNobody asUser;
    Store store(dir);
    EXPECT_FALSE(store.readOnly());
    EXPECT_EQ(store.language(), "fr");
    store.setLanguage("de");
    EXPECT_TRUE(store.flush());
    LogWriter log(dir / "log.txt");
    log.append(LogWriter::entry("as the user"));
    EXPECT_TRUE(log.flush());
    EXPECT_NE(readFile(dir / "log.txt").find("as the user"), std::string::npos);
}

TEST(StateFolderSaves, AReadOnlyFolderFailsOnceThenRecovers) {
    // A writer on a folder: each call changes one setting and tells whether it reached the disk.
    using Writer = std::function<bool(int step)>;
    struct Case {
        const char* subject;
        const char* file;
        std::function<Writer(const std::filesystem::path& dir)> open;
        const char* cause = "Permission denied";
    } cases[] = {
        // Steps 1 and 2 find the disk full.
        {"store", "state.json",
         [](const std::filesystem::path& dir) -> Writer {
             auto store = std::make_shared<Store>(dir);
             return [store](int step) {
                 failDurableWritesWith(step == 1 || step == 2 ? ENOSPC : 0);
                 store->setLanguage(std::string("l").append(std::to_string(step)));
                 const bool saved = store->flush();
                 EXPECT_EQ(store->saveError(), saved ? 0 : ENOSPC);
                 failDurableWritesWith(0);
                 return saved;
             };
         },
         "No space left on device"},
        {"store", "state.json",
         [](const std::filesystem::path& dir) -> Writer {
             // The store writes on a thread of its own, which takes its file-system user from the
             // thread that makes it: made as the unprivileged user, it writes as that user.
             ::chmod(dir.c_str(), 0777);
             testing::FilesAsNobody nobody;
             auto store = std::make_shared<Store>(dir);
             return [store](int step) {
                 store->setLanguage(std::string("l").append(std::to_string(step)));
                 return store->flush();
             };
         }},
        {"defaults", "defaults.json",
         [](const std::filesystem::path& dir) -> Writer {
             auto defaults = std::make_shared<Defaults>(dir / "defaults.json");
             return [defaults, dir](int step) {
                 defaults->setValue("step", step);
                 return Defaults(dir / "defaults.json").value("step") == step;
             };
         }},
    };
    for (const Case& c : cases) {
        TempFolder temp;
        ::chmod(temp.path().c_str(), 0755);  // the unprivileged user reaches the folder inside
        const auto dir = temp / "state";
        std::filesystem::create_directories(dir);
        const size_t logStart = testing::logContents().size();
        Writer change = c.open(dir);
        EXPECT_TRUE(change(0)) << c.subject;
        // The unprivileged user's own file, as it would be: another user's is never taken over.
        ASSERT_EQ(::lchown((dir / c.file).c_str(), testing::FilesAsNobody::nobody, testing::FilesAsNobody::nobody), 0);
        const std::string before = readFile(dir / c.file);
        ::chmod(dir.c_str(), 0555);
        for (int step : {1, 2}) {
            bool saved;
            {
                testing::FilesAsNobody nobody;
                saved = change(step);
            }
            EXPECT_FALSE(saved) << c.subject << " " << step;
            EXPECT_EQ(readFile(dir / c.file), before) << c.subject;
        }
        ::chmod(dir.c_str(), 0777);
        for (int step : {3, 4}) {
            testing::FilesAsNobody nobody;
            EXPECT_TRUE(change(step)) << c.subject << " " << step;
        }
        const std::string after = readFile(dir / c.file);
        EXPECT_NE(after, before) << c.subject;
        EXPECT_TRUE(nlohmann::json::accept(after)) << c.subject << ": " << after;
        std::string log = testing::logContents();
        log = log.size() >= logStart ? log.substr(logStart) : log;
        EXPECT_EQ(occurrences(log, std::string(c.subject) + ": save failed: " + c.cause), 1u) << log;
        EXPECT_EQ(occurrences(log, std::string(c.subject) + ": saved again"), 1u) << log;
    }
}

TEST_F(StoreTest, OperationsNormaliseAndSave) {
    Store store(folder.path());
    for (int i = 0; i < 30; ++i) store.remember("/p" + std::to_string(i));
    store.remember("/p10");
    EXPECT_EQ(store.recents().size(), 24u);
    EXPECT_EQ(store.recents()[0], "/p10");
    EXPECT_EQ(store.recents()[1], "/p29");
    EXPECT_EQ(std::count(store.recents().begin(), store.recents().end(), "/p10"), 1);
    expectSaved(store);

    auto titled = [](std::string title) {
        Store::ClosedTile tile;
        tile.title = std::move(title);
        return tile;
    };
    for (int i = 0; i < 61; ++i) store.recordClosed(titled(std::to_string(i)));
    store.recordClosed(titled("60"));
    EXPECT_EQ(store.closed().size(), 60u);
    EXPECT_EQ(store.closed()[0].title, "60");
    EXPECT_EQ(store.closed()[1].title, "60");
    EXPECT_EQ(store.closed()[59].title, "2");
    store.removeClosed(1);
    store.removeClosed(99);
    EXPECT_EQ(store.closed().size(), 59u);
    expectSaved(store);

    store.setMetrics(std::vector<Store::Metric>(7, {"m", "1", {}, {}, {}}), "/a");
    EXPECT_EQ(store.metrics("/a").size(), 5u);
    store.setMetrics({}, "/a");
    EXPECT_TRUE(store.metrics("/a").empty());
    EXPECT_FALSE(store.tileMetrics().contains("/a"));

    store.setTileFeed("/a", Store::Feed{"f", "", 300, {}, {}});
    EXPECT_EQ(store.feed("/a")->label, "f");
    store.setTileFeed("/a", std::nullopt);
    EXPECT_FALSE(store.feed("/a"));
    store.flush();
    EXPECT_EQ(readFile(stateFile()).find("\"/a\""), std::string::npos);

    store.setTileLogo("/b", "");
    EXPECT_EQ(store.tileLogos().at("/b"), "");
    store.setTileLogo("/b", std::nullopt);
    EXPECT_FALSE(store.tileLogos().contains("/b"));
    expectSaved(store);

    // A record keeps what History shows of the megabyte a tile's last prompt may take.
    Store::ClosedTile prompted = titled("prompted");
    prompted.lastPrompt = std::string(Store::promptLimit - 1, 'p') + "é" + std::string(Store::textLimit, 'q');
    store.recordClosed(prompted);
    store.setOpenTiles({prompted});
    EXPECT_EQ(store.closed()[0].lastPrompt, std::string(Store::promptLimit - 1, 'p'));
    EXPECT_EQ(store.openTiles()[0].lastPrompt, std::string(Store::promptLimit - 1, 'p'));
    expectSaved(store);
}

// One row per conversation. A fresh start after a gone conversation also replaces the folder's
// rows that had nothing to resume, and only those.
TEST_F(StoreTest, TheHistoryKeepsOneRowPerConversation) {
    Store store(folder.path());
    auto tile = [](std::string title, std::string cwd, std::optional<std::string> conversation,
                   std::optional<std::string> prompt = std::nullopt) {
        Store::ClosedTile t;
        t.title = std::move(title);
        t.cwd = std::move(cwd);
        t.claudeSessionId = std::move(conversation);
        t.lastPrompt = std::move(prompt);
        return t;
    };
    for (const auto& t : {tile("c1", "/a", "c"), tile("fresh", "/a", {}), tile("prompted", "/a", {}, "p"),
                          tile("elsewhere", "/b", {}), tile("c2", "/b", "c"), tile("shell", "/a", {})}) {
        store.recordClosed(t);
    }
    Store::ClosedTile again = tile("again", "/a", {});
    store.recordFreshStart(again);
    std::vector<std::string> titles;
    for (const auto& t : store.closed()) titles.push_back(t.title);
    // "shell" is no shell here: a fresh start of /a, like "fresh".
    EXPECT_EQ(titles, (std::vector<std::string>{"again", "c2", "elsewhere", "prompted"}));
    again.isShell = true;
    store.recordFreshStart(again);
    EXPECT_EQ(store.closed().size(), 5u);
    expectSaved(store);
}

TEST_F(StoreTest, NumbersAreClampedAndNonFiniteOnesIgnored) {
    Store store(folder.path());
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::vector<std::pair<double, double>> zoom = {{3.0, 1.6}, {0.1, 0.5}, {1.2, 1.2}, {nan, 1.2}, {inf, 1.2}};
    for (auto [set, expected] : zoom) {
        store.setZoomScale(set);
        EXPECT_EQ(store.zoomScale(), expected) << set;
    }
    store.setMinFontSize(-inf);
    store.setMinFontSize(nan);
    EXPECT_EQ(store.minFontSize(), 11.5);
    store.setMinFontSize(13);
    expectSaved(store);
    EXPECT_EQ(Store::decode(readFile(stateFile()))->zoomScale, 1.2);
}

TEST_F(StoreTest, LabelsAreTrimmedAndKeep32Characters) {
    Store store(folder.path());
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467";  // one character
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases = {
        {"   ", std::nullopt},
        {"\n\u00A0Work\t", "Work"},
        {std::string(40, 'x'), std::string(32, 'x')},
        {std::string(31, 'x') + family + "yz", std::string(31, 'x') + family},
        {"e\u0301", "e\u0301"},
    };
    for (const auto& [label, expected] : cases) {
        store.setLabel("old", "d");
        store.setLabel(label, "d");
        const auto found = store.browserLabels().find("d");
        EXPECT_EQ(found == store.browserLabels().end() ? std::nullopt : std::optional(found->second), expected);
        expectSaved(store);
    }
}

// A loaded document is held to what its lists keep when entries are added; open tiles past the
// restore's cap go to the front of the history, without their ids.
TEST_F(StoreTest, ALoadedDocumentIsHeldToTheLimitsOfItsLists) {
    const auto named = [](const char* prefix, int i) { return std::string(prefix).append(std::to_string(i)); };
    nlohmann::json document = nlohmann::json::object();
    for (int i = 0; i < 30; ++i) document["recents"].push_back(named("/r", i % 2 ? i : 0));
    for (int i = 0; i < 100; ++i) document["closed"].push_back({{"title", named("closed ", i)}});
    for (int i = 0; i < 70; ++i) document["openTiles"].push_back({{"title", named("open ", i)}, {"tileId", named("T", i)}});
    document["browserLabels"] = {{"a", "  " + std::string(40, 'x') + "\n"}, {"b", " \t "}, {"c", "kept"}};
    document["zoomScale"] = 3.0;
    document["tileMetrics"] = {{"/seven", nlohmann::json::array()}, {"/empty", nlohmann::json::array()}};
    for (int i = 0; i < 7; ++i) document["tileMetrics"]["/seven"].push_back({{"label", std::to_string(i)}});
    document["tileFeeds"]["/f"] = {{"label", "F"}, {"command", "c"}, {"items", nlohmann::json::array()}};
    for (int i = 0; i < 5; ++i) document["tileFeeds"]["/f"]["items"].push_back({{"title", std::to_string(i)}, {"url", "https://x"}});
    writeFile(stateFile(), document.dump());

    Store store(folder.path());
    const State& s = store.state();
    std::vector<std::string> recents = {"/r0"};
    for (int i = 1; i < 30 && recents.size() < 24; i += 2) recents.push_back("/r" + std::to_string(i));
    EXPECT_EQ(s.recents, recents);
    ASSERT_EQ(s.openTiles.size(), Store::openTilesLimit);
    EXPECT_EQ(s.openTiles.back().title, "open 63");
    EXPECT_EQ(s.openTiles.back().tileId, "T63");
    ASSERT_EQ(s.closed.size(), Store::closedLimit);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(s.closed[i].title, "open " + std::to_string(64 + i));
        EXPECT_EQ(s.closed[i].tileId, std::nullopt);
    }
    EXPECT_EQ(s.closed[6].title, "closed 0");
    EXPECT_EQ(s.closed.back().title, "closed 53");
    EXPECT_EQ(s.browserLabels, (Store::StringMap{{"a", std::string(32, 'x')}, {"c", "kept"}}));
    EXPECT_EQ(s.zoomScale, Store::zoomScaleMax);
    EXPECT_EQ(s.tileMetrics.size(), 1u);
    EXPECT_EQ(s.tileMetrics.at("/seven").size(), Store::metricsLimit);
    EXPECT_EQ(s.tileFeeds.at("/f").items.size(), Store::feedItemsLimit);
    EXPECT_NE(testing::logContents().find(
                  "state.json holds 70 open tiles: the first 64 are restored, 6 go to the history and 0 are dropped"),
              std::string::npos);
    // Nothing is written until a change; then the held document.
    EXPECT_EQ(readFile(stateFile()), document.dump());
    store.setAiTitles(false);
    expectSaved(store);
}

// Each field of a loaded document is held to what the program writes: a text to the longest of
// its kind, cut inside no character (a two-byte one stands across each limit here), a map entry
// with too long a key dropped, a number into its range, a moment to the load's. The rest of the
// file is kept. A 60 MiB title and a 20 MiB folder too.
TEST_F(StoreTest, ALoadedDocumentHoldsEachFieldToWhatTheProgramWrites) {
    using Json = nlohmann::json;
    const auto across = [](size_t limit, size_t length) {
        std::string text(limit - 1, 'a');
        return (text + "\u00E9").append(length - limit - 1, 'b');
    };
    const auto cut = [](size_t limit) { return Json(std::string(limit - 1, 'a')); };
    const Json now = "now";
    struct Case {
        std::string pointer;
        Json stored;
        Json held;  // null: gone
    };
    const Case cases[] = {
        {"/openTiles/0/title", across(Store::titleLimit, 60u << 20), cut(Store::titleLimit)},
        {"/closed/0/cwd", across(Store::pathLimit, 20u << 20), cut(Store::pathLimit)},
        // A record keeps what History shows of its last prompt, not the megabyte a tile takes.
        {"/closed/0/lastPrompt", across(Store::promptLimit, 2'000'000), cut(Store::promptLimit)},
        {"/openTiles/0/lastPrompt", across(Store::promptLimit, 1'000'000), cut(Store::promptLimit)},
        {"/closed/0/claudeSessionId", across(Store::wordLimit, 5000), cut(Store::wordLimit)},
        {"/recents/0", across(Store::pathLimit, 5000), cut(Store::pathLimit)},
        {"/currentWall", across(Store::titleLimit, 5000), cut(Store::titleLimit)},
        {"/fontName", across(Store::wordLimit, 5000), cut(Store::wordLimit)},
        {"/tileFeeds/~1p/items/0/url", across(Store::textLimit, 1'500'000), cut(Store::textLimit)},
        {"/tileNames/~1" + std::string(Store::pathLimit, 'f'), "n", nullptr},
        {"/walls", {"a", "", "a", "b"}, {"a", "b"}},
        {"/minFontSize", -3, Store::minFontSizeMin},
        {"/minFontSize", 400, Store::minFontSizeMax},
        {"/minFontSize", 13, 13},
        {"/tileMetrics/~1p/0/every", -1, Store::metricPeriodMin},
        {"/tileFeeds/~1p/every", 2, Store::feedPeriodMin},
        {"/closed/0/closedAt", 1e12, now},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pointer.substr(0, 40));
        Json document = R"({"language":"de","openTiles":[{"title":"t"}],"closed":[{"cwd":"/c"}],
            "tileMetrics":{"/p":[{"label":"l","command":"c"}]},"tileFeeds":{"/p":{"label":"f","items":[{"title":"h"}]}}})"_json;
        const Json::json_pointer at(c.pointer);
        document[at] = c.stored;
        writeFile(stateFile(), document.dump());
        const Date before = Date::now();
        const Store store(folder.path());
        const Json held = Json::parse(Store::encode(store.state()));
        if (c.held.is_null()) EXPECT_FALSE(held.contains(at));
        else if (c.held == now) EXPECT_TRUE(held[at] >= before.sinceReference && held[at] <= Date::now().sinceReference);
        // Compared whole, shown in part: a failure would otherwise print megabytes.
        else EXPECT_TRUE(held[at] == c.held) << held[at].dump().substr(0, 80) << "… of " << held[at].dump().size();
        EXPECT_EQ(store.language(), "de");
        EXPECT_FALSE(store.readOnly());
        EXPECT_EQ(store.openTiles().size(), 1u);
        EXPECT_EQ(store.closed().size(), 1u);
    }
    EXPECT_NE(testing::logContents().find("state.json: 1 text cut to the length the program writes, 0 numbers"),
              std::string::npos);
}

// Only the kept records are made, but a bad one past them is still counted; the open tiles the
// file lists are the readable ones, kept or not.
TEST(StoreDecode, KeepsTheFirstRecordsAndChecksTheRest) {
    EXPECT_EQ(Store::decode(R"({"closed":[{},{},{},{}],"openTiles":[{},{},{}]})", nullptr, 2)->closed.size(), 2u);
    EXPECT_EQ(Store::decode(R"({"closed":[{},{},{},{}],"openTiles":[{},{},{}]})", nullptr, 2)->openTiles.size(), 2u);
    Store::SetAside setAside;
    size_t openTilesInFile = 0;
    const auto state = Store::decode(R"({"closed":[{},{},{},5],"openTiles":[null,{},{},7,{}]})", nullptr, 2,
                                     &openTilesInFile, &setAside);
    EXPECT_EQ(state->closed.size() + state->openTiles.size(), 4u);
    EXPECT_EQ(openTilesInFile, 3u);
    EXPECT_EQ(tally(setAside), "history 1/4 open-tile 2/5");

    // The lists every load bounds are made only as far as it keeps them: the first 24 distinct
    // recents, each wall once, 5 live numbers a folder, 3 headlines a feed. The rest is checked.
    std::string recents, metrics, items;
    for (int i = 0; i < 40; ++i) recents += "\"/r" + std::to_string(i % 30) + "\",";
    for (int i = 0; i < 7; ++i) metrics += R"({"label":"m"},)";
    for (int i = 0; i < 5; ++i) items += R"({"title":"h"},)";
    const auto bounded = Store::decode(R"({"recents":[)" + recents + R"("/r0",7],"walls":["a","a","b",7,"a"],
        "tileMetrics":{"/p":[)" + metrics + R"(null]},"tileFeeds":{"/p":{"items":[)" + items + "null]}}}",
                                       nullptr, SIZE_MAX, nullptr, &setAside);
    ASSERT_TRUE(bounded);
    EXPECT_EQ(bounded->recents.size(), Store::recentsLimit);
    EXPECT_EQ(bounded->recents.back(), "/r23");
    EXPECT_EQ(bounded->walls, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(bounded->tileMetrics.at("/p").size(), Store::metricsLimit);
    EXPECT_EQ(bounded->tileFeeds.at("/p").items.size(), Store::feedItemsLimit);
    EXPECT_EQ(tally(setAside), "recent-folder 1/42 wall 1/5 live-number 1/8 headline 1/6");
}

// Past the read limit, the oldest history goes first, as far as needed and no further; a document
// too large without any history is not written at all.
TEST(StoreEncode, NeverPassesTheLimitByDroppingTheOldestHistory) {
    State s;
    for (int i = 0; i < 50; ++i) {
        Store::ClosedTile tile;
        tile.title = "tile " + std::to_string(i) + std::string(100, '.');
        s.closed.push_back(tile);
    }
    const size_t whole = Store::encode(s).size();
    State one = s;
    one.closed.resize(1);
    State fortyNine = s;
    fortyNine.closed.pop_back();
    const size_t last = whole - Store::encode(fortyNine).size();
    struct Case {
        size_t limit;
        std::optional<size_t> kept;  // nothing: not written
    } cases[] = {
        {whole, 50},
        {whole - 1, 49},
        {whole - last, 49},
        {whole - last - 1, 48},
        {Store::encode(one).size(), 1},
        {Store::encode(State{}).size(), 0},
        {Store::encode(State{}).size() - 1, std::nullopt},
    };
    for (const Case& c : cases) {
        State state = s;
        size_t dropped = 0;
        const auto bytes = Store::encodeWithin(state, c.limit, &dropped);
        ASSERT_EQ(bytes.has_value(), c.kept.has_value()) << c.limit;
        if (!bytes) continue;
        EXPECT_LE(bytes->size(), c.limit);
        EXPECT_EQ(*bytes, Store::encode(state));
        EXPECT_EQ(state.closed.size(), *c.kept) << c.limit;
        EXPECT_EQ(dropped, 50 - *c.kept);
        if (!state.closed.empty()) {
            EXPECT_EQ(state.closed.front().title, s.closed.front().title);
        }
    }
}

// A million empty history records (3 MB) come back as the history's 60, saved small, and the
// next store reads the file.
TEST_F(StoreTest, AMillionEmptyRecordsAreSavedBackSmall) {
    std::string bytes = R"({"closed":[)";
    for (int i = 0; i < 1'000'000; ++i) bytes += i ? ",{}" : "{}";
    bytes += "]}";
    writeFile(stateFile(), bytes);
    {
        Store store(folder.path());
        EXPECT_EQ(store.closed().size(), Store::closedLimit);
        store.setAiTitles(false);
    }
    EXPECT_LT(std::filesystem::file_size(stateFile()), 1'000'000u);
    Store next(folder.path());
    EXPECT_FALSE(next.readOnly());
    EXPECT_EQ(next.closed().size(), Store::closedLimit);
    EXPECT_FALSE(next.aiTitles());
}

TEST(StoreFolder, EnvironmentThenHomeWithTheOldFolderMoved) {
    TempFolder home;
    EnvOverride homeVar("HOME", home.path().string());
    {
        EnvOverride q("QUILTDECK_STATE_DIR", "/q"), b("BRIGHTLOOM_STATE_DIR", "/b");
        EXPECT_EQ(StateFolder::resolve(), "/q");
    }
    {
        EnvOverride q("QUILTDECK_STATE_DIR", std::nullopt), b("BRIGHTLOOM_STATE_DIR", "/b");
        EXPECT_EQ(StateFolder::resolve(), "/b");
    }
    EnvOverride q("QUILTDECK_STATE_DIR", std::nullopt), b("BRIGHTLOOM_STATE_DIR", std::nullopt);
    writeFile((std::filesystem::create_directory(home / ".brightloom"), home / ".brightloom/state.json"), "{}");
    EXPECT_EQ(StateFolder::resolve(), home / ".quiltdeck");
    EXPECT_EQ(readFile(home / ".quiltdeck/state.json"), "{}");
    EXPECT_FALSE(std::filesystem::exists(home / ".brightloom"));
    // With both present neither is touched.
    std::filesystem::create_directory(home / ".brightloom");
    EXPECT_EQ(StateFolder::resolve(), home / ".quiltdeck");
    EXPECT_TRUE(std::filesystem::exists(home / ".brightloom"));
    EXPECT_TRUE(std::filesystem::exists(home / ".quiltdeck/state.json"));
}

// What a run as root made in a user's home becomes theirs only where it stands when its owner
// changes: a folder on the way swapped for a link between the look at the path and the change
// leaves a file of root's, where the link leads, root's. By name (a folder made) and by descriptor
// (a file made) alike; with nothing swapped both become the user's.
TEST(DurableFile, AFolderSwappedForALinkMeanwhileGivesNothingAway) {
    if (::geteuid() != 0) return;  // needs root, and another user to give the files to
    constexpr uid_t user = testing::FilesAsNobody::nobody;
    for (const bool byName : {true, false}) {
        for (const bool swapped : {false, true}) {
            SCOPED_TRACE(std::string(byName ? "by name" : "by descriptor") + (swapped ? ", swapped" : ""));
            TempFolder home, elsewhere;
            ASSERT_EQ(::chown(home.path().c_str(), user, user), 0);
            testing::ScopedVariable homeVariable("HOME", home.path().string());
            std::filesystem::create_directories(home / "a");
            std::filesystem::create_directories(elsewhere / "made");
            writeFile(elsewhere / "file", "root's");
            const std::filesystem::path made = home / "a" / (byName ? "made" : "file");
            int fd = -1;
            if (byName) std::filesystem::create_directory(made);
            else fd = ::open(made.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (swapped) {
                setHomeOwnerCheckHook([&] {
                    std::filesystem::rename(home / "a", home / "a-was");
                    std::filesystem::create_directory_symlink(elsewhere.path(), home / "a");
                });
            }
            giveMadeToHomeOwner(made, fd);
            setHomeOwnerCheckHook(nullptr);
            if (fd >= 0) ::close(fd);
            struct stat there {};
            ASSERT_EQ(::lstat((elsewhere / (byName ? "made" : "file")).c_str(), &there), 0);
            EXPECT_EQ(there.st_uid, 0u);
            ASSERT_EQ(::lstat((home / (swapped ? "a-was" : "a") / (byName ? "made" : "file")).c_str(), &there), 0);
            EXPECT_EQ(there.st_uid, swapped ? 0u : user);
        }
    }
}

// Random runs of saves through the saver, and between them what another program or the user does
// to the file: edits in place with and without the time put back (as `cp -p` and `rsync -t
// --inplace` leave it), a rename over it, a touch, a rewrite with the same bytes, a change of mode.
// Against a model: a save keeps a copy exactly when the file holds bytes the run neither read nor
// wrote, the newest copy then holds them, and never more than the newest few copies stay.
TEST(DurableFile, ASaveKeepsACopyExactlyWhenTheFileHoldsAnotherText) {
    std::mt19937 random(97);
    size_t keptWhenNeeded = 0, neededKeeps = 0;
    for (int run = 0; run < 60; ++run) {
        TempFolder dir;
        const auto file = dir / "a.json";
        // Every text is as long as every other: a same-size edit is the hard case.
        const auto text = [](const char* who, int n) {
            char buffer[32];
            std::snprintf(buffer, sizeof buffer, "%s-%08d\n", who, n);
            return std::string(buffer);
        };
        std::string known = text("ours", 0);
        writeFile(file, known);
        FileSaver saver(file, 0600, nullptr, FileSaver::Links::through);
        saver.knowFile(file, known);
        const auto copies = [&] {
            std::vector<std::filesystem::path> found;
            for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
                if (entry.path().filename().string().starts_with("a.json.kept-")) found.push_back(entry.path());
            std::sort(found.begin(), found.end());
            return found;
        };
        const auto inPlace = [&](const std::string& bytes, bool keepTime) { testing::writeInPlace(file, bytes, keepTime); };
        for (int step = 0; step < 8; ++step) {
            const int n = run * 100 + step;
            switch (random() % 7) {
                case 0: inPlace(text("them", n), false); break;
                case 1: inPlace(text("them", n), true); break;
                case 2:
                    writeFile(dir / "next", text("them", n));
                    std::filesystem::rename(dir / "next", file);
                    break;
                case 3: {
                    const timespec now[2] = {{0, UTIME_NOW}, {0, UTIME_NOW}};
                    ::utimensat(AT_FDCWD, file.c_str(), now, 0);
                    break;
                }
                case 4: inPlace(readFile(file), false); break;
                case 5: ::chmod(file.c_str(), 0640); break;
                default: break;  // nothing between two saves
            }
            const std::string before = readFile(file);
            const auto copiesBefore = copies();
            const bool needed = before != known;
            known = text("ours", n);
            saver.submit([known](int&) { return std::optional<std::string>(known); });
            ASSERT_TRUE(saver.flush());
            const auto copiesAfter = copies();
            EXPECT_EQ(readFile(file), known);
            EXPECT_LE(copiesAfter.size(), FileSaver::keptCopies);
            if (needed) {
                ++neededKeeps;
                ASSERT_FALSE(copiesAfter.empty()) << "run " << run << " step " << step;
                keptWhenNeeded += readFile(copiesAfter.back()) == before;
            } else {
                EXPECT_EQ(copiesAfter, copiesBefore) << "run " << run << " step " << step << ": a copy of the run's own text";
            }
        }
    }
    EXPECT_GT(neededKeeps, 100u);
    EXPECT_EQ(keptWhenNeeded, neededKeeps);
}

TEST(DurableFile, FailedReplaceKeepsTheOldAndLeavesNoTemporary) {
    TempFolder dir;
    std::filesystem::create_directories(dir / "target/inside");
    EXPECT_FALSE(writeFileDurably(dir / "target", "new"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "target/inside"));
    EXPECT_TRUE(writeFileDurably(dir / "file", "one"));
    EXPECT_TRUE(writeFileDurably(dir / "file", "two"));
    EXPECT_EQ(readFile(dir / "file"), "two");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);
}

// Where links lead, against realpath's own answer (missing names allowed) on the shapes dotfile
// managers make: relative, absolute, chains, folder links leading nowhere yet, a trailing slash,
// a path into a missing folder and back; a loop is refused.
TEST(DurableFile, LinksLeadWhereRealpathSays) {
    TempFolder dir;
    const auto root = dir.path();
    std::filesystem::create_directories(root / "home" / "dotfiles" / "real");
    const std::pair<const char*, const char*> links[] = {
        {"home/rel", "dotfiles/real/state.json"},
        {"home/abs", "ROOT/home/dotfiles/real/abs.json"},
        {"home/chain", "rel"},
        {"home/dotfiles/mid", "sync/not-there"},
        {"home/through-mid", "dotfiles/mid/state.json"},
        {"home/slash", "dotfiles/real/newdir/"},
        {"home/back", "dotfiles/missing/../real/a.json"},
        {"home/qd", "dotfiles/qd"},
        {"home/up", "../home/./dotfiles//real/../real/b.json"},
        {"home/loop1", "loop2"},
        {"home/loop2", "loop1"},
    };
    for (const auto& [name, target] : links) {
        std::string text = target;
        if (text.starts_with("ROOT")) text = root.string() + text.substr(4);
        std::filesystem::create_symlink(text, root / name);
    }
    const char* paths[] = {"home/rel", "home/abs", "home/chain", "home/through-mid", "home/slash", "home/back",
                           "home/qd/state.json", "home/up", "home/dotfiles/real", "home/nothing/at/all", "home/loop1"};
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        const std::string command = "realpath -m -- '" + (root / path).string() + "' 2>/dev/null";
        std::string expected;
        if (FILE* pipe = ::popen(command.c_str(), "r")) {
            char line[4096];
            while (std::fgets(line, sizeof line, pipe)) expected += line;
            const int status = ::pclose(pipe);
            if (status != 0) expected.clear();
        }
        while (!expected.empty() && expected.back() == '\n') expected.pop_back();
        const auto end = resolveLinks(root / path);
        // realpath -m gives a loop up and prints it as it is; the kernel, and a save, refuse it.
        if (std::string_view(path) == "home/loop1") {
            EXPECT_FALSE(end);
            EXPECT_EQ(errno, ELOOP);
            continue;
        }
        ASSERT_TRUE(end);
        EXPECT_EQ(end->path.string(), expected);
        EXPECT_EQ(end->namesFolder, std::string_view(path) == "home/slash");
    }
    // Nothing was made on the way.
    EXPECT_FALSE(std::filesystem::exists(root / "home" / "dotfiles" / "missing"));
    EXPECT_FALSE(std::filesystem::exists(root / "home" / "dotfiles" / "sync"));
}

// A FIFO where a state file should be is turned away at once: nothing waits
// for a writer that never comes. (Should a call wait all the same, a writer
// comes after three seconds, and the time shows it.)
TEST(StateFiles, FifoAtAPathIsTurnedAwayAtOnce) {
    TempFolder dir;
    testing::ScopedVariable config("XDG_CONFIG_HOME", (dir / "config").string());
    const size_t logStart = testing::logContents().size();
    struct Case {
        const char* name;
        std::filesystem::path path;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"state.json", dir / "state/state.json", [&] { EXPECT_TRUE(Store(dir / "state").readOnly()); }},
        {"defaults.json", Defaults::standardFile(), [] { EXPECT_TRUE(Defaults(Defaults::standardFile()).readOnly()); }},
        {"autostart entry", LoginItem::file(), [] { EXPECT_FALSE(LoginItem::enabled()); }},
    };
    for (const Case& c : cases) {
        std::filesystem::create_directories(c.path.parent_path());
        ASSERT_EQ(::mkfifo(c.path.c_str(), 0600), 0) << c.name;
        // A call that waits for a writer is freed after a while, and fails: told by whether it
        // needed the writer, not by how long it took.
        std::atomic<bool> returned = false, freed = false;
        std::thread writer([&] {
            for (int i = 0; i < 100 && !returned; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (!returned) {
                freed = true;
                ::close(::open(c.path.c_str(), O_RDWR | O_NONBLOCK));
            }
        });
        c.call();
        returned = true;
        writer.join();
        EXPECT_FALSE(freed) << c.name << " waited for a writer";
    }
    EXPECT_NE(testing::logContents().find("  state.json unreadable (not a regular file); changes will not be saved\n",
                                          logStart),
              std::string::npos);
}

}  // namespace
}  // namespace quiltdeck
