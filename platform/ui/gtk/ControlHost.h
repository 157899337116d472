#pragma once

#include <gtk/gtk.h>

#include <map>

#include "platform/gfx/Rect.h"

namespace platform::ui {
class View;
class Window;
}

namespace platform::ui::gtk {

// The toolkit's widgets behind the controls of one window: a GtkFixed laid over the window's
// drawing area holds one widget per control (those inside a scroll view in a container of its own), made when the control first shows in the window and
// moved to the control's frame whenever the window's views may have moved. Main thread.
class ControlHost {
public:
    ControlHost(Window& window, GtkWidget* fixed);
    ~ControlHost();
    ControlHost(const ControlHost&) = delete;
    ControlHost& operator=(const ControlHost&) = delete;

    // Places the widgets at the next idle moment (views moved, appeared or went).
    void schedulePlacement();
    // Makes the missing widgets and moves every one to its control's frame now.
    void place();

private:
    static gboolean onIdle(gpointer data);
    // Makes the widgets of `view` and below and moves them, in `container`, whose top-left
    // corner stands at `origin` (window points from the top-left).
    void placeAll(View& view, bool visible, double windowHeight, GtkWidget* container, gfx::Point origin);
    // The container of a scroll view's controls, in `container`.
    GtkWidget* clipFor(const View& scrollView, GtkWidget* container);

    Window& window_;
    GtkWidget* fixed_;
    guint idle_ = 0;
    // A scroll view's controls stand in a container of their own that cuts them at its edges.
    struct Clip {
        GtkWidget* layout = nullptr;
        int x = -1, y = -1, width = -1, height = -1;
        bool used = false;
    };
    std::map<const View*, Clip> clips_;
};

}  // namespace platform::ui::gtk
