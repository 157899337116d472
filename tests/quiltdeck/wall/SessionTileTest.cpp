#include "quiltdeck/wall/SessionTile.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/runtime/NotificationCenter.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/Store.h"

namespace quiltdeck {
namespace {

class SessionTileTest : public ::testing::Test {
protected:
    std::shared_ptr<Session> open(Session::Arguments arguments) {
        arguments.cwd = (folder.path() / "project").string();
        Session::Services services;
        services.loop = &loop;
        services.store = &store;
        services.notifications = &notifications;
        services.home = folder.path().string();
        services.shell = "/bin/bash";
        services.startChild = false;
        services.capabilities = [] { return ClaudeCapabilities::Snapshot{}; };
        return Session::open(std::move(arguments), services);
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::runtime::NotificationCenter notifications{&loop};
    testing::TempFolder folder;
    Store store{folder.path() / "state"};
};

TEST_F(SessionTileTest, RecordOfTheSession) {
    Session::Arguments arguments;
    arguments.name = "project";
    arguments.resume = "conversation";
    arguments.title = "Named";
    arguments.userNamed = true;
    arguments.id = "tile-1";
    SessionTile tile(open(arguments));
    const auto record = tile.record();
    EXPECT_EQ(record.title, "Named");
    EXPECT_EQ(record.cwd, (folder.path() / "project").string());
    EXPECT_FALSE(record.isShell);
    EXPECT_EQ(record.claudeSessionId, "conversation");
    EXPECT_EQ(record.lastPrompt, std::nullopt);  // none typed yet
    EXPECT_EQ(record.userNamed, true);
    EXPECT_EQ(tile.id(), "tile-1");
    EXPECT_EQ(tile.status(), SessionStatus::busy);
    tile.setWall("Second");
    EXPECT_EQ(tile.session().wall, "Second");
    tile.rename("Renamed");
    EXPECT_EQ(tile.title(), "Renamed");
}

TEST_F(SessionTileTest, TheSessionsCallbacksReachTheGridUntilTheTileGoes) {
    auto session = open({});
    int changes = 0, persists = 0, failures = 0;
    {
        SessionTile tile(session);
        tile.onChange = [&] { ++changes; };
        tile.onPersist = [&] { ++persists; };
        tile.onResumeFailed = [&] { ++failures; };
        session->onChange();
        session->onPersist();
        session->onSessionId();
        session->onResumeFailed();
    }
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(persists, 2);
    EXPECT_EQ(failures, 1);
    EXPECT_FALSE(session->onChange || session->onPersist || session->onSessionId || session->onResumeFailed);
}

}  // namespace
}  // namespace quiltdeck
