#include "quiltdeck/panels/JobRun.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "quiltdeck/AppTestSupport.h"
#include "quiltdeck/shell/Env.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;

class JobRunTest : public ::testing::Test {
protected:
    std::shared_ptr<JobRun> start(const std::string& script, bool input = false) {
        return JobRun::start(
            {{"/bin/bash", "-c", script}, input}, [this](std::string line) { events.push_back(line); },
            [this](int32_t code) {
                events.push_back("done " + std::to_string(code));
                status = code;
            });
    }
    bool waitForLine(const std::string& line) {
        return loop.runUntil([&] { return std::find(events.begin(), events.end(), line) != events.end(); }, 30s);
    }
    bool waitForDone(platform::runtime::Duration limit = 30s) {
        return loop.runUntil([&] { return status.has_value(); }, limit);
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    std::vector<std::string> events;
    std::optional<int32_t> status;
};

TEST_F(JobRunTest, LinesInOrderThenTheStatus) {
    auto run = start("printf 'abc\\r\\ndef\\n'; printf '\\033[1mbold\\033[0m\\n' >&2; printf 'tail'; exit 3");
    ASSERT_TRUE(waitForDone());
    EXPECT_EQ(events, (std::vector<std::string>{"abc", "def", "bold", "tail", "done 3"}));
    EXPECT_FALSE(run->running());
}

TEST_F(JobRunTest, HomeFolderOwnGroupAndBothStreams) {
    auto run = start("pwd; echo err >&2; [ \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$ ] && echo leader");
    ASSERT_TRUE(waitForDone());
    EXPECT_EQ(events, (std::vector<std::string>{homeFolder().string(), "err", "leader", "done 0"}));
}

TEST_F(JobRunTest, ProgramThatCannotStartEndsWithMinusOne) {
    auto run = JobRun::start({{"/nonexistent/program"}, true}, [this](std::string line) { events.push_back(line); },
                             [this](int32_t code) { status = code; });
    ASSERT_TRUE(waitForDone());
    EXPECT_EQ(status, -1);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(run->send("x\n"), std::optional<std::string>("Broken pipe"));
}

TEST_F(JobRunTest, InputWrittenWholeOrNotAtAll) {
    auto run = start("read -r line; echo \"got $line\"", true);
    EXPECT_EQ(run->send(std::string(JobRun::maxInput + 1, 'a')), std::optional<std::string>("Message too long"));
    EXPECT_EQ(run->send("code\n"), std::nullopt);
    ASSERT_TRUE(waitForDone());
    EXPECT_EQ(events, (std::vector<std::string>{"got code", "done 0"}));
}

// The reader is gone but the child runs on: the write fails, the program stays.
TEST_F(JobRunTest, WriteToAClosedInputFailsWithoutSignal) {
    auto run = start("exec 0<&-; echo closed; sleep 30", true);
    ASSERT_TRUE(waitForLine("closed"));
    EXPECT_EQ(run->send("code\n"), std::optional<std::string>("Broken pipe"));
    run->cancel();
    ASSERT_TRUE(waitForDone());
}

TEST_F(JobRunTest, CancelReachesADescendantThatLeftTheGroup) {
    // Waiting on the sleeper itself: a bare `wait` returns 0 when the sleeper is signalled first.
    auto run = start("setsid sleep 60 & pid=$!; echo $pid; wait $pid");
    ASSERT_TRUE(loop.runUntil([&] { return !events.empty(); }, 30s));
    const pid_t sleeper = std::stoi(events[0]);
    EXPECT_TRUE(testing::processRunning(sleeper));
    run->cancel();
    ASSERT_TRUE(waitForDone());
    EXPECT_NE(status, 0);
    EXPECT_TRUE(loop.runUntil([&] { return !testing::processRunning(sleeper); }, 5s));
}

TEST_F(JobRunTest, ChildIgnoringTermIsKilledAfterTheDelay) {
    auto run = start("trap '' TERM; echo up; while :; do sleep 0.05; done");
    ASSERT_TRUE(waitForLine("up"));
    run->cancel();
    EXPECT_FALSE(waitForDone(300ms));
    loop.advance(JobRun::killDelay - 100ms);
    EXPECT_FALSE(waitForDone(200ms));
    loop.advance(100ms);
    ASSERT_TRUE(waitForDone());
    EXPECT_EQ(status, SIGKILL);
}

// Something the child started keeps the pipe: the run ends a moment after the child.
TEST_F(JobRunTest, EndsAFlushAfterTheExitWhenTheOutputStaysOpen) {
    auto run = start("sleep 30 & echo $!");
    ASSERT_TRUE(loop.runUntil([&] { return !events.empty(); }, 30s));
    const pid_t sleeper = std::stoi(events[0]);
    ASSERT_TRUE(loop.runUntil([&] { return !run->running(); }, 30s));
    EXPECT_FALSE(waitForDone(100ms));
    loop.advance(JobRun::flushDelay);
    ASSERT_TRUE(waitForDone());
    EXPECT_EQ(status, 0);
    ::kill(sleeper, SIGKILL);
}

TEST_F(JobRunTest, DroppedRunTakesItsChildren) {
    auto run = start("sleep 60 & echo $!; wait");
    ASSERT_TRUE(loop.runUntil([&] { return !events.empty(); }, 30s));
    const pid_t sleeper = std::stoi(events[0]);
    run.reset();
    EXPECT_TRUE(loop.runUntil([&] { return !testing::processRunning(sleeper); }, 5s));
    loop.runPending();
    EXPECT_FALSE(status.has_value());
}

}  // namespace
}  // namespace quiltdeck
