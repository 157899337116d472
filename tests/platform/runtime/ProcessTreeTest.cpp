#include "platform/runtime/ProcessTree.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <string_view>
#include <thread>

#include "platform/runtime/ChildProcess.h"

namespace platform::runtime {
namespace {

using namespace std::chrono_literals;

struct StatCase {
    const char* name;
    std::string stat;
    std::optional<pid_t> parent;
    friend void PrintTo(const StatCase& c, std::ostream* os) { *os << c.name; }
};

class ProcessTreeStat : public ::testing::TestWithParam<StatCase> {};

TEST_P(ProcessTreeStat, ParentField) { EXPECT_EQ(ProcessTree::parentInStat(GetParam().stat), GetParam().parent); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ProcessTreeStat,
    ::testing::Values(StatCase{"Plain", "1234 (bash) S 99 1234 1234 0 -1", 99},
                      StatCase{"NameWithBlanksAndParentheses", "77 (a) S 5 (b)) R 42 77 77 0", 42},
                      StatCase{"NoName", "1234 bash S 99", std::nullopt},
                      StatCase{"Cut", "1234 (bash) S", std::nullopt},
                      StatCase{"NotANumber", "1234 (bash) S x9 1", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// 1 ─┬─ 5 ─── 9
//    ├─ 3 ─┬─ 8
//    │     └─ 4 ─── 6
//    └─ 7
TEST(ProcessTreeTest, DeepestFirstSiblingsByProcessId) {
    const std::multimap<pid_t, pid_t> children = {{1, 5}, {5, 9}, {1, 7}, {1, 3}, {3, 8}, {3, 4}, {4, 6}, {2, 10}};
    EXPECT_EQ(ProcessTree::deepestFirst(children, 1), (std::vector<pid_t>{6, 4, 8, 3, 9, 5, 7}));
    EXPECT_EQ(ProcessTree::deepestFirst(children, 6), std::vector<pid_t>{});
}

TEST(ProcessTreeTest, LoopInTheTableEnds) {
    const std::multimap<pid_t, pid_t> children = {{1, 2}, {2, 3}, {3, 2}, {3, 1}};
    EXPECT_EQ(ProcessTree::deepestFirst(children, 1), (std::vector<pid_t>{3, 2}));
}

// Read with plain read(2): a stream's buffer throws when the process dies under it (ESRCH).
std::optional<pid_t> parentOf(pid_t pid) {
    const int fd = ::open(("/proc/" + std::to_string(pid) + "/stat").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    char text[1024];
    const ssize_t n = ::read(fd, text, sizeof text);
    ::close(fd);
    if (n <= 0) return std::nullopt;
    return ProcessTree::parentInStat(std::string_view(text, static_cast<size_t>(n)));
}

// A shell with a child shell with a sleep, and a sleep that left the group.
TEST(ProcessTreeTest, RealDescendantsComeDeepestFirstAndDie) {
    ChildProcess::Options options;
    options.arguments = {"/bin/bash", "-c", "bash -c 'sleep 60 & wait' & setsid sleep 60 & wait"};
    auto child = ChildProcess::spawn(options);
    ASSERT_TRUE(child);
    std::vector<pid_t> found;
    for (int i = 0; i < 500 && found.size() < 3; ++i) {
        std::this_thread::sleep_for(10ms);
        found = ProcessTree::descendantsDeepestFirst(child->pid());
    }
    ASSERT_EQ(found.size(), 3u);
    // Every process comes after all of its own descendants.
    for (size_t i = 0; i < found.size(); ++i) {
        for (size_t j = i + 1; j < found.size(); ++j) EXPECT_NE(parentOf(found[j]), found[i]);
    }
    ProcessTree::signalDescendants(child->pid(), SIGKILL);
    for (int i = 0; i < 500 && !child->hasExited(); ++i) std::this_thread::sleep_for(10ms);
    EXPECT_TRUE(child->hasExited());
    for (const pid_t pid : found) {
        for (int i = 0; i < 500 && ::kill(pid, 0) == 0 && parentOf(pid); ++i) std::this_thread::sleep_for(10ms);
    }
    EXPECT_TRUE(ProcessTree::descendantsDeepestFirst(child->pid()).empty());
    child->reap();
}

}  // namespace
}  // namespace platform::runtime
