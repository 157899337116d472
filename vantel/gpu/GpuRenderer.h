#pragma once

#include <functional>
#include <memory>

#include "platform/ui/GpuView.h"
#include "vantel/gpu/GpuError.h"
#include "vantel/gpu/GpuFrameCoordinator.h"

namespace vantel {

class GpuRendererHost;

// A terminal view's GPU renderer as the view sees it: the delegate of its GPU view, with a frame
// coordinator and a cursor-blink timer. The view gets renderers from the installed factory, so
// that the view's library does not link the renderer's.
class GpuRenderer : public platform::ui::GpuViewDelegate {
public:
    // Builds a renderer drawing into `view` for `host`, or says why it cannot.
    using Factory = std::function<GpuResult<GpuRenderer>(const std::shared_ptr<platform::ui::GpuView>& view,
                                                         std::weak_ptr<GpuRendererHost> host)>;
    static void installFactory(Factory factory);
    // None until a renderer library installs one.
    static const Factory& factory();

    // Made on first use.
    virtual GpuFrameCoordinator& frameCoordinator() = 0;
    virtual void invalidateCursorBlinkTimer() = 0;
};

}  // namespace vantel
