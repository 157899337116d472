#include "quiltdeck/sessions/ClaudeCLI.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/sessions/Browsers.h"
#include "quiltdeck/sessions/Defaults.h"
#include "quiltdeck/shell/StateFolder.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

TEST(ClaudeCLICommand, WritesOnlyAllowedFlagsAndQuotesTools) {
    const std::string start = std::string(ShellCommand::pathExport) + " exec claude -p";
    const std::string model = " --model 'claude-haiku-4-5-20251001'";
    const ClaudeCapabilities::Snapshot unprobed, nothing{true, {}},
        withoutStrict{true, {"--chrome", "--model", "--disable-slash-commands", "--allowedTools", "--tools"}},
        withoutTools{true, {"--allowedTools"}};
    EXPECT_EQ(ClaudeCLI::oneShotCommand({"a'b", "mcp__x"}, true, unprobed),
              start + " --chrome" + model +
                  " --strict-mcp-config --disable-slash-commands --no-session-persistence --tools '' --allowedTools "
                  "'a'\\''b' 'mcp__x'");
    EXPECT_EQ(ClaudeCLI::oneShotCommand({"t"}, true, withoutStrict),
              start + " --chrome" + model + " --disable-slash-commands --tools '' --allowedTools 't'");
    EXPECT_EQ(ClaudeCLI::oneShotCommand({}, false, unprobed),
              start + model + " --strict-mcp-config --disable-slash-commands --no-session-persistence --tools ''");
    // Without --tools the CLI's own tools are denied by name, listed or not, the browser's still allowed.
    for (const auto& [capabilities, end] : {std::pair{withoutTools, " SlashCommand --allowedTools 't'"},
                                            std::pair{nothing, " SlashCommand"}}) {
        const std::string denied = ClaudeCLI::oneShotCommand({"t"}, true, capabilities);
        EXPECT_EQ(denied.find(start + " --disallowedTools Bash BashOutput KillShell Read Write Edit"), 0u) << denied;
        EXPECT_TRUE(denied.ends_with(end)) << denied;
    }
    EXPECT_EQ(start.substr(start.size() - 17), ";  exec claude -p");
}

class ClaudeCLITest : public ::testing::Test {
protected:
    ClaudeCLITest() { ClaudeCapabilities::reset(); }

    ClaudeCLI::Reply ask(const std::string& prompt, platform::runtime::Duration timeout = 60s) {
        bool done = false;
        ClaudeCLI::Reply answer;
        ClaudeCLI::oneShot(prompt, {"a'b"}, true, timeout, [&](ClaudeCLI::Reply reply) {
            EXPECT_TRUE(loop.isLoopThread());
            answer = std::move(reply);
            done = true;
        });
        EXPECT_TRUE(loop.runUntil([&] { return done; }, 60s));
        return answer;
    }
    // The flags of the fake as it is set up now, not as a cached answer for its program file says.
    void probeAfresh() {
        ClaudeCapabilities::reset();
        Defaults::standard().remove("claude.flags." + ClaudeCapabilities::binaryKey().value_or(""));
        bool probed = false;
        ClaudeCapabilities::probe([&] { probed = true; });
        ASSERT_TRUE(loop.runUntil([&] { return probed; }, 60s));
    }

    testing::FakeClaudeHome home;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
};

TEST_F(ClaudeCLITest, TheCliGetsThePromptByteForByteInTheDropsFolder) {
    std::string prompt = "Line one\nit's \"quoted\" $HOME `x` \xc3\xa9\n";
    while (prompt.size() < 200000) prompt += "long prompt past the pipe buffer\n";
    EXPECT_EQ(ask(prompt).answer, "fake answer\n");
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].arguments,
              (std::vector<std::string>{"-p", "--chrome", "--model", "claude-haiku-4-5-20251001", "--strict-mcp-config",
                                        "--disable-slash-commands", "--no-session-persistence", "--tools", "",
                                        "--allowedTools", "a'b"}));
    EXPECT_EQ(calls[0].folder, std::filesystem::canonical(StateFolder::path() / "drops").string());
    EXPECT_EQ(calls[0].input, prompt);
}

