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
                                           QuoteCase{"Nul", std::string("cut\0off", 7), "'cutoff'"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ShellCommandTest, LoginShellIsAKnownExecutableShellOrBash) {
    const char* cases[][3] = {{"/bin/dash", "/bin/sh", "/bin/dash"},       {nullptr, "/bin/sh", "/bin/sh"},
                              {"/usr/bin/fish", "/bin/sh", "/bin/sh"},     {"/nonexistent/zsh", nullptr, "/bin/bash"},
                              {"bash", "/usr/sbin/nologin", "/bin/bash"}, {"", "", "/bin/bash"}};
    for (const auto& c : cases) EXPECT_EQ(ShellCommand::chooseShell(c[0], c[1]), c[2]) << (c[0] ? c[0] : "null");
}

}  // namespace
}  // namespace quiltdeck
