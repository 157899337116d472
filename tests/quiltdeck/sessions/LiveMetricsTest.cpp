#include "quiltdeck/sessions/LiveMetrics.h"

#include <gtest/gtest.h>

#include <climits>

#include <nlohmann/json.hpp>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

Store::Metric m(std::string label, std::string value = {}, std::optional<std::string> command = {},
                std::optional<int> every = {}) {
    return {std::move(label), std::move(value), std::move(command), every, std::nullopt};
}

class LiveMetricsTest : public ::testing::Test {
protected:
    std::string logged() { return testing::logContents().substr(logStart); }
    Date now() const { return Date{1e8 + std::chrono::duration<double>(loop.now().time_since_epoch()).count()}; }
    std::unique_ptr<LiveMetrics> make() {
        auto live = std::make_unique<LiveMetrics>("12345678-abcd", folder.path().string(), [this] { return exited; },
                                                  LiveMetrics::Services{[this] { return now(); }, &loop, &store});
        live->onChange = [this] { ++changes; };
        return live;
    }
    void settle(LiveMetrics& live) {
        ASSERT_TRUE(loop.runUntil([&] { return !live.metricsRunning() && !live.feedRunning(); }, 60s));
    }
    std::vector<std::string> values(const LiveMetrics& live) {
        std::vector<std::string> shown;
        for (const auto& metric : live.metrics()) shown.push_back(metric.value);
        return shown;
    }

    size_t logStart = testing::logContents().size();
    testing::TempFolder folder;
    testing::TempFolder stateFolder;
    Store store{stateFolder.path()};
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    bool exited = false;
    int changes = 0;
};

struct BodyCase {
    const char* name;
    json body;
    std::vector<Store::Metric> metrics;  // after a fixed "Old" metric
    bool applied = true;
    friend void PrintTo(const BodyCase& c, std::ostream* os) { *os << c.name; }
};

class LiveMetricsBody : public LiveMetricsTest, public ::testing::WithParamInterface<BodyCase> {};

TEST_P(LiveMetricsBody, ChecksAndNormalises) {
    const BodyCase& c = GetParam();
    auto live = make();
    live->applyMetrics({{"metrics", {{{"label", "Old"}}}}});
    logStart = testing::logContents().size();
    live->applyMetrics(c.body);
    const std::vector<Store::Metric> old{m("Old")};
    EXPECT_EQ(live->metrics(), c.applied ? c.metrics : old);
    EXPECT_EQ(store.metrics(folder.path().string()), live->metrics());
    EXPECT_EQ(logged().find("  metrics 12345678: ") != std::string::npos, c.applied) << logged();
    loop.runPending();
    settle(*live);
}

const json seven = json::parse(R"([{"label":"a"},{"label":"b"},{"label":"c"},{"label":"d"},{"label":"e"},
                                   {"label":"f"},{"label":"g"}])");

INSTANTIATE_TEST_SUITE_P(
    Cases, LiveMetricsBody,
    ::testing::Values(
        BodyCase{"SevenKeepFive", {{"metrics", seven}}, {m("a"), m("b"), m("c"), m("d"), m("e")}},
        BodyCase{"EmptyLabelDroppedNumberValue", json::parse(R"({"metrics":[{"label":""},{"label":"n","value":3}]})"),
                 {m("n", "3")}},
        BodyCase{"ClearWins", {{"clear", true}, {"metrics", seven}}, {}},
        BodyCase{"EmptyArrayClears", {{"metrics", json::array()}}, {}},
        BodyCase{"EmptyBodyIgnored", json::object(), {}, false},
        BodyCase{"StringIgnored", {{"metrics", "a"}}, {}, false},
        BodyCase{"NumberElementIgnored", json::parse(R"({"metrics":[{"label":"a"},3]})"), {}, false},
        BodyCase{"Periods", json::parse(R"({"metrics":[{"label":"five","command":"true","every":5},
            {"label":"none","command":"true"},{"label":"text","command":"true","every":"30"},
            {"label":"fraction","command":"true","every":20.5},{"label":"huge","command":"true","every":1e30}]})"),
                 {m("five", "", "true", 15), m("none", "", "true", 60), m("text", "", "true", 60),
                  m("fraction", "", "true", 60), m("huge", "", "true", 60)}},
        BodyCase{"BeyondSixtyFourBitsAndBeyondInt",
                 json::parse(R"({"metrics":[{"label":"u","command":"true","every":18446744073709551615},
            {"label":"big","command":"true","every":9223372036854775807},{"label":"fixed","every":99,"command":""}]})"),
                 {m("u", "", "true", 60), m("big", "", "true", INT_MAX), m("fixed")}},
        BodyCase{"ValuesAndLabelsShortened",
                 json::parse(R"({"metrics":[{"label":"a very long label for a number","value":"1234567890abcdefghij"},
            {"label":"f","value":2.5},{"label":"whole","value":7.0},{"label":"b","value":true}]})"),
                 {m("a very long label…", "1234567890abcde…"), m("f", "2.5"), m("whole", "7"), m("b", "true")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LiveMetricsTest, CommandsRunInTheFolderAndShowTheirLastLine) {
    testing::writeFile(folder / "marker", "");
    auto live = make();
    live->applyMetrics(json::parse(R"({"metrics":[
        {"label":"last","command":"printf '12\\n\\n  34  \\n'"},
        {"label":"failed","command":"echo 7; exit 1"},
        {"label":"blank","command":"printf '42\\n   \\n'"},
        {"label":"long","command":"echo abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMN"},
        {"label":"here","command":"test -f marker && printf '1\\r2\\v\\342\\200\\250here\\377'"}]})"));
    EXPECT_TRUE(live->metricsRunning());
    settle(*live);
    EXPECT_EQ(values(*live), (std::vector<std::string>{"34", "?", "?", "abcdefghijklmno…", "here\xEF\xBF\xBD"}));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(store.metrics(folder.path().string()), live->metrics());
    EXPECT_TRUE(live->metrics()[0].updatedAt);
}

