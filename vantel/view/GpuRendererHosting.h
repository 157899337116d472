#pragma once

#include <any>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/gfx/Rgba.h"
#include "platform/runtime/MainLoop.h"
#include "platform/runtime/NotificationCenter.h"
#include "vantel/gpu/GpuError.h"
#include "vantel/gpu/GpuRenderer.h"
#include "vantel/gpu/GpuRendererHost.h"
#include "vantel/gpu/GpuRendererStatus.h"

namespace platform::ui {
class GpuView;
class View;
class Window;
}  // namespace platform::ui

namespace vantel {

// A terminal view's side of its GPU renderer: switching it on and off, the GPU view it draws
// into (a subview under the caret and the scroller), binding it to the view's window, the status
// it publishes, and recovery: a fresh renderer after a failure, or the view's own drawing for
// good when failures come within 30 s of each other or a new renderer cannot be made. Retired
// renderers with a frame in flight live until their frame completes. Main thread only.
class GpuRendererHosting : public GpuRendererHost, public std::enable_shared_from_this<GpuRendererHosting> {
public:
    // What hosting needs of the terminal view.
    class Owner {
    public:
        virtual ~Owner() = default;
        virtual platform::ui::View& hostingView() = 0;
        // The object of the status notification.
        virtual std::any hostingNotificationObject() = 0;
        virtual const Terminal& hostingTerminal() const = 0;
        virtual TerminalView* hostingTerminalView() = 0;
        virtual bool hostingFontSmoothing() const = 0;
        virtual double hostingBackingScale() const = 0;
        virtual bool hostingCaretTracksFocus() const = 0;
        virtual bool hostingHasFocus() const = 0;
        virtual bool hostingCaretBlinkHeld() const { return false; }
        virtual platform::gfx::Rgba hostingNativeForeground() const = 0;
        virtual platform::gfx::Rgba hostingNativeBackground() const = 0;
        // The GPU view goes below the caret, and the scroller stays above it; either may be none.
        virtual platform::ui::View* hostingCaretView() = 0;
        virtual platform::ui::View* hostingScroller() = 0;
        // The renderer draws the cursor: the caret stops animating, turns opaque and hides.
        virtual void hostingHideCaret() = 0;
        // Back on the view's own drawing: the caret shows again with its style refreshed.
        virtual void hostingRestoreCaret() = 0;
    };

    static constexpr double replacementInterval = 30.0;
    static constexpr platform::runtime::Duration displayCoalescingDelay{16'670'000};

    static std::shared_ptr<GpuRendererHosting> make(Owner& owner);
    ~GpuRendererHosting() override;

    // --- The switch ------------------------------------------------------------------------------
    // Turns the renderer on or off; the error when it cannot be built (nothing changes then).
    [[nodiscard]] std::optional<GpuError> setUseGpu(bool enabled);
    bool isUsingGpuRenderer() const { return useGpuRenderer_; }
    const GpuRendererStatus& gpuRendererStatus() const { return status_; }
    GpuBufferingMode gpuBufferingMode() const override { return bufferingMode_; }
    void setGpuBufferingMode(GpuBufferingMode mode) { bufferingMode_ = mode; }
    // A value that is not finite is ignored; a real change redraws.
    void setGpuScaleFactorOverride(std::optional<double> scale);
    // Draws a frame at once (with the renderer on).
    void drawGpuFrameNow();
    // Asks the GPU view for a frame over its bounds (with a GPU view).
    void requestFrame();
    // A frame 16.67 ms from now unless one is asked already (with a GPU view).
    void queueGpuDisplay();
    bool pendingGpuDisplay() const { return pendingGpuDisplay_; }

    // --- What the renderer is to redraw (display scheduling sets them) ----------------------------
    struct RenderedCursor {
        int x = 0, y = 0;  // y absolute (yBase + y)
        bool hidden = false;
        friend bool operator==(const RenderedCursor&, const RenderedCursor&) = default;
    };
    std::optional<std::pair<int, int>> gpuDirtyRange;
    std::optional<RenderedCursor> lastRenderedCursor;

    // --- Events of the terminal view ---------------------------------------------------------------
    // The view entered another window (or left one): observers, and a renderer for the new one.
    void viewDidMoveToWindow();
    // The GPU view follows the terminal view's size. True when the frame waits for the coalesced
    // display (a live resize with the throttle on): the caller then only moves its caret.
    bool frameSizeChanged();
    void viewDidUnhide();
    // The native background went opaque or not.
    void setLayerOpaque(bool opaque);
    // VANTEL_METAL_LIVE_RESIZE_THROTTLE (the name scripts already set), read once: off only for "0",
    // "false" and "FALSE".
    static bool liveResizeThrottleEnabled();

