#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "platform/gfx/Rect.h"
#include "platform/ui/Menu.h"

namespace platform::ui {

class View;
class Window;

// What a toolkit shows of a pop-up menu: the menu at a point of a window (points, y up). The
// presenter runs the chosen item's action (MenuBar::perform) after the menu is gone; nothing when
// the menu is dismissed.
class MenuPresenter {
public:
    virtual ~MenuPresenter() = default;
    virtual void popUp(const Menu& menu, Window* window, gfx::Point locationInWindow) = 0;
};

// Pop-up and context menus of views: items with check marks, separators, disabled ones. Without
// a toolkit's presenter the headless one records the menu for a test to pick from. Main thread.
class PopUpMenu {
public:
    PopUpMenu() = delete;

    static void setPresenter(std::shared_ptr<MenuPresenter> presenter);
    static MenuPresenter& presenter();
    // Shows `menu` with its top-left corner at `location` in the view's own coordinates.
    static void popUp(const Menu& menu, const View& view, gfx::Point location);
};

namespace headless {

// Holds the menu last popped up until a test picks an item or dismisses it.
class HeadlessMenus : public MenuPresenter {
public:
    void popUp(const Menu& menu, Window* window, gfx::Point locationInWindow) override;

    // The presenter PopUpMenu uses, when it is the headless one.
    static HeadlessMenus* current();

    const Menu* shown() const { return shown_ ? &*shown_ : nullptr; }
    Window* shownIn() const { return window_; }
    gfx::Point shownAt() const { return location_; }
    int popUpCount() const { return popUps_; }
    // Runs the enabled item of that title (in the menu or one of its submenus, depth first) and
    // closes the menu; false when there is no such item.
    bool pick(std::string_view title);
    // The item of that title, in the menu or its submenus; null when none or nothing is shown.
    const MenuItem* find(std::string_view title) const;
    void dismiss();

private:
    std::optional<Menu> shown_;
    Window* window_ = nullptr;
    gfx::Point location_;
    int popUps_ = 0;
};

}  // namespace headless

}  // namespace platform::ui
