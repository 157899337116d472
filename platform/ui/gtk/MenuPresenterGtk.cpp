#include "platform/ui/gtk/MenuPresenterGtk.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/gtk/MenuBarWidget.h"
#include "platform/ui/gtk/ToolkitWindow.h"

namespace platform::ui::gtk {

namespace {

// The menu shown, and the item chosen in it; freed with the GtkMenu.
struct Shown {
    Menu menu;
    const MenuItem* chosen = nullptr;
};

void fill(GtkWidget* gtkMenu, const std::vector<MenuItem>& items, Shown* shown, int scale) {
    const bool choices = isChoiceList(items);
    for (const MenuItem& item : items) {
        if (item.hidden) continue;
        GtkWidget* widget = makeMenuItemWidget(item, choices, scale);
        if (!item.separator && !item.submenu.empty()) {
            GtkWidget* inner = gtk_menu_new();
            fill(inner, item.submenu, shown, scale);
            gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), inner);
        } else if (!item.separator) {
            g_object_set_data(G_OBJECT(widget), "quiltdeck-item", const_cast<MenuItem*>(&item));
            g_signal_connect(widget, "activate", G_CALLBACK(+[](GtkMenuItem* widget, gpointer data) {
                                 static_cast<Shown*>(data)->chosen =
                                     static_cast<const MenuItem*>(g_object_get_data(G_OBJECT(widget), "quiltdeck-item"));
                             }),
                             shown);
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(gtkMenu), widget);
    }
}

}  // namespace

void MenuPresenterGtk::popUp(const Menu& menu, Window* window, gfx::Point locationInWindow) {
    auto* owner = dynamic_cast<ToolkitWindow*>(window);
    GtkWidget* content = owner ? owner->contentWidget() : nullptr;
    if (!content || !gtk_widget_get_window(content)) return;
    auto* shown = new Shown{menu, nullptr};
    GtkWidget* gtkMenu = gtk_menu_new();
    fill(gtkMenu, shown->menu.items, shown, gtk_widget_get_scale_factor(content));
    gtk_widget_show_all(gtkMenu);
    // GTK deactivates the menu before it activates the chosen item: the choice is read at the next
    // idle moment, when the menu is gone; the action may show another.
    g_signal_connect(gtkMenu, "deactivate", G_CALLBACK(+[](GtkMenuShell* menu, gpointer) {
                         g_idle_add(+[](gpointer widget) {
                             auto* shown = static_cast<Shown*>(g_object_get_data(G_OBJECT(widget), "quiltdeck-shown"));
                             if (shown && shown->chosen) {
                                 MenuItem item = *shown->chosen;
                                 runtime::MainLoop::main().post([item] { MenuBar::perform(item); });
                             }
                             gtk_widget_destroy(GTK_WIDGET(widget));
                             return G_SOURCE_REMOVE;
                         }, menu);
                     }),
                     nullptr);
    g_object_set_data(G_OBJECT(gtkMenu), "quiltdeck-shown", shown);
    g_signal_connect_data(gtkMenu, "destroy", G_CALLBACK(+[](GtkWidget*, gpointer) {}), shown,
                          [](gpointer data, GClosure*) { delete static_cast<Shown*>(data); }, GConnectFlags(0));
    gtk_menu_attach_to_widget(GTK_MENU(gtkMenu), content, nullptr);
    // The content's coordinates have y down from its top edge.
    const GdkRectangle at{static_cast<int>(std::lround(locationInWindow.x)),
                          static_cast<int>(std::lround(window->size().height - locationInWindow.y)), 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(gtkMenu), gtk_widget_get_window(content), &at, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, nullptr);
}

}  // namespace platform::ui::gtk
