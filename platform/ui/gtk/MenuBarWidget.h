#pragma once

#include <memory>
#include <vector>

#include "platform/ui/Menu.h"

typedef struct _GtkWidget GtkWidget;

namespace platform::ui::gtk {

// A GtkMenuBar showing a menu bar model: titles without mnemonics, each shortcut shown beside its
// item but not installed (the application's key handling runs them), disabled items greyed,
// hidden items left out, check items and submenus. Activating an item runs it on the main loop,
// once the toolkit is done with the menu (the action may replace the menu bar). The widget keeps
// the model alive.
GtkWidget* makeMenuBarWidget(std::shared_ptr<const MenuBar> bar);

// Whether the items are the choices of one list: an item that is no setting of its own is checked.
bool isChoiceList(const std::vector<MenuItem>& items);
// One item as a menu widget, without its action or submenu: a separator; a check item (a setting
// of its own, or every item of a choice list); one with its image at the window's `scale`; a
// plain one. Greyed while disabled.
GtkWidget* makeMenuItemWidget(const MenuItem& item, bool choiceList, int scale);

}  // namespace platform::ui::gtk
