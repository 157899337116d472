#include "quiltdeck/sessions/ClaudeCLI.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/sessions/Store.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view exportPart =
    "export PATH=\"$PATH:/opt/homebrew/bin:/usr/local/bin:$HOME/.local/bin:$HOME/.npm-global/bin:"
    "$HOME/.claude/local/bin\"; ";

struct CommandCase {
    const char* name;
    std::vector<std::string> tools;
    bool chrome;
    std::optional<std::set<std::string>> probedFlags;  // none: not probed yet
    std::string after;  // the text after the path export
    friend void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
};

class OneShotCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(OneShotCommand, WritesOnlyAllowedFlagsAndQuotesTools) {
    const auto& c = GetParam();
    ClaudeCapabilities::Snapshot capabilities;
    if (c.probedFlags) capabilities = {true, *c.probedFlags};
    EXPECT_EQ(ClaudeCLI::oneShotCommand(c.tools, c.chrome, capabilities), std::string(exportPart) + c.after);
}

const std::set<std::string> withoutStrict = {"--chrome", "--model", "--disable-slash-commands", "--allowedTools"};

INSTANTIATE_TEST_SUITE_P(
    Cases, OneShotCommand,
    ::testing::Values(
        CommandCase{"Unprobed", {"a'b", "mcp__x"}, true, std::nullopt,
                    " exec claude -p --chrome --model 'claude-haiku-4-5-20251001' --strict-mcp-config "
                    "--disable-slash-commands --allowedTools 'a'\\''b' 'mcp__x'"},
        CommandCase{"ProbedWithoutStrictConfig", {"t"}, true, withoutStrict,
                    " exec claude -p --chrome --model 'claude-haiku-4-5-20251001' --disable-slash-commands "
                    "--allowedTools 't'"},
        CommandCase{"NoToolsNoChrome", {}, false, std::nullopt,
                    " exec claude -p --model 'claude-haiku-4-5-20251001' --strict-mcp-config "
                    "--disable-slash-commands"},
        CommandCase{"NothingAllowed", {"t"}, true, std::set<std::string>{}, " exec claude -p"}),
    [](const auto& info) { return std::string(info.param.name); });

class ClaudeCLITest : public ::testing::Test {
protected:
    ClaudeCLITest() { ClaudeCapabilities::reset(); }

    std::optional<std::string> ask(const std::string& prompt, platform::runtime::Duration timeout = 60s) {
        bool done = false;
        std::optional<std::string> answer;
        ClaudeCLI::oneShot(prompt, {"a'b"}, true, timeout, [&](std::optional<std::string> text) {
            EXPECT_TRUE(loop.isLoopThread());
            answer = std::move(text);
            done = true;
        });
        EXPECT_TRUE(loop.runUntil([&] { return done; }, 60s));
        return answer;
    }

    testing::FakeClaudeHome home;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
};

TEST_F(ClaudeCLITest, TheCliGetsThePromptByteForByteInTheDropsFolder) {
    std::string prompt = "Line one\nit's \"quoted\" $HOME `x` \xc3\xa9\n";
    while (prompt.size() < 200000) prompt += "long prompt past the pipe buffer\n";
    EXPECT_EQ(ask(prompt), "fake answer\n");
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].arguments,
              (std::vector<std::string>{"-p", "--chrome", "--model", "claude-haiku-4-5-20251001", "--strict-mcp-config",
                                        "--disable-slash-commands", "--allowedTools", "a'b"}));
    EXPECT_EQ(calls[0].folder, std::filesystem::canonical(Store::processDir() / "drops").string());
    EXPECT_EQ(calls[0].input, prompt);
}

TEST_F(ClaudeCLITest, TimeOutGivesNothingWithTheInputClosed) {
    home.setVariable("FAKE_CLAUDE_DELAY", "30");
    EXPECT_EQ(ask("slow question", 1s), std::nullopt);
    const auto calls = home.calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].input, "slow question");  // read to its end before the wait
}

struct FailureCase {
    const char* name;
    const char* variable;
    const char* value;
    friend void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }
};

class ClaudeCLIFailure : public ClaudeCLITest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(ClaudeCLIFailure, GivesNothing) {
    if (*GetParam().variable) home.setVariable(GetParam().variable, GetParam().value);
    else home.removeClaude();
    EXPECT_EQ(ask("question"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClaudeCLIFailure,
                         ::testing::Values(FailureCase{"NonZeroExit", "FAKE_CLAUDE_EXIT", "2"},
                                           FailureCase{"NotUtf8", "FAKE_CLAUDE_ANSWER", "\xff\xfe"},
                                           FailureCase{"RefusedFlag", "FAKE_CLAUDE_HELP_DROP", "--chrome"},
                                           FailureCase{"NotInstalled", "", ""}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quiltdeck
