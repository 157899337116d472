#include "platform/ui/gtk/MenuPresenterGtk.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <memory>

#include "platform/runtime/MainLoop.h"
#include "platform/ui/gtk/ToolkitWindow.h"

namespace platform::ui::gtk {

namespace {

// The menu shown, and the item chosen in it; freed with the GtkMenu.
struct Shown {
    Menu menu;
    int chosen = -1;
};

}  // namespace

void MenuPresenterGtk::popUp(const Menu& menu, Window* window, gfx::Point locationInWindow) {
    auto* owner = dynamic_cast<ToolkitWindow*>(window);
    GtkWidget* content = owner ? owner->contentWidget() : nullptr;
    if (!content || !gtk_widget_get_window(content)) return;
    auto* shown = new Shown{menu, -1};
    GtkWidget* gtkMenu = gtk_menu_new();
    const bool anyChecked = std::any_of(menu.items.begin(), menu.items.end(), [](const MenuItem& i) { return i.checked; });
    for (size_t i = 0; i < menu.items.size(); ++i) {
        const MenuItem& item = menu.items[i];
        if (item.hidden) continue;
        GtkWidget* widget = nullptr;
        if (item.separator) {
            widget = gtk_separator_menu_item_new();
        } else if (anyChecked) {
            widget = gtk_check_menu_item_new_with_label(item.title.c_str());
            gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), item.checked);
        } else {
            widget = gtk_menu_item_new_with_label(item.title.c_str());
        }
        gtk_widget_set_sensitive(widget, item.enabled);
        if (!item.separator) {
            g_object_set_data(G_OBJECT(widget), "quiltdeck-item", GINT_TO_POINTER(static_cast<int>(i) + 1));
            g_signal_connect(widget, "activate", G_CALLBACK(+[](GtkMenuItem* widget, gpointer data) {
                                 static_cast<Shown*>(data)->chosen =
                                     GPOINTER_TO_INT(g_object_get_data(G_OBJECT(widget), "quiltdeck-item")) - 1;
                             }),
                             shown);
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(gtkMenu), widget);
    }
    gtk_widget_show_all(gtkMenu);
    // GTK deactivates the menu before it activates the chosen item: the choice is read at the next
    // idle moment, when the menu is gone; the action may show another.
    g_signal_connect(gtkMenu, "deactivate", G_CALLBACK(+[](GtkMenuShell* menu, gpointer) {
                         g_idle_add(+[](gpointer widget) {
                             auto* shown = static_cast<Shown*>(g_object_get_data(G_OBJECT(widget), "quiltdeck-shown"));
                             if (shown && shown->chosen >= 0 && static_cast<size_t>(shown->chosen) < shown->menu.items.size()) {
                                 MenuItem item = shown->menu.items[static_cast<size_t>(shown->chosen)];
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
