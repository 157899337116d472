#include "vantel/gpu/GpuRendererRecoveryReport.h"

namespace vantel {

std::string_view rawValue(GpuFrameRefusalReason reason) {
    switch (reason) {
        case GpuFrameRefusalReason::activeFrame: return "activeFrame";
        case GpuFrameRefusalReason::missingDrawable: return "missingDrawable";
        case GpuFrameRefusalReason::missingRenderPassDescriptor: return "missingRenderPassDescriptor";
        case GpuFrameRefusalReason::missingCommandBuffer: return "missingCommandBuffer";
        case GpuFrameRefusalReason::missingRenderEncoder: return "missingRenderEncoder";
    }
    return "activeFrame";
}

std::string_view rawValue(GpuTrackedCommandBufferStatus status) {
    switch (status) {
        case GpuTrackedCommandBufferStatus::notEnqueued: return "notEnqueued";
        case GpuTrackedCommandBufferStatus::enqueued: return "enqueued";
        case GpuTrackedCommandBufferStatus::committed: return "committed";
        case GpuTrackedCommandBufferStatus::scheduled: return "scheduled";
        case GpuTrackedCommandBufferStatus::completed: return "completed";
        case GpuTrackedCommandBufferStatus::error: return "error";
    }
    return "error";
}

}  // namespace vantel
