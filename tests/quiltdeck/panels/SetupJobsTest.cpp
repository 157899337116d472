#include <dirent.h>
#include <gtest/gtest.h>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/panels/Setup.h"
#include "quiltdeck/shell/L10n.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
// Inside a test fixture, plain "Setup" names the fixture's own SetUp trap.
using SetupState = Setup;
namespace fs = std::filesystem;
using Job = SetupState::Job;
using Stage = SetupState::Stage;

// The live members of a process group.
std::vector<pid_t> groupMembers(pid_t group) {
    std::vector<pid_t> members;
    DIR* folder = ::opendir("/proc");
    while (const dirent* entry = folder ? ::readdir(folder) : nullptr) {
        const std::string stat = testing::readFile("/proc/" + std::string(entry->d_name) + "/stat");
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size() || stat[close + 2] == 'Z') continue;
        std::istringstream fields(stat.substr(close + 2));
        std::string state, parent, pgrp;
        fields >> state >> parent >> pgrp;
        if (pgrp == std::to_string(group)) members.push_back(std::stoi(entry->d_name));
    }
    if (folder) ::closedir(folder);
    return members;
}

class SetupJobsTest : public ::testing::Test {
protected:
    SetupJobsTest() {
        fs::create_directories(temporary());
        home.setVariable("TMPDIR", temporary());
        logStart = testing::logContents().size();
    }
    ~SetupJobsTest() override {
        setup->cancelJob();
        finishJob();
    }

    std::string temporary() const { return home.path() + "/tmp"; }
    bool temporaryEmpty() const { return fs::is_empty(temporary()); }
    std::string log() { return testing::logContents().substr(logStart); }
    bool logged(const std::string& line) { return log().find("  " + line + "\n") != std::string::npos; }
    int countLogged(const std::string& part) {
        const std::string text = log();
        int n = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
        return n;
    }
    bool waitFor(const std::function<bool()>& done) { return loop.runUntil(done, 60s); }
    // Until the job has ended and the check after it is in; the flush after an
    // exit runs on the loop's clock, which moves here in small steps.
    bool finishJob() {
        for (int round = 0; round < 600; ++round) {
            if (loop.runUntil([&] { return setup->job() == Job::none && !setup->checking(); }, 100ms)) {
                loop.runPending();
                return true;
            }
            loop.advance(50ms);
        }
        return false;
    }
    std::vector<testing::FakeClaudeHome::Call> loginCalls() {
        std::vector<testing::FakeClaudeHome::Call> found;
        for (auto& call : home.calls()) {
            if (call.arguments.size() >= 2 && call.arguments[1] == "login") found.push_back(call);
        }
        return found;
    }

    testing::FakeClaudeHome home;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    std::shared_ptr<SetupState> setup = SetupState::make(SetupProbe::loginShell());
    int posts = 0;
    platform::runtime::NotificationCenter::Subscription observer =
        platform::runtime::NotificationCenter::defaultCenter().subscribe(std::string(SetupState::didChange),
                                                                         [this](const auto&) { ++posts; });
    size_t logStart = 0;
};

TEST_F(SetupJobsTest, InstallFetchesRunsAndLeadsToSignIn) {
    home.removeClaude();
    home.installCurl();
    setup->install();
    EXPECT_EQ(setup->job(), Job::installing);
    ASSERT_TRUE(finishJob());
    EXPECT_EQ(setup->stage(), Stage::needsLogin);
    EXPECT_EQ(setup->progress(), "\xE2\x9C\x93 Claude Code successfully installed!");
    EXPECT_EQ(setup->lastError(), std::nullopt);
    EXPECT_TRUE(logged("install: started"));
    EXPECT_TRUE(logged("install: exited 0, last line: \xE2\x9C\x93 Claude Code successfully installed!"));
    EXPECT_TRUE(fs::exists(home.claudePath()));
    const auto curl = home.curlCalls();
    ASSERT_EQ(curl.size(), 1u);
    EXPECT_EQ(curl[0].back(), SetupState::installerAddress());
    const std::vector<std::string> httpsOnly = {"--proto", "=https"};
    EXPECT_NE(std::search(curl[0].begin(), curl[0].end(), httpsOnly.begin(), httpsOnly.end()), curl[0].end());
    EXPECT_TRUE(temporaryEmpty());
    loop.runPending();
    EXPECT_GE(posts, 3);  // the start, the lines, the end
}

