#include "platform/ui/gtk/MenuBarWidget.h"

#include <gtk/gtk.h>

namespace platform::ui::gtk {

namespace {

guint keyvalFor(const std::string& key) {
    if (key == "Return") return GDK_KEY_Return;
    const gunichar c = g_utf8_get_char_validated(key.c_str(), static_cast<gssize>(key.size()));
    if (c == static_cast<gunichar>(-1) || c == static_cast<gunichar>(-2)) return 0;
    return gdk_unicode_to_keyval(c);
}

GdkModifierType modifiersFor(const Shortcut& shortcut) {
    unsigned mods = 0;
    if (shortcut.control) mods |= GDK_CONTROL_MASK;
    if (shortcut.shift) mods |= GDK_SHIFT_MASK;
    if (shortcut.alt) mods |= GDK_MOD1_MASK;
    if (shortcut.super) mods |= GDK_SUPER_MASK;
    return static_cast<GdkModifierType>(mods);
}

void onActivate(GtkMenuItem*, gpointer data) { MenuBar::perform(*static_cast<const MenuItem*>(data)); }

GtkWidget* makeItem(const MenuItem& item) {
    if (item.separator) return gtk_separator_menu_item_new();
    GtkWidget* widget = gtk_menu_item_new_with_label(item.title.c_str());
    if (!item.shortcut.isEmpty()) {
        if (const guint keyval = keyvalFor(item.shortcut.key)) {
            GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
            if (GTK_IS_ACCEL_LABEL(label))
                gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), keyval, modifiersFor(item.shortcut));
        }
    }
    gtk_widget_set_sensitive(widget, item.enabled);
    // The model outlives the widget: the menu bar widget holds it.
    g_signal_connect(widget, "activate", G_CALLBACK(onActivate), const_cast<MenuItem*>(&item));
    return widget;
}

}  // namespace

GtkWidget* makeMenuBarWidget(std::shared_ptr<const MenuBar> bar) {
    GtkWidget* widget = gtk_menu_bar_new();
    for (const Menu& menu : bar->menus) {
        GtkWidget* top = gtk_menu_item_new_with_label(menu.title.c_str());
        GtkWidget* submenu = gtk_menu_new();
        // Two separators in a row, or one at an end, once hidden items are left out, are dropped.
        bool lastWasSeparator = true;
        for (const MenuItem& item : menu.items) {
            if (item.hidden) continue;
            if (item.separator && lastWasSeparator) continue;
            gtk_menu_shell_append(GTK_MENU_SHELL(submenu), makeItem(item));
            lastWasSeparator = item.separator;
        }
        gtk_menu_item_set_submenu(GTK_MENU_ITEM(top), submenu);
        gtk_menu_shell_append(GTK_MENU_SHELL(widget), top);
    }
    auto* kept = new std::shared_ptr<const MenuBar>(std::move(bar));
    g_object_set_data_full(G_OBJECT(widget), "quiltdeck-menu-bar", kept,
                           [](gpointer data) { delete static_cast<std::shared_ptr<const MenuBar>*>(data); });
    gtk_widget_show_all(widget);
    return widget;
}

}  // namespace platform::ui::gtk
