#include "platform/ui/Workspace.h"

#include <gtest/gtest.h>

#include <vector>

using platform::ui::Workspace;

namespace {

// What a URL path cannot hold as it stands is percent-encoded, so that an opener reads back the
// very file: a folder with a space, a per cent sign, a hash or a non-ASCII name.
TEST(Workspace, FileURLsEncodeWhatAPathCannotHold) {
    const std::pair<const char*, const char*> cases[] = {
        {"/usr/share/doc/LICENSE.txt", "file:///usr/share/doc/LICENSE.txt"},
        {"/tmp/ci space/repo/PRIVACY.md", "file:///tmp/ci%20space/repo/PRIVACY.md"},
        {"/a/100%/b", "file:///a/100%25/b"},
        {"/a/#1?x", "file:///a/%231%3Fx"},
        {"/a/caf\xc3\xa9", "file:///a/caf%C3%A9"},
        {"relative/path", ""},
        {"", ""},
    };
    for (const auto& [path, url] : cases) EXPECT_EQ(Workspace::fileURL(path), url) << path;
}

TEST(Workspace, OpenFileHandsTheOpenerTheEncodedURLAndNothingForARelativePath) {
    std::vector<std::string> opened;
    Workspace::setOpener([&](const std::string& url) {
        opened.push_back(url);
        return true;
    });
    EXPECT_TRUE(Workspace::openFile("/tmp/a b/log.txt"));
    EXPECT_FALSE(Workspace::openFile("log.txt"));
    Workspace::setOpener(nullptr);
    EXPECT_EQ(opened, std::vector<std::string>{"file:///tmp/a%20b/log.txt"});
    EXPECT_FALSE(Workspace::openFile("/tmp/a b/log.txt")) << "no opener: nothing opened";
}

}  // namespace
