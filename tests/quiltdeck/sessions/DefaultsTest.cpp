#include "quiltdeck/sessions/Defaults.h"

#include <gtest/gtest.h>

#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

using testing::TempFolder;
using testing::writeFile;

TEST(Defaults, ValuesSurviveAReloadAndBadFilesStartEmpty) {
    TempFolder dir;
    const auto file = dir / "quiltdeck/defaults.json";
    {
        Defaults defaults(file);
        defaults.setStringArray("claude.flags./usr/bin/claude:1", {"--a", "--b"});
        defaults.setValue("n", 3);
        defaults.setValue("gone", true);
        defaults.remove("gone");
    }
    Defaults reloaded(file);
    EXPECT_EQ(reloaded.stringArray("claude.flags./usr/bin/claude:1"), (std::vector<std::string>{"--a", "--b"}));
    EXPECT_EQ(reloaded.stringArray("n"), std::nullopt);
    EXPECT_TRUE(reloaded.value("gone").is_null());

    for (const char* content : {"", "[1]", "{\"k\":", "{\"k\":[1,\"x\"]}"}) {
        writeFile(file, content);
        Defaults bad(file);
        EXPECT_EQ(bad.stringArray("k"), std::nullopt) << content;
        bad.setValue("k", "v");
        EXPECT_EQ(Defaults(file).value("k"), "v") << content;
    }
    EXPECT_EQ(Defaults::standardFile(), std::filesystem::path(std::getenv("XDG_CONFIG_HOME")) / "quiltdeck/defaults.json");
}

TEST(Defaults, UnreadableFileIsNeverReplaced) {
    TempFolder dir;
    std::filesystem::create_directories(dir / "defaults.json/x");
    Defaults defaults(dir / "defaults.json");
    EXPECT_TRUE(defaults.readOnly());
    defaults.setValue("k", 1);
    EXPECT_EQ(defaults.value("k"), 1);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "defaults.json/x"));
}

}  // namespace
}  // namespace quiltdeck
