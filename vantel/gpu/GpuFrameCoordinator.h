#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "vantel/gpu/GpuRecoveryClock.h"
#include "vantel/gpu/GpuRendererRecoveryReport.h"

namespace vantel {

// Stands between a GPU renderer's frames and the view that hosts it: admits one frame at a time,
// watches the frame in flight for a second, retries refused frames with a short back-off,
// groups refusals into a failure episode with a watchdog of its own, and asks the host once for
// recovery when a frame stalls, fails or the episode lasts too long. Scheduled actions hold it
// weakly. The host callbacks run without the lock held, except isRetryEligible, which must not
// call back in; requestDraw, requestRecovery and becameIdle may be called on any thread.
class GpuFrameCoordinator : public std::enable_shared_from_this<GpuFrameCoordinator> {
public:
    struct Token {
        uint64_t value = 0;
        friend bool operator==(const Token&, const Token&) = default;
    };

    // Readers of the frame's command buffer.
    struct CommandBufferProbe {
        std::function<GpuTrackedCommandBufferStatus()> status;
        std::function<std::optional<std::string>()> error;
    };

    struct ActiveFrame {
        Token token;
        double startedAt = 0;
        std::optional<CommandBufferProbe> commandBuffer;
        bool pendingRedraw = false;
        bool recoveryRequested = false;
        std::shared_ptr<GpuRecoveryScheduledTask> watchdog;
    };

    static constexpr std::array<double, 5> retryDelays{0.016, 0.033, 0.066, 0.125, 0.25};
    static constexpr double frameWatchdogSeconds = 1.0;
    static constexpr double failureWatchdogSeconds = 1.0;

    struct Callbacks {
        std::function<bool()> isRetryEligible;
        std::function<void(GpuFrameRefusalReason)> requestDraw;
        std::function<void(const GpuRendererRecoveryReport&)> requestRecovery;
        std::function<void()> becameIdle;
    };

    static std::shared_ptr<GpuFrameCoordinator> make(std::shared_ptr<GpuRecoveryClock> clock,
                                                     std::shared_ptr<GpuRecoveryScheduler> scheduler,
                                                     Callbacks callbacks);

    // Admission: none means no frame may be drawn now.
    std::optional<Token> beginFrame();
    // The admitted frame was not drawn.
    void refuse(Token token, GpuFrameRefusalReason reason);
    // The frame's command buffer was committed.
    void didSubmit(Token token, CommandBufferProbe probe);
    // The frame's command buffer finished.
    void complete(Token token, GpuTrackedCommandBufferStatus status, std::optional<std::string> error);
    // Retires the coordinator: no new frame, retry or recovery; a submitted frame still completes.
    void invalidate();

    // The frame in flight, read under the lock.
    std::optional<ActiveFrame> activeFrame() const;
    bool isInvalidated() const;
    int retryIndex() const;

private:
    GpuFrameCoordinator(std::shared_ptr<GpuRecoveryClock> clock, std::shared_ptr<GpuRecoveryScheduler> scheduler,
                        Callbacks callbacks);
    bool eligibleLocked() const { return callbacks_.isRetryEligible && callbacks_.isRetryEligible(); }
    std::shared_ptr<GpuRecoveryScheduledTask> scheduleLocked(double after, std::function<void(GpuFrameCoordinator&)> action);
    void scheduleRetryLocked(GpuFrameRefusalReason reason);
    void retryFired(GpuFrameRefusalReason reason);
    void startFailureEpisodeLocked(GpuFrameRefusalReason reason);
    void resetFailureEpisodeLocked();
    void endFailureEpisodeQuietlyLocked();
    void frameWatchdogFired(Token token);
    void failureWatchdogFired();
    double durationSince(double start) const;

    mutable std::mutex lock_;
    std::shared_ptr<GpuRecoveryClock> clock_;
    std::shared_ptr<GpuRecoveryScheduler> scheduler_;
    Callbacks callbacks_;
    uint64_t nextToken_ = 1;
    std::optional<ActiveFrame> activeFrame_;
    int retryIndex_ = 0;
    std::shared_ptr<GpuRecoveryScheduledTask> retryTask_;
    std::optional<double> failureStartedAt_;
    std::optional<GpuFrameRefusalReason> lastFailureReason_;
    std::shared_ptr<GpuRecoveryScheduledTask> failureWatchdog_;
    bool failureRecoveryRequested_ = false;
    bool invalidated_ = false;
};

}  // namespace vantel