TEST_F(ClaudeCLITest, TimeOutGivesNothingWithTheInputClosed) {
    home.setVariable("FAKE_CLAUDE_DELAY", "30");
    const ClaudeCLI::Reply reply = ask("slow question", 1s);
    EXPECT_EQ(reply.answer, std::nullopt);
    EXPECT_EQ(reply.failure, ClaudeCLI::Failure::timedOut);
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input, "slow question");  // read to its end before the wait
}

TEST_F(ClaudeCLITest, ACliThatExitsWithoutReadingALongPromptIsAFailedRun) {
    // It leaves once the prompt is being written; the prompt is longer than a pipe holds, so the
    // write meets a reader that is gone.
    home.setVariable("FAKE_CLAUDE_UNREAD", "0.3");
    const std::string prompt(100 * 1024, 'p');
    for (int run = 0; run < 3; ++run) EXPECT_EQ(ask(prompt).answer, std::nullopt);
    EXPECT_EQ(home.calls().size(), 3u);
}

// The app's own questions never show up among the user's conversations: asked not to save one
// where the CLI lists the flag, cleared from the app's folder where it does not.
TEST_F(ClaudeCLITest, TitleRunsLeaveNoConversationFiles) {
    const struct {
        const char* name;
        const char* dropped;
        bool flagPassed;
    } cases[] = {{"listed", "", true}, {"not listed", "--no-session-persistence", false}};
    const std::filesystem::path projects = std::filesystem::path(home.path()) / ".claude" / "projects";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        home.setVariable("FAKE_CLAUDE_HELP_DROP", c.dropped);
        home.setVariable("FAKE_CLAUDE_ANSWER", "1: Shop E-mails");
        probeAfresh();
        const size_t before = home.calls().size();
        int answered = 0;
        for (int run = 0; run < 20; ++run) {
            ClaudeCLI::oneShot("Below is one Claude Code terminal session.\n### 1\nfix the invoices " +
                                   std::to_string(run) + "\n",
                               {}, false, 60s, [&](ClaudeCLI::Reply reply) {
                                   EXPECT_EQ(reply.answer, "1: Shop E-mails\n");
                                   ++answered;
                               });
        }
        ASSERT_TRUE(loop.runUntil([&] { return answered == 20; }, 120s));
        const auto calls = home.calls();
        ASSERT_EQ(calls.size(), before + 20);
        for (size_t i = before; i < calls.size(); ++i) {
            const auto& arguments = calls[i].arguments;
            EXPECT_EQ(std::count(arguments.begin(), arguments.end(), "--no-session-persistence"), c.flagPassed ? 1 : 0);
        }
        std::vector<std::string> left;
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(projects, error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            left.push_back(it->path().string());
        EXPECT_TRUE(left.empty()) << left.front();
    }
}

