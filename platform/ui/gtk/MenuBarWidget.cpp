#include "platform/ui/gtk/MenuBarWidget.h"

#include <gtk/gtk.h>

#include <algorithm>

#include "platform/runtime/MainLoop.h"

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

// A copy runs: the menu bar, and with it the item, may be gone by then.
void onActivate(GtkMenuItem*, gpointer data) {
    MenuItem item = *static_cast<const MenuItem*>(data);
    runtime::MainLoop::main().post([item = std::move(item)] { MenuBar::perform(item); });
}

// A small image as a surface at the window's scale.
GtkWidget* imageWidget(const gfx::Image& image, double size, int scale) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
    cairo_surface_flush(surface);
    auto* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < image.height; ++y)
        std::copy_n(image.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(image.width), image.width,
                    reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride));
    cairo_surface_mark_dirty(surface);
    // The image's pixels per point decide its size on screen.
    const double pixelsPerPoint = size > 0 ? image.width / size : scale;
    cairo_surface_set_device_scale(surface, pixelsPerPoint, pixelsPerPoint);
    GtkWidget* widget = gtk_image_new_from_surface(surface);
    cairo_surface_destroy(surface);
    return widget;
}

void fill(GtkWidget* menu, const std::vector<MenuItem>& items, int scale) {
    const bool choices = isChoiceList(items);
    // Two separators in a row, or one at the start, once hidden items are left out, are dropped.
    bool lastWasSeparator = true;
    for (const MenuItem& item : items) {
        if (item.hidden) continue;
        if (item.separator && lastWasSeparator) continue;
        GtkWidget* widget = makeMenuItemWidget(item, choices, scale);
        if (!item.separator && !item.submenu.empty()) {
            GtkWidget* inner = gtk_menu_new();
            fill(inner, item.submenu, scale);
            gtk_menu_item_set_submenu(GTK_MENU_ITEM(widget), inner);
        } else if (!item.separator) {
            const guint keyval = item.shortcut.isEmpty() ? 0 : keyvalFor(item.shortcut.key);
            GtkWidget* label = gtk_bin_get_child(GTK_BIN(widget));
            if (keyval && GTK_IS_ACCEL_LABEL(label))
                gtk_accel_label_set_accel(GTK_ACCEL_LABEL(label), keyval, modifiersFor(item.shortcut));
            // The model outlives the widget: the menu bar widget holds it.
            g_signal_connect(widget, "activate", G_CALLBACK(onActivate), const_cast<MenuItem*>(&item));
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu), widget);
        lastWasSeparator = item.separator;
    }
}

}  // namespace

bool isChoiceList(const std::vector<MenuItem>& items) {
    return std::any_of(items.begin(), items.end(), [](const MenuItem& i) { return i.checked && !i.checkable; });
}

GtkWidget* makeMenuItemWidget(const MenuItem& item, bool choiceList, int scale) {
    if (item.separator) return gtk_separator_menu_item_new();
    GtkWidget* widget = nullptr;
    if (choiceList || item.checkable) {
        widget = gtk_check_menu_item_new_with_label(item.title.c_str());
        // One of several, or a setting of its own.
        gtk_check_menu_item_set_draw_as_radio(GTK_CHECK_MENU_ITEM(widget), !item.checkable);
        // Before any handler: setting the mark activates the item.
        gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(widget), item.checked);
    } else if (item.image && !item.image->isEmpty()) {
        widget = gtk_menu_item_new();
        GtkWidget* box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 6);
        gtk_box_pack_start(GTK_BOX(box), imageWidget(*item.image, item.imageSize, scale), FALSE, FALSE, 0);
        gtk_box_pack_start(GTK_BOX(box), gtk_label_new(item.title.c_str()), FALSE, FALSE, 0);
        gtk_container_add(GTK_CONTAINER(widget), box);
    } else {
        widget = gtk_menu_item_new_with_label(item.title.c_str());
    }
    gtk_widget_set_sensitive(widget, item.enabled);
    return widget;
}

GtkWidget* makeMenuBarWidget(std::shared_ptr<const MenuBar> bar) {
    GtkWidget* widget = gtk_menu_bar_new();
    const int scale = gtk_widget_get_scale_factor(widget);
    for (const Menu& menu : bar->menus) {
        GtkWidget* top = gtk_menu_item_new_with_label(menu.title.c_str());
        GtkWidget* submenu = gtk_menu_new();
        fill(submenu, menu.items, scale);
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
