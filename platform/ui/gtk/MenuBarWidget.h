#pragma once

#include <memory>

#include "platform/ui/Menu.h"

typedef struct _GtkWidget GtkWidget;

namespace platform::ui::gtk {

// A GtkMenuBar showing a menu bar model: titles without mnemonics, each shortcut shown beside its
// item but not installed (the application's key handling runs them), disabled items greyed,
// hidden items left out. Activating an item runs it. The widget keeps the model alive.
GtkWidget* makeMenuBarWidget(std::shared_ptr<const MenuBar> bar);

}  // namespace platform::ui::gtk
