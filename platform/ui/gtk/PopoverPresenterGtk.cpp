#include "platform/ui/gtk/PopoverPresenterGtk.h"

#include <gtk/gtk.h>

#include <algorithm>
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
    const int width = static_cast<int>(std::lround(size.width)), height = static_cast<int>(std::lround(size.height));
    gtk_widget_set_size_request(GTK_WIDGET(window->nativeWindow()), width, height);

    // The anchor on the screen: the parent's content has y down from its top-left corner.
    int originX = 0, originY = 0;
    GtkWidget* content = owner->contentWidget();
    if (GdkWindow* shown = gtk_widget_get_window(content)) gdk_window_get_origin(shown, &originX, &originY);
    const int anchorLeft = originX + static_cast<int>(std::lround(anchor.x));
    const int anchorTop = originY + static_cast<int>(std::lround(parent.size().height - anchor.maxY()));
    const int anchorBottom = originY + static_cast<int>(std::lround(parent.size().height - anchor.y));
    int x = anchorLeft + static_cast<int>(std::lround((anchor.width - size.width) / 2));
    int y = edge == Popover::Edge::below ? anchorBottom + gap : anchorTop - gap - height;
    GdkDisplay* display = gtk_widget_get_display(content);
    GdkMonitor* monitor = display ? gdk_display_get_monitor_at_point(display, anchorLeft, anchorTop) : nullptr;
    if (monitor) {
        GdkRectangle area;
        gdk_monitor_get_workarea(monitor, &area);
        if (edge == Popover::Edge::below && y + height > area.y + area.height) y = anchorTop - gap - height;
        if (edge == Popover::Edge::above && y < area.y) y = anchorBottom + gap;
        x = std::clamp(x, area.x, std::max(area.x, area.x + area.width - width));
        y = std::clamp(y, area.y, std::max(area.y, area.y + area.height - height));
    }
    window->moveTo(x, y);
    return window;
}

void PopoverPresenterGtk::present(Window& window) { window.present(); }

}  // namespace platform::ui::gtk
