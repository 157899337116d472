#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "platform/runtime/VirtualMainLoop.h"
#include "vantel/host/LoopScheduler.h"

namespace vantel {
namespace {

using namespace std::chrono_literals;

TEST(LoopSchedulerTest, DelaysRunOnTheLoopClockAndOddValuesAreTamed) {
    struct Case {
        double seconds;
        platform::runtime::Duration runsBy;
    };
    const std::vector<Case> cases = {
        {0.25, 250ms},
        {0, 0ms},
        {-3, 0ms},
        {std::nan(""), 0ms},
        {std::numeric_limits<double>::infinity(), std::chrono::seconds(1'000'000'000)},
    };
    for (const Case& c : cases) {
        platform::runtime::VirtualMainLoop loop;
        LoopScheduler scheduler(loop);
        bool ran = false;
        scheduler.scheduleAfter(c.seconds, [&] { ran = true; });
        if (c.runsBy > 0ms) {
            loop.advance(c.runsBy - 1ms);
            EXPECT_FALSE(ran) << c.seconds;
            loop.advance(1ms);
        } else {
            loop.runPending();
        }
        EXPECT_TRUE(ran) << c.seconds;
    }
}

TEST(LoopSchedulerTest, CancelledWorkNeverRuns) {
    platform::runtime::VirtualMainLoop loop;
    LoopScheduler scheduler(loop);
    bool ran = false;
    scheduler.scheduleAfter(0.1, [&] { ran = true; })->cancel();
    loop.advance(1s);
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace vantel
