#pragma once

#include <chrono>
#include <optional>
#include <utility>

#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"
#include "vantel/gpu/GpuRendererRecoveryReport.h"
#include "vantel/gpu/GpuRendererStatus.h"

namespace vantel {

class GpuRenderer;
class Terminal;
class TerminalView;

// The terminal view's side of a GPU renderer: what the renderer reads each frame and what it
// reports. The renderer holds it weakly and calls it on the main thread only.
class GpuRendererHost {
public:
    virtual ~GpuRendererHost() = default;

    virtual const Terminal& gpuTerminal() const = 0;
    virtual bool gpuFontSmoothing() const = 0;
    // The view's scale override, when set; else its backing scale (the window's, else the main
    // screen's, else 1) is used.
    virtual std::optional<double> gpuScaleFactorOverride() const = 0;
    virtual double gpuBackingScale() const = 0;
    virtual bool gpuCaretTracksFocus() const = 0;
    virtual bool gpuHasFocus() const = 0;
    // Typing holds a blinking cursor shown for a moment; so does the desktop where its caret
    // does not blink, and past its blink timeout.
    virtual bool gpuCaretBlinkHeld() const { return false; }
    // Where the cursor stands in the renderer's view, when known: a blink redraws that alone.
    virtual std::optional<platform::gfx::Rect> gpuCaretRect() const { return std::nullopt; }
    virtual platform::gfx::Rgba gpuNativeForegroundColor() const = 0;
    virtual platform::gfx::Rgba gpuNativeBackgroundColor() const = 0;
    // The view whose rows the renderer draws; none for a host whose frames are only cleared.
    virtual TerminalView* gpuTerminalView() { return nullptr; }
    // The absolute buffer rows changed since the last frame; taking them leaves none behind.
    virtual std::optional<std::pair<int, int>> takeGpuDirtyRange() { return std::nullopt; }
    virtual GpuBufferingMode gpuBufferingMode() const { return GpuBufferingMode::perRowPersistent; }

    // Whether the view can draw at all now (the coordinator asks before retrying).
    virtual bool isGpuRendererEligibleForRetry() const = 0;
    virtual void gpuRendererDidPresent(GpuRenderer& renderer, std::chrono::system_clock::time_point date) = 0;
    virtual void gpuRendererRequiresRecovery(GpuRenderer& renderer, const GpuRendererRecoveryReport& report) = 0;
    // The renderer's coordinator became idle: a retired renderer may go now.
    virtual void gpuRendererBecameIdle(GpuRenderer& renderer) = 0;
};

}  // namespace vantel
