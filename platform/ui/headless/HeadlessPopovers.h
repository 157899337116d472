#pragma once

#include <functional>
#include <memory>

#include "platform/ui/Popover.h"
#include "platform/ui/headless/HeadlessWindow.h"

namespace platform::ui::headless {

// A popover's window with no display: a test clicks outside it by hand.
class PopoverWindow : public HeadlessWindow {
public:
    PopoverWindow(gfx::Size size, Window& parent, std::function<void()> outsideClick)
        : HeadlessWindow(size, parent.backingScaleFactor()), parent_(parent), outsideClick_(std::move(outsideClick)) {}

    Window& parent() const { return parent_; }
    // The user clicks somewhere else: the popover closes (and this window goes).
    void clickOutside() {
        if (auto click = outsideClick_) click();
    }

private:
    Window& parent_;
    std::function<void()> outsideClick_;
};

class HeadlessPopovers : public Popover::Presenter {
public:
    std::unique_ptr<Window> makeWindow(gfx::Size size, Window& parent, const gfx::Rect&, Popover::Edge,
                                       std::function<void()> outsideClick) override {
        return std::make_unique<PopoverWindow>(size, parent, std::move(outsideClick));
    }
};

}  // namespace platform::ui::headless