    const std::shared_ptr<platform::ui::GpuView>& gpuView() const { return gpuView_; }
    GpuRenderer* gpuRenderer() const { return gpuRenderer_.get(); }
    size_t retiredGpuRendererCount() const { return retiredGpuRenderers_.size(); }
    bool awaitingGpuDevice() const { return awaitingDevice_; }

    // --- GpuRendererHost ---------------------------------------------------------------------------
    const Terminal& gpuTerminal() const override { return owner_.hostingTerminal(); }
    bool gpuFontSmoothing() const override { return owner_.hostingFontSmoothing(); }
    std::optional<double> gpuScaleFactorOverride() const override { return scaleFactorOverride_; }
    double gpuBackingScale() const override { return owner_.hostingBackingScale(); }
    bool gpuCaretTracksFocus() const override { return owner_.hostingCaretTracksFocus(); }
    bool gpuHasFocus() const override { return owner_.hostingHasFocus(); }
    bool gpuCaretBlinkHeld() const override { return owner_.hostingCaretBlinkHeld(); }
    std::optional<platform::gfx::Rect> gpuCaretRect() const override;
    platform::gfx::Rgba gpuNativeForegroundColor() const override { return owner_.hostingNativeForeground(); }
    platform::gfx::Rgba gpuNativeBackgroundColor() const override { return owner_.hostingNativeBackground(); }
    TerminalView* gpuTerminalView() override { return owner_.hostingTerminalView(); }
    std::optional<std::pair<int, int>> takeGpuDirtyRange() override { return std::exchange(gpuDirtyRange, std::nullopt); }
    bool isGpuRendererEligibleForRetry() const override;
    void gpuRendererDidPresent(GpuRenderer& renderer, std::chrono::system_clock::time_point date) override;
    void gpuRendererRequiresRecovery(GpuRenderer& renderer, const GpuRendererRecoveryReport& report) override;
    void gpuRendererBecameIdle(GpuRenderer& renderer) override;

private:
    explicit GpuRendererHosting(Owner& owner) : owner_(owner) {}
    std::optional<GpuError> updateGpuRenderer(bool enabled);
    std::shared_ptr<platform::ui::GpuView> makeGpuView(const platform::gfx::Rect& frame,
                                                       std::shared_ptr<platform::gpu::Device> device);
    GpuResult<GpuRenderer> makeRenderer(const std::shared_ptr<platform::ui::GpuView>& view);
    void insertGpuView(platform::ui::GpuView& view, platform::ui::GpuView* old);
    void detach(const std::shared_ptr<platform::ui::GpuView>& view);
    // A working device for a new GPU view: the old view's unless it is lost, else the window's.
    std::shared_ptr<platform::gpu::Device> deviceReplacing(const platform::ui::GpuView* old) const;
    void rebindGpuRendererToWindow(platform::ui::Window& window);
    void disableGpuRendererAfterRebindFailure(const GpuError& error);
    void replaceGpuRendererAfterFailure();
    void retireGpuRenderer(const std::shared_ptr<GpuRenderer>& renderer);
    void setGpuRendererStatus(GpuRendererStatus status);
    void setState(GpuRendererStatus::State state);
    void openRecoverySignpost();
    void closeRecoverySignpost();
    void updateGpuWindowRecoveryObservers();
    void awaitDevice(platform::ui::Window& window);
    void deviceArrived();
    void restoreLayerColor();
    void logGpuRecovery(const GpuRendererRecoveryReport& report, bool willFallBack);

    Owner& owner_;
    std::shared_ptr<platform::ui::GpuView> gpuView_;
    std::shared_ptr<GpuRenderer> gpuRenderer_;
    std::vector<std::shared_ptr<GpuRenderer>> retiredGpuRenderers_;
    std::optional<double> lastReplacementAt_;  // seconds of the main loop's uptime
    std::vector<platform::runtime::NotificationCenter::Subscription> windowRecoveryObservers_;
    uint64_t recoverySignpostId_ = 0;
    bool useGpuRenderer_ = false;
    GpuRendererStatus status_;
    // Compared, never followed: the window the GPU view was built for.
    const platform::ui::Window* boundWindow_ = nullptr;
    bool pendingGpuDisplay_ = false;
    std::shared_ptr<platform::runtime::WorkItem> gpuDisplayTimer_;
    GpuBufferingMode bufferingMode_ = GpuBufferingMode::perRowPersistent;
    std::optional<double> scaleFactorOverride_;
    bool awaitingDevice_ = false;
    platform::runtime::NotificationCenter::Subscription deviceObserver_;
};

}  // namespace vantel
