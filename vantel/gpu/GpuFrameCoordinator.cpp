#include "vantel/gpu/GpuFrameCoordinator.h"

#include <algorithm>
#include <utility>

namespace vantel {

namespace {

void cancelTask(std::shared_ptr<GpuRecoveryScheduledTask>& task) {
    if (task) std::exchange(task, nullptr)->cancel();
}

}  // namespace

GpuFrameCoordinator::GpuFrameCoordinator(std::shared_ptr<GpuRecoveryClock> clock,
                                         std::shared_ptr<GpuRecoveryScheduler> scheduler, Callbacks callbacks)
    : clock_(std::move(clock)), scheduler_(std::move(scheduler)), callbacks_(std::move(callbacks)) {}

std::shared_ptr<GpuFrameCoordinator> GpuFrameCoordinator::make(std::shared_ptr<GpuRecoveryClock> clock,
                                                               std::shared_ptr<GpuRecoveryScheduler> scheduler,
                                                               Callbacks callbacks) {
    return std::shared_ptr<GpuFrameCoordinator>(
        new GpuFrameCoordinator(std::move(clock), std::move(scheduler), std::move(callbacks)));
}

double GpuFrameCoordinator::durationSince(double start) const { return std::max(0.0, clock_->now() - start); }

std::shared_ptr<GpuRecoveryScheduledTask> GpuFrameCoordinator::scheduleLocked(
    double after, std::function<void(GpuFrameCoordinator&)> action) {
    std::weak_ptr<GpuFrameCoordinator> weak = weak_from_this();
    return scheduler_->schedule(after, [weak, action = std::move(action)] {
        if (auto coordinator = weak.lock()) action(*coordinator);
    });
}

std::optional<GpuFrameCoordinator::Token> GpuFrameCoordinator::beginFrame() {
    std::lock_guard lock(lock_);
    if (!activeFrame_) {
        if (invalidated_) return std::nullopt;
        ActiveFrame frame;
        frame.token = Token{nextToken_++};
        frame.startedAt = clock_->now();
        if (eligibleLocked()) {
            const Token token = frame.token;
            frame.watchdog = scheduleLocked(frameWatchdogSeconds, [token](GpuFrameCoordinator& c) { c.frameWatchdogFired(token); });
        }
        activeFrame_ = std::move(frame);
        return activeFrame_->token;
    }
    activeFrame_->pendingRedraw = true;
    if (!activeFrame_->watchdog && !activeFrame_->recoveryRequested && eligibleLocked()) {
        const Token token = activeFrame_->token;
        activeFrame_->watchdog = scheduleLocked(frameWatchdogSeconds, [token](GpuFrameCoordinator& c) { c.frameWatchdogFired(token); });
    }
    scheduleRetryLocked(GpuFrameRefusalReason::activeFrame);
    return std::nullopt;
}

void GpuFrameCoordinator::refuse(Token token, GpuFrameRefusalReason reason) {
    {
        std::lock_guard lock(lock_);
        if (!activeFrame_ || activeFrame_->token != token) return;
        cancelTask(activeFrame_->watchdog);
        activeFrame_.reset();
        startFailureEpisodeLocked(reason);
        scheduleRetryLocked(reason);
    }
    if (callbacks_.becameIdle) callbacks_.becameIdle();
}

void GpuFrameCoordinator::didSubmit(Token token, CommandBufferProbe probe) {
    std::lock_guard lock(lock_);
    if (!activeFrame_ || activeFrame_->token != token) return;
    activeFrame_->commandBuffer = std::move(probe);
    resetFailureEpisodeLocked();
}

void GpuFrameCoordinator::complete(Token token, GpuTrackedCommandBufferStatus status, std::optional<std::string> error) {
    std::optional<GpuRendererRecoveryReport> report;
    bool pendingRedraw = false;
    {
        std::lock_guard lock(lock_);
        if (!activeFrame_ || activeFrame_->token != token) return;
        cancelTask(activeFrame_->watchdog);
        pendingRedraw = activeFrame_->pendingRedraw;
        const double startedAt = activeFrame_->startedAt;
        activeFrame_.reset();
        if (status == GpuTrackedCommandBufferStatus::error && !invalidated_)
            report = GpuRendererRecoveryReport{GpuFrameRefusalReason::activeFrame, durationSince(startedAt),
                                               GpuTrackedCommandBufferStatus::error, std::move(error)};
    }
    if (callbacks_.becameIdle) callbacks_.becameIdle();
    if (report) {
        if (callbacks_.requestRecovery) callbacks_.requestRecovery(*report);
        return;
    }
    if (!pendingRedraw) return;
    {
        std::lock_guard lock(lock_);
        if (invalidated_) return;
    }
    if (callbacks_.requestDraw) callbacks_.requestDraw(GpuFrameRefusalReason::activeFrame);
}

void GpuFrameCoordinator::invalidate() {
    {
        std::lock_guard lock(lock_);
        invalidated_ = true;
        cancelTask(retryTask_);
        cancelTask(failureWatchdog_);
        // A submitted frame keeps going: its completion reports idle.
        if (!activeFrame_ || activeFrame_->commandBuffer) return;
        cancelTask(activeFrame_->watchdog);
        activeFrame_.reset();
    }
    if (callbacks_.becameIdle) callbacks_.becameIdle();
}

std::optional<GpuFrameCoordinator::ActiveFrame> GpuFrameCoordinator::activeFrame() const {
    std::lock_guard lock(lock_);
    return activeFrame_;
}

bool GpuFrameCoordinator::isInvalidated() const {
    std::lock_guard lock(lock_);
    return invalidated_;
}

int GpuFrameCoordinator::retryIndex() const {
    std::lock_guard lock(lock_);
    return retryIndex_;
}

void GpuFrameCoordinator::scheduleRetryLocked(GpuFrameRefusalReason reason) {
    if (invalidated_ || retryTask_ || !eligibleLocked()) return;
    const double delay = retryDelays[static_cast<size_t>(std::min(retryIndex_, 4))];
    retryIndex_ = std::min(retryIndex_ + 1, 4);
    retryTask_ = scheduleLocked(delay, [reason](GpuFrameCoordinator& c) { c.retryFired(reason); });
}

void GpuFrameCoordinator::retryFired(GpuFrameRefusalReason reason) {
    {
        std::lock_guard lock(lock_);
        retryTask_.reset();
        if (invalidated_ || !eligibleLocked()) return;
    }
    if (callbacks_.requestDraw) callbacks_.requestDraw(reason);
    std::lock_guard lock(lock_);
    // Retries keep coming until a frame is submitted or the host stops being eligible.
    scheduleRetryLocked(reason);
}

void GpuFrameCoordinator::endFailureEpisodeQuietlyLocked() {
    failureStartedAt_.reset();
    cancelTask(failureWatchdog_);
    failureRecoveryRequested_ = false;
    retryIndex_ = 0;
}

void GpuFrameCoordinator::startFailureEpisodeLocked(GpuFrameRefusalReason reason) {
    lastFailureReason_ = reason;
    if (!eligibleLocked()) {
        endFailureEpisodeQuietlyLocked();
        return;
    }
    if (failureStartedAt_) return;
    failureStartedAt_ = clock_->now();
    failureRecoveryRequested_ = false;
    failureWatchdog_ = scheduleLocked(failureWatchdogSeconds, [](GpuFrameCoordinator& c) { c.failureWatchdogFired(); });
}

void GpuFrameCoordinator::resetFailureEpisodeLocked() {
    cancelTask(retryTask_);
    retryIndex_ = 0;
    cancelTask(failureWatchdog_);
    failureStartedAt_.reset();
    lastFailureReason_.reset();
    failureRecoveryRequested_ = false;
}

void GpuFrameCoordinator::frameWatchdogFired(Token token) {
    std::optional<CommandBufferProbe> probe;
    double startedAt;
    {
        std::lock_guard lock(lock_);
        if (!activeFrame_ || activeFrame_->token != token || activeFrame_->recoveryRequested || invalidated_) return;
        activeFrame_->watchdog.reset();
        // Not eligible: the frame stays without a watchdog; the next beginFrame arms one.
        if (!eligibleLocked()) return;
        activeFrame_->recoveryRequested = true;
        probe = activeFrame_->commandBuffer;
        startedAt = activeFrame_->startedAt;
    }
    if (!probe) {
        if (callbacks_.requestRecovery)
            callbacks_.requestRecovery({GpuFrameRefusalReason::activeFrame, durationSince(startedAt), std::nullopt, std::nullopt});
        return;
    }
    const auto status = probe->status ? probe->status() : GpuTrackedCommandBufferStatus::notEnqueued;
    auto error = probe->error ? probe->error() : std::nullopt;
    if (status == GpuTrackedCommandBufferStatus::error) {
        complete(token, status, std::move(error));
    } else if (status == GpuTrackedCommandBufferStatus::completed) {
        complete(token, status, std::nullopt);
    } else if (callbacks_.requestRecovery) {
        callbacks_.requestRecovery({GpuFrameRefusalReason::activeFrame, durationSince(startedAt), status, std::move(error)});
    }
}

void GpuFrameCoordinator::failureWatchdogFired() {
    GpuRendererRecoveryReport report;
    {
        std::lock_guard lock(lock_);
        failureWatchdog_.reset();
        if (invalidated_) return;
        if (!eligibleLocked()) {
            failureStartedAt_.reset();
            lastFailureReason_.reset();
            failureRecoveryRequested_ = false;
            retryIndex_ = 0;
            return;
        }
        if (failureRecoveryRequested_ || !failureStartedAt_ || !lastFailureReason_) return;
        failureRecoveryRequested_ = true;
        report = {*lastFailureReason_, durationSince(*failureStartedAt_), std::nullopt, std::nullopt};
    }
    if (callbacks_.requestRecovery) callbacks_.requestRecovery(report);
}

}  // namespace vantel