TEST_F(LiveMetricsTest, TimerRefreshesOnlyDueMetricsAndNothingOnceExited) {
    auto live = make();
    live->applyMetrics({{"metrics", {{{"label", "fixed"}, {"value", "1"}}}}});
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
    live->applyMetrics(json::parse(R"({"metrics":[{"label":"runs","command":"echo x >> runs; wc -l < runs","every":30}]})"));
    settle(*live);
    EXPECT_EQ(values(*live), std::vector<std::string>{"1"});
    loop.advance(15s);
    EXPECT_FALSE(live->metricsRunning()) << "not due before 30 s";
    loop.advance(15s);
    settle(*live);
    EXPECT_EQ(values(*live), std::vector<std::string>{"2"});
    exited = true;
    loop.advance(30s);
    EXPECT_FALSE(live->metricsRunning());
}

TEST_F(LiveMetricsTest, ResultsOfAReplacedListGoOnlyToTheSamePositionAndCommand) {
    auto live = make();
    live->applyMetrics(json::parse(R"({"metrics":[{"label":"a","command":"sleep 0.3; echo 1"}]})"));
    live->applyMetrics(json::parse(R"({"metrics":[{"label":"a","command":"echo 2"},
                                                  {"label":"b","command":"sleep 0.3; echo 1"}]})"));
    settle(*live);
    EXPECT_EQ(values(*live), (std::vector<std::string>{"", ""}));
    loop.advance(15s);
    settle(*live);
    EXPECT_EQ(values(*live), (std::vector<std::string>{"2", "1"}));
}

TEST_F(LiveMetricsTest, FeedKeepsThreeItemsAndItsHeadlinesForTheSameCommand) {
    auto live = make();
    const char* command = "printf 'A\\thttps://a\\n\\n\\t\\n\\tD\\tmore\\nB\\tftp://b\\t\\nC\\nE\\n'";
    live->applyFeed({{"label", "News"}, {"command", command}, {"every", 10}});
    EXPECT_NE(logged().find("  feed 12345678: News\n"), std::string::npos);
    settle(*live);
    ASSERT_TRUE(live->feed());
    EXPECT_EQ(live->feed()->every, 30);
    const std::vector<Store::FeedItem> items{{"A", "https://a"}, {"D", ""}, {"B", ""}};
    EXPECT_EQ(live->feed()->items, items);
    EXPECT_EQ(store.feed(folder.path().string()), live->feed());
    live->applyFeed({{"label", "News"}, {"command", command}});
    EXPECT_EQ(live->feed()->every, 120);
    EXPECT_EQ(live->feed()->items, items) << "same command keeps its headlines";
    settle(*live);
    live->applyFeed({{"label", "Other"}, {"command", "exit 1"}});
    EXPECT_TRUE(live->feed()->items.empty());
    settle(*live);
    EXPECT_TRUE(live->feed()->updatedAt);
    live->applyFeed({{"label", ""}, {"command", "true"}});
    EXPECT_EQ(live->feed()->label, "Other");
    live->applyFeed({{"clear", true}});
    EXPECT_FALSE(live->feed());
    EXPECT_FALSE(store.feed(folder.path().string()));
    EXPECT_NE(logged().find("  feed 12345678: cleared\n"), std::string::npos);
}

TEST_F(LiveMetricsTest, CarryOverShowsStoredValuesAtOnceAndRefreshes) {
    const std::string cwd = folder.path().string();
    Store::Metric stored = m("n", "41", "echo 42", 60);
    stored.updatedAt = Date{5};
    store.setMetrics({stored}, cwd);
    store.setTileFeed(cwd, Store::Feed{"News", "printf 'fresh'", 120, {{"old", ""}}, Date{5}});
    auto live = make();
    live->carryOver();
    EXPECT_EQ(values(*live), std::vector<std::string>{"41"});
    EXPECT_EQ(live->feed()->items, (std::vector<Store::FeedItem>{{"old", ""}}));
    EXPECT_TRUE(live->metricsRunning() && live->feedRunning());
    settle(*live);
    EXPECT_EQ(values(*live), std::vector<std::string>{"42"});
    EXPECT_EQ(live->feed()->items, (std::vector<Store::FeedItem>{{"fresh", ""}}));
}

}  // namespace
}  // namespace quiltdeck
