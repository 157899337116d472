#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace vantel {

// The health of a terminal view's GPU renderer, published with a notification on every change.
struct GpuRendererStatus {
    enum class State { disabled, waitingForFirstFrame, healthy, recovering, fellBackToCpu };

    State state = State::disabled;
    uint64_t presentedFrameCount = 0;
    std::optional<std::chrono::system_clock::time_point> lastFramePresentedAt;

    friend bool operator==(const GpuRendererStatus&, const GpuRendererStatus&) = default;
};

// The state in words, for people reading a tool's output or a log.
constexpr const char* describe(GpuRendererStatus::State state) {
    switch (state) {
        case GpuRendererStatus::State::disabled: return "disabled";
        case GpuRendererStatus::State::waitingForFirstFrame: return "waiting for its first frame";
        case GpuRendererStatus::State::healthy: return "healthy";
        case GpuRendererStatus::State::recovering: return "recovering";
        case GpuRendererStatus::State::fellBackToCpu: return "fell back to the CPU renderer";
    }
    return "unknown";
}

// Posted by a terminal view (the view as the notification's object) whenever its status is set.
inline constexpr const char* terminalViewGpuRendererStatusDidChange = "Vantel.TerminalView.metalRendererStatusDidChange";

// How the renderer keeps its draw data between frames.
enum class GpuBufferingMode { perRowPersistent, perFrameAggregated };

}  // namespace vantel
