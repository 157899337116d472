#include "platform/ui/Popover.h"

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
