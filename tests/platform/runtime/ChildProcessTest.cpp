#include "platform/runtime/ChildProcess.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform::runtime {
namespace {

using namespace std::chrono_literals;

ChildProcess::Options program(std::vector<std::string> arguments) {
    ChildProcess::Options options;
    options.arguments = std::move(arguments);
    return options;
}

struct SpawnCase {
    const char* name;
    const char* script;
    const char* output;
    friend void PrintTo(const SpawnCase& c, std::ostream* os) { *os << c.name; }
};

class ChildProcessSpawn : public ::testing::TestWithParam<SpawnCase> {};

// What the program does to itself does not reach the child: an ignored
// SIGPIPE, a blocked signal, a descriptor left open across exec.
TEST_P(ChildProcessSpawn, ChildStartsClean) {
    auto previous = ::signal(SIGPIPE, SIG_IGN);
    sigset_t blocked, oldMask;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGUSR1);
    ::pthread_sigmask(SIG_BLOCK, &blocked, &oldMask);
    const int leaked = ::open("/dev/null", O_RDONLY);
    int fds[2];
    ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
    auto options = program({"/bin/sh", "-c", GetParam().script});
    options.directory = "/tmp";
    options.environment = std::vector<std::string>{"ONLY=this"};
    options.standardOutput = fds[1];
    auto child = ChildProcess::spawn(options);
    ::close(fds[1]);
    ::close(leaked);
    ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
    ::signal(SIGPIPE, previous);
    std::string output;
    char chunk[4096];
    for (ssize_t n; (n = ::read(fds[0], chunk, sizeof chunk)) > 0;) output.append(chunk, static_cast<size_t>(n));
    ::close(fds[0]);
    ASSERT_TRUE(child && child->waitForExit(30s) && child->reap());
    EXPECT_EQ(output, GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ChildProcessSpawn,
    ::testing::Values(SpawnCase{"OwnGroup", "[ \"$(cut -d' ' -f5 /proc/$$/stat)\" = $$ ] && echo leader", "leader\n"},
                      SpawnCase{"OnlyStandardDescriptors", "ls /proc/$$/fd", "0\n1\n2\n"},
                      // glibc's own real-time signals (32, 33) are its business.
                      SpawnCase{"SignalsAtDefault",
                                "for f in SigIgn SigBlk; do echo $((0x$(grep ^$f: /proc/$$/status | cut -f2) & "
                                "0x7fffffff)); done",
                                "0\n0\n"},
                      SpawnCase{"FolderAndEnvironment", "pwd; env | grep -v '^PWD='", "/tmp\nONLY=this\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ChildProcessTest, StartFailuresGiveNothingWithTheError) {
    int error = 0;
    EXPECT_FALSE(ChildProcess::spawn(program({"/nonexistent/program"}), &error));
    EXPECT_EQ(error, ENOENT);
    auto missingFolder = program({"/bin/true"});
    missingFolder.directory = "/nonexistent/folder";
    EXPECT_FALSE(ChildProcess::spawn(missingFolder));
}

TEST(ChildProcessTest, TheGroupIsSignalledUntilTheChildIsReaped) {
    auto child = ChildProcess::spawn(program({"/bin/sleep", "30"}));
    ASSERT_TRUE(child);
    EXPECT_FALSE(child->hasExited() || child->reap());
    EXPECT_TRUE(child->signalGroup(SIGTERM));
    ASSERT_TRUE(child->waitForExit(30s));
    const auto status = child->reap();
    ASSERT_TRUE(status && WIFSIGNALED(*status));
    EXPECT_EQ(WTERMSIG(*status), SIGTERM);
    EXPECT_FALSE(child->signalGroup(SIGKILL));
    EXPECT_EQ(child->reap(), status);
}

}  // namespace
}  // namespace platform::runtime
