#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vantel {

// Why a frame was not drawn. The raw values are the case names.
enum class GpuFrameRefusalReason { activeFrame, missingDrawable, missingRenderPassDescriptor, missingCommandBuffer, missingRenderEncoder };

// A tracked command buffer's status; the device's command-buffer states 0 to 5 in this order.
enum class GpuTrackedCommandBufferStatus { notEnqueued, enqueued, committed, scheduled, completed, error };

std::string_view rawValue(GpuFrameRefusalReason reason);
std::string_view rawValue(GpuTrackedCommandBufferStatus status);

// What the frame coordinator hands its host when it asks for recovery.
struct GpuRendererRecoveryReport {
    GpuFrameRefusalReason reason = GpuFrameRefusalReason::activeFrame;
    double failureDuration = 0;  // seconds, never negative
    std::optional<GpuTrackedCommandBufferStatus> commandBufferStatus;
    std::optional<std::string> commandBufferError;

    friend bool operator==(const GpuRendererRecoveryReport&, const GpuRendererRecoveryReport&) = default;
};

}  // namespace vantel
