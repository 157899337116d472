#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/ui/Window.h"

typedef struct _GtkWindow GtkWindow;
typedef struct _GtkWidget GtkWidget;

namespace platform::ui::gtk {

// A Window shown on screen: a GtkWindow holding one GtkDrawingArea that shows what the views
// drew; while the window holds GPU views a GtkGLArea takes the drawing area's place and shows
// their frames under what the views drew (GpuCompositor), under the menu bar when one is set. Its
// GL context, made when the area is realized, is the GPU device of the window's views. On X11 the
// views draw into an image the server shares, so a frame is not copied on its way. Dirty
// rectangles become queued draws of the area, the area's size and scale factor are the window's,
// and its key, button, motion, crossing and scroll events reach the views as neutral events. Each
// window has its own input method (a GtkIMMulticontext) and its own frame clock (the widget's).
// Start the Toolkit first.
class ToolkitWindow : public Window {
public:
    ToolkitWindow(Size size, const std::string& title);
    ~ToolkitWindow() override;

    void show();
    void setTitle(const std::string& title) override;
    void setFullScreen(bool fullScreen) override;
    std::optional<gfx::Point> mouseLocationOutsideOfEventStream() const override;
    // The smallest size the user may give the window, in points.
    void setMinimumSize(Size size) override;
    // A GtkMenuBar above the drawing area.
    void setMenuBar(std::shared_ptr<const MenuBar> bar) override;
    // Its first menu opened; in full screen, where the bar steps aside, its menus as one pop-up
    // menu at the top-left corner.
    bool openMenuBar() override;
    void setBackgroundColor(gfx::Rgba color) override;
    void present() override;
    // The GtkWindow, for dialogs shown over it.
    GtkWindow* nativeWindow() const;
    // The widget the views draw in: its origin is the content's top-left corner.
    GtkWidget* contentWidget() const;
    // Undecorated, kept above `parent`; when the user works anywhere else, `outsideClick` runs
    // (on a later turn of the loop).
    void becomePopover(ToolkitWindow& parent, std::function<void()> outsideClick);
    // The window's top-left corner on the screen, in the toolkit's units.
    void moveTo(int x, int y);
    // A window of its own: decorated, resizable, placed by us where the display server lets
    // programs place windows (X11), hidden rather than closed.
    std::optional<Rect> screenFrame() const override;
    void setScreenFrame(const Rect& frame) override;
    void setTransientFor(Window* parent) override;
    void orderOut() override;
    // Lets the window manager resize in steps of a cell beyond a base size.
    void setResizeIncrements(Size base, Size increment);

    struct Impl;

    bool isEditingText() const override;
    std::shared_ptr<gpu::Device> gpuDevice() override;
    bool gpuDeviceIsPending() const override;
    bool composesGpuViews() const override;
    void gpuViewDidPresent(GpuView& view) override;

protected:
    std::unique_ptr<gfx::Canvas> makeSurface(Size size, double scale) override;
    void didInvalidate(const Rect& rect) override;
    void didMovePixels(const Rect& rect) override;
    void didChangeWithinDirty() override;
    void didDisplay(const std::vector<Rect>& rects) override;
    void gpuViewsChanged() override;
    void applyCursor(const std::string& name) override;
    void firstResponderDidChange() override;
    // Modal, transient for this window and centred on it.
    void presentSheet(Window& sheet) override;
    void dismissSheet(Window& sheet) override;

private:
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::ui::gtk
