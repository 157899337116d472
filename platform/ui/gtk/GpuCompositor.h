#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Rect.h"

typedef struct _GtkWidget GtkWidget;

namespace platform::gpu {
class Device;
}

namespace platform::ui {
class Window;
}

namespace platform::ui::gtk {

// Shows a window's GPU views and its Cairo surface through one GtkGLArea: each GPU view's last
// frame where the view lies, then the surface over them (transparent over the views), uploaded
// where it changed. The area's GL context is the GPU device of the window's views; it exists
// once the area is realized, and goes when the area is unrealized (work still pending on it then
// fails).
class GpuCompositor {
public:
    // `changed` runs when the device came, failed to come, or went.
    GpuCompositor(Window& window, std::function<void()> changed);
    ~GpuCompositor();
    GpuCompositor(const GpuCompositor&) = delete;
    GpuCompositor& operator=(const GpuCompositor&) = delete;

    GtkWidget* widget() const { return area_; }
    const std::shared_ptr<gpu::Device>& device() const { return device_; }
    // Not realized yet, so neither a device nor a failure.
    bool isPending() const { return !device_ && !failed_; }
    bool hasFailed() const { return failed_; }
    const std::string& failure() const { return failure_; }

    // Whether this display gives OpenGL 3.3 core contexts, tried once on a window of its own.
    static bool contextsAvailable(std::string* whyNot = nullptr);
    // The device will not come (for `why`): the window's views hear of it.
    void fail(const std::string& why);

    // Parts of the surface that changed (window points); the whole surface after it was made anew.
    void surfaceChanged(const std::vector<gfx::Rect>& rects);
    void queueRender();

    struct Impl;

private:
    Window& window_;
    GtkWidget* area_;
    std::shared_ptr<gpu::Device> device_;
    bool failed_ = false;
    std::string failure_;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform::ui::gtk
