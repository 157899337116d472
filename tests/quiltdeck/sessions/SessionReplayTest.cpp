// Recorded sessions played back through a tile on the virtual clock. The
// committed recording is the fake assistant's (tests/data/sessions);
// QUILTDECK_REPLAY=<file> plays another, such as one of the real CLI.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "platform/runtime/NotificationCenter.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/Session.h"
#include "quiltdeck/sessions/Store.h"
#include "support/FakeClaudeHome.h"
#include "support/SessionReplay.h"

namespace quiltdeck {
namespace {

// A tile without a child, of the recording's size, fed what was recorded.
class SessionTarget : public testing::ReplayTarget {
public:
    SessionTarget(const testing::SessionRecording& recording, platform::runtime::VirtualMainLoop& loop, Store& store)
        : notifications_(&loop) {
        Session::Arguments arguments;
        arguments.cwd = recording.cwd;
        arguments.name = "replay";
        arguments.id = recording.tile;
        Session::Services services;
        services.loop = &loop;
        services.store = &store;
        services.notifications = &notifications_;
        services.home = "/nowhere";
        services.startChild = false;
        session_ = Session::open(arguments, services);
        session_->view().resize(recording.cols, recording.rows);
    }
    void output(std::span<const uint8_t> bytes) override { session_->view().dataReceived(bytes); }
    void input(std::span<const uint8_t> bytes) override { session_->view().send(bytes); }
    void hook(const std::string& event, const nlohmann::json& body) override { session_->handleHook(event, body); }
    void exit(int rawStatus) override { session_->processTerminated(session_->view(), rawStatus); }
    SessionStatus status() const override { return session_->status(); }
    bool finished() const override { return session_->finished(); }

private:
    platform::runtime::NotificationCenter notifications_;
    std::shared_ptr<Session> session_;
};

std::vector<std::string> statusesOf(const testing::ReplayResult& result);

testing::ReplayResult replayFile(const std::string& path) {
    std::string error;
    const auto recording = testing::readSessionRecording(path, &error);
    EXPECT_TRUE(recording) << error;
    if (!recording) return {};
    testing::TempFolder state;
    Store store(state.path());
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    SessionTarget target(*recording, loop, store);
    return testing::replay(*recording, loop, target);
}

TEST(SessionReplayTest, TheFakesRecordingGivesItsTimeline) {
    const auto result = replayFile(QUILTDECK_TEST_DATA "/sessions/fake-session.jsonl");
    EXPECT_TRUE(result.misses.empty()) << ::testing::PrintToString(result.misses) << "\n" << result.describe();
    EXPECT_EQ(statusesOf(result), (std::vector<std::string>{"busy", "idle", "busy", "idle+", "busy", "waiting", "busy", "idle+",
                                                  "busy", "idle", "exited"}))
        << result.describe();
}

// Without QUILTDECK_REPLAY, the committed recording once more.
TEST(SessionReplayTest, TheNamedRecordingMeetsItsExpectations) {
    const char* named = std::getenv("QUILTDECK_REPLAY");
    const std::string path = named && *named ? named : QUILTDECK_TEST_DATA "/sessions/fake-session.jsonl";
    const auto result = replayFile(path);
    std::cout << result.describe();
    EXPECT_TRUE(result.misses.empty()) << ::testing::PrintToString(result.misses);
}

std::vector<std::string> statusesOf(const testing::ReplayResult& result) {
    std::vector<std::string> statuses;
    for (const auto& change : result.timeline)
        statuses.push_back(std::string(rawValue(change.status)) + (change.finished ? "+" : ""));
    return statuses;
}

// The fake on a terminal, recorded live: keys in the trust question's first
// moment are lost, an interrupt or a refused permission posts no hook, Ctrl+C
// at a permission question does nothing, and the screen alone gives the
// statuses the hooks do not.
TEST(SessionReplayTest, TheFakeRecordedLive) {
    testing::FakeClaudeHome home;
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"FAKE_CLAUDE_TRUST", "1"}, {"FAKE_CLAUDE_TURN", "2.0"}, {"FAKE_CLAUDE_PERMISSION_NOTIFY", "0.4"},
             {"FAKE_CLAUDE_IDLE_NOTIFY", "1.0"}})
        home.setVariable(name, value);
    testing::TempFolder project;
    testing::writeFile(project / "script.jsonl", R"({"t":0.2,"in":"\r"}
{"t":1.0,"in":"\u001b[B"}
{"t":1.2,"in":"\r"}
{"t":2.0,"in":"hi\r"}
{"t":5.5,"in":"permission please\r"}
{"t":6.9,"in":"\u0003"}
{"t":7.2,"in":"\u001b"}
{"t":8.0,"in":"again\r"}
{"t":8.1,"in":"\u0003"}
{"t":9.5,"in":"/exit\r"}
)");
    platform::runtime::ChildProcess::Options process;
    process.arguments = {QUILTDECK_RECORDER, "--script", (project / "script.jsonl").string(),
                         (project / "out.jsonl").string()};
    process.directory = project.path().string();
    ASSERT_TRUE(ProcessCapture::run(process, std::chrono::seconds(60)));

    const auto recording = testing::readSessionRecording((project / "out.jsonl").string());
    ASSERT_TRUE(recording);
    std::vector<std::string> hooks;
    std::optional<int> exit;
    for (const auto& record : recording->records) {
        if (record.kind == testing::SessionRecord::Kind::hook)
            hooks.push_back(record.event + (record.body.contains("notification_type")
                                                ? ":" + record.body["notification_type"].get<std::string>()
                                                : ""));
        if (record.kind == testing::SessionRecord::Kind::exit) exit = record.status;
    }
    EXPECT_EQ(hooks, (std::vector<std::string>{"SessionStart", "UserPromptSubmit", "PreToolUse", "PostToolUse", "Stop",
                                               "Notification:idle_prompt", "UserPromptSubmit", "PreToolUse",
                                               "Notification:permission_prompt", "UserPromptSubmit"}));
    EXPECT_EQ(exit, 0);

    testing::TempFolder state;
    Store store(state.path());
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    SessionTarget target(*recording, loop, store);
    const auto result = testing::replay(*recording, loop, target);
    EXPECT_EQ(statusesOf(result), (std::vector<std::string>{"busy", "idle", "waiting", "idle", "busy", "idle+",
                                                            "busy", "waiting", "idle", "busy", "idle", "exited"}))
        << result.describe();
}

}  // namespace
}  // namespace quiltdeck
