#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gpu/Library.h"
#include "platform/runtime/MainLoop.h"
#include "vantel/gpu/GlyphAtlas.h"
#include "vantel/gpu/GlyphRasterizer.h"
#include "vantel/gpu/GpuRenderer.h"
#include "vantel/gpu/GpuRendererHost.h"
#include "vantel/gpu/GpuShaderLibrary.h"

namespace platform::gpu {
class CommandQueue;
class Device;
class Sampler;
}  // namespace platform::gpu

namespace vantel {

// The GPU renderer of one terminal view: device, command queue, the two glyph atlases, the six
// pipelines and the sampler, made at once; the frame coordinator on first use. Each frame asks
// the coordinator for admission, sizes the drawable, clears it to the view's background (its
// foreground under reverse video), and presents and commits it; the coordinator learns how the
// frame ended. Callbacks hold the renderer weakly and hop to the main loop before they touch the
// view. Main thread only.
class GpuTerminalRenderer : public GpuRenderer, public std::enable_shared_from_this<GpuTerminalRenderer> {
public:
    static constexpr platform::runtime::Duration cursorBlinkInterval{700'000'000};
    static constexpr int64_t initialAtlasSize = 1024;

    // Sources other than the built-in ones are for tests.
    static GpuResult<GpuTerminalRenderer> make(const std::shared_ptr<platform::ui::GpuView>& view,
                                               std::weak_ptr<GpuRendererHost> host,
                                               const std::vector<platform::gpu::ShaderSource>& sources =
                                                   GpuShaderLibrary::defaultSources());
    // Makes terminal views build this renderer when they switch to the GPU.
    static void install();
    ~GpuTerminalRenderer() override;

    // VANTEL_PROFILE is "1" (read once): signposts are written.
    static bool profileEnabled();

    // --- GpuRenderer ----------------------------------------------------------------------------
    GpuFrameCoordinator& frameCoordinator() override;
    bool hasFrameCoordinator() const { return frameCoordinator_ != nullptr; }
    void invalidateCursorBlinkTimer() override;

    // --- GpuViewDelegate ------------------------------------------------------------------------
    // The drawable's size is set at the start of every frame instead.
    void drawableSizeWillChange(platform::ui::GpuView&, platform::gfx::Size) override {}
    void draw(platform::ui::GpuView& view) override;

    // Starts the 0.7 s blink timer (cursor shown first) or stops it (cursor shown).
    void updateCursorBlinkTimer(bool shouldBlink);
    bool cursorBlinkOn() const { return cursorBlinkOn_; }
    bool cursorBlinkTimerRunning() const { return cursorBlinkTimer_ != nullptr; }

    const std::shared_ptr<platform::gpu::Device>& device() const { return device_; }
    GlyphAtlas& grayscaleAtlas() { return *grayscaleAtlas_; }
    GlyphAtlas& colorAtlas() { return *colorAtlas_; }
    const GpuPipelines& pipelines() const { return *pipelines_; }
    const std::shared_ptr<platform::gpu::Sampler>& sampler() const { return sampler_; }
    GlyphRasterizer& rasterizer() { return rasterizer_; }

private:
    GpuTerminalRenderer() = default;
    void recordPresentedFrame();
    // Runs `action` on the main loop later, while the renderer still exists.
    void postToMain(std::function<void(GpuTerminalRenderer&)> action);

    std::weak_ptr<GpuRendererHost> host_;
    std::weak_ptr<platform::ui::GpuView> view_;
    std::shared_ptr<platform::gpu::Device> device_;
    std::shared_ptr<platform::gpu::CommandQueue> commandQueue_;
    std::shared_ptr<GpuPipelines> pipelines_;
    std::shared_ptr<platform::gpu::Sampler> sampler_;
    std::unique_ptr<GlyphAtlas> grayscaleAtlas_;
    std::unique_ptr<GlyphAtlas> colorAtlas_;
    GlyphRasterizer rasterizer_;
    std::shared_ptr<platform::runtime::WorkItem> cursorBlinkTimer_;
    bool cursorBlinkOn_ = true;
    std::shared_ptr<GpuFrameCoordinator> frameCoordinator_;
};

}  // namespace vantel
