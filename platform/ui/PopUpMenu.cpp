#include "platform/ui/PopUpMenu.h"

#include <utility>

#include "platform/ui/View.h"

namespace platform::ui {

namespace {

std::shared_ptr<MenuPresenter>& installed() {
    static std::shared_ptr<MenuPresenter> presenter = std::make_shared<headless::HeadlessMenus>();
    return presenter;
}

}  // namespace

void PopUpMenu::setPresenter(std::shared_ptr<MenuPresenter> presenter) {
    installed() = presenter ? std::move(presenter) : std::make_shared<headless::HeadlessMenus>();
}

MenuPresenter& PopUpMenu::presenter() { return *installed(); }

void PopUpMenu::popUp(const Menu& menu, const View& view, gfx::Point location) {
    // Kept alive while it shows, even if another is installed meanwhile.
    std::shared_ptr<MenuPresenter> presenter = installed();
    presenter->popUp(menu, view.window(), view.convertToWindow(location));
}

namespace headless {

HeadlessMenus* HeadlessMenus::current() { return dynamic_cast<HeadlessMenus*>(&PopUpMenu::presenter()); }

void HeadlessMenus::popUp(const Menu& menu, Window* window, gfx::Point locationInWindow) {
    shown_ = menu;
    window_ = window;
    location_ = locationInWindow;
    ++popUps_;
}

namespace {

const MenuItem* findIn(const std::vector<MenuItem>& items, std::string_view title) {
    for (const MenuItem& item : items) {
        if (item.separator) continue;
        if (item.title == title) return &item;
        if (const MenuItem* inner = findIn(item.submenu, title)) return inner;
    }
    return nullptr;
}

}  // namespace

const MenuItem* HeadlessMenus::find(std::string_view title) const {
    return shown_ ? findIn(shown_->items, title) : nullptr;
}

bool HeadlessMenus::pick(std::string_view title) {
    const MenuItem* item = find(title);
    if (!item || !item->submenu.empty()) return false;
    // Gone before the action runs, as a real menu is; the action may pop up another.
    const MenuItem chosen = *item;
    dismiss();
    return MenuBar::perform(chosen);
}

void HeadlessMenus::dismiss() {
    shown_.reset();
    window_ = nullptr;
}

}  // namespace headless

}  // namespace platform::ui
