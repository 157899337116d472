#pragma once

#include <chrono>
#include <cstdint>
#include <optional>

namespace vantel {

// The health of a terminal view's GPU renderer, published with a notification on every change.
struct GpuRendererStatus {
    enum class State { disabled, waitingForFirstFrame, healthy, recovering, fellBackToCoreGraphics };

    State state = State::disabled;
    uint64_t presentedFrameCount = 0;
    std::optional<std::chrono::system_clock::time_point> lastFramePresentedAt;

    friend bool operator==(const GpuRendererStatus&, const GpuRendererStatus&) = default;
};

// Posted by a terminal view (the view as the notification's object) whenever its status is set.
inline constexpr const char* terminalViewGpuRendererStatusDidChange = "Vantel.TerminalView.metalRendererStatusDidChange";

// How the renderer keeps its draw data between frames.
enum class GpuBufferingMode { perRowPersistent, perFrameAggregated };

}  // namespace vantel
