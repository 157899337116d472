#include "vantel/gpu/GpuFrameCoordinator.h"

#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"

using namespace vantel;
using platform::runtime::VirtualMainLoop;
using std::chrono::milliseconds;
using Status = GpuTrackedCommandBufferStatus;
using Reason = GpuFrameRefusalReason;

namespace {

// A clock the test sets, for time that runs backwards.
class SetClock : public GpuRecoveryClock {
public:
    double now() override { return value; }
    double value = 0;
};

// A coordinator on a virtual loop, recording what it asks of its host with the loop's time in ms.
struct Host {
    VirtualMainLoop loop;
    bool eligible = true;
    std::vector<std::pair<int64_t, Reason>> draws;
    std::vector<std::pair<int64_t, GpuRendererRecoveryReport>> recoveries;
    int idles = 0;
    std::shared_ptr<GpuFrameCoordinator> coordinator;

    explicit Host(std::shared_ptr<GpuRecoveryClock> clock = nullptr) {
        if (!clock) clock = std::make_shared<MainLoopGpuRecoveryClock>(&loop);
        coordinator = GpuFrameCoordinator::make(
            clock, std::make_shared<MainLoopGpuRecoveryScheduler>(&loop),
            {[this] { return eligible; }, [this](Reason r) { draws.emplace_back(nowMs(), r); },
             [this](const GpuRendererRecoveryReport& r) { recoveries.emplace_back(nowMs(), r); }, [this] { ++idles; }});
    }
    int64_t nowMs() const {
        return std::chrono::duration_cast<milliseconds>(loop.now().time_since_epoch()).count();
    }
    void advanceMs(int64_t ms) { loop.advance(milliseconds(ms)); }
    std::vector<int64_t> drawTimes() const {
        std::vector<int64_t> times;
        for (auto& [time, reason] : draws) times.push_back(time);
        return times;
    }
    GpuFrameCoordinator::CommandBufferProbe probe(Status status, std::optional<std::string> error = std::nullopt) {
        return {[status] { return status; }, [error] { return error; }};
    }
};

}  // namespace

TEST(GpuFrameCoordinator, ASecondFrameWaitsForTheFirst) {
    Host host;
    auto first = host.coordinator->beginFrame();
    ASSERT_TRUE(first);
    EXPECT_EQ(first->value, 1u);
    EXPECT_FALSE(host.coordinator->beginFrame());
    EXPECT_TRUE(host.coordinator->activeFrame()->pendingRedraw);
    host.advanceMs(15);
    EXPECT_TRUE(host.draws.empty());
    host.advanceMs(1);
    ASSERT_EQ(host.draws.size(), 1u);  // the retry at 16 ms
    EXPECT_EQ(host.draws[0].second, Reason::activeFrame);
    host.coordinator->didSubmit(*first, host.probe(Status::committed));
    host.coordinator->complete(*first, Status::completed, std::nullopt);
    EXPECT_EQ(host.idles, 1);
    ASSERT_EQ(host.draws.size(), 2u);  // the pending redraw, once
    EXPECT_EQ(host.draws[1], std::make_pair(int64_t(16), Reason::activeFrame));
    EXPECT_EQ(host.coordinator->beginFrame()->value, 2u);
    EXPECT_TRUE(host.recoveries.empty());
}

// Every refusal reason starts an episode: retries back off to 250 ms, and one recovery request
// at 1.0 s carries the latest refusal's reason.
TEST(GpuFrameCoordinator, RefusalsBackOffAndAskForRecoveryOnce) {
    for (Reason reason : {Reason::missingDrawable, Reason::missingRenderPassDescriptor, Reason::missingCommandBuffer,
                          Reason::missingRenderEncoder}) {
        SCOPED_TRACE(std::string(rawValue(reason)));
        Host host;
        host.coordinator->refuse(*host.coordinator->beginFrame(), reason);
        EXPECT_EQ(host.idles, 1);
        host.advanceMs(500);
        host.coordinator->refuse(*host.coordinator->beginFrame(), Reason::missingDrawable);  // the latest reason
        host.advanceMs(2500);
        const std::vector<int64_t> expected{16, 49, 115, 240, 490, 740, 990, 1240, 1490};
        auto times = host.drawTimes();
        times.resize(expected.size());
        EXPECT_EQ(times, expected);
        ASSERT_EQ(host.recoveries.size(), 1u);
        EXPECT_EQ(host.recoveries[0].first, 1000);
        EXPECT_EQ(host.recoveries[0].second,
                  (GpuRendererRecoveryReport{Reason::missingDrawable, 1.0, std::nullopt, std::nullopt}));
    }
}

