#pragma once

namespace platform::ui::gtk {

// The GTK side of the program: starts GTK on the display and installs what the neutral layer asks
// of a toolkit: the alert sound, the URL opener and the file revealer, the main screen's scale, the clipboard behind
// Pasteboard::general(), and the desktop settings (double-click time and distance, animations
// on or off, which follow the user's changes). Main thread; the program's main loop must be the
// GLib loop on the default context (MainLoop::main() when nothing else is installed).
class Toolkit {
public:
    // False when there is no display to open.
    static bool start(int* argc, char*** argv);
    static bool started();
};

}  // namespace platform::ui::gtk
