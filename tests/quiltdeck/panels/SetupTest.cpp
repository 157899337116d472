#include "quiltdeck/panels/Setup.h"

#include <gtest/gtest.h>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/ScriptedSetupProbe.h"
#include "quiltdeck/shell/Log.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
// Inside a test fixture, plain "Setup" names the fixture's own SetUp trap.
using SetupState = Setup;
using Stage = SetupState::Stage;
using Status = SetupProbe::Status;
using testing::ScriptedProbe;

Status notFound() { return {}; }
Status signedOut() { return {true, false, std::nullopt, std::nullopt}; }
Status signedIn(std::string email, std::string method = "claude.ai") { return {true, true, email, method}; }

class SetupTest : public ::testing::Test {
protected:
    SetupTest() {
        setup = SetupState::make(std::make_unique<ScriptedProbe>(script));
        logStart = testing::logContents().size();
    }
    ~SetupTest() override {
        release();
        loop.runUntil([&] { return !setup->checking(); }, 10s);
    }

    void answer(Status status, bool fullDisk = true) {
        std::lock_guard lock(script->mutex);
        script->answers.push_back({std::move(status), fullDisk});
    }
    void hold() {
        std::lock_guard lock(script->mutex);
        script->held = true;
    }
    void release() {
        std::lock_guard lock(script->mutex);
        script->held = false;
        script->changed.notify_all();
    }
    int probes() {
        std::lock_guard lock(script->mutex);
        return script->probes;
    }
    // Until the probe in flight has been applied and announced.
    void settle() {
        ASSERT_TRUE(loop.runUntil([&] { return !setup->checking(); }, 10s));
        loop.runPending();
    }
    std::string newLog() {
        const std::string all = testing::logContents();
        std::string fresh = all.substr(logStart);
        logStart = all.size();
        return fresh;
    }
    static int count(const std::string& text, const std::string& part) {
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }
    std::filesystem::path answers() const { return std::filesystem::path(home.path()) / ".claude.json"; }

    testing::FakeClaudeHome home;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    std::shared_ptr<ScriptedProbe::Script> script = std::make_shared<ScriptedProbe::Script>();
    std::shared_ptr<SetupState> setup;
    int posts = 0;
    platform::runtime::NotificationCenter::Subscription observer =
        platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(SetupState::didChange),
                                                                         [this](const auto&) { ++posts; });
    size_t logStart = 0;
};

struct Step {
    Status status;
    bool fullDisk;
    Stage stage;
    bool posts;
    std::vector<std::string> logged;  // the stage and access lines this step writes
    bool polling;
};

struct PollCase {
    const char* name;
    std::vector<Step> steps;
    friend void PrintTo(const PollCase& c, std::ostream* os) { *os << c.name; }
};

class SetupPoll : public SetupTest, public ::testing::WithParamInterface<PollCase> {};

