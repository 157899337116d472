#include "quiltdeck/sessions/ProcessCapture.h"
#include "quiltdeck/sessions/ShellCommand.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using Ending = ProcessCapture::Ending;

std::string numbers(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += std::to_string(i) + "\n";
    return text;
}

struct CaptureCase {
    const char* name;
    std::string script;
    platform::runtime::Duration timeout;
    Ending ending;
    int32_t status;  // for an exit; else the signal the child died of
    std::string output;
    // Time limits are kept (a child is given its time and grace before it is stopped); how soon a
    // run returns is told by what it left running, not by a clock.
    double minSeconds;
    friend void PrintTo(const CaptureCase& c, std::ostream* os) { *os << c.name; }
};

class ProcessCaptureRun : public ::testing::TestWithParam<CaptureCase> {};

TEST_P(ProcessCaptureRun, ResultTimingAndEnding) {
    const auto& c = GetParam();
    platform::runtime::ChildProcess::Options process;
    // A script that leaves a child behind writes its process id to the file named by $0.
    const std::string pidFile =
        std::filesystem::temp_directory_path() / ("capture-left-" + std::to_string(::getpid()) + "-" + c.name);
    process.arguments = c.script.empty() ? std::vector<std::string>{"/nonexistent/program"}
                                         : std::vector<std::string>{"/bin/sh", "-c", c.script, pidFile};
    ProcessCapture::Report report;
    const auto start = std::chrono::steady_clock::now();
    const auto result = ProcessCapture::run(process, c.timeout, &report);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(report.ending, c.ending);
    EXPECT_GE(seconds, c.minSeconds);
    pid_t left = 0;
    std::ifstream(pidFile) >> left;
    if (left > 0) {
        // Returned while the child it left still runs: the run did not wait for it to end.
        EXPECT_EQ(::kill(left, 0), 0) << "the child left behind was waited for";
        ::kill(left, SIGKILL);
    }
    std::filesystem::remove(pidFile);
    EXPECT_EQ(result.has_value(), c.ending == Ending::exited);
    if (result) {
        EXPECT_EQ(std::pair(result->status, result->output), std::pair(c.status, c.output));
    }
    if (c.ending == Ending::terminated || c.ending == Ending::killed) {
        ASSERT_TRUE(report.waitStatus && WIFSIGNALED(*report.waitStatus));
        EXPECT_EQ(WTERMSIG(*report.waitStatus), c.status);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProcessCaptureRun,
    ::testing::Values(
        CaptureCase{"OneByte", "printf a", 10s, Ending::exited, 0, "a", 0},
        CaptureCase{"FailureIsAResult", "printf 'went wrong'; exit 3", 10s, Ending::exited, 3, "went wrong", 0},
        CaptureCase{"PastTheLimit", "printf early; sleep 30", 500ms, Ending::terminated, SIGTERM, "", 0.5},
        CaptureCase{"IgnoresTerm", "trap '' TERM; sleep 30", 500ms, Ending::killed, SIGKILL, "", 2.5},
        CaptureCase{"MissingProgram", "", 10s, Ending::notStarted, 0, "", 0},
        CaptureCase{"BackgroundKeepsOutputOpen", "printf before; sleep 30 & echo $! > \"$0\"; exit 0", 10s,
                    Ending::exited, 0, "before", 0.3},
        CaptureCase{"OneMegabyte", "seq 1 150000", 30s, Ending::exited, 0, numbers(150000), 0},
        CaptureCase{"EndlessOutput", "yes", 30s, Ending::outputTooLarge, 0, "", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Live (not yet reaped by anyone) members of a process group.
int liveMembers(pid_t group) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        const auto close = line.rfind(')');
        if (close == std::string::npos) continue;
        char state = 0;
        int parent = 0, pgrp = 0;
        if (std::sscanf(line.c_str() + close + 1, " %c %d %d", &state, &parent, &pgrp) == 3 && pgrp == group &&
            state != 'Z')
            ++count;
    }
    return count;
}

TEST(ProcessCaptureTest, ATimeOutEndsTheWholeGroup) {
    const std::string pidFile = std::filesystem::temp_directory_path() / ("capture-" + std::to_string(::getpid()));
    platform::runtime::ChildProcess::Options process;
    process.arguments = {"/bin/sh", "-c", "echo $$ > " + ShellCommand::quoteForShell(pidFile) + "; sleep 100 & sleep 100"};
    EXPECT_FALSE(ProcessCapture::run(process, 500ms));
    pid_t group = 0;
    std::ifstream(pidFile) >> group;
    std::filesystem::remove(pidFile);
    ASSERT_GT(group, 0);
    for (int i = 0; i < 500 && liveMembers(group) > 0; ++i) std::this_thread::sleep_for(10ms);
    EXPECT_EQ(liveMembers(group), 0);
}

}  // namespace
}  // namespace quiltdeck
