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
    // A file kept as a link elsewhere is saved through it.
    std::filesystem::create_directories(dir / "dotfiles");
    std::filesystem::remove(file);
    std::filesystem::create_symlink("../dotfiles/defaults.json", file);
    Defaults(file).setValue("k", "linked");
    EXPECT_TRUE(std::filesystem::is_symlink(file));
    EXPECT_EQ(Defaults(dir / "dotfiles/defaults.json").value("k"), "linked");
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

// Only the shapes written here are kept; a document nested too deeply is
// ignored with a log line: either way, the next save cannot crash and stores
// the capability probe's answer.
TEST(Defaults, KeepsOnlyItsOwnShapesAndIgnoresDeepDocuments) {
    struct Case {
        const char* name;
        std::string content;
        std::string saved;
        bool ignored;
    };
    const std::string probe = "\"claude.flags./usr/bin/claude:1\":[\"--a\"]";
    const Case cases[] = {
        {"deep", "{\"x\":" + std::string(100'000, '[') + std::string(100'000, ']') + "}", "{" + probe + "}", true},
        {"nine levels", "{\"x\":[[[[[[[[1]]]]]]]]}", "{" + probe + "}", true},
        {"shapes", R"({"a":["x"],"b":1,"c":"s","d":true,"e":{"f":1},"g":[1],"h":[["x"]],"i":null})",
         R"({"a":["x"],"b":1,"c":"s",)" + probe + R"(,"d":true})", false},
        // Half an emoji, as JSON.stringify writes it, costs the document nothing.
        {"lone surrogate", R"({"c":"a\ud83d","d":["\udc00"]})", "{\"c\":\"a\uFFFD\"," + probe + ",\"d\":[\"\uFFFD\"]}", false},
    };
    for (const Case& c : cases) {
        TempFolder dir;
        const size_t logStart = testing::logContents().size();
        writeFile(dir / "defaults.json", c.content);
        Defaults defaults(dir / "defaults.json");
        defaults.setStringArray("claude.flags./usr/bin/claude:1", {"--a"});
        EXPECT_EQ(testing::readFile(dir / "defaults.json"), c.saved) << c.name;
        EXPECT_EQ(testing::logContents().find("  defaults.json ignored: nested deeper than 8 levels\n", logStart) !=
                      std::string::npos,
                  c.ignored) << c.name;
    }
}

}  // namespace
}  // namespace quiltdeck
