#include "quiltdeck/sessions/SessionLaunch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/HookTexts.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/ShellCommand.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

const std::string id = "0A1B2C3D-0000-4000-8000-000000000001";
const std::string prefix = std::string(ShellCommand::pathExport) + SessionLaunch::missingAssistantGuard("/bin/bash");

std::string q(const std::string& word) { return ShellCommand::quoteForShell(word); }

SessionLaunch::Assistant tile() {
    SessionLaunch::Assistant assistant;
    assistant.id = id;
    assistant.name = "it's mine";
    assistant.hookPort = 7790;
    assistant.permissionMode = "manual";
    return assistant;
}

using Flags = std::vector<std::string>;

struct CommandCase {
    const char* name;
    std::function<void(SessionLaunch::Assistant&)> change;
    std::optional<Flags> probedFlags;  // none: not probed yet
    std::string words;  // after the path export and the guard
    friend void PrintTo(const CommandCase& c, std::ostream* os) { *os << c.name; }
};

const std::string settings = " --settings " + q(HookTexts::hookSettings(id, 7790));
const std::string prompt = HookTexts::tilePrompt(id, 7790);

class AssistantCommand : public ::testing::TestWithParam<CommandCase> {};

TEST_P(AssistantCommand, WritesOnlyTheAllowedFlags) {
    auto assistant = tile();
    if (GetParam().change) GetParam().change(assistant);
    ClaudeCapabilities::Snapshot capabilities;
    capabilities.probed = GetParam().probedFlags.has_value();
    for (const auto& flag : GetParam().probedFlags.value_or(Flags{})) capabilities.flags.insert(flag);
    EXPECT_EQ(SessionLaunch::assistantCommand(assistant, capabilities, "/bin/bash"),
              prefix + GetParam().words);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AssistantCommand,
    ::testing::Values(
        CommandCase{"EveryFlagBeforeTheProbe",
                    [](auto& a) {
                        a.resumeId = "abc";
                        a.browserBinding = "BROWSER";
                    },
                    std::nullopt,
                    "exec claude -n 'it'\\''s mine'" + settings +
                        " --resume 'abc' --permission-mode 'manual' --chrome --append-system-prompt " +
                        q(prompt + "\n\nBROWSER")},
        CommandCase{"OnlySettingsAndPrompt", [](auto& a) { a.browserBinding = "BROWSER"; },
                    Flags{"--settings", "--append-system-prompt"},
                    "exec claude" + settings + " --append-system-prompt " + q(prompt)},
        CommandCase{"NothingAllowed", nullptr, Flags{}, "exec claude"},
        CommandCase{"LongNameFlagWritesShortOne", nullptr, Flags{"--name"}, "exec claude -n 'it'\\''s mine'"},
        CommandCase{"ContinueLatest",
                    [](auto& a) {
                        a.continueLatest = true;
                        a.latestSessionId = [] { return std::optional<std::string>("newest"); };
                    },
                    Flags{"--resume"}, "exec claude --resume 'newest'"},
        CommandCase{"ContinueWithoutConversation",
                    [](auto& a) {
                        a.continueLatest = true;
                        a.latestSessionId = [] { return std::optional<std::string>(); };
                    },
                    Flags{"--resume"}, "exec claude"},
        CommandCase{"ResumeRefused", [](auto& a) { a.resumeId = "abc"; }, Flags{"-n"},
                    "exec claude -n 'it'\\''s mine'"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SessionLaunchTest, ExactTexts) {
    EXPECT_EQ(SessionLaunch::missingAssistantGuard("/bin/zsh"),
              "if ! command -v claude >/dev/null 2>&1; then echo; echo '  Claude Code is not installed on this "
              "computer.'; echo '  Install it with:  curl -fsSL --connect-timeout 15 --max-time 600 "
              "https://claude.ai/install.sh | bash'; echo '  then sign in with:  claude auth login'; echo; exec "
              "/bin/zsh -i; fi; ");
    EXPECT_EQ(SessionLaunch::shellCommand(std::nullopt, "/bin/zsh"), "exec /bin/zsh -i");
    EXPECT_EQ(SessionLaunch::shellCommand(std::nullopt, "/opt/my shells/zsh"), "exec '/opt/my shells/zsh' -i");
    EXPECT_EQ(SessionLaunch::shellCommand("make test", "/bin/bash"),
              std::string(ShellCommand::pathExport) +
                  "echo; echo '  $ ''make test'; echo; make test; code=$?; echo; if [ $code -eq 0 ]; then echo "
                  "'  done.'; else echo \"  exited with code $code\"; fi; echo; exec /bin/bash -i");
}

// The command is shown as typed, quotes and all, and runs once.
TEST(SessionLaunchTest, ShellTileShowsRunsAndReportsTheCommand) {
    testing::TempFolder home;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"printf '%s\\n' \"it's\"", "\n  $ printf '%s\\n' \"it's\"\n\nit's\n\n  done.\n\n"},
        {"echo a'; echo b", ""},  // a broken command: the shell refuses it, nothing of it runs
        {"false", "\n  $ false\n\n\n  exited with code 1\n\n"},
    };
    for (const auto& [command, output] : cases) {
        platform::runtime::ChildProcess::Options process;
        process.arguments = {"/bin/bash", "-c", SessionLaunch::shellCommand(command, "/bin/true")};
        process.environment = std::vector<std::string>{"HOME=" + home.path().string(), "PATH=/usr/bin:/bin"};
        const auto result = ProcessCapture::run(process, 30s);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->output, output) << command;
        EXPECT_EQ(result->output.find("b\n"), std::string::npos);
    }
}

