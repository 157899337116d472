#include "platform/runtime/WorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>

namespace platform::runtime {
namespace {

using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) std::this_thread::sleep_for(5ms);
    return done();
}

// Jobs that block until released: without a cap each gets a thread at once;
// with one, the rest wait their turn and still run.
TEST(WorkerPoolTest, BlockedJobsRunSideBySideUpToTheCap) {
    for (auto [maxThreads, jobs, startedWhileBlocked] : {std::tuple{64, 12, 12}, std::tuple{3, 7, 3}}) {
        std::atomic<int> started{0}, finished{0};
        std::atomic<bool> released{false};
        {
            WorkerPool pool(maxThreads);
            for (int i = 0; i < jobs; ++i) {
                pool.submit([&] {
                    ++started;
                    while (!released) std::this_thread::sleep_for(1ms);
                    ++finished;
                });
            }
            EXPECT_TRUE(eventually([&] { return started == startedWhileBlocked; }));
            std::this_thread::sleep_for(50ms);
            EXPECT_EQ(started, startedWhileBlocked);
            released = true;
        }
        EXPECT_EQ(finished, jobs);
    }
}

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

TEST(WorkerPoolTest, WaitIdleWaitsForRunningJobsUpToItsLimit) {
    platform::runtime::WorkerPool pool(4);
    EXPECT_TRUE(pool.waitIdle(std::chrono::milliseconds(0)));
    std::atomic<bool> release{false};
    std::atomic<int> done{0};
    pool.submit([&] {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ++done;
    });
    EXPECT_FALSE(pool.waitIdle(std::chrono::milliseconds(50)));
    release = true;
    EXPECT_TRUE(pool.waitIdle(std::chrono::seconds(10)));
    EXPECT_EQ(done, 1);
}
