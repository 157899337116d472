#pragma once

#include "platform/ui/PopUpMenu.h"

namespace platform::ui::gtk {

// Pop-up menus as GtkMenus at a point of a toolkit window's content: items with check marks or
// small images, submenus, separators, insensitive items for disabled ones, hidden items left out.
// The chosen item's action runs on the main loop once the menu is gone.
class MenuPresenterGtk : public MenuPresenter {
public:
    void popUp(const Menu& menu, Window* window, gfx::Point locationInWindow) override;
};

}  // namespace platform::ui::gtk
