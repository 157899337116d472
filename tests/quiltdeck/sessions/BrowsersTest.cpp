#include "quiltdeck/sessions/Browsers.h"

#include <gtest/gtest.h>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/ChromeProfiles.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"

namespace quiltdeck {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using platform::runtime::NotificationCenter;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using testing::makeFile;
using testing::readFile;
using testing::TempFolder;

using Devices = std::vector<BrowserInfo>;

std::string logText() {
    Log::flush();
    return readFile(Log::url());
}

// Browsers on a virtual clock, a store of their own, a fake /proc and the
// browsers' folders under a configuration folder of the test's own. One-shot
// calls wait in `calls` until the test answers them.
class BrowsersTest : public ::testing::Test {
protected:
    struct Call {
        Browsers::OneShotRequest request;
        std::function<void(std::optional<std::string>)> done;
    };

    BrowsersTest() : scoped_(loop_), store_(state_.path()) {
        if (const char* before = std::getenv("XDG_CONFIG_HOME")) savedConfig_ = before;
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        fs::create_directories(proc_.path());
    }
    ~BrowsersTest() override { ::setenv("XDG_CONFIG_HOME", savedConfig_.c_str(), 1); }

    std::shared_ptr<Browsers> make() {
        auto browsers = Browsers::create({&store_,
                                          [this](Browsers::OneShotRequest request, auto done) {
                                              calls_.push_back({std::move(request), std::move(done)});
                                          },
                                          [this](std::function<void()> job) { jobs_.push_back(std::move(job)); },
                                          proc_.path()});
        browsers->setActivator([this](const RunningBrowser& browser) { activated_.push_back(browser.executable); });
        return browsers;
    }
    // Answers the oldest open call and lets the loop deliver what follows.
    void answer(std::optional<std::string> text) {
        ASSERT_FALSE(calls_.empty());
        auto done = std::move(calls_.front().done);
        calls_.erase(calls_.begin());
        done(std::move(text));
        settle();
    }
    // Runs background jobs and the loop's work until neither has any left.
    void settle() {
        do {
            auto jobs = std::move(jobs_);
            jobs_.clear();
            for (auto& job : jobs) job();
            loop_.runPending();
        } while (!jobs_.empty());
    }
    void runProcess(int pid, const std::string& program) {
        fs::create_directories(proc_ / std::to_string(pid));
        fs::create_symlink(program, proc_ / std::to_string(pid) / "exe");
    }
    fs::path profile(const std::string& name) const { return config_ / "google-chrome" / name; }

