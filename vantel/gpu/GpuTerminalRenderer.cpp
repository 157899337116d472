#include "vantel/gpu/GpuTerminalRenderer.h"

#include <cmath>

#include "platform/gpu/CommandQueue.h"
#include "platform/gpu/Device.h"
#include "platform/gpu/Drawable.h"
#include "platform/gpu/RenderEncoder.h"
#include "platform/gpu/Sampler.h"
#include "platform/ui/SystemSettings.h"
#include "vantel/core/Terminal.h"
#include "vantel/gpu/GpuRecoverySignpost.h"

namespace vantel {

using platform::runtime::MainLoop;
using Kind = GpuError::Kind;

namespace {

GpuTrackedCommandBufferStatus trackedStatus(platform::gpu::CommandBufferStatus status) {
    return static_cast<GpuTrackedCommandBufferStatus>(std::min(static_cast<int>(status), 5));
}

bool isBlinking(CursorStyle style) {
    return style == CursorStyle::blinkBlock || style == CursorStyle::blinkUnderline || style == CursorStyle::blinkBar;
}

// A signpost interval only when profiling: the name is not even looked at otherwise.
std::optional<GpuSignpostInterval> signpost(const char* name) {
    if (!GpuTerminalRenderer::profileEnabled()) return std::nullopt;
    return std::make_optional<GpuSignpostInterval>(name);
}

}  // namespace

bool GpuTerminalRenderer::profileEnabled() { return GpuRecoverySignpost::isEnabled(); }

GpuResult<GpuTerminalRenderer> GpuTerminalRenderer::make(const std::shared_ptr<platform::ui::GpuView>& view,
                                                         std::weak_ptr<GpuRendererHost> host,
                                                         const std::vector<platform::gpu::ShaderSource>& sources) {
    using Result = GpuResult<GpuTerminalRenderer>;
    if (!view) return Result::failure(Kind::deviceUnavailable);
    std::shared_ptr<GpuTerminalRenderer> renderer(new GpuTerminalRenderer());

    // A view keeps a working device of its own; one without (or with a lost one) gets the default.
    auto device = view->device();
    if (!device || device->isLost()) device = platform::gpu::Device::systemDefault();
    if (!device) return Result::failure(Kind::deviceUnavailable);
    renderer->device_ = device;
    renderer->view_ = view;
    view->setDevice(device);

    renderer->bufferPool_ = std::make_shared<GpuBufferPool>(device);
    renderer->commandQueue_ = device->makeCommandQueue();
    if (!renderer->commandQueue_) return Result::failure(Kind::commandQueueUnavailable);

    renderer->grayscaleAtlas_ = GlyphAtlas::make(device, initialAtlasSize,
                                                 GlyphAtlas::recommendedMaxSize(*device, GlyphAtlasFormat::grayscale),
                                                 GlyphAtlasFormat::grayscale);
    renderer->colorAtlas_ = GlyphAtlas::make(device, initialAtlasSize,
                                             GlyphAtlas::recommendedMaxSize(*device, GlyphAtlasFormat::bgra),
                                             GlyphAtlasFormat::bgra);
    if (!renderer->grayscaleAtlas_ || !renderer->colorAtlas_) return Result::failure(Kind::atlasUnavailable);

    auto library = GpuShaderLibrary::makeLibrary(*device, sources);
    if (!library) return {nullptr, library.error};
    auto pipelines = GpuShaderLibrary::makePipelines(*device, *library.value, view->colorPixelFormat());
    if (!pipelines) return {nullptr, pipelines.error};
    renderer->pipelines_ = pipelines.value;

    renderer->sampler_ = device->makeSampler({platform::gpu::SamplerFilter::linear, platform::gpu::SamplerFilter::linear,
                                              platform::gpu::SamplerAddressMode::clampToEdge,
                                              platform::gpu::SamplerAddressMode::clampToEdge});
    if (!renderer->sampler_) return Result::failure(Kind::samplerUnavailable);

    renderer->host_ = std::move(host);
    return {renderer, std::nullopt};
}

void GpuTerminalRenderer::install() {
    installFactory([](const std::shared_ptr<platform::ui::GpuView>& view, std::weak_ptr<GpuRendererHost> host) {
        auto made = make(view, std::move(host));
        return GpuResult<GpuRenderer>{made.value, made.error};
    });
}

GpuTerminalRenderer::~GpuTerminalRenderer() { invalidateCursorBlinkTimer(); }

void GpuTerminalRenderer::postToMain(std::function<void(GpuTerminalRenderer&)> action) {
    std::weak_ptr<GpuTerminalRenderer> weak = weak_from_this();
    MainLoop::main().post([weak, action = std::move(action)] {
        if (auto renderer = weak.lock()) action(*renderer);
    });
}

GpuFrameCoordinator& GpuTerminalRenderer::frameCoordinator() {
    if (frameCoordinator_) return *frameCoordinator_;
    std::weak_ptr<GpuTerminalRenderer> weak = weak_from_this();
    GpuFrameCoordinator::Callbacks callbacks;
    // Asked with the coordinator's lock held: it only reads the view.
    callbacks.isRetryEligible = [weak] {
        auto renderer = weak.lock();
        auto host = renderer ? renderer->host_.lock() : nullptr;
        return host && host->isGpuRendererEligibleForRetry();
    };
    callbacks.requestDraw = [weak](GpuFrameRefusalReason) {
        if (auto renderer = weak.lock())
            renderer->postToMain([](GpuTerminalRenderer& r) {
                if (auto view = r.view_.lock()) view->setNeedsDisplay(view->bounds());
            });
    };
    callbacks.requestRecovery = [weak](const GpuRendererRecoveryReport& report) {
        if (auto renderer = weak.lock())
            renderer->postToMain([report](GpuTerminalRenderer& r) {
                if (auto host = r.host_.lock()) host->gpuRendererRequiresRecovery(r, report);
            });
    };
    callbacks.becameIdle = [weak] {
        if (auto renderer = weak.lock())
            renderer->postToMain([](GpuTerminalRenderer& r) {
                if (auto host = r.host_.lock()) host->gpuRendererBecameIdle(r);
            });
    };
    frameCoordinator_ = GpuFrameCoordinator::make(std::make_shared<MainLoopGpuRecoveryClock>(),
                                                  std::make_shared<MainLoopGpuRecoveryScheduler>(), std::move(callbacks));
    return *frameCoordinator_;
}

void GpuTerminalRenderer::invalidateCursorBlinkTimer() {
    if (cursorBlinkTimer_) std::exchange(cursorBlinkTimer_, nullptr)->cancel();
}

void GpuTerminalRenderer::updateCursorBlinkTimer(bool shouldBlink) {
    const platform::ui::SystemSettings::CaretBlink desktop = platform::ui::SystemSettings::caretBlink();
    shouldBlink = shouldBlink && desktop.on && desktop.period > 0;
    // Half the desktop's blink shown, half not, as the caret view fades.
    const auto interval = std::chrono::duration_cast<platform::runtime::Duration>(
        std::chrono::duration<double>(std::max(desktop.period, 0.02) / 2));
    if (!shouldBlink || (cursorBlinkTimer_ && interval != cursorBlinkInterval_)) {
        if (!cursorBlinkTimer_) return;
        invalidateCursorBlinkTimer();
        redrawCursor(!std::exchange(cursorBlinkOn_, true));
        if (!shouldBlink) return;
    }
    if (cursorBlinkTimer_) return;
    cursorBlinkOn_ = true;
    cursorBlinkInterval_ = interval;
    std::weak_ptr<GpuTerminalRenderer> weak = weak_from_this();
    cursorBlinkTimer_ = MainLoop::main().scheduleRepeating(interval, [weak] {
        auto renderer = weak.lock();
        if (!renderer) return;
        // Held still since (the desktop's timeout, a key): the timer ends here, not at the next
        // frame, so an idle view wakes for nothing.
        auto host = renderer->host_.lock();
        if (!host || host->gpuCaretBlinkHeld()) {
            renderer->invalidateCursorBlinkTimer();
            renderer->redrawCursor(!std::exchange(renderer->cursorBlinkOn_, true));
            return;
        }
        renderer->cursorBlinkOn_ = !renderer->cursorBlinkOn_;
        renderer->redrawCursor(true);
    });
}

void GpuTerminalRenderer::redrawCursor(bool changed) {
    auto view = view_.lock();
    if (!view || !changed) return;
    auto host = host_.lock();
    const auto caret = host ? host->gpuCaretRect() : std::nullopt;
    view->setNeedsDisplay(caret && !caret->isEmpty() ? *caret : view->bounds());
}

void GpuTerminalRenderer::recordPresentedFrame() {
    postToMain([](GpuTerminalRenderer& r) {
        if (auto host = r.host_.lock()) host->gpuRendererDidPresent(r, std::chrono::system_clock::now());
    });
}

void GpuTerminalRenderer::draw(platform::ui::GpuView& view) {
    auto drawSignpost = signpost("Gpu.Draw");
    auto& coordinator = frameCoordinator();
    const auto token = coordinator.beginFrame();
    if (!token) return;
    auto host = host_.lock();
    if (!host) {
        coordinator.refuse(*token, GpuFrameRefusalReason::missingDrawable);
        return;
    }
    rasterizer_.fontSmoothing = host->gpuFontSmoothing();

    double scale = host->gpuBackingScale();
    if (auto override = host->gpuScaleFactorOverride(); override && std::isfinite(*override)) scale = *override;
    if (!std::isfinite(scale) || scale < 1.0) scale = 1.0;
    view.setDrawableSize({view.bounds().width * scale, view.bounds().height * scale});

    const Terminal& terminal = host->gpuTerminal();
    updateCursorBlinkTimer(isBlinking(terminal.options().cursorStyle) && !terminal.cursorHidden &&
                           (!host->gpuCaretTracksFocus() || host->gpuHasFocus()) && !host->gpuCaretBlinkHeld());

    std::shared_ptr<platform::gpu::Drawable> drawable;
    {
        auto interval = signpost("Gpu.CurrentDrawable");
        drawable = view.currentDrawable();
    }
    std::optional<platform::gpu::RenderPassDescriptor> pass;
    if (drawable) {
        auto interval = signpost("Gpu.RenderPass");
        pass = view.currentRenderPassDescriptor();
    }
    if (!drawable || !pass) {
        coordinator.refuse(*token, drawable ? GpuFrameRefusalReason::missingRenderPassDescriptor
                                            : GpuFrameRefusalReason::missingDrawable);
        return;
    }

    DrawData data;
    {
        auto interval = signpost("Gpu.BuildDrawData");
        data = buildDrawData(scale);
    }

    const auto background = terminal.reverseColors ? host->gpuNativeForegroundColor() : host->gpuNativeBackgroundColor();
    pass->clearColor = {background.red, background.green, background.blue, background.alpha};
    pass->loadAction = platform::gpu::LoadAction::clear;

    auto encodeSignpost = signpost("Gpu.Encode");
    auto commandBuffer = commandQueue_->commandBuffer();
    if (!commandBuffer) {
        coordinator.refuse(*token, GpuFrameRefusalReason::missingCommandBuffer);
        return;
    }
    auto encoder = commandBuffer->renderCommandEncoder(*pass);
    if (!encoder) {
        coordinator.refuse(*token, GpuFrameRefusalReason::missingRenderEncoder);
        return;
    }

    std::weak_ptr<platform::gpu::CommandBuffer> probed = commandBuffer;
    coordinator.didSubmit(*token, {[probed] {
                                       auto buffer = probed.lock();
                                       return buffer ? trackedStatus(buffer->status())
                                                     : GpuTrackedCommandBufferStatus::completed;
                                   },
                                   [probed]() -> std::optional<std::string> {
                                       auto buffer = probed.lock();
                                       return buffer ? buffer->error() : std::nullopt;
                                   }});
    std::weak_ptr<GpuTerminalRenderer> weak = weak_from_this();
    const auto frame = *token;
    commandBuffer->addCompletedHandler([weak, frame](platform::gpu::CommandBuffer& buffer) {
        if (auto renderer = weak.lock())
            renderer->frameCoordinator().complete(frame, trackedStatus(buffer.status()), buffer.error());
    });

    bufferPool_->beginFrame();
    encoder->setVertexViewport(static_cast<float>(view.drawableSize().width),
                               static_cast<float>(view.drawableSize().height));
    encode(data, *encoder);
    encoder->endEncoding();
    encodeSignpost.reset();
    auto commitSignpost = signpost("Gpu.Commit");
    drawable->addPresentedHandler([weak] {
        if (auto renderer = weak.lock()) renderer->recordPresentedFrame();
    });
    commandBuffer->present(drawable);
    // The frame's pooled buffers come back once the GPU is done with them.
    bufferPool_->commit(*commandBuffer);
    commandBuffer->commit();
}

}  // namespace vantel
