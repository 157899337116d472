#include "platform/ui/Popover.h"

#include <algorithm>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/View.h"
#include "platform/ui/Window.h"
#include "platform/ui/headless/HeadlessPopovers.h"

namespace platform::ui {

namespace {

std::shared_ptr<Popover::Presenter>& presenter() {
    static std::shared_ptr<Popover::Presenter> shown = std::make_shared<headless::HeadlessPopovers>();
    return shown;
}

}  // namespace

gfx::Rect Popover::placement(gfx::Size size, const gfx::Rect& anchor, Edge edge, const gfx::Rect& window,
                             const std::optional<gfx::Rect>& workArea, double gap) {
    const double below = anchor.maxY() + gap, above = anchor.y - gap - size.height;
    double y = edge == Edge::below ? below : above;
    // Rooms are y down here: a rectangle's y is its top edge.
    for (const gfx::Rect& room : {window, workArea.value_or(window)}) {
        const bool belowFits = below + size.height <= room.maxY(), aboveFits = above >= room.y;
        if (edge == Edge::below ? belowFits : aboveFits) break;
        if (edge == Edge::below ? aboveFits : belowFits) {
            y = edge == Edge::below ? above : below;
            break;
        }
    }
    double x = anchor.x + (anchor.width - size.width) / 2;
    if (size.width <= window.width) x = std::clamp(x, window.x, window.maxX() - size.width);
    if (workArea) {
        x = std::clamp(x, workArea->x, std::max(workArea->x, workArea->maxX() - size.width));
        y = std::clamp(y, workArea->y, std::max(workArea->y, workArea->maxY() - size.height));
    }
    return {x, y, size.width, size.height};
}

void Popover::setPresenter(std::shared_ptr<Presenter> made) {
    presenter() = made ? std::move(made) : std::make_shared<headless::HeadlessPopovers>();
}

Popover::Popover() : self_(std::make_shared<Popover*>(this)) {}

Popover::~Popover() {
    *self_ = nullptr;
    // Gone without telling anyone: its owner is going too.
    onClose = nullptr;
    close();
}

void Popover::show(View& content, Window& parent, const gfx::Rect& anchor, Edge edge) {
    close();
    std::weak_ptr<Popover*> weak = self_;
    auto outsideClick = [weak] {
        if (auto self = weak.lock(); self && *self) (*self)->close();
    };
    const gfx::Rect frame = content.frame();
    window_ = presenter()->makeWindow({frame.width, frame.height}, parent, anchor, edge, outsideClick);
    if (!window_) return;
    content_ = &content;
    anchor_ = anchor;
    content.setFrameOrigin({0, 0});
    window_->setContentView(&content);
    // Escape closes it, once the key's handling is over: the window goes with it.
    window_->keyDownMonitor = [weak](const KeyEvent& event) {
        const ModifierFlags held = Modifier::shift | Modifier::control | Modifier::alt | Modifier::super;
        if (event.key != Key::escape || (event.modifiers & held)) return false;
        runtime::MainLoop::main().post([weak] {
            if (auto self = weak.lock(); self && *self) (*self)->close();
        });
        return true;
    };
    presenter()->present(*window_);
}

void Popover::close() {
    if (!window_) return;
    // The window goes after the content has left it, and before anyone is told.
    std::unique_ptr<Window> closing = std::move(window_);
    closing->setContentView(nullptr);
    content_ = nullptr;
    closing.reset();
    if (auto told = onClose) told();
}

}  // namespace platform::ui
