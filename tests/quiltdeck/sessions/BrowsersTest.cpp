#include "quiltdeck/sessions/Browsers.h"

#include <gtest/gtest.h>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/ChromeProfiles.h"
#include "quiltdeck/sessions/ClaudeCapabilities.h"
#include "quiltdeck/sessions/Store.h"
#include "quiltdeck/shell/L10n.h"
#include "quiltdeck/shell/Log.h"
#include "support/FakeClaudeHome.h"

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

// Browsers on a virtual clock with a store of their own and a fake /proc. The
// one-shot calls run the fake assistant CLI in a test HOME whose configuration
// folder holds the browsers' profiles; background jobs wait until `settle`.
class BrowsersTest : public ::testing::Test {
protected:
    BrowsersTest() : scoped_(loop_), store_(state_.path()) { ClaudeCapabilities::reset(); }

    std::shared_ptr<Browsers> make() {
        auto browsers = Browsers::create(
            {&store_,
             [this](Browsers::OneShotRequest request, auto done) {
                 requests_.push_back(request);
                 ++inFlight_;
                 Browsers::assistantOneShot(std::move(request), [this, done](ClaudeCLI::Reply reply) {
                     --inFlight_;
                     done(std::move(reply));
                 });
             },
             [this](std::function<void()> job) { jobs_.push_back(std::move(job)); }, proc_.path()});
        browsers->setActivator([this](const RunningBrowser& browser) { activated_.push_back(browser.executable); });
        return browsers;
    }
    // What the fake answers to the calls that start from now on; nothing makes it fail.
    void script(const std::optional<std::string>& answer) {
        home_.setVariable("FAKE_CLAUDE_ANSWER", answer.value_or(""));
        home_.setVariable("FAKE_CLAUDE_EXIT", answer ? "0" : "1");
    }
    void awaitAnswers() {
        ASSERT_TRUE(loop_.runUntil([this] { return inFlight_ == 0; }, 60s));
        settle();
    }
    void settle() {
        do {
            auto jobs = std::exchange(jobs_, {});
            for (auto& job : jobs) job();
            loop_.runPending();
        } while (!jobs_.empty());
    }
    void runProcess(int pid, const std::string& program) {
        fs::create_directories(proc_ / std::to_string(pid));
        fs::create_symlink(program, proc_ / std::to_string(pid) / "exe");
    }
    fs::path profile(const std::string& name) const { return fs::path(home_.path()) / ".config/google-chrome" / name; }

    testing::FakeClaudeHome home_;
    testing::ScopedVariable configHome_{"XDG_CONFIG_HOME", home_.path() + "/.config"};
    VirtualMainLoop loop_;
    ScopedMainLoop scoped_;
    TempFolder state_, proc_;
    Store store_;
    std::vector<Browsers::OneShotRequest> requests_;
    int inFlight_ = 0;
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
    EXPECT_FALSE(browsers->busy() || browsers->error());

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
    const std::string noList(130, 'z');
    const struct {
        std::optional<std::string> answer;
        Devices list;
        std::string logged;  // the fake ends its answer with a newline
        bool installed = true;
    } cases[] = {
        {"Here:\n[{\"deviceId\":\"a\",\"name\":\"Work\"},{\"deviceId\":\"b\"},{\"name\":\"x\"}]\nDone.",
         {{"a", "Work"}, {"b", "b"}}, "3 connected"},
        {noList, {{"a", "Work"}, {"b", "b"}}, "no list (" + noList.substr(0, 120) + ")"},
        {"[]", {}, "0 connected"},
        // The answer's line break is written escaped: the entry stays one line.
        {"[{\"deviceId\":\"c\"},3]", {}, "no list ([{\"deviceId\":\"c\"},3]\\n)"},
        {"] nothing [", {}, "no list (] nothing [\\n)"},
        {std::nullopt, {}, "no list (no output)"},
        // Refresh cannot help: the list says so.
        {"[]", {}, "no list (claude not found)", false},
        {"[{\"deviceId\":\"c\",\"name\":7},{\"deviceId\":\"c\",\"name\":\"C\"}]", {{"c", "c"}, {"c", "C"}}, "2 connected"},
    };
    for (const auto& test : cases) {
        script(test.answer);
        if (test.installed) home_.installClaude(home_.claudePath());
        else home_.removeClaude();
        browsers->refresh(true);
        changes_ = 0;
        awaitAnswers();
        EXPECT_EQ(browsers->list(), test.list) << test.logged;
        const bool failed = test.logged.starts_with("no list");
        const std::string error = t(test.installed ? "browsers_error" : "browsers_error_missing");
        EXPECT_EQ(browsers->error(), failed ? std::optional(error) : std::nullopt) << test.logged;
        EXPECT_TRUE(logText().ends_with("browsers: " + test.logged + "\n")) << test.logged;
        EXPECT_EQ(changes_, 2);  // busy, then the answer
    }
    EXPECT_EQ(store_.browserCache(), (Store::StringMap{{"a", "Work"}, {"b", "b"}, {"c", "C"}, {"old", "Old"}}));
}