// Each step is one check, the first from start() and the others from the
// poll's ticks (or a new start() once the poll has stopped).
TEST_P(SetupPoll, StageLinesAndAnnouncements) {
    const auto& c = GetParam();
    for (size_t i = 0; i < c.steps.size(); ++i) {
        const Step& step = c.steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        answer(step.status, step.fullDisk);
        const int postsBefore = posts;
        if (i == 0 || !setup->polling())
            setup->start();
        else
            loop.advance(SetupState::pollInterval);
        settle();
        EXPECT_EQ(setup->stage(), step.stage);
        EXPECT_EQ(posts - postsBefore, step.posts ? 1 : 0);
        EXPECT_EQ(setup->polling(), step.polling);
        EXPECT_EQ(setup->email(), step.status.email);
        EXPECT_EQ(setup->authMethod(), step.status.method);
        EXPECT_EQ(setup->fullDisk(), step.fullDisk);
        const std::string log = newLog();
        EXPECT_EQ(count(log, "setup stage: ") + count(log, "full disk access: "), static_cast<int>(step.logged.size()))
            << log;
        for (const auto& line : step.logged) EXPECT_EQ(count(log, "  " + line + "\n"), 1) << line << " in " << log;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetupPoll,
    ::testing::Values(
        PollCase{"NotFoundAnnouncedOnce",
                 {{notFound(), true, Stage::needsInstall, true, {"setup stage: needsInstall"}, true},
                  {notFound(), true, Stage::needsInstall, false, {}, true}}},
        PollCase{"SignedOut", {{signedOut(), true, Stage::needsLogin, true, {"setup stage: needsLogin"}, true}}},
        PollCase{"SignedInWithEmail", {{signedIn("a@b"), true, Stage::ready, true, {"setup stage: ready (a@b)"}, false}}},
        PollCase{"SignedInWithoutEmail",
                 {{{true, true, std::nullopt, "api_key"}, true, Stage::ready, true, {"setup stage: ready"}, false}}},
        PollCase{"OtherAccountAnnouncedWithoutLine",
                 {{signedIn("a@b"), true, Stage::ready, true, {"setup stage: ready (a@b)"}, false},
                  {signedIn("c@d"), true, Stage::ready, true, {}, false}}},
        PollCase{"OtherMethodAloneNotAnnounced",
                 {{signedIn("a@b", "claude.ai"), true, Stage::ready, true, {"setup stage: ready (a@b)"}, false},
                  {signedIn("a@b", "console"), true, Stage::ready, false, {}, false}}},
        PollCase{"SignedOutElsewhere",
                 {{signedIn("a@b"), true, Stage::ready, true, {"setup stage: ready (a@b)"}, false},
                  {signedOut(), true, Stage::needsLogin, true, {"setup stage: needsLogin"}, true}}},
        PollCase{"AccessGrantedAtReadyStopsThePoll",
                 {{signedIn("a@b"), false, Stage::ready, true, {"full disk access: false", "setup stage: ready (a@b)"}, true},
                  {signedIn("a@b"), false, Stage::ready, false, {}, true},
                  {signedIn("a@b"), true, Stage::ready, true, {"full disk access: true"}, false}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupTest, AnswersAreWrittenOnlyWhenEverythingHolds) {
    answer(signedIn("a@b"), false);
    setup->start();
    settle();
    EXPECT_FALSE(std::filesystem::exists(answers()));
    answer(signedIn("a@b"), true);
    loop.advance(SetupState::pollInterval);
    settle();
    EXPECT_TRUE(std::filesystem::exists(answers()));
    EXPECT_EQ(loop.pendingTimerCount(), 0u);
}

TEST_F(SetupTest, TwoStartsLeaveOneTimerAndOneProbe) {
    hold();
    answer(notFound());
    setup->start();
    setup->start();
    ASSERT_TRUE(loop.runUntil([&] { return probes() == 1; }, 10s));
    EXPECT_EQ(loop.pendingTimerCount(), 1u);
    // A tick inside the running probe is dropped, not queued.
    loop.advance(SetupState::pollInterval);
    loop.runUntil([] { return false; }, 50ms);
    EXPECT_EQ(probes(), 1);
    release();
    settle();
    EXPECT_EQ(probes(), 1);
    EXPECT_EQ(posts, 1);
    loop.advance(SetupState::pollInterval);
    settle();
    EXPECT_EQ(probes(), 2);
}

// At quit a check under way comes back to nothing: no stage, no line after the log's "quit".
TEST_F(SetupTest, AStoppedSetupIgnoresTheCheckUnderWay) {
    hold();
    answer(notFound());
    newLog();
    setup->start();
    ASSERT_TRUE(loop.runUntil([&] { return probes() == 1; }, 10s));
    setup->stop();
    release();
    settle();
    EXPECT_EQ(setup->stage(), Stage::probing);
    EXPECT_EQ(posts, 0);
    EXPECT_EQ(count(newLog(), "setup stage"), 0);
    loop.advance(SetupState::pollInterval * 2);
    EXPECT_EQ(probes(), 1);
}

TEST_F(SetupTest, StartRestartsAStoppedPoll) {
    answer(signedIn("a@b"));
    setup->start();
    settle();
    EXPECT_FALSE(setup->polling());
    loop.advance(SetupState::pollInterval * 3);
    EXPECT_EQ(probes(), 1);
    answer(signedOut());
    setup->start();
    settle();
    EXPECT_EQ(setup->stage(), Stage::needsLogin);
    EXPECT_TRUE(setup->polling());
}

struct StatusCase {
    const char* name;
    int exitStatus;
    std::string output;
    Status status;
    bool loggedNoJson;
    friend void PrintTo(const StatusCase& c, std::ostream* os) { *os << c.name; }
};

class SetupProbeStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(SetupProbeStatus, ReadsTheStatusObject) {
    const auto& c = GetParam();
    const size_t before = testing::logContents().size();
    EXPECT_EQ(SetupProbe::statusFrom(c.exitStatus, c.output), c.status);
    const std::string log = testing::logContents().substr(before);
    EXPECT_EQ(log.find("setup: claude found but `auth status --json` gave no JSON, offering install") !=
                  std::string::npos,
              c.loggedNoJson)
        << log;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetupProbeStatus,
    ::testing::Values(
        StatusCase{"NotFound", 127, R"({"loggedIn":true})", notFound(), false},
        StatusCase{"WarningBeforeTheObject", 0, "Warning: old config\n{\"loggedIn\":true,\"email\":\"a@b\",\"authMethod\":\"claude.ai\"}\n",
                   signedIn("a@b"), false},
        StatusCase{"SignedOutExitsOne", 1, R"({"loggedIn":false,"authMethod":"none"})", {true, false, std::nullopt, "none"}, false},
        StatusCase{"MissingLoggedIn", 0, R"({"email":"a@b"})", {true, false, "a@b", std::nullopt}, false},
        StatusCase{"WrongTypesIgnored", 0, R"({"loggedIn":"yes","email":5,"authMethod":null})", signedOut(), false},
        StatusCase{"NoBrace", 0, "command not found: auth", notFound(), true},
        StatusCase{"BrokenJson", 0, "{\"loggedIn\": tr", notFound(), true},
        StatusCase{"TextAfterTheObject", 0, "{\"loggedIn\":true} done", notFound(), true},
        StatusCase{"NotUtf8", 0, "\xff{\"loggedIn\":true}", notFound(), true}),
    [](const auto& info) { return std::string(info.param.name); });

// The real probe through the login shell, with the fake CLI.
class SetupLoginShellTest : public ::testing::Test {
protected:
    Stage firstStage(platform::runtime::Duration limit = std::chrono::seconds(20)) {
        auto setup = SetupState::make(SetupProbe::loginShell(limit));
        setup->start();
        EXPECT_TRUE(loop.runUntil([&] { return setup->stage() != Stage::probing; }, 60s));
        email = setup->email();
        return setup->stage();
    }
    bool claudeElsewhere() const {
        return std::filesystem::exists("/opt/homebrew/bin/claude") || std::filesystem::exists("/usr/local/bin/claude");
    }

    testing::FakeClaudeHome home;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    std::optional<std::string> email;
};

TEST_F(SetupLoginShellTest, NoClaudeNeedsInstall) {
    if (claudeElsewhere()) GTEST_SKIP();
    home.removeClaude();
    EXPECT_EQ(firstStage(), Stage::needsInstall);
}

TEST_F(SetupLoginShellTest, KeyInTheProfileIsReady) {
    home.setVariable("ANTHROPIC_API_KEY", "sk-test");
    EXPECT_EQ(firstStage(), Stage::ready);
    EXPECT_EQ(email, std::nullopt);
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{"auth", "status", "--json"}));
}

TEST_F(SetupLoginShellTest, HangingStatusTimesOutAndOffersInstall) {
    home.setVariable("FAKE_CLAUDE_STATUS_HANG", "1");
    const size_t before = testing::logContents().size();
    EXPECT_EQ(firstStage(std::chrono::milliseconds(500)), Stage::needsInstall);
    EXPECT_NE(testing::logContents().find("setup: claude auth status timed out, offering install", before),
              std::string::npos);
    // Its whole group went with it.
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(testing::processRunning(calls[0].pid));
}

}  // namespace
}  // namespace quiltdeck