TEST(SessionLaunchTest, EnvironmentOrder) {
    const auto env = SessionLaunch::environment("T-1", false);
    ASSERT_GE(env.size(), 6u);
    EXPECT_EQ(env[0], "TERM=xterm-256color");
    EXPECT_EQ(env[1], "COLORTERM=truecolor");
    EXPECT_EQ(env[2], "LANG=C.UTF-8");
    EXPECT_EQ(std::vector<std::string>(env.end() - 3, env.end()),
              (std::vector<std::string>{"COLORTERM=truecolor", "QUILTDECK=1", "QUILTDECK_SESSION=T-1"}));
    EXPECT_EQ(SessionLaunch::environment("T-1", true)[2], "LANG=en_US.UTF-8");
    EXPECT_EQ(SessionLaunch::environment("T-1")[2],
              SessionLaunch::localeInstalled("en_US.UTF-8") ? "LANG=en_US.UTF-8" : "LANG=C.UTF-8");
    EXPECT_FALSE(SessionLaunch::localeInstalled("xx_NOWHERE.UTF-8"));
}

TEST(SessionLaunchTest, LatestConversationOfAFolder) {
    EXPECT_EQ(SessionLaunch::folderKey("/Users/a.b/my_app"), "-Users-a-b-my-app");
    EXPECT_EQ(SessionLaunch::folderKey("/tmp/caf\xC3\xA9 x"), "-tmp-caf--x");
    EXPECT_EQ(SessionLaunch::folderKey("/\xE6\x97\xA5\xF0\x9F\x98\x80"), "---");
    testing::TempFolder home;
    EXPECT_EQ(SessionLaunch::latestSessionId("/w/p", home.path()), std::nullopt);
    const auto folder = home.path() / ".claude/projects/-w-p";
    const std::vector<std::pair<std::string, time_t>> files = {
        {"old.jsonl", 1000}, {"new.jsonl", 3000}, {"newer.txt", 5000}, {".jsonl", 6000}, {"mid.jsonl", 2000}};
    for (const auto& [name, seconds] : files) {
        testing::makeFile(folder / name, "{}\n");
        const timespec times[2] = {{seconds, 0}, {seconds, 0}};
        ::utimensat(AT_FDCWD, (folder / name).c_str(), times, 0);
    }
    EXPECT_EQ(SessionLaunch::latestSessionId("/w/p", home.path()), "new");
    EXPECT_EQ(SessionLaunch::latestSessionId("/w/q", home.path()), std::nullopt);
}

}  // namespace
}  // namespace quiltdeck