    VirtualMainLoop loop_;
    ScopedMainLoop scoped_;
    TempFolder state_, config_, proc_;
    Store store_;
    std::string savedConfig_;
    std::vector<Call> calls_;
    std::vector<std::function<void()>> jobs_;
    std::vector<std::string> activated_;
    int changes_ = 0;
    NotificationCenter::Subscription subscription_ = NotificationCenter::defaultCenter().subscribe(
        std::string(Browsers::didChange), [this](const platform::runtime::Notification&) { ++changes_; });
};

TEST_F(BrowsersTest, StartsWithTheCacheSortedByNameAndLabelsByPrecedence) {
    store_.setBrowserCache({{"1", "Beta"}, {"2", "alpha"}, {"3", "Alpha"}});
    auto browsers = make();
    EXPECT_EQ(browsers->list(), (Devices{{"3", "Alpha"}, {"1", "Beta"}, {"2", "alpha"}}));
    EXPECT_FALSE(browsers->busy());
    EXPECT_EQ(browsers->error(), std::nullopt);

    const BrowserInfo device{"1", "Beta"};
    EXPECT_EQ(device.label(store_), "Beta");
    store_.setBrowserAccounts({{"1", "me@work.io"}});
    EXPECT_EQ(device.label(store_), "me@work.io");
    store_.setLabel("  Desk  ", "1");
    EXPECT_EQ(device.label(store_), "Desk");
}

TEST_F(BrowsersTest, AnswersReplaceTheListOrLeaveItWithAnError) {
    store_.setBrowserCache({{"old", "Old"}});
    auto browsers = make();
    const std::string prose = "Here they are:\n[{\"deviceId\":\"a\",\"name\":\"Work\"},{\"deviceId\":\"b\"},{\"name\":\"x\"}]\nDone.";
    const std::string noList(130, 'z');
    const struct {
        std::optional<std::string> answer;
        Devices list;
        bool failed;
        std::string logged;
    } cases[] = {
        {prose, {{"a", "Work"}, {"b", "b"}}, false, "browsers: 3 connected\n"},
        {noList, {{"a", "Work"}, {"b", "b"}}, true, "browsers: no list (" + noList.substr(0, 120) + ")\n"},
        {"[]", {}, false, "browsers: 0 connected\n"},
        {"[{\"deviceId\":\"c\"},3]", {}, true, "browsers: no list ([{\"deviceId\":\"c\"},3])\n"},
        {"] nothing [", {}, true, "browsers: no list (] nothing [)\n"},
        {"{\"deviceId\":\"c\"}", {}, true, "browsers: no list ({\"deviceId\":\"c\"})\n"},
        {std::nullopt, {}, true, "browsers: no list (no output)\n"},
        {"[{\"deviceId\":\"c\",\"name\":7},{\"deviceId\":\"c\",\"name\":\"C\"}]", {{"c", "c"}, {"c", "C"}}, false,
         "browsers: 2 connected\n"},
    };
    for (const auto& test : cases) {
        browsers->refresh(true);
        changes_ = 0;
        answer(test.answer);
        EXPECT_EQ(browsers->list(), test.list) << test.logged;
        EXPECT_EQ(browsers->error(), test.failed ? std::optional(t("browsers_error")) : std::nullopt) << test.logged;
        EXPECT_TRUE(logText().ends_with(test.logged)) << test.logged;
        EXPECT_EQ(changes_, 2);  // busy, then the answer
    }
    EXPECT_EQ(store_.browserCache(), (Store::StringMap{{"a", "Work"}, {"b", "b"}, {"c", "C"}, {"old", "Old"}}));
}

TEST_F(BrowsersTest, RefreshesOneAtATimeAndUnforcedOnlyAMinuteAfterTheAnswer) {
    auto browsers = make();
    browsers->refresh(false);
    ASSERT_EQ(calls_.size(), 1u);
    EXPECT_EQ(calls_[0].request.prompt,
              "Call list_connected_browsers once and output ONLY the raw JSON array it returns. No prose, no markdown fence.");
    EXPECT_EQ(calls_[0].request.allowedTools, std::vector<std::string>{"mcp__claude-in-chrome__list_connected_browsers"});
    EXPECT_TRUE(calls_[0].request.chrome);
    EXPECT_EQ(calls_[0].request.timeout, 90s);
    EXPECT_TRUE(browsers->busy());
    browsers->refresh(true);
    EXPECT_EQ(calls_.size(), 1u);
    loop_.advance(30s);
    answer("[]");
    EXPECT_FALSE(browsers->busy());

    const struct {
        std::chrono::milliseconds wait;
        bool force;
        bool fetches;
    } steps[] = {{0ms, false, false}, {59999ms, false, false}, {1ms, false, true}, {0ms, true, true}};
    for (const auto& step : steps) {
        loop_.advance(step.wait);
        browsers->refresh(step.force);
        EXPECT_EQ(calls_.size(), step.fetches ? 1u : 0u) << step.wait.count();
        if (!calls_.empty()) answer(std::nullopt);  // a failed answer counts as an answer
    }
    EXPECT_NE(logText().find("browsers: refresh (forced)\n"), std::string::npos);
}

TEST_F(BrowsersTest, IdentifyAllWaitsThreeSecondsAfterEachAnswer) {
    store_.setBrowserCache({{"a", "A"}, {"b", "B"}, {"c", "C"}});
    auto browsers = make();
    browsers->identifyAll(4711);
    for (const char* id : {"a", "b", "c"}) {
        ASSERT_EQ(calls_.size(), 1u) << id;
        EXPECT_EQ(calls_[0].request.prompt, Browsers::identifyPrompt(id, 4711));
        answer(std::string(id) == "b" ? std::nullopt : std::optional<std::string>(""));
        loop_.advance(2999ms);
        EXPECT_TRUE(calls_.empty()) << id;
        loop_.advance(1ms);
    }
    EXPECT_TRUE(calls_.empty());
    EXPECT_EQ(Browsers::identifyPrompt("d1", 4711),
              "Call mcp__claude-in-chrome__select_browser with deviceId d1. Then open "
              "http://127.0.0.1:4711/identify?id=d1 in a new tab in that browser. Do not call "
              "list_connected_browsers or switch_browser. Reply with just the word done.");
}

TEST_F(BrowsersTest, IdentifyBringsThePreferredRunningBrowserForward) {
    auto browsers = make();
    const struct {
        std::vector<std::pair<int, std::string>> processes;
        std::vector<std::string> activated;
    } cases[] = {
        {{}, {}},
        {{{100, "/usr/lib/chromium/chromium"}, {200, "/opt/brave.com/brave/brave"}}, {"brave"}},
        {{{300, "/opt/google/chrome/chrome (deleted)"}}, {"chrome"}},
        {{{400, "/opt/microsoft/msedge/msedge"}}, {"chrome"}},
    };
    for (const auto& test : cases) {
        for (const auto& [pid, program] : test.processes) runProcess(pid, program);
        activated_.clear();
        bool reported = false;
        browsers->identify("dev", 1, [&](bool ok) { reported = ok; });
        answer("done");
        EXPECT_TRUE(reported);
        EXPECT_EQ(activated_, test.activated);
    }
    activated_.clear();
    bool reported = true;
    browsers->identify("dev", 1, [&](bool ok) { reported = ok; });
    answer(std::nullopt);
    EXPECT_FALSE(reported);
    EXPECT_TRUE(activated_.empty());
}

TEST_F(BrowsersTest, AccountsAreLearnedFromTheProfiles) {
    makeFile(profile("Default") / "Preferences", R"({"account_info":[{"email":"me@gmail.com"},{"email":"me@work.io"}]})");
    makeFile(profile("Default") / ChromeProfiles::extensionStorage / "000001.log", "..id-a..");
    store_.setBrowserCache({{"id-a", "A"}, {"id-b", "B"}});
    auto browsers = make();
    settle();
    EXPECT_EQ(store_.browserAccounts(), (Store::StringMap{{"id-a", "me@work.io"}}));
    EXPECT_EQ(changes_, 1);

    // After an identify the page shows up in the open tabs of the device's profile.
    browsers->identify("id-b", 8000, {});
    answer("done");
    for (int check = 0; check < 3; ++check) {
        loop_.advance(2s);
        settle();
    }
    EXPECT_FALSE(store_.browserAccounts().contains("id-b"));
    makeFile(profile("Profile 1") / "Preferences", R"({"profile":{"name":"Side"}})");
    makeFile(profile("Profile 1") / "Sessions" / "Tabs_1", "..http://127.0.0.1:8000/identify?id=id-b..");
    loop_.advance(2s);
    settle();
    EXPECT_EQ(store_.browserAccounts().at("id-b"), "Side");
    EXPECT_EQ(loop_.pendingTimerCount(), 0u);
}

TEST_F(BrowsersTest, AccountChecksStopAfterTwenty) {
    auto browsers = make();
    browsers->identify("never", 8000, {});
    answer("done");
    int checks = 0;
    while (loop_.pendingTimerCount() > 0 && checks < 100) {
        loop_.advance(2s);
        settle();
        ++checks;
    }
    EXPECT_EQ(checks, 20);
}

}  // namespace
}  // namespace quiltdeck
