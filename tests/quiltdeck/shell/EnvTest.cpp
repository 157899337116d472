#include "quiltdeck/shell/Env.h"

#include <gtest/gtest.h>

#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

using testing::ScopedVariable;

TEST(Env, NewPrefixFirstEvenWhenEmptyThenTheOldOne) {
    const struct {
        const char* quiltdeck;  // null: unset
        const char* brightloom;
        std::optional<std::string> value;
    } cases[] = {
        {"q", "b", "q"}, {"", "b", ""}, {nullptr, "b", "b"}, {nullptr, "", ""}, {nullptr, nullptr, std::nullopt},
    };
    for (const auto& test : cases) {
        ScopedVariable q("QUILTDECK_ENV_TEST", ""), b("BRIGHTLOOM_ENV_TEST", "");
        if (!test.quiltdeck) ::unsetenv("QUILTDECK_ENV_TEST");
        else ::setenv("QUILTDECK_ENV_TEST", test.quiltdeck, 1);
        if (!test.brightloom) ::unsetenv("BRIGHTLOOM_ENV_TEST");
        else ::setenv("BRIGHTLOOM_ENV_TEST", test.brightloom, 1);
        EXPECT_EQ(env("ENV_TEST"), test.value) << (test.quiltdeck ? test.quiltdeck : "unset");
    }
}

TEST(Env, ConfigFolderIsAnAbsoluteXdgConfigHomeElseDotConfig) {
    const std::string home = homeFolder().string();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/x/config", "/x/config"}, {"relative/config", home + "/.config"}, {"", home + "/.config"}};
    for (const auto& [variable, folder] : cases) {
        ScopedVariable config("XDG_CONFIG_HOME", variable);
        EXPECT_EQ(configFolder(), folder) << variable;
    }
}

}  // namespace
}  // namespace quiltdeck
