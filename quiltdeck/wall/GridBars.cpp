// The bar and the tab bar in full screen: they slide away after the pointer has rested for 3 s
// and come back when it touches the window's top edge, when the bar has something new to say (for
// as long as it is news), or when the menus are opened by keys.
#include <algorithm>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Window.h"
#include "quiltdeck/wall/GridController.h"

namespace quiltdeck {

using platform::runtime::MainLoop;
using platform::runtime::NotificationCenter;
using platform::ui::AnimationContext;
using platform::ui::Window;

namespace {

Window* windowOf(const platform::runtime::Notification& note) {
    Window* const* window = std::any_cast<Window*>(&note.object);
    return window ? *window : nullptr;
}

}  // namespace

void GridController::setupBarAutoHide() {
    std::weak_ptr<int> alive = alive_;
    auto& center = NotificationCenter::defaultCenter();
    // Any window's: another window entering full screen arms nothing, since the hide is
    // armed only while this one is in full screen.
    observers_.push_back(center.subscribe(Window::didEnterFullScreenNotification, [this, alive](const auto& note) {
        if (alive.expired()) return;
        // The bars move down by the inset.
        if (windowOf(note) == root_.window()) relayout();
        scheduleBarHide();
    }));
    observers_.push_back(center.subscribe(Window::didExitFullScreenNotification, [this, alive](const auto& note) {
        if (alive.expired()) return;
        const bool wasHidden = barHidden_;
        showBar(false);
        // Without the inset now; showing the bars has laid the wall out already.
        if (!wasHidden && windowOf(note) == root_.window()) relayout();
    }));
    // A keyboard user has no top edge to reach: the menus opened by keys bring the bars in too.
    observers_.push_back(center.subscribe(Window::didOpenMenuBarNotification, [this, alive](const auto& note) {
        if (!alive.expired() && windowOf(note) == root_.window()) revealBarFor(barHideDelay);
    }));
    bar_.onNews = [this, alive](std::chrono::seconds shown) {
        if (!alive.expired()) revealBarFor(shown);
    };
    // The window takes its pointer monitor when the wall is put in it.
    root_.onWindowChange = [this, alive] {
        if (alive.expired()) return;
        Window* window = root_.window();
        if (!window || window == monitoredWindow_) return;
        monitoredWindow_ = window;
        window->mouseMovedMonitor = [this, alive](const platform::ui::MouseEvent&) {
            if (!alive.expired()) pointerMoved();
        };
    };
    root_.onWindowChange();
}

void GridController::pointerMoved() {
    Window* window = root_.window();
    if (!window || !window->isFullScreen()) return;
    const std::optional<platform::gfx::Point> pointer = window->mouseLocationOutsideOfEventStream();
    if (barHidden_ && pointer && pointer->y >= window->size().height - revealZone) setBar(false);
    if (!barHidden_) scheduleBarHide();
}

void GridController::scheduleBarHide() {
    if (barHideTimer_) barHideTimer_->cancel();
    barHideTimer_ = nullptr;
    Window* window = root_.window();
    if (!window || !window->isFullScreen()) return;
    std::weak_ptr<int> alive = alive_;
    const platform::runtime::Duration delay = std::max<platform::runtime::Duration>(barHideDelay, barNewsUntil_ - MainLoop::main().now());
    barHideTimer_ = MainLoop::main().postAfter(delay, [this, alive] {
        if (alive.expired()) return;
        barHideTimer_ = nullptr;
        // Not asked again whether the window is still in full screen: leaving cancels this.
        setBar(true);
    });
}

void GridController::revealBarFor(platform::runtime::Duration shown) {
    barNewsUntil_ = std::max(barNewsUntil_, MainLoop::main().now() + shown);
    Window* window = root_.window();
    if (!window || !window->isFullScreen()) return;
    if (barHidden_) setBar(false);
    else scheduleBarHide();
}

void GridController::setBar(bool hidden) {
    if (barHidden_ == hidden) return;
    barHidden_ = hidden;
    AnimationContext::runAnimationGroup([this](AnimationContext& context) {
        context.duration = barSlideDuration;
        context.allowsImplicitAnimation = true;
        relayout();
    });
    if (!hidden) scheduleBarHide();
}

void GridController::showBar(bool /*permanent*/) {
    if (barHideTimer_) barHideTimer_->cancel();
    barHideTimer_ = nullptr;
    if (barHidden_) setBar(false);
}

double GridController::topInset() const {
    const Window* window = root_.window();
    if (!window || !window->isFullScreen() || barHidden_) return 0;
    // No safe area on this platform: the smallest inset.
    return WallGeometry::minimumFullScreenInset;
}

}  // namespace quiltdeck