TEST(GpuFrameCoordinator, ASubmittedFrameEndsTheEpisode) {
    Host host;
    host.coordinator->refuse(*host.coordinator->beginFrame(), Reason::missingDrawable);
    host.advanceMs(100);
    EXPECT_EQ(host.coordinator->retryIndex(), 3);
    auto token = host.coordinator->beginFrame();
    host.coordinator->didSubmit(*token, host.probe(Status::committed));
    EXPECT_EQ(host.coordinator->retryIndex(), 0);
    host.coordinator->complete(*token, Status::completed, std::nullopt);
    const size_t drawsBefore = host.draws.size();
    host.advanceMs(3000);
    EXPECT_TRUE(host.recoveries.empty());
    EXPECT_EQ(host.draws.size(), drawsBefore);
}

// The frame watchdog probes a submitted command buffer after 1.0 s.
TEST(GpuFrameCoordinator, TheFrameWatchdogProbesTheCommandBuffer) {
    struct Case {
        std::optional<Status> probed;  // none: never submitted
        bool recovery;
        std::optional<Status> reportedStatus;
        bool frameEnds;
    } cases[] = {
        {std::nullopt, true, std::nullopt, false},
        {Status::scheduled, true, Status::scheduled, false},
        {Status::committed, true, Status::committed, false},
        {Status::error, true, Status::error, true},
        {Status::completed, false, std::nullopt, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.probed ? std::string(rawValue(*c.probed)) : "unsubmitted");
        Host host;
        auto token = host.coordinator->beginFrame();
        if (c.probed) host.coordinator->didSubmit(*token, host.probe(*c.probed, "stuck"));
        host.advanceMs(999);
        EXPECT_TRUE(host.recoveries.empty());
        host.advanceMs(1);
        ASSERT_EQ(host.recoveries.size(), c.recovery ? 1u : 0u);
        if (c.recovery) {
            const auto& report = host.recoveries[0].second;
            EXPECT_EQ(report.reason, Reason::activeFrame);
            EXPECT_EQ(report.failureDuration, 1.0);
            EXPECT_EQ(report.commandBufferStatus, c.reportedStatus);
            EXPECT_EQ(report.commandBufferError, c.probed ? std::optional<std::string>("stuck") : std::nullopt);
        }
        EXPECT_EQ(host.coordinator->activeFrame().has_value(), !c.frameEnds);
        // No second watchdog for the same frame, even when another frame is asked for.
        if (!c.frameEnds) {
            EXPECT_FALSE(host.coordinator->beginFrame());
        }
        host.advanceMs(5000);
        EXPECT_EQ(host.recoveries.size(), c.recovery ? 1u : 0u);
    }
}

TEST(GpuFrameCoordinator, ACommandBufferErrorAsksForRecovery) {
    Host host;
    auto token = host.coordinator->beginFrame();
    host.coordinator->didSubmit(*token, host.probe(Status::committed));
    host.advanceMs(250);
    host.coordinator->complete(*token, Status::error, "device reset");
    EXPECT_EQ(host.idles, 1);
    ASSERT_EQ(host.recoveries.size(), 1u);
    EXPECT_EQ(host.recoveries[0].second,
              (GpuRendererRecoveryReport{Reason::activeFrame, 0.25, Status::error, "device reset"}));
}

