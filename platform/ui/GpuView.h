#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/gfx/Image.h"
#include "platform/gpu/GpuTypes.h"
#include "platform/gpu/RenderEncoder.h"
#include "platform/ui/View.h"

namespace platform::gpu {
class Device;
class Drawable;
class Texture;
}  // namespace platform::gpu

namespace platform::ui {

class GpuView;

// What draws a GPU view's frames (a renderer).
class GpuViewDelegate {
public:
    virtual ~GpuViewDelegate() = default;
    virtual void drawableSizeWillChange(GpuView& /*view*/, gfx::Size /*size*/) {}
    virtual void draw(GpuView& view) = 0;
};

// A view drawn on the GPU. It draws only when asked: setNeedsDisplay makes the window's next
// display pass ask the delegate for a frame, draw() asks at once. Frames go into drawables of
// drawableSize pixels (the renderer sets it), BGRA8 without sRGB conversion. A presented frame
// is what the view shows: read back into the window's surface, so that a headless window's
// pictures hold it. Before its first frame the view shows what lies below it.
class GpuView : public View {
public:
    struct TestHooks {
        bool noDrawable = false;
        bool noRenderPassDescriptor = false;
    };

    GpuView(const Rect& frame, std::shared_ptr<gpu::Device> device);
    ~GpuView() override;

    const std::shared_ptr<gpu::Device>& device() const { return device_; }
    void setDevice(std::shared_ptr<gpu::Device> device);
    // Held weakly: the delegate owns itself (or is owned elsewhere).
    void setDelegate(std::weak_ptr<GpuViewDelegate> delegate) { delegate_ = std::move(delegate); }
    std::shared_ptr<GpuViewDelegate> delegate() const { return delegate_.lock(); }

    // In pixels; whole numbers, at least 0.
    gfx::Size drawableSize() const { return drawableSize_; }
    void setDrawableSize(gfx::Size size);
    gpu::PixelFormat colorPixelFormat() const { return gpu::PixelFormat::bgra8Unorm; }
    // A frame without translucency covers what lies below the view.
    bool isLayerOpaque() const { return layerOpaque_; }
    void setLayerOpaque(bool opaque) { layerOpaque_ = opaque; }
    bool isOpaque() const override { return layerOpaque_ && hasPresentedFrame(); }

    // Asks for a frame at the window's next display.
    void setNeedsDisplay(const Rect& rect);
    void setNeedsDisplay() { setNeedsDisplay(bounds()); }
    bool frameRequested() const { return frameRequested_; }
    // Has the delegate draw a frame now.
    void draw();
    void draw(gfx::Canvas& canvas, const Rect& dirty) override;

    // Inside a frame: the drawable of this frame (the same one on every call), and a pass that
    // clears it. None on a lost device, an empty size or by a test hook.
    std::shared_ptr<gpu::Drawable> currentDrawable();
    std::optional<gpu::RenderPassDescriptor> currentRenderPassDescriptor();

    // What the view shows: the last presented frame, rows from the top.
    bool hasPresentedFrame() const { return !presentedImage_.isEmpty() || presentedTexture_; }
    const gfx::Image& presentedImage() const { return presentedImage_; }
    uint64_t presentedFrameCount() const { return presentedFrameCount_; }

    // The texture of the last presented frame, while the window shows frames itself.
    const std::shared_ptr<gpu::Texture>& presentedTexture() const { return presentedTexture_; }

    TestHooks testHooks;

protected:
    void viewDidMoveToWindow() override;

private:
    void drawFrame();
    void show(gpu::Drawable& drawable);
    std::shared_ptr<gpu::Texture> takeTexture(int width, int height);

    std::shared_ptr<gpu::Device> device_;
    std::weak_ptr<GpuViewDelegate> delegate_;
    gfx::Size drawableSize_;
    bool layerOpaque_ = true;
    bool frameRequested_ = false;
    bool drawing_ = false;
    std::shared_ptr<gpu::Drawable> current_;
    std::vector<std::shared_ptr<gpu::Texture>> pool_;
    gfx::Image presentedImage_;
    std::shared_ptr<gpu::Texture> presentedTexture_;
    Window* registeredWindow_ = nullptr;
    uint64_t presentedFrameCount_ = 0;
    // Presentation callbacks check it: a frame may complete after the view is gone.
    std::shared_ptr<GpuView*> self_;
};

}  // namespace platform::ui
