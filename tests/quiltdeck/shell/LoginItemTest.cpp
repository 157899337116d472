#include "quiltdeck/shell/LoginItem.h"

#include <gtest/gtest.h>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/shell/AppVersion.h"

namespace quiltdeck {
namespace {

using testing::readFile;
using testing::writeFile;

TEST(LoginItem, ExecIsQuotedByTheDesktopEntryRules) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/usr/bin/quiltdeck", "/usr/bin/quiltdeck"},
        {"/opt/My App/quiltdeck", "\"/opt/My App/quiltdeck\""},
        {"/a\"b", "\"/a\\\\\"b\""},
        {"/a$b`c", "\"/a\\\\$b\\\\`c\""},
        {"/a\\b", "\"/a\\\\\\\\b\""},
        {"/100%/q", "/100%%/q"},
        {"/a\nb", "\"/a\\nb\""},
    };
    for (const auto& [path, exec] : cases) EXPECT_EQ(LoginItem::execValue(path), exec) << path;
}

TEST(LoginItem, ApplyWritesOneFileAndRemovesOnlyOurs) {
    const auto file = LoginItem::file();
    EXPECT_TRUE(file.string().ends_with("/autostart/quiltdeck.desktop"));
    LoginItem::apply(true);
    const std::string first = readFile(file);
    // This very program, quoted where its path needs it (a folder with a space, say).
    const auto program = std::filesystem::read_symlink("/proc/self/exe").string();
    EXPECT_TRUE(program.starts_with('/'));
    EXPECT_NE(first.find("\nExec=" + LoginItem::execValue(program) + "\n"), std::string::npos) << first;
    LoginItem::apply(true);
    EXPECT_EQ(readFile(file), first);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.parent_path()), {}), 1);
    EXPECT_TRUE(LoginItem::enabled());
    LoginItem::apply(false);
    EXPECT_FALSE(std::filesystem::exists(file));

    writeFile(file, "[Desktop Entry]\nExec=other\n");  // the user's own
    LoginItem::apply(false);
    EXPECT_TRUE(std::filesystem::exists(file));
    writeFile(file, first + "Hidden=true\n");  // ours, but switched off elsewhere
    EXPECT_FALSE(LoginItem::enabled());
    LoginItem::apply(true);
    EXPECT_EQ(readFile(file), first);
    LoginItem::apply(false);
}

TEST(AppVersion, FallsBackWhenTheBuildGivesNothing) {
    EXPECT_EQ(AppVersion::orFallback(nullptr, "dev"), "dev");
    EXPECT_EQ(AppVersion::orFallback("", "dev"), "dev");
    EXPECT_EQ(AppVersion::orFallback("1.2", "dev"), "1.2");
    EXPECT_FALSE(AppVersion::shortVersion().empty());
}

}  // namespace
}  // namespace quiltdeck
