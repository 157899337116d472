// Recorded sessions played back through a tile on the virtual clock. The
// committed recording is the fake assistant's (tests/data/sessions);
// QUILTDECK_REPLAY=<file> plays another, such as one of the real CLI.

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>

#include "platform/runtime/NotificationCenter.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/sessions/ScreenScrape.h"
#include "quiltdeck/sessions/StatusMachine.h"
#include "quiltdeck/sessions/Store.h"
#include "support/SessionReplay.h"
#include "vantel/core/Terminal.h"

namespace quiltdeck {
namespace {

// The status rules beside a terminal of the recording's size.
class MachineTarget : public testing::ReplayTarget {
public:
    MachineTarget(const testing::SessionRecording& recording, platform::runtime::VirtualMainLoop& loop, Store& store)
        : loop_(loop), terminal_(nullptr, options(recording)) {
        StatusMachine::Tile tile;
        tile.screenText = [this] { return ScreenScrape::activeScreen(terminal_); };
        tile.lastInputAt = [this] { return lastInput_; };
        machine_ = std::make_unique<StatusMachine>(recording.cwd, false, tile,
                                                   StatusMachine::Services{&loop, &store, &notifications_, "/nowhere"});
    }
    void output(std::span<const uint8_t> bytes) override {
        terminal_.feed(bytes);
        machine_->absorb(bytes);
    }
    void input(std::span<const uint8_t>) override { lastInput_ = loop_.now(); }
    void hook(const std::string& event, const nlohmann::json& body) override { machine_->handleHook(event, body); }
    void exit(int) override { machine_->exited("session ended"); }
    SessionStatus status() const override { return machine_->status(); }
    bool finished() const override { return machine_->finished(); }

private:
    static vantel::TerminalOptions options(const testing::SessionRecording& recording) {
        vantel::TerminalOptions options;
        options.cols = recording.cols;
        options.rows = recording.rows;
        return options;
    }
    platform::runtime::VirtualMainLoop& loop_;
    platform::runtime::NotificationCenter notifications_{&loop_};
    vantel::Terminal terminal_;
    std::optional<platform::runtime::TimePoint> lastInput_;
    std::unique_ptr<StatusMachine> machine_;
};

testing::ReplayResult replayFile(const std::string& path) {
    std::string error;
    const auto recording = testing::readSessionRecording(path, &error);
    EXPECT_TRUE(recording) << error;
    if (!recording) return {};
    testing::TempFolder state;
    Store store(state.path());
    platform::runtime::VirtualMainLoop loop;
    MachineTarget target(*recording, loop, store);
    return testing::replay(*recording, loop, target);
}

TEST(SessionReplayTest, TheFakesRecordingGivesItsTimeline) {
    const auto result = replayFile(QUILTDECK_TEST_DATA "/sessions/fake-session.jsonl");
    EXPECT_TRUE(result.misses.empty()) << ::testing::PrintToString(result.misses) << "\n" << result.describe();
    std::vector<std::string> statuses;
    for (const auto& change : result.timeline)
        statuses.push_back(std::string(rawValue(change.status)) + (change.finished ? "+" : ""));
    EXPECT_EQ(statuses, (std::vector<std::string>{"busy", "idle", "busy", "idle+", "busy", "waiting", "busy", "idle+",
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

}  // namespace
}  // namespace quiltdeck