// A reply that asks for a command runs nothing, in a title run or a browser-list run: the CLI's
// own tools are taken away where it lists --tools, denied by name where it does not (a CLI that
// knows neither flag refuses the run); the browser run keeps its browser tool.
TEST_F(ClaudeCLITest, ARepliesCommandNeverRuns) {
    const std::string marker = home.path() + "/ran";
    home.setVariable("FAKE_CLAUDE_RUN", "touch " + marker);
    const struct {
        const char* dropped;
        const char* refusal;  // and the first word after it
        const char* first;
    } cases[] = {{"", "--tools", ""},
                 {"--tools", "--disallowedTools", "Bash"},
                 {"--tools,--disallowedTools", "--disallowedTools", "Bash"}};
    auto browsers = Browsers::create({});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dropped);
        home.setVariable("FAKE_CLAUDE_HELP_DROP", c.dropped);
        probeAfresh();
        const size_t before = home.calls().size();
        bool named = false;
        ClaudeCLI::oneShot("name this", {}, false, 60s, [&](ClaudeCLI::Reply) { named = true; });
        ASSERT_TRUE(loop.runUntil([&] { return named; }, 60s));
        EXPECT_FALSE(std::filesystem::exists(marker));
        browsers->refresh(true);
        ASSERT_TRUE(loop.runUntil([&] { return !browsers->busy(); }, 60s));
        EXPECT_FALSE(std::filesystem::exists(marker));
        const auto calls = home.calls();
        ASSERT_EQ(calls.size(), before + 2);
        for (size_t i = before; i < calls.size(); ++i) {
            const auto& arguments = calls[i].arguments;
            EXPECT_EQ(std::count(arguments.begin(), arguments.end(), "--tools") +
                          std::count(arguments.begin(), arguments.end(), "--disallowedTools"),
                      1);
            const auto refusal = std::find(arguments.begin(), arguments.end(), c.refusal);
            ASSERT_TRUE(refusal < arguments.end() - 1);
            EXPECT_EQ(refusal[1], c.first);
        }
        const auto& list = calls[before + 1].arguments;
        const auto allowed = std::find(list.begin(), list.end(), "--allowedTools");
        ASSERT_TRUE(allowed < list.end() - 1);
        EXPECT_EQ(allowed[1], Browsers::listTool);
    }
}

// Only the app's own folder is cleared: the user's conversations elsewhere stay.
TEST_F(ClaudeCLITest, ClearsOnlyTheConversationsOfItsOwnFolder) {
    const std::filesystem::path projects = std::filesystem::path(home.path()) / ".claude" / "projects";
    const std::filesystem::path drops = StateFolder::path() / "drops";
    std::filesystem::create_directories(drops);
    const std::filesystem::path own = ClaudeCLI::conversationsOf(drops, home.path());
    EXPECT_EQ(own.parent_path(), projects);
    const std::filesystem::path user = projects / "-home-user-work";
    for (const auto& folder : {own, user}) {
        std::filesystem::create_directories(folder / "subagents");
        std::ofstream(folder / "a.jsonl") << "{}\n";
    }
    ClaudeCLI::removeConversations(drops);
    EXPECT_FALSE(std::filesystem::exists(own));
    EXPECT_TRUE(std::filesystem::exists(user / "a.jsonl"));
    EXPECT_TRUE(std::filesystem::exists(user / "subagents"));
    // Through a link the CLI sees the real folder, and so does the clearing.
    const std::filesystem::path link = std::filesystem::path(home.path()) / "drops-link";
    std::filesystem::create_directory_symlink(drops, link);
    EXPECT_EQ(ClaudeCLI::conversationsOf(link, home.path()), own);
}

struct FailureCase {
    const char* variable;  // empty: no CLI installed
    const char* value;
    ClaudeCLI::Failure failure;  // what the reply says of it
};

class ClaudeCLIFailure : public ClaudeCLITest, public ::testing::WithParamInterface<FailureCase> {};

// No answer, and why: so that the one who asked can tell the user.
TEST_P(ClaudeCLIFailure, GivesNothing) {
    if (*GetParam().variable) home.setVariable(GetParam().variable, GetParam().value);
    else home.removeClaude();
    const ClaudeCLI::Reply reply = ask("question");
    EXPECT_EQ(reply.answer, std::nullopt);
    EXPECT_EQ(reply.failure, GetParam().failure);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClaudeCLIFailure,
                         ::testing::Values(FailureCase{"FAKE_CLAUDE_EXIT", "2", ClaudeCLI::Failure::failed},
                                           FailureCase{"FAKE_CLAUDE_ANSWER", "\xff", ClaudeCLI::Failure::failed},
                                           FailureCase{"FAKE_CLAUDE_HELP_DROP", "--chrome", ClaudeCLI::Failure::failed},
                                           FailureCase{"", "", ClaudeCLI::Failure::missing}),
                         [](const auto& info) {
                             return std::string(*info.param.variable ? info.param.variable + 12 : "NOT_INSTALLED");
                         });

}  // namespace
}  // namespace quiltdeck