struct FailedInstallCase {
    const char* name;
    const char* variable;
    const char* value;
    int status;
    const char* lastLine;
    // The key of what the card says, then curl's own line when it has one.
    const char* errorKey;
    const char* message = nullptr;  // curl's error text, for FAKE_CURL_MESSAGE
    friend void PrintTo(const FailedInstallCase& c, std::ostream* os) { *os << c.name; }
};

class SetupFailedInstall : public SetupJobsTest, public ::testing::WithParamInterface<FailedInstallCase> {};

// Nothing of a failed or wrong download is run.
TEST_P(SetupFailedInstall, EndsWithItsStatusAndRunsNothing) {
    const auto& c = GetParam();
    home.removeClaude();
    home.installCurl();
    home.setVariable(c.variable, c.value);
    if (c.message) home.setVariable("FAKE_CURL_MESSAGE", c.message);
    setup->install();
    ASSERT_TRUE(finishJob());
    const std::string curlLine = std::string_view(c.lastLine).starts_with("curl: ") ? "\n" + std::string(c.lastLine) : "";
    EXPECT_EQ(setup->lastError(), t(c.errorKey) + curlLine);
    EXPECT_EQ(setup->progress(), c.lastLine);
    EXPECT_TRUE(logged("install: exited " + std::to_string(c.status) + ", last line: " + c.lastLine));
    EXPECT_EQ(setup->stage(), Stage::needsInstall);
    EXPECT_FALSE(fs::exists(home.claudePath()));
    EXPECT_FALSE(fs::exists(home.path() + "/served-page-ran"));
    EXPECT_TRUE(temporaryEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SetupFailedInstall,
    ::testing::Values(
        FailedInstallCase{"HttpError", "FAKE_CURL_FAIL", "22", 22, "curl: (22) The requested URL returned error: 404",
                          "ob_fail_http"},
        FailedInstallCase{"WebPage", "FAKE_CURL_SERVE", "html", 65, "install: download is not a script",
                          "ob_fail_not_script"},
        FailedInstallCase{"Empty", "FAKE_CURL_SERVE", "empty", 65, "install: download is not a script",
                          "ob_fail_not_script"},
        FailedInstallCase{"CutShort", "FAKE_CURL_SERVE", "cut", 18,
                          "curl: (18) transfer closed with outstanding read data remaining", "ob_fail_cut"},
        FailedInstallCase{"Offline", "FAKE_CURL_FAIL", "6", 6, "curl: (6) Could not resolve host: claude.ai",
                          "ob_fail_resolve", "Could not resolve host: claude.ai"}),
    [](const auto& info) { return std::string(info.param.name); });

struct CancelCase {
    const char* name;
    bool curlIgnoresTerm;
    friend void PrintTo(const CancelCase& c, std::ostream* os) { *os << c.name; }
};

class SetupCancelInstall : public SetupJobsTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(SetupCancelInstall, LeavesNothingOfItsGroup) {
    home.removeClaude();
    home.installCurl();
    home.setVariable("FAKE_CURL_HANG", "1");
    if (GetParam().curlIgnoresTerm) home.setVariable("FAKE_CURL_IGNORE_TERM", "1");
    setup->install();
    ASSERT_TRUE(waitFor([&] { return home.curlCalls().size() == 1; }));
    const pid_t group = setup->jobProcess();
    ASSERT_GT(group, 0);
    EXPECT_FALSE(groupMembers(group).empty());
    // A running job takes no other.
    setup->install();
    setup->login(false);
    setup->cancelJob();
    EXPECT_TRUE(logged("install: cancelled"));
    ASSERT_TRUE(finishJob());
    ASSERT_TRUE(setup->lastError());
    EXPECT_NE(*setup->lastError(), t("ob_failed_code", {0}));
    EXPECT_EQ(countLogged("install: started"), 1);
    EXPECT_EQ(countLogged("login: started"), 0);
    EXPECT_TRUE(loop.runUntil([&] { return groupMembers(group).empty(); }, 5s));
    EXPECT_TRUE(temporaryEmpty());
}

INSTANTIATE_TEST_SUITE_P(Cases, SetupCancelInstall,
                         ::testing::Values(CancelCase{"HangingDownload", false}, CancelCase{"DownloadIgnoringTerm", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SetupJobsTest, CancelWithoutAJobDoesNothing) {
    setup->cancelJob();
    EXPECT_EQ(countLogged("cancelled"), 0);
    loop.runPending();
    EXPECT_EQ(posts, 0);
}

TEST_F(SetupJobsTest, GoodCodeSignsIn) {
    setup->login(false);
    EXPECT_EQ(setup->job(), Job::loggingIn);
    ASSERT_TRUE(waitFor([&] { return setup->awaitingCode(); }));
    EXPECT_EQ(setup->progress(), "Paste code here if prompted >");
    ASSERT_TRUE(setup->loginURL());
    EXPECT_TRUE(setup->loginURL()->starts_with("https://claude.com/cai/oauth/authorize?code=true"));
    setup->submitCode("  good\n");
    EXPECT_FALSE(setup->awaitingCode());
    EXPECT_EQ(setup->progress(), t("ob_checking_code"));
    ASSERT_TRUE(finishJob());
    EXPECT_EQ(setup->stage(), Stage::ready);
    EXPECT_EQ(setup->email(), "a@b");
    EXPECT_EQ(setup->lastError(), std::nullopt);
    EXPECT_EQ(setup->progress(), "");
    EXPECT_TRUE(setup->loginURL());
    const auto calls = loginCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].arguments, (std::vector<std::string>{"auth", "login"}));
    EXPECT_EQ(calls[0].input, "good\n");
    EXPECT_TRUE(logged("login: started"));
    EXPECT_TRUE(logged("login: exited 0"));
    EXPECT_TRUE(logged("setup stage: ready (a@b)"));
}

TEST_F(SetupJobsTest, TerminalFormGivesTheBareAddress) {
    home.setVariable("FAKE_CLAUDE_LOGIN_TERMINAL", "1");
    setup->login(true);
    ASSERT_TRUE(waitFor([&] { return setup->awaitingCode(); }));
    ASSERT_TRUE(setup->loginURL());
    EXPECT_TRUE(setup->loginURL()->starts_with("https://platform.claude.com/oauth/authorize?"));
    EXPECT_EQ(setup->loginURL()->find('\x1b'), std::string::npos);
    EXPECT_TRUE(logged("login: started (console)"));
    setup->cancelJob();
    EXPECT_TRUE(logged("login: cancelled"));
    ASSERT_TRUE(finishJob());
    EXPECT_EQ(setup->lastError(), t("ob_login_failed"));
    EXPECT_EQ(loginCalls().at(0).arguments, (std::vector<std::string>{"auth", "login", "--console"}));
}

TEST_F(SetupJobsTest, CodeFieldOfferedAfterFiveSecondsWithoutPrompt) {
    home.setVariable("FAKE_CLAUDE_LOGIN_QUIET", "1");
    setup->login(false);
    ASSERT_TRUE(waitFor([&] { return setup->loginURL().has_value(); }));
    EXPECT_FALSE(setup->awaitingCode());
    loop.advance(SetupState::codeOfferDelay - 1ms);
    EXPECT_FALSE(setup->awaitingCode());
    const int before = posts;
    loop.advance(1ms);
    loop.runPending();
    EXPECT_TRUE(setup->awaitingCode());
    EXPECT_EQ(posts, before + 1);

    setup->submitCode("bad");
    ASSERT_TRUE(finishJob());
    EXPECT_EQ(setup->lastError(), t("ob_login_failed"));
    EXPECT_EQ(setup->stage(), Stage::needsLogin);
    EXPECT_TRUE(logged("login: exited 1"));
    // Too late: nothing is written and nothing changes.
    const int after = posts;
    setup->submitCode("good");
    loop.runPending();
    EXPECT_EQ(posts, after);
    EXPECT_EQ(loginCalls().at(0).input, "bad\n");
    EXPECT_EQ(countLogged("could not send code"), 0);
}

TEST_F(SetupJobsTest, CodeThatCannotBeSentIsOnlyLogged) {
    setup->login(false);
    ASSERT_TRUE(waitFor([&] { return setup->awaitingCode(); }));
    setup->submitCode(std::string(JobRun::maxInput, 'c'));
    EXPECT_TRUE(logged("login: could not send code (Message too long)"));
    EXPECT_TRUE(setup->awaitingCode());
    setup->submitCode(" \t\n");
    EXPECT_TRUE(setup->awaitingCode());
    EXPECT_EQ(countLogged("could not send code"), 1);
}

}  // namespace
}  // namespace quiltdeck