TEST_F(BrowsersTest, RefreshesOneAtATimeAndUnforcedOnlyAMinuteAfterTheAnswer) {
    auto browsers = make();
    script("[]");
    browsers->refresh(false);
    EXPECT_TRUE(browsers->busy());
    browsers->refresh(true);
    loop_.advance(30s);
    awaitAnswers();
    EXPECT_FALSE(browsers->busy());
    ASSERT_EQ(home_.calls().size(), 1u);
    EXPECT_EQ(home_.calls()[0].input,
              "Call list_connected_browsers once and output ONLY the raw JSON array it returns. No prose, no markdown fence.");
    EXPECT_EQ(requests_[0].allowedTools, std::vector<std::string>{std::string(Browsers::listTool)});

    script(std::nullopt);  // a failed answer counts as an answer too
    const struct {
        std::chrono::milliseconds wait;
        bool force, fetches;
    } steps[] = {{0ms, false, false}, {59999ms, false, false}, {1ms, false, true}, {0ms, true, true}};
    for (const auto& step : steps) {
        loop_.advance(step.wait);
        requests_.clear();
        browsers->refresh(step.force);
        EXPECT_EQ(requests_.size(), step.fetches ? 1u : 0u) << step.wait.count();
        awaitAnswers();
    }
    EXPECT_NE(logText().find("browsers: refresh (forced)\n"), std::string::npos);
}

TEST_F(BrowsersTest, IdentifyAllWaitsThreeSecondsAfterEachAnswerAndBringsTheBrowserForward) {
    store_.setBrowserCache({{"a", "A"}, {"b", "B"}, {"c", "C"}});
    runProcess(100, "/usr/lib/chromium/chromium");
    runProcess(200, "/opt/brave.com/brave/brave");
    auto browsers = make();
    script("");  // an empty answer counts as done
    browsers->identifyAll(4711);
    for (const char* id : {"a", "b", "c"}) {
        ASSERT_EQ(requests_.size(), 1u) << id;
        EXPECT_EQ(requests_[0].prompt, Browsers::identifyPrompt(id, 4711));
        requests_.clear();
        awaitAnswers();
        script(*id == 'a' ? std::nullopt : std::optional<std::string>("done"));
        if (*id == 'b') runProcess(300, "/opt/google/chrome/chrome (deleted)");
        loop_.advance(2999ms);
        EXPECT_TRUE(requests_.empty()) << id;
        loop_.advance(1ms);
    }
    EXPECT_TRUE(requests_.empty());
    EXPECT_EQ(activated_, (std::vector<std::string>{"brave", "chrome"}));  // none for the failed b
    EXPECT_EQ(home_.calls().size(), 3u);
    EXPECT_EQ(Browsers::identifyPrompt("d1", 4711),
              "Call mcp__claude-in-chrome__select_browser with deviceId d1. Then open "
              "http://127.0.0.1:4711/identify?id=d1 in a new tab in that browser. Do not call "
              "list_connected_browsers or switch_browser. Reply with just the word done.");
}

TEST_F(BrowsersTest, AccountsAreLearnedFromTheProfilesWithTwentyChecksAtMost) {
    makeFile(profile("Default") / "Preferences", R"({"account_info":[{"email":"me@gmail.com"},{"email":"me@work.io"}]})");
    makeFile(profile("Default") / ChromeProfiles::extensionStorage / "000001.log", "..id-a..");
    store_.setBrowserCache({{"id-a", "A"}, {"id-b", "B"}});
    auto browsers = make();
    settle();
    EXPECT_EQ(store_.browserAccounts(), (Store::StringMap{{"id-a", "me@work.io"}}));
    EXPECT_EQ(changes_, 1);

    // After an identify the page shows up in the open tabs of the device's profile.
    for (const char* id : {"id-b", "never"}) {
        script("done");
        browsers->identify(id, 8000, {});
        awaitAnswers();
        int checks = 0;
        for (; loop_.pendingTimerCount() > 0 && checks < 100; ++checks) {
            if (checks == 3) {
                makeFile(profile("Profile 1") / "Preferences", R"({"profile":{"name":"Side"}})");
                makeFile(profile("Profile 1") / "Sessions" / "Tabs_1", "..127.0.0.1:8000/identify?id=id-b..");
            }
            loop_.advance(2s);
            settle();
        }
        EXPECT_EQ(checks, *id == 'n' ? 20 : 4) << id;
    }
    EXPECT_EQ(store_.browserAccounts().at("id-b"), "Side");
    EXPECT_FALSE(store_.browserAccounts().contains("never"));
}

}  // namespace
}  // namespace quiltdeck
