#include "quiltdeck/sessions/ShellCommand.h"

#include <gtest/gtest.h>

#include "quiltdeck/sessions/ProcessCapture.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

struct QuoteCase {
    const char* name;
    std::string word;
    std::string quoted;
    friend void PrintTo(const QuoteCase& c, std::ostream* os) { *os << c.name; }
};

class ShellQuoting : public ::testing::TestWithParam<QuoteCase> {};

// Each word is one shell word that the shell gives back unchanged.
TEST_P(ShellQuoting, QuotesAndSurvivesTheShell) {
    const auto& c = GetParam();
    EXPECT_EQ(ShellCommand::quoteForShell(c.word), c.quoted);
    platform::runtime::ChildProcess::Options process;
    process.arguments = {"/bin/sh", "-c", "printf '%s|' " + c.quoted};
    const auto result = ProcessCapture::run(process, 10s);
    ASSERT_TRUE(result);
    std::string expected = c.word;
    std::erase(expected, '\0');
    EXPECT_EQ(result->output, expected + "|");
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellQuoting,
                         ::testing::Values(QuoteCase{"Empty", "", "''"}, QuoteCase{"Quote", "a'b", "'a'\\''b'"},
                                           QuoteCase{"OnlyQuotes", "''", "''\\'''\\'''"},
                                           QuoteCase{"Specials", "$HOME `id` \"x\" \\n; *", "'$HOME `id` \"x\" \\n; *'"},
                                           QuoteCase{"LineFeed", "two\nlines", "'two\nlines'"},
                                           QuoteCase{"Nul", std::string("cut\0off", 7), "'cutoff'"}));

struct ShellChoiceCase {
    const char* environmentShell;
    const char* accountShell;
    const char* chosen;
    friend void PrintTo(const ShellChoiceCase& c, std::ostream* os) { *os << c.chosen; }
};

class ShellChoice : public ::testing::TestWithParam<ShellChoiceCase> {};

TEST_P(ShellChoice, KnownExecutableShellsOnly) {
    const auto& c = GetParam();
    EXPECT_EQ(ShellCommand::chooseShell(c.environmentShell, c.accountShell), c.chosen);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShellChoice,
                         ::testing::Values(ShellChoiceCase{"/bin/dash", "/bin/sh", "/bin/dash"},
                                           ShellChoiceCase{nullptr, "/bin/sh", "/bin/sh"},
                                           ShellChoiceCase{"/usr/bin/fish", "/bin/sh", "/bin/sh"},
                                           ShellChoiceCase{"/nonexistent/zsh", nullptr, "/bin/bash"},
                                           ShellChoiceCase{"bash", "/usr/sbin/nologin", "/bin/bash"},
                                           ShellChoiceCase{"", "", "/bin/bash"}));

TEST(ShellCommandTest, LoginShellArgumentsRunTheTextWithDashLc) {
    const auto arguments = ShellCommand::loginShellArguments("echo hi");
    ASSERT_EQ(arguments.size(), 3u);
    EXPECT_EQ(arguments[0], ShellCommand::loginShell());
    EXPECT_EQ(arguments[1], "-lc");
    EXPECT_EQ(arguments[2], "echo hi");
}

}  // namespace
}  // namespace quiltdeck
