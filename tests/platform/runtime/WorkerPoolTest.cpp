#include "platform/runtime/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace platform::runtime {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(5ms);
    return done();
}

struct BlockingCase {
    const char* name;
    size_t maxThreads;
    int jobs;
    int expectStartedWhileBlocked;
    friend void PrintTo(const BlockingCase& c, std::ostream* os) { *os << c.name; }
};

class WorkerPoolBlocking : public ::testing::TestWithParam<BlockingCase> {};

// Jobs that block until released: without a cap each gets a thread at once;
// with one, the rest wait their turn and still run.
TEST_P(WorkerPoolBlocking, JobsRunSideBySideUpToTheCap) {
    const auto& c = GetParam();
    std::atomic<int> started{0}, finished{0};
    std::atomic<bool> released{false};
    {
        WorkerPool pool(c.maxThreads);
        for (int i = 0; i < c.jobs; ++i) {
            pool.submit([&] {
                ++started;
                while (!released) std::this_thread::sleep_for(1ms);
                ++finished;
            });
        }
        EXPECT_TRUE(eventually([&] { return started == c.expectStartedWhileBlocked; }));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(started, c.expectStartedWhileBlocked);
        EXPECT_LE(pool.threadCount(), c.maxThreads);
        released = true;
        EXPECT_TRUE(eventually([&] { return finished == c.jobs; }));
    }
    EXPECT_EQ(finished, c.jobs);
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkerPoolBlocking,
                         ::testing::Values(BlockingCase{"Grows", 64, 12, 12}, BlockingCase{"Capped", 3, 7, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WorkerPoolTest, IdleThreadsEndAndTheDestructorRunsWhatIsQueued) {
    std::atomic<int> ran{0};
    {
        WorkerPool pool(1, 20ms);
        pool.submit([&] { ++ran; });
        EXPECT_TRUE(eventually([&] { return ran == 1 && pool.threadCount() == 0; }));
        for (int i = 0; i < 20; ++i) pool.submit([&] { std::this_thread::sleep_for(1ms), ++ran; });
    }
    EXPECT_EQ(ran, 21);
}

}  // namespace
}  // namespace platform::runtime
