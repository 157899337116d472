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
    const MenuItem* chosen = nullptr;
};

// A 14-point image as a surface at the window's scale.
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

void fill(GtkWidget* gtkMenu, const std::vector<MenuItem>& items, Shown* shown, int scale) {
    const bool anyChecked = std::any_of(items.begin(), items.end(), [](const MenuItem& i) { return i.checked; });
    for (const MenuItem& item : items) {
        if (item.hidden) continue;
        GtkWidget* widget = nullptr;
        if (item.separator) {
            widget = gtk_separator_menu_item_new();
        } else if (anyChecked) {
            widget = gtk_check_menu_item_new_with_label(item.title.c_str());
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
