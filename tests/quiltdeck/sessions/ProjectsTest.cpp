#include "quiltdeck/sessions/Projects.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/FileReading.h"

namespace quiltdeck {
namespace {

namespace fs = std::filesystem;
using testing::makeFile;
using testing::TempFolder;

class ProjectsTest : public ::testing::Test {
protected:
    std::string at(const std::string& relative) const { return home_.path().string() + "/" + relative; }
    // A folder with a project marker.
    std::string project(const std::string& relative, const char* marker = ".git") const {
        fs::create_directories(at(relative) + "/" + marker);
        return at(relative);
    }
    std::vector<Project> list(const std::vector<std::string>& recents = {}) const {
        return Projects::list(recents, home_.path().string());
    }
    std::vector<std::string> dirs() const {
        std::vector<std::string> result;
        for (const Project& found : list()) result.push_back(found.dir);
        return result;
    }
    // The marked sub-folders of a group in listing order.
    std::vector<std::string> markedInListingOrder(const std::string& group) const {
        std::vector<std::string> result;
        const auto names = listNames(group);
        for (const std::string& name : names.value()) {
            if (Projects::hasMarker(group + "/" + name)) result.push_back(group + "/" + name);
        }
        return result;
    }

    TempFolder home_;
};

TEST_F(ProjectsTest, RecentsComeFirstOnceAndOnlyWhileTheyExist) {
    const std::string scanned = project("shop");
    const std::string other = project("elsewhere");
    fs::remove_all(at("elsewhere"));
    makeFile(at("notes.txt"));
    const auto found = list({at("notes.txt"), other, scanned, at("notes.txt")});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].dir, at("notes.txt"));
    EXPECT_EQ(found[1].dir, scanned);
    EXPECT_TRUE(found[0].isRecent && found[1].isRecent);
    EXPECT_EQ(found[1].shortPath, "~/shop");
    EXPECT_EQ(dirs(), std::vector<std::string>{scanned});
    EXPECT_FALSE(list()[0].isRecent);
}

TEST_F(ProjectsTest, RootEntriesThatAreNeverOffered) {
    for (const char* name : {".hidden", "node_modules", "Library", "Music"}) project(name);
    project("plain.txt");
    fs::remove_all(at("plain.txt"));
    makeFile(at("plain.txt/x"));  // a folder without markers holding a file
    makeFile(at("linked") + "/.git", "gitdir: /elsewhere\n");
    project("group/.hidden");
    project("group/node_modules", "package.json");
    std::vector<std::string> found = dirs();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{at("group"), at("group/node_modules"), at("linked")}));
}

TEST_F(ProjectsTest, GroupsOfferTwelveAndTheWorkspaceRootsTheRest) {
    for (int i = 0; i < 15; ++i) project("clients/c" + std::to_string(i), "CLAUDE.md");
    for (int i = 0; i < 20; ++i) project("Developer/d" + std::to_string(i), "Package.swift");
    fs::create_directories(at("Developer/empty"));
    project("code/tool", "pubspec.yaml");

    // The home folder's scan, in its listing order: each group, then its first 12.
    std::vector<std::string> expected;
    const auto names = listNames(home_.path());
    for (const std::string& name : names.value()) {
        expected.push_back(at(name));
        const std::vector<std::string> marked = markedInListingOrder(at(name));
        expected.insert(expected.end(), marked.begin(), marked.begin() + std::min<size_t>(marked.size(), 12));
    }
    // Then the "Developer" root's own scan adds the 8 it had left, and "code" nothing new.
    const std::vector<std::string> developer = markedInListingOrder(at("Developer"));
    expected.insert(expected.end(), developer.begin() + 12, developer.end());
    EXPECT_EQ(dirs(), expected);
    EXPECT_EQ(expected.size(), 13u + 13u + 2u + 8u);
}

TEST_F(ProjectsTest, KeywordsHoldNamesEntriesAndWholeMatches) {
    const std::string shop = project("work/shop", "CLAUDE.md");
    makeFile(shop + "/package.json", "{\n  \"version\": \"1\",\n  \"name\"  :  \"Shop-App\"\n}\n");
    makeFile(shop + "/.env");
    makeFile(shop + "/README.md", "intro\n## The Shop \xff\n");
    makeFile(shop + "/pubspec.yaml", "name: shop_flutter\n");
    makeFile(shop + "/.git/config", "[remote]\n\turl = git@host:me/shop.git\n");
    const auto found = list();
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].dir, shop);
    const std::string& words = found[1].keywords;
    EXPECT_TRUE(words.starts_with("shop work ")) << words;
    for (const char* word : {" package.json", " readme.md", " \"name\"  :  \"shop-app\"", " name: shop_flutter",
                             " ## the shop \xef\xbf\xbd", " url = git@host:me/shop.git"}) {
        EXPECT_NE(words.find(word), std::string::npos) << word << " in " << words;
    }
    EXPECT_EQ(words.find(".env"), std::string::npos);
    EXPECT_EQ(words.find(".git "), std::string::npos);
}

TEST_F(ProjectsTest, HeadsAreBoundedAndReadOnlyFromRegularFiles) {
    const std::string dir = project("late");
    makeFile(dir + "/README.md", std::string(599, '.') + "\n# Late heading\n");
    ASSERT_EQ(::mkfifo((dir + "/CLAUDE.md").c_str(), 0600), 0);
    const std::string words = list()[0].keywords;
    EXPECT_EQ(words.find("heading"), std::string::npos) << words;

    makeFile(dir + "/cut", "ab\xc3\xa4\xc3");
    EXPECT_EQ(Projects::head(dir + "/cut", 4), "ab\xc3\xa4");
    EXPECT_EQ(Projects::head(dir + "/cut", 5), "ab\xc3\xa4\xef\xbf\xbd");
    EXPECT_EQ(Projects::head(dir + "/missing", 5), "");
    EXPECT_EQ(Projects::head(dir + "/CLAUDE.md", 5), "");
}

}  // namespace
}  // namespace quiltdeck
