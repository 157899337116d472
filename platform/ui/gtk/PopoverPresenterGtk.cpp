#include "platform/ui/gtk/PopoverPresenterGtk.h"

#include <gtk/gtk.h>

#include <cmath>

#include "platform/ui/Modals.h"
#include "platform/ui/gtk/ToolkitWindow.h"
#include "platform/ui/headless/HeadlessWindow.h"

namespace platform::ui::gtk {

namespace {

constexpr int gap = 6;

}  // namespace

std::unique_ptr<Window> PopoverPresenterGtk::makeWindow(gfx::Size size, Window& parent, const gfx::Rect& anchor,
                                                        Popover::Edge edge, std::function<void()> outsideClick) {
    auto* owner = dynamic_cast<ToolkitWindow*>(&parent);
    // A window the toolkit does not show has no screen to put a popover on.
    if (!owner) return std::make_unique<headless::HeadlessWindow>(size, parent.backingScaleFactor());
    auto window = std::make_unique<ToolkitWindow>(size, "");
    window->becomePopover(*owner, [outsideClick] {
        // The file chooser of the content works beside the popover.
        if (!Modals::isShowing() && outsideClick) outsideClick();
    });
    gtk_widget_set_size_request(GTK_WIDGET(window->nativeWindow()), static_cast<int>(std::lround(size.width)),
                                static_cast<int>(std::lround(size.height)));

    // The anchor and the parent's content on the screen: the content has y down from its top-left corner.
    int originX = 0, originY = 0;
    GtkWidget* content = owner->contentWidget();
    if (GdkWindow* shown = gtk_widget_get_window(content)) gdk_window_get_origin(shown, &originX, &originY);
    const gfx::Rect parentArea{double(originX), double(originY), parent.size().width, parent.size().height};
    const gfx::Rect onScreen{originX + anchor.x, originY + parent.size().height - anchor.maxY(), anchor.width, anchor.height};
    std::optional<gfx::Rect> workArea;
    GdkDisplay* display = gtk_widget_get_display(content);
    const int anchorLeft = static_cast<int>(std::lround(onScreen.x)), anchorTop = static_cast<int>(std::lround(onScreen.y));
    if (GdkMonitor* monitor = display ? gdk_display_get_monitor_at_point(display, anchorLeft, anchorTop) : nullptr) {
        GdkRectangle area;
        gdk_monitor_get_workarea(monitor, &area);
        workArea = gfx::Rect{double(area.x), double(area.y), double(area.width), double(area.height)};
    }
    const gfx::Rect placed = Popover::placement(size, onScreen, edge, parentArea, workArea, gap);
    const int x = static_cast<int>(std::lround(placed.x)), y = static_cast<int>(std::lround(placed.y));
    window->moveTo(x, y);
    return window;
}

void PopoverPresenterGtk::present(Window& window) { window.present(); }

}  // namespace platform::ui::gtk
