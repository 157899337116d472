#include "quiltdeck/shell/LaunchOptions.h"

#include <gtest/gtest.h>

namespace quiltdeck {
namespace {

TEST(LaunchOptionsTest, StartupFolders) {
    const std::filesystem::path home = "/home/ann";
    const struct {
        const char* value;
        std::vector<std::filesystem::path> folders;
    } cases[] = {
        {"~/a, ~/b,,", {"/home/ann/a", "/home/ann/b"}},
        {"", {}},
        {" , ,", {}},
        {"/srv/x,/srv/y", {"/srv/x", "/srv/y"}},
        {"~", {"/home/ann"}},
        {"~/", {"/home/ann"}},
        {"\t~/a b \n", {"/home/ann/a b"}},
        // Another user's home is not ours to guess: the text stays as written.
        {"~bob/x", {"~bob/x"}},
        {"~bob", {"~bob"}},
        {"a~/x", {"a~/x"}},
    };
    for (const auto& test : cases) EXPECT_EQ(startupFolders(test.value, home), test.folders) << test.value;
}

TEST(LaunchOptionsTest, SnapshotDelayIsTheWholeValueAsANumber) {
    const struct {
        std::optional<std::string> value;
        double seconds;
    } cases[] = {
        {std::nullopt, 6.0}, {"2.5", 2.5},  {" 2.5", 6.0}, {"2.5s", 6.0},  {"2.5 ", 6.0}, {"", 6.0},
        {"0", 0.0},          {"10", 10.0},  {"nan", 6.0},  {"inf", 6.0},   {"-3", 0.0},   {"1e1", 10.0},
    };
    for (const auto& test : cases) EXPECT_EQ(snapshotDelay(test.value), test.seconds) << test.value.value_or("unset");
}

}  // namespace
}  // namespace quiltdeck