TEST(GpuFrameCoordinator, StaleTokensChangeNothing) {
    Host host;
    auto old = host.coordinator->beginFrame();
    host.coordinator->didSubmit(*old, host.probe(Status::committed));
    host.coordinator->complete(*old, Status::completed, std::nullopt);
    auto current = host.coordinator->beginFrame();
    host.coordinator->refuse(*old, Reason::missingDrawable);
    host.coordinator->didSubmit(*old, host.probe(Status::committed));
    host.coordinator->complete(*old, Status::error, "late");
    host.coordinator->complete(GpuFrameCoordinator::Token{99}, Status::error, "unknown");
    auto frame = host.coordinator->activeFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->token, *current);
    EXPECT_FALSE(frame->commandBuffer);
    EXPECT_EQ(host.idles, 1);
    EXPECT_TRUE(host.recoveries.empty());
}

TEST(GpuFrameCoordinator, AfterInvalidateACompletionOnlyReportsIdle) {
    Host host;
    auto token = host.coordinator->beginFrame();
    host.coordinator->didSubmit(*token, host.probe(Status::committed));
    EXPECT_FALSE(host.coordinator->beginFrame());  // a pending redraw
    host.coordinator->invalidate();
    EXPECT_EQ(host.idles, 0);  // submitted: its completion reports
    EXPECT_TRUE(host.coordinator->activeFrame());
    host.coordinator->complete(*token, Status::error, "after retirement");
    EXPECT_EQ(host.idles, 1);
    host.advanceMs(5000);
    EXPECT_TRUE(host.draws.empty());
    EXPECT_TRUE(host.recoveries.empty());
    EXPECT_FALSE(host.coordinator->beginFrame());

    // An admitted frame that was never submitted ends at once.
    Host other;
    other.coordinator->beginFrame();
    other.coordinator->invalidate();
    EXPECT_EQ(other.idles, 1);
    EXPECT_FALSE(other.coordinator->activeFrame());
    EXPECT_EQ(other.loop.pendingTimerCount(), 0u);
}

TEST(GpuFrameCoordinator, DurationsAreNeverNegative) {
    auto clock = std::make_shared<SetClock>();
    clock->value = 100;
    Host host(clock);
    auto token = host.coordinator->beginFrame();
    host.coordinator->didSubmit(*token, host.probe(Status::committed));
    clock->value = 40;  // the clock went back
    host.coordinator->complete(*token, Status::error, std::nullopt);
    ASSERT_EQ(host.recoveries.size(), 1u);
    EXPECT_EQ(host.recoveries[0].second.failureDuration, 0.0);
    clock->value = 100;
    host.coordinator->refuse(*host.coordinator->beginFrame(), Reason::missingDrawable);
    clock->value = 50;
    host.advanceMs(1000);
    ASSERT_EQ(host.recoveries.size(), 2u);
    EXPECT_EQ(host.recoveries[1].second.failureDuration, 0.0);
}

// A host that cannot draw (hidden, iconified, empty) gets no retries, watchdogs or episodes.
TEST(GpuFrameCoordinator, AnIneligibleHostIsLeftAlone) {
    Host host;
    host.eligible = false;
    auto token = host.coordinator->beginFrame();
    ASSERT_TRUE(token);
    EXPECT_EQ(host.loop.pendingTimerCount(), 0u);
    EXPECT_FALSE(host.coordinator->beginFrame());
    host.coordinator->refuse(*token, Reason::missingDrawable);
    host.coordinator->refuse(*host.coordinator->beginFrame(), Reason::missingCommandBuffer);
    EXPECT_EQ(host.loop.pendingTimerCount(), 0u);
    host.advanceMs(5000);
    EXPECT_TRUE(host.draws.empty());
    EXPECT_TRUE(host.recoveries.empty());

    // Turning ineligible during an episode ends it quietly at its watchdog.
    Host later;
    later.coordinator->refuse(*later.coordinator->beginFrame(), Reason::missingDrawable);
    later.advanceMs(20);
    later.eligible = false;
    later.advanceMs(3000);
    EXPECT_TRUE(later.recoveries.empty());
    EXPECT_EQ(later.coordinator->retryIndex(), 0);
    EXPECT_EQ(later.draws.size(), 1u);
}
