#include "quiltdeck/sessions/ChromeProfiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>

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

TEST_F(ChromeProfilesTest, ProfilesAreDefaultAndNumberedOnesRootByRoot) {
    EXPECT_TRUE(ChromeProfiles::profileDirs().empty());
    EXPECT_EQ(ChromeProfiles::profileShowing("x"), std::nullopt);
    EXPECT_TRUE(ChromeProfiles::accounts({"a"}).empty());

    for (const char* name : {"Guest Profile", "System Profile", "Profile", "Default", "Profile 3"}) {
        fs::create_directories(chrome(name));
    }
    makeFile(brave("Default"));  // whether it is a folder is not looked at
    const std::vector<fs::path> found = ChromeProfiles::profileDirs();
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(std::set(found.begin(), found.begin() + 2), (std::set{chrome("Default"), chrome("Profile 3")}));
    EXPECT_EQ(found[2], brave("Default"));
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
    // Across the boundary of two pieces of one file.
    makeFile(storage(chrome("Default")) / "big", std::string(piece - 8, 'x') + id + std::string(piece, 'y'));
    // The storage files count as one buffer, so "ba" spans "ab" + "ab" whichever comes first.
    for (const char* name : {"a", "b"}) makeFile(storage(chrome("Profile 1")) / name, "ab");
    ASSERT_EQ(::mkfifo((storage(chrome("Profile 1")) / "LOCK").c_str(), 0600), 0);
    EXPECT_EQ(ChromeProfiles::accounts({id, "ba"}),
              (std::map<std::string, std::string>{{id, "Default"}, {"ba", "Profile 1"}}));

    // Open-tab files are searched one by one.
    for (const char* name : {"Session_1", "Session_2"}) makeFile(chrome("Profile 1") / "Sessions" / name, "ab");
    makeFile(chrome("Profile 2") / "Sessions" / "Tabs_9", std::string(piece - 3, 'z') + "/identify?id=" + id);
    ASSERT_EQ(::mkfifo((chrome("Profile 2") / "Sessions" / "fifo").c_str(), 0600), 0);
    EXPECT_EQ(ChromeProfiles::profileShowing("/identify?id=" + id), chrome("Profile 2"));
    EXPECT_EQ(ChromeProfiles::profileShowing("ba"), std::nullopt);
}

}  // namespace
}  // namespace quiltdeck
