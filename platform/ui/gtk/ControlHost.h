#pragma once

#include <gtk/gtk.h>

namespace platform::ui {
class Window;
}

namespace platform::ui::gtk {

// The toolkit's widgets behind the controls of one window: a GtkFixed laid over the window's
// drawing area holds one widget per control, made when the control first shows in the window and
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

    Window& window_;
    GtkWidget* fixed_;
    guint idle_ = 0;
};

}  // namespace platform::ui::gtk
