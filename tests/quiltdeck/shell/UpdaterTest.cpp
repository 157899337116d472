#include "quiltdeck/shell/Updater.h"

#include <gtest/gtest.h>

#include "quiltdeck/AppTestSupport.h"

namespace quiltdeck {
namespace {

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(UpdaterTest, WithoutAFeedNothingHappensAndNothingIsLogged) {
    const size_t before = count(testing::logContents(), "updater:");
    Updater updater("");
    updater.start();
    EXPECT_FALSE(updater.canCheckForUpdates());
    updater.checkForUpdates();
    EXPECT_EQ(count(testing::logContents(), "updater:"), before);
    EXPECT_EQ(Updater::buildFeedURL(), "");  // the default build has none
    EXPECT_FALSE(Updater::shared().canCheckForUpdates());
}

TEST(UpdaterTest, CallbacksLeaveTheirLines) {
    Updater updater("https://updates.example/feed.xml");
    updater.start();
    updater.start();
    EXPECT_TRUE(updater.canCheckForUpdates());
    updater.didFindValidUpdate({"1.4.2"});
    updater.didNotFindUpdate();
    updater.didAbortWithError("The feed could not be read.");
    EXPECT_FALSE(updater.installing());
    updater.checkForUpdates();  // the stub says it cannot
    const std::string log = testing::logContents();
    EXPECT_EQ(count(log, "updater: feed https://updates.example/feed.xml\n"), 1u);
    EXPECT_NE(log.find("updater: update available 1.4.2\n"), std::string::npos);
    EXPECT_NE(log.find("updater: up to date\n"), std::string::npos);
    EXPECT_NE(log.find("updater: The feed could not be read.\n"), std::string::npos);
    EXPECT_NE(log.find("updater: updates are not available in this build\n"), std::string::npos);
}

TEST(UpdaterTest, InstallingIsRaisedByEitherAnnouncement) {
    Updater installs("https://updates.example/feed.xml");
    installs.willInstallUpdate({"2.0"});
    EXPECT_TRUE(installs.installing());
    EXPECT_NE(testing::logContents().find("updater: installing 2.0\n"), std::string::npos);

    Updater relaunches("https://updates.example/feed.xml");
    bool relaunched = false;
    EXPECT_FALSE(relaunches.shouldPostponeRelaunchForUpdate({"2.0"}, [&] { relaunched = true; }));
    EXPECT_TRUE(relaunches.installing());
    EXPECT_FALSE(relaunched);
}

}  // namespace
}  // namespace quiltdeck
