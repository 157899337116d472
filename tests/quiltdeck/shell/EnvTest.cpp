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

TEST(Env, DataAndCacheFoldersFollowTheirXdgVariables) {
    const std::string home = homeFolder().string();
    struct Case {
        const char* variable;
        std::filesystem::path (*folder)();
        const char* fallback;
    } cases[] = {{"XDG_DATA_HOME", dataFolder, "/.local/share"}, {"XDG_CACHE_HOME", cacheFolder, "/.cache"}};
    for (const Case& c : cases) {
        for (const std::string value : {"/x/y", "relative", ""}) {
            ScopedVariable set(c.variable, value);
            EXPECT_EQ(c.folder(), value == "/x/y" ? value : home + c.fallback) << c.variable << " " << value;
        }
    }
}

}  // namespace
}  // namespace quiltdeck
