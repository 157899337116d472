#include "platform/ui/WindowMaker.h"

#include "platform/ui/headless/HeadlessWindow.h"

namespace platform::ui {

namespace {

WindowMaker::Function& installed() {
    static WindowMaker::Function make;
    return make;
}

}  // namespace

void WindowMaker::install(Function make) { installed() = std::move(make); }

std::unique_ptr<Window> WindowMaker::make(gfx::Size size, const std::string& title) {
    if (installed()) return installed()(size, title);
    auto window = std::make_unique<headless::HeadlessWindow>(size, 1);
    window->setTitle(title);
    return window;
}

}  // namespace platform::ui
