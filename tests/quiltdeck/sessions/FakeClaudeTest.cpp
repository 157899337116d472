// The fake assistant CLI keeps the contract the application relies on.

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>

#include "quiltdeck/sessions/ProcessCapture.h"
#include "support/FakeClaudeHome.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

struct FakeCase {
    const char* name;
    std::vector<std::string> arguments;
    std::vector<std::string> environment;
    int32_t status;
    std::string output;  // a part of standard output
    friend void PrintTo(const FakeCase& c, std::ostream* os) { *os << c.name; }
};

class FakeClaude : public ::testing::TestWithParam<FakeCase> {};

TEST_P(FakeClaude, AnswersLikeTheCli) {
    const auto& c = GetParam();
    testing::FakeClaudeHome home;
    // A conversation of the folder /tmp, as the CLI files it.
    std::filesystem::create_directories(home.path() + "/.claude/projects/-tmp");
    std::ofstream(home.path() + "/.claude/projects/-tmp/known.jsonl") << "{}\n";
    platform::runtime::ChildProcess::Options process;
    process.arguments = c.arguments;
    process.arguments.insert(process.arguments.begin(), home.claudePath());
    process.directory = "/tmp";
    process.environment = c.environment;
    process.environment->push_back("HOME=" + home.path());
    const auto result = ProcessCapture::run(process, 30s);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
    EXPECT_NE(result->output.find(c.output), std::string::npos) << result->output;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FakeClaude,
    ::testing::Values(
        FakeCase{"HelpListsFlags", {"--help"}, {}, 0, "  --permission-mode <mode>"},
        FakeCase{"HelpListsNoPersistence", {"--help"}, {}, 0, "  --no-session-persistence "},
        FakeCase{"HelpListsTools", {"--help"}, {}, 0, "  --tools <tools...>"},
        FakeCase{"SignedIn", {"auth", "status", "--json"}, {"ANTHROPIC_API_KEY=k"}, 0,
                 "\"loggedIn\": true,\n  \"authMethod\": \"api_key\",\n  \"apiKeySource\": \"ANTHROPIC_API_KEY\""},
        FakeCase{"SignedOut", {"auth", "status", "--json"}, {}, 1, "\"loggedIn\": false,\n  \"authMethod\": \"none\""},
        FakeCase{"ScriptedAnswer", {"-p"}, {"FAKE_CLAUDE_ANSWER=hello"}, 0, "hello\n"},
        // A reply's command runs where nothing refuses it, as with the CLI.
        FakeCase{"AskedCommandRuns", {"-p"}, {"FAKE_CLAUDE_RUN=echo ran-$((6*7))"}, 0, "ran-42\nfake answer\n"},
        FakeCase{"PermissionMode", {"-p", "--permission-mode", "dontAsk"}, {}, 0, "fake answer\n"},
        FakeCase{"BadPermissionMode", {"-p", "--permission-mode", "yolo"}, {}, 1, ""},
        FakeCase{"ResumeKnown", {"-p", "--resume", "known"}, {}, 0, "fake answer\n"},
        FakeCase{"ResumeGone", {"-p", "--resume", "gone"}, {}, 1, "No conversation found with session ID: gone\n"},
        FakeCase{"DroppedFlagRefused", {"-p", "--chrome"}, {"FAKE_CLAUDE_HELP_DROP=--chrome"}, 1, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// A one-shot run files its conversation as the CLI does, unless told not to.
TEST(FakeClaudePersistence, APrintRunSavesItsConversationUnlessToldNot) {
    for (const bool persist : {true, false}) {
        testing::FakeClaudeHome home;
        platform::runtime::ChildProcess::Options process;
        process.arguments = {home.claudePath(), "-p"};
        if (!persist) process.arguments.push_back("--no-session-persistence");
        process.directory = "/tmp";
        process.environment = std::vector<std::string>{"HOME=" + home.path()};
        const auto result = ProcessCapture::run(process, 30s);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, 0);
        size_t files = 0;
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(home.path() + "/.claude/projects", error);
             !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error))
            files += it->is_regular_file();
        EXPECT_EQ(files, persist ? 1u : 0u) << persist;
    }
}

// The conversation folder's key: one '-' for each character that is not an
// ASCII letter or digit, whatever its length in UTF-8.
TEST(FakeClaudeResume, FindsConversationsUnderTheFolderKey) {
    testing::FakeClaudeHome home;
    const std::string folder = home.path() + "/my_app.v2 \u00F6\U0001F600";
    std::filesystem::create_directories(folder);
    std::string key;
    for (char c : home.path()) key += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    key += "-my-app-v2---";
    std::filesystem::create_directories(home.path() + "/.claude/projects/" + key);
    std::ofstream(home.path() + "/.claude/projects/" + key + "/known.jsonl") << "{}\n";
    for (const auto& [id, status] : {std::pair{"known", 0}, std::pair{"gone", 1}}) {
        platform::runtime::ChildProcess::Options process;
        process.arguments = {home.claudePath(), "-p", "--resume", id};
        process.directory = folder;
        process.environment = std::vector<std::string>{"HOME=" + home.path()};
        const auto result = ProcessCapture::run(process, 30s);
        ASSERT_TRUE(result);
        EXPECT_EQ(result->status, status) << id << ": " << result->output;
    }
}

}  // namespace
}  // namespace quiltdeck
