#include "quiltdeck/sessions/ChromeProfiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

namespace fs = std::filesystem;
using testing::makeFile;
using testing::TempFolder;

// The browsers' folders live under a configuration folder of the test's own.
class ChromeProfilesTest : public ::testing::Test {
protected:
    fs::path chrome(const std::string& profile) const { return config_ / "google-chrome" / profile; }
    fs::path brave(const std::string& profile) const { return config_ / "BraveSoftware/Brave-Browser" / profile; }
    static fs::path storage(const fs::path& profile) { return profile / ChromeProfiles::extensionStorage; }

    TempFolder config_;
    testing::ScopedVariable configHome_{"XDG_CONFIG_HOME", config_.path()};
};

std::vector<std::string> names(const std::vector<fs::path>& paths) {
    std::vector<std::string> result;
    for (const fs::path& path : paths) result.push_back(path.parent_path().filename().string() + "/" + path.filename().string());
    return result;
}

TEST_F(ChromeProfilesTest, ProfilesAreDefaultAndNumberedOnesRootByRoot) {
    EXPECT_TRUE(ChromeProfiles::profileDirs().empty());
    EXPECT_EQ(ChromeProfiles::profileShowing("x"), std::nullopt);
    EXPECT_TRUE(ChromeProfiles::accounts({"a"}).empty());

    for (const char* name : {"Guest Profile", "System Profile", "Profile", "Default", "Profile 3"}) {
        fs::create_directories(chrome(name));
    }
    makeFile(brave("Default"));  // whether it is a folder is not looked at
    std::vector<std::string> found = names(ChromeProfiles::profileDirs());
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found.back(), "Brave-Browser/Default");
    found.pop_back();
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{"google-chrome/Default", "google-chrome/Profile 3"}));
    EXPECT_EQ(ChromeProfiles::roots().front(), config_.path() / "google-chrome");
}

TEST_F(ChromeProfilesTest, AccountTextPrefersAnAddressBeyondWebMail) {
    const struct {
        const char* preferences;
        ChromeProfiles::Account account;
        const char* text;
    } cases[] = {
        {R"({"account_info":[{"email":"me@gmail.com"},{"email":"me@work.io"}],"profile":{"name":"P"}})",
         {{"me@gmail.com", "me@work.io"}, "P"}, "me@work.io"},
        {R"({"account_info":[{"email":"a@gmail.com"},{"email":"b@gmail.com"}]})", {{"a@gmail.com", "b@gmail.com"}, ""},
         "a@gmail.com"},
        {R"({"account_info":[{"email":"a@gmail.com"},{"email":"b@notgmail.com"}]})",
         {{"a@gmail.com", "b@notgmail.com"}, ""}, "b@notgmail.com"},
        {R"({"account_info":[{"email":7},"x",{"email":""}],"profile":{"name":"Work"}})", {{""}, "Work"}, ""},
        {R"({"account_info":{"email":"a@b.c"},"profile":{"name":"Work"}})", {{}, "Work"}, "Work"},
        {R"({"profile":{"name":3}})", {{}, ""}, "Profile 2"},
        {R"(["not an object"])", {{}, ""}, "Profile 2"},
        {"not json", {{}, ""}, "Profile 2"},
    };
    for (const auto& test : cases) {
        makeFile(chrome("Profile 2") / "Preferences", test.preferences);
        EXPECT_EQ(ChromeProfiles::account(chrome("Profile 2")), test.account) << test.preferences;
        EXPECT_EQ(ChromeProfiles::accountText(chrome("Profile 2")), test.text) << test.preferences;
    }
}

TEST_F(ChromeProfilesTest, PreferencesThatAreNoRegularFileAreNotRead) {
    fs::create_directories(chrome("Default"));
    ASSERT_EQ(::mkfifo((chrome("Default") / "Preferences").c_str(), 0600), 0);
    EXPECT_EQ(ChromeProfiles::accountText(chrome("Default")), "Default");  // returns instead of waiting for a writer
}

TEST_F(ChromeProfilesTest, DeviceIdsGoToTheFirstProfileThatStoresThem) {
    makeFile(chrome("Default") / "Preferences", R"({"profile":{"name":"Home"}})");
    makeFile(storage(chrome("Default")) / "000003.log", "..device-a..");
    makeFile(brave("Default") / "Preferences", R"({"account_info":[{"email":"x@brave.io"}]})");
    makeFile(storage(brave("Default")) / "000003.log", "device-a device-b");
    fs::create_directories(storage(brave("Default")) / "sub");
    fs::create_directories(storage(chrome("Profile 1")));  // empty storage
    makeFile(chrome("Profile 1") / "Preferences", R"({"profile":{"name":"Empty"}})");
    makeFile(chrome("Profile 2") / "Preferences", R"({"profile":{"name":"None"}})");  // no storage folder

    EXPECT_EQ(ChromeProfiles::accounts({"device-a", "device-b", "device-c"}),
              (std::map<std::string, std::string>{{"device-a", "Home"}, {"device-b", "x@brave.io"}}));
    EXPECT_TRUE(ChromeProfiles::accounts({}).empty());
    // An empty id is in every storage that holds any byte.
    EXPECT_EQ(ChromeProfiles::accounts({""}).at(""), "Home");
}

TEST_F(ChromeProfilesTest, SearchesReadPiecesWithTheSameResultAsWholeFiles) {
    constexpr size_t piece = 64 * 1024;
    const std::string id = "0123456789abcdef";
    // Across the boundary of two pieces of one file, and across two files of the
    // storage, which count as one buffer.
    std::string big(piece - id.size() / 2, 'x');
    big += id + std::string(piece, 'y');
    makeFile(storage(chrome("Default")) / "big", big);
    const std::string split = "split-id-across-files";
    // Listing order decides which file comes first; each holds one half.
    makeFile(storage(chrome("Profile 1")) / "a", split.substr(0, 9));
    makeFile(storage(chrome("Profile 1")) / "b", split.substr(9));
    const fs::path fifo = storage(chrome("Profile 1")) / "LOCK";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string first;
    for (const auto& entry : fs::directory_iterator(storage(chrome("Profile 1")))) {
        if (entry.path().filename() == "LOCK") continue;
        first = entry.path().filename();
        break;
    }
    const std::string joinedId = first == "a" ? split : split.substr(9) + split.substr(0, 9);

    const auto found = ChromeProfiles::accounts({id, joinedId});
    EXPECT_EQ(found.at(id), "Default");
    EXPECT_EQ(found.at(joinedId), "Profile 1");

    makeFile(chrome("Profile 1") / "Sessions" / "Session_1", split.substr(0, 9));
    makeFile(chrome("Profile 1") / "Sessions" / "Session_2", split.substr(9));
    makeFile(chrome("Profile 2") / "Sessions" / "Tabs_9", std::string(piece - 3, 'z') + "/identify?id=" + id);
    ASSERT_EQ(::mkfifo((chrome("Profile 2") / "Sessions" / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(ChromeProfiles::profileShowing("/identify?id=" + id), chrome("Profile 2"));
    // Open-tab files are searched one by one.
    EXPECT_EQ(ChromeProfiles::profileShowing(split), std::nullopt);
    EXPECT_EQ(ChromeProfiles::profileShowing("zzz"), chrome("Profile 2"));
}

}  // namespace
}  // namespace quiltdeck
