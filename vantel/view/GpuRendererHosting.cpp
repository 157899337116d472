#include "vantel/view/GpuRendererHosting.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "platform/gpu/Device.h"
#include "platform/runtime/SystemLog.h"
#include "platform/ui/GpuView.h"
#include "platform/ui/Window.h"
#include "vantel/core/Terminal.h"
#include "vantel/gpu/GpuRecoveryClock.h"
#include "vantel/gpu/GpuRecoverySignpost.h"

namespace vantel {

using platform::runtime::LogLevel;
using platform::runtime::MainLoop;
using platform::runtime::NotificationCenter;
using platform::runtime::SystemLog;
using platform::ui::GpuView;
using platform::ui::View;
using platform::ui::Window;
using State = GpuRendererStatus::State;

namespace {

bool hiddenOrInHidden(const View& view) {
    for (const View* v = &view; v; v = v->superview())
        if (v->isHidden()) return true;
    return false;
}

// Puts `view` just above `reference` among the subviews of `parent`.
void addAbove(View& parent, View& view, View& reference) {
    const auto& subviews = parent.subviews();
    auto at = std::find(subviews.begin(), subviews.end(), &reference);
    View* next = nullptr;
    if (at != subviews.end()) {
        for (auto it = at + 1; it != subviews.end(); ++it)
            if (*it != &view) {
                next = *it;
                break;
            }
    }
    if (next) parent.addSubview(&view, next);
    else parent.addSubview(&view);
}

}  // namespace

std::shared_ptr<GpuRendererHosting> GpuRendererHosting::make(Owner& owner) {
    return std::shared_ptr<GpuRendererHosting>(new GpuRendererHosting(owner));
}

GpuRendererHosting::~GpuRendererHosting() {
    if (gpuDisplayTimer_) gpuDisplayTimer_->cancel();
    // Frames still in flight end without anyone to tell.
    for (auto* renderer : {&gpuRenderer_}) {
        if (*renderer) {
            (*renderer)->frameCoordinator().invalidate();
            (*renderer)->invalidateCursorBlinkTimer();
        }
    }
    if (gpuView_) gpuView_->setDelegate({});
}

bool GpuRendererHosting::liveResizeThrottleEnabled() {
    static const bool enabled = [] {
        const char* value = std::getenv("VANTEL_METAL_LIVE_RESIZE_THROTTLE");
        if (!value) return true;
        const std::string_view v(value);
        return !(v == "0" || v == "false" || v == "FALSE");
    }();
    return enabled;
}

// --- The switch ------------------------------------------------------------------------------------

std::optional<GpuError> GpuRendererHosting::setUseGpu(bool enabled) {
    if (enabled == useGpuRenderer_) {
        if (!enabled && status_.state != State::disabled) setState(State::disabled);
        return std::nullopt;
    }
    if (enabled) {
        if (auto error = updateGpuRenderer(true)) return error;
        useGpuRenderer_ = true;
        lastReplacementAt_.reset();
        setGpuRendererStatus({State::waitingForFirstFrame, 0, std::nullopt});
        return std::nullopt;
    }
    updateGpuRenderer(false);
    useGpuRenderer_ = false;
    if (status_.state != State::disabled) setState(State::disabled);
    return std::nullopt;
}

std::optional<GpuError> GpuRendererHosting::updateGpuRenderer(bool enabled) {
    View& host = owner_.hostingView();
    if (!enabled) {
        awaitingDevice_ = false;
        deviceObserver_.cancel();
        retireGpuRenderer(gpuRenderer_);
        if (gpuView_) detach(gpuView_);
        gpuView_.reset();
        gpuRenderer_.reset();
        boundWindow_ = nullptr;
        restoreLayerColor();
        owner_.hostingRestoreCaret();
        host.setNeedsDisplay();
        return std::nullopt;
    }
    if (gpuView_ || awaitingDevice_) return std::nullopt;
    Window* window = host.window();
    auto device = window ? window->gpuDevice() : platform::gpu::Device::systemDefault();
    if (!device) {
        // A window whose device comes once it is on screen: the renderer is built then.
        if (window && window->gpuDeviceIsPending()) {
            awaitDevice(*window);
            return std::nullopt;
        }
        return GpuError{GpuError::Kind::deviceUnavailable, {}};
    }
    auto view = makeGpuView(host.bounds(), device);
    auto made = makeRenderer(view);
    if (!made) return made.error;
    view->setDelegate(std::static_pointer_cast<platform::ui::GpuViewDelegate>(made.value));
    insertGpuView(*view, nullptr);
    gpuView_ = view;
    gpuRenderer_ = made.value;
    boundWindow_ = window;
    host.setLayerBackgroundColor(platform::gfx::Rgba{0, 0, 0, 0});
    requestFrame();
    return std::nullopt;
}

void GpuRendererHosting::awaitDevice(Window& window) {
    awaitingDevice_ = true;
    std::weak_ptr<GpuRendererHosting> weak = weak_from_this();
    deviceObserver_ = NotificationCenter::defaultCenter().subscribe(
        Window::gpuDeviceDidChangeNotification, [weak, target = &window](const platform::runtime::Notification& n) {
            auto self = weak.lock();
            const auto* window = std::any_cast<Window*>(&n.object);
            if (self && self->awaitingDevice_ && window && *window == target) self->deviceArrived();
        });
}

void GpuRendererHosting::deviceArrived() {
    awaitingDevice_ = false;
    deviceObserver_.cancel();
    if (!useGpuRenderer_) return;
    if (auto error = updateGpuRenderer(true)) disableGpuRendererAfterRebindFailure(*error);
}

GpuResult<GpuRenderer> GpuRendererHosting::makeRenderer(const std::shared_ptr<GpuView>& view) {
    const auto& factory = GpuRenderer::factory();
    // No renderer library in this program.
    if (!factory) return GpuResult<GpuRenderer>::failure(GpuError::Kind::gpuKitUnavailable);
    return factory(view, weak_from_this());
}

std::shared_ptr<GpuView> GpuRendererHosting::makeGpuView(const platform::gfx::Rect& frame,
                                                         std::shared_ptr<platform::gpu::Device> device) {
    auto view = std::make_shared<GpuView>(frame, std::move(device));
    view->setLayerOpaque(owner_.hostingNativeBackground().alpha >= 1.0);
    return view;
}

void GpuRendererHosting::insertGpuView(GpuView& view, GpuView* old) {
    View& host = owner_.hostingView();
    if (View* caret = owner_.hostingCaretView()) {
        host.addSubview(&view, caret);
        // The renderer draws the cursor.
        owner_.hostingHideCaret();
    } else if (old && old->superview() == &host) {
        addAbove(host, view, *old);
    } else {
        host.addSubview(&view, host.subviews().empty() ? nullptr : host.subviews().front());
    }
    // The scroller stays above the GPU view (and above the caret when it is already).
    if (View* scroller = owner_.hostingScroller(); scroller && scroller->superview() == &host) {
        const auto& subviews = host.subviews();
        if (std::find(subviews.begin(), subviews.end(), scroller) < std::find(subviews.begin(), subviews.end(), &view))
            addAbove(host, *scroller, view);
    }
}

void GpuRendererHosting::detach(const std::shared_ptr<GpuView>& view) {
    view->setDelegate({});
    view->removeFromSuperview();
}

std::shared_ptr<platform::gpu::Device> GpuRendererHosting::deviceReplacing(const GpuView* old) const {
    if (old && old->device() && !old->device()->isLost()) return old->device();
    Window* window = owner_.hostingView().window();
    return window ? window->gpuDevice() : platform::gpu::Device::systemDefault();
}

void GpuRendererHosting::restoreLayerColor() {
    const bool reverse = owner_.hostingTerminal().reverseColors;
    owner_.hostingView().setLayerBackgroundColor(reverse ? owner_.hostingNativeForeground()
                                                         : owner_.hostingNativeBackground());
}

// --- Windows -------------------------------------------------------------------------------------------

void GpuRendererHosting::viewDidMoveToWindow() {
    updateGpuWindowRecoveryObservers();
    Window* window = owner_.hostingView().window();
    if (!useGpuRenderer_ || !window) return;
    if (awaitingDevice_) {
        // The device awaited was another window's.
        awaitingDevice_ = false;
        deviceObserver_.cancel();
        if (auto error = updateGpuRenderer(true)) disableGpuRendererAfterRebindFailure(*error);
        return;
    }
    if (boundWindow_ != window) rebindGpuRendererToWindow(*window);
    requestFrame();
}

void GpuRendererHosting::rebindGpuRendererToWindow(Window& window) {
    if (!useGpuRenderer_ || !gpuView_) return;
    // GL contexts belong to their window: the new window's device first.
    auto device = window.gpuDevice();
    if (!device && gpuView_->device() && !gpuView_->device()->isLost()) device = gpuView_->device();
    if (!device) {
        disableGpuRendererAfterRebindFailure({GpuError::Kind::deviceUnavailable, {}});
        return;
    }
    auto view = makeGpuView(gpuView_->frame(), device);
    auto made = makeRenderer(view);
    if (!made) {
        disableGpuRendererAfterRebindFailure(*made.error);
        return;
    }
    view->setDelegate(std::static_pointer_cast<platform::ui::GpuViewDelegate>(made.value));
    if (status_.state != State::recovering) setState(State::recovering);
    openRecoverySignpost();
    insertGpuView(*view, gpuView_.get());
    view->draw();
    view->setNeedsDisplay(view->bounds());
    auto oldRenderer = std::exchange(gpuRenderer_, made.value);
    detach(std::exchange(gpuView_, view));
    boundWindow_ = &window;
    retireGpuRenderer(oldRenderer);
}

void GpuRendererHosting::updateGpuWindowRecoveryObservers() {
    windowRecoveryObservers_.clear();
    Window* window = owner_.hostingView().window();
    if (!window) return;
    std::weak_ptr<GpuRendererHosting> weak = weak_from_this();
    for (const char* name : {Window::didChangeVisibilityNotification, Window::didDeminiaturizeNotification}) {
        windowRecoveryObservers_.push_back(NotificationCenter::defaultCenter().subscribe(
            name, [weak, window](const platform::runtime::Notification& n) {
                auto self = weak.lock();
                const auto* source = std::any_cast<Window*>(&n.object);
                if (!self || !source || *source != window) return;
                if (self->isGpuRendererEligibleForRetry()) self->requestFrame();
            }));
    }
}

std::optional<platform::gfx::Rect> GpuRendererHosting::gpuCaretRect() const {
    platform::ui::View* caret = owner_.hostingCaretView();
    if (!caret || !gpuView_ || !caret->window() || caret->window() != gpuView_->window()) return std::nullopt;
    return gpuView_->convertFromWindow(caret->convertToWindow(caret->bounds()));
}

bool GpuRendererHosting::isGpuRendererEligibleForRetry() const {
    View& host = owner_.hostingView();
    const Window* window = host.window();
    return useGpuRenderer_ && gpuView_ && window && window->isVisible() && !window->isMiniaturized() &&
           !hiddenOrInHidden(host) && host.bounds().width > 0 && host.bounds().height > 0;
}

// --- Recovery ------------------------------------------------------------------------------------------

void GpuRendererHosting::gpuRendererRequiresRecovery(GpuRenderer& renderer, const GpuRendererRecoveryReport& report) {
    if (&renderer != gpuRenderer_.get() || !useGpuRenderer_) return;
    const double now = mainLoopUptimeSeconds();
    bool willFallBack = true;
    if (!lastReplacementAt_ || now - *lastReplacementAt_ >= replacementInterval) {
        lastReplacementAt_ = now;
        willFallBack = false;
    }
    logGpuRecovery(report, willFallBack);
    if (status_.state != State::recovering) setState(State::recovering);
    openRecoverySignpost();
    if (willFallBack) disableGpuRendererAfterRebindFailure({GpuError::Kind::commandQueueUnavailable, {}});
    else replaceGpuRendererAfterFailure();
}

void GpuRendererHosting::replaceGpuRendererAfterFailure() {
    auto device = gpuView_ ? deviceReplacing(gpuView_.get()) : nullptr;
    if (!device) {
        disableGpuRendererAfterRebindFailure({GpuError::Kind::deviceUnavailable, {}});
        return;
    }
    auto view = makeGpuView(gpuView_->frame(), device);
    auto made = makeRenderer(view);
    if (!made) {
        disableGpuRendererAfterRebindFailure(*made.error);
        return;
    }
    view->setDelegate(std::static_pointer_cast<platform::ui::GpuViewDelegate>(made.value));
    insertGpuView(*view, gpuView_.get());
    auto oldView = std::exchange(gpuView_, view);
    auto oldRenderer = std::exchange(gpuRenderer_, made.value);
    boundWindow_ = owner_.hostingView().window();
    retireGpuRenderer(oldRenderer);
    detach(oldView);
    view->draw();
    view->setNeedsDisplay(view->bounds());
}

void GpuRendererHosting::disableGpuRendererAfterRebindFailure(const GpuError& error) {
    SystemLog::write(LogLevel::error, "",
                     "Vantel: GPU renderer rebind failed; falling back to the CPU renderer: " + error.description());
    retireGpuRenderer(gpuRenderer_);
    if (gpuView_) detach(gpuView_);
    gpuView_.reset();
    gpuRenderer_.reset();
    boundWindow_ = nullptr;
    awaitingDevice_ = false;
    deviceObserver_.cancel();
    useGpuRenderer_ = false;
    owner_.hostingRestoreCaret();
    // Default-background cells must not show what lies behind the view.
    restoreLayerColor();
    owner_.hostingView().setNeedsDisplay();
    if (status_.state != State::fellBackToCpu) setState(State::fellBackToCpu);
    closeRecoverySignpost();
}

void GpuRendererHosting::gpuRendererDidPresent(GpuRenderer& renderer, std::chrono::system_clock::time_point date) {
    if (&renderer != gpuRenderer_.get() || !useGpuRenderer_) return;
    setGpuRendererStatus({State::healthy, status_.presentedFrameCount + 1, date});
    closeRecoverySignpost();
}

void GpuRendererHosting::retireGpuRenderer(const std::shared_ptr<GpuRenderer>& renderer) {
    if (!renderer) return;
    renderer->frameCoordinator().invalidate();
    renderer->invalidateCursorBlinkTimer();
    if (!renderer->frameCoordinator().activeFrame()) return;
    // Kept until its frame completes and the coordinator reports idle.
    if (std::find(retiredGpuRenderers_.begin(), retiredGpuRenderers_.end(), renderer) == retiredGpuRenderers_.end())
        retiredGpuRenderers_.push_back(renderer);
}

void GpuRendererHosting::gpuRendererBecameIdle(GpuRenderer& renderer) {
    std::erase_if(retiredGpuRenderers_, [&](const auto& r) { return r.get() == &renderer; });
}

void GpuRendererHosting::logGpuRecovery(const GpuRendererRecoveryReport& report, bool willFallBack) {
    const std::string status = report.commandBufferStatus ? std::string(rawValue(*report.commandBufferStatus)) : "none";
    const std::string error = report.commandBufferError.value_or("none");
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", report.failureDuration);
    SystemLog::write(LogLevel::error, "",
                     "Vantel GPU recovery reason=" + std::string(rawValue(report.reason)) + " duration=" + duration +
                         " status=" + status + " error=" + error +
                         " action=" + (willFallBack ? "cpu-renderer" : "replace-gpu-renderer"));
}

// --- Status ----------------------------------------------------------------------------------------------

void GpuRendererHosting::setState(State state) {
    setGpuRendererStatus({state, status_.presentedFrameCount, status_.lastFramePresentedAt});
}

void GpuRendererHosting::setGpuRendererStatus(GpuRendererStatus status) {
    if (!MainLoop::main().isLoopThread()) {
        std::weak_ptr<GpuRendererHosting> weak = weak_from_this();
        MainLoop::main().post([weak, status] {
            if (auto self = weak.lock()) self->setGpuRendererStatus(status);
        });
        return;
    }
    status_ = status;
    NotificationCenter::defaultCenter().post(terminalViewGpuRendererStatusDidChange, owner_.hostingNotificationObject());
}

void GpuRendererHosting::openRecoverySignpost() {
    if (recoverySignpostId_ == 0 && GpuRecoverySignpost::isEnabled())
        recoverySignpostId_ = GpuRecoverySignpost::begin("Gpu.Recovery");
}

void GpuRendererHosting::closeRecoverySignpost() {
    GpuRecoverySignpost::end(std::exchange(recoverySignpostId_, 0));
}

// --- Frames --------------------------------------------------------------------------------------------

void GpuRendererHosting::requestFrame() {
    if (gpuView_) gpuView_->setNeedsDisplay(gpuView_->bounds());
}

void GpuRendererHosting::drawGpuFrameNow() {
    if (useGpuRenderer_ && gpuView_) gpuView_->draw();
}

void GpuRendererHosting::queueGpuDisplay() {
    if (!gpuView_ || pendingGpuDisplay_) return;
    pendingGpuDisplay_ = true;
    std::weak_ptr<GpuRendererHosting> weak = weak_from_this();
    gpuDisplayTimer_ = MainLoop::main().postAfter(displayCoalescingDelay, [weak] {
        auto self = weak.lock();
        if (!self) return;
        self->pendingGpuDisplay_ = false;
        self->gpuDisplayTimer_.reset();
        self->requestFrame();
    });
}

void GpuRendererHosting::setGpuScaleFactorOverride(std::optional<double> scale) {
    if (scale && !std::isfinite(*scale)) return;
    if (scale == scaleFactorOverride_) return;
    scaleFactorOverride_ = scale;
    if (useGpuRenderer_) requestFrame();
}

bool GpuRendererHosting::frameSizeChanged() {
    if (gpuView_) gpuView_->setFrame(owner_.hostingView().bounds());
    if (!useGpuRenderer_) return false;
    const Window* window = owner_.hostingView().window();
    if (window && window->inLiveResize() && liveResizeThrottleEnabled()) {
        queueGpuDisplay();
        return true;
    }
    requestFrame();
    return false;
}

void GpuRendererHosting::viewDidUnhide() {
    if (gpuView_ && isGpuRendererEligibleForRetry()) requestFrame();
}

void GpuRendererHosting::setLayerOpaque(bool opaque) {
    if (gpuView_) gpuView_->setLayerOpaque(opaque);
}

}  // namespace vantel
