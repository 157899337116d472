#include "vantel/gpu/GpuTerminalRenderer.h"

#include <gtest/gtest.h>

#include "platform/gpu/Sampler.h"
#include "platform/gpu/Texture.h"
#include "platform/runtime/SystemLog.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/GpuTestSupport.h"
#include "support/TerminalTestSupport.h"
#include "vantel/gpu/GpuRecoverySignpost.h"
#include "vantel/gpu/ShaderInterface.h"

using namespace vantel;
using platform::gfx::Rgba;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::GpuView;
using std::chrono::milliseconds;

namespace {

class FakeHost : public GpuRendererHost {
public:
    FakeHost() : terminal(&delegate, TerminalOptions{}) {}

    const Terminal& gpuTerminal() const override { return terminal; }
    bool gpuFontSmoothing() const override { return fontSmoothing; }
    std::optional<double> gpuScaleFactorOverride() const override { return scaleOverride; }
    double gpuBackingScale() const override { return backingScale; }
    bool gpuCaretTracksFocus() const override { return tracksFocus; }
    bool gpuHasFocus() const override { return focus; }
    bool gpuCaretBlinkHeld() const override { return held; }
    Rgba gpuNativeForegroundColor() const override { return foreground; }
    Rgba gpuNativeBackgroundColor() const override { return background; }
    bool isGpuRendererEligibleForRetry() const override { return eligible; }
    void gpuRendererDidPresent(GpuRenderer&, std::chrono::system_clock::time_point) override { ++presented; }
    void gpuRendererRequiresRecovery(GpuRenderer&, const GpuRendererRecoveryReport& report) override {
        recoveries.push_back(report);
    }
    void gpuRendererBecameIdle(GpuRenderer&) override { ++idles; }

    vantel::testing::RecordingDelegate delegate;
    Terminal terminal;
    bool fontSmoothing = false;
    std::optional<double> scaleOverride;
    double backingScale = 1;
    bool tracksFocus = true;
    bool focus = true;
    bool held = false;
    Rgba foreground = Rgba::fromBytes(230, 220, 40);
    Rgba background = Rgba::fromBytes(20, 30, 120);
    bool eligible = true;
    int presented = 0;
    int idles = 0;
    std::vector<GpuRendererRecoveryReport> recoveries;
};

// A GPU view in a headless window on a virtual loop, with its renderer.
struct Stage {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    platform::ui::headless::HeadlessWindow window{{80, 40}, 1};
    std::shared_ptr<FakeHost> host = std::make_shared<FakeHost>();
    std::shared_ptr<GpuView> view;
    std::shared_ptr<GpuTerminalRenderer> renderer;

    explicit Stage(std::shared_ptr<platform::gpu::Device> device) {
        view = std::make_shared<GpuView>(platform::gfx::Rect{0, 0, 80, 40}, device);
        window.setContentView(view.get());
        auto made = GpuTerminalRenderer::make(view, host);
        EXPECT_TRUE(made) << (made.error ? made.error->description() : "");
        renderer = made.value;
        if (renderer) view->setDelegate(renderer);
    }
    // A display pass, the GPU's work, and what the loop then has to run.
    void frame() {
        window.displayIfNeeded();
        view->device()->finish();
        loop.runPending();
        window.displayIfNeeded();
    }
};

std::vector<platform::gpu::ShaderSource> brokenSources(const char* name, const char* text) {
    auto sources = GpuShaderLibrary::defaultSources();
    for (auto& source : sources)
        if (source.name == name) source.text = text;
    return sources;
}

}  // namespace

TEST(GpuTerminalRenderer, SetUpFailsWithTheShaderErrors) {
    GPU_TEST_DEVICE(device);
    platform::runtime::ScopedLogCapture log;
    auto view = std::make_shared<GpuView>(platform::gfx::Rect{0, 0, 10, 10}, device);
    auto host = std::make_shared<FakeHost>();
    struct Case {
        std::vector<platform::gpu::ShaderSource> sources;
        GpuError::Kind kind;
    } cases[] = {
        {brokenSources(shader::textVertex, "#version 330 core\nvoid main() { gl_Position = oops; }"),
         GpuError::Kind::shaderCompilationFailed},
        {{GpuShaderLibrary::defaultSources().begin(), GpuShaderLibrary::defaultSources().end() - 1},
         GpuError::Kind::shaderFunctionMissing},
        {brokenSources(shader::textFragment,
                       "#version 330 core\nin vec3 vColor; out vec4 c; void main() { c = vec4(vColor, 1.0); }"),
         GpuError::Kind::pipelineCreationFailed},
    };
    for (const auto& c : cases) {
        auto made = GpuTerminalRenderer::make(view, host, c.sources);
        EXPECT_FALSE(made.value);
        ASSERT_TRUE(made.error);
        EXPECT_EQ(made.error->kind, c.kind);
    }
}

TEST(GpuTerminalRenderer, StartsEmptyWithoutACoordinator) {
    GPU_TEST_DEVICE(device);
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    auto bare = std::make_shared<GpuView>(platform::gfx::Rect{0, 0, 10, 10}, nullptr);
    auto made = GpuTerminalRenderer::make(bare, std::make_shared<FakeHost>());
    ASSERT_TRUE(made);
    auto& renderer = *made.value;
    EXPECT_EQ(bare->device(), device);  // the default device was given to the view
    EXPECT_TRUE(renderer.cursorBlinkOn());
    EXPECT_FALSE(renderer.cursorBlinkTimerRunning());
    EXPECT_FALSE(renderer.hasFrameCoordinator());
    EXPECT_EQ(renderer.grayscaleAtlas().size(), 1024);
    EXPECT_EQ(renderer.colorAtlas().size(), 1024);
    EXPECT_EQ(renderer.grayscaleAtlas().format(), GlyphAtlasFormat::grayscale);
    EXPECT_EQ(renderer.colorAtlas().format(), GlyphAtlasFormat::bgra);
    EXPECT_EQ(renderer.sampler()->descriptor().minFilter, platform::gpu::SamplerFilter::linear);
    // Every cache starts empty.
    EXPECT_TRUE(renderer.rowCache().empty());
    EXPECT_FALSE(renderer.cacheSignature());
    EXPECT_EQ(renderer.shaperCache().count(), 0u);
    EXPECT_EQ(renderer.glyphCacheCount() + renderer.customGlyphCacheCount(), 0u);
    EXPECT_EQ(renderer.imageTextureCount() + renderer.kittyTextureCount(), 0u);
    EXPECT_EQ(renderer.bufferPool().availableTotal(), 0u);

    auto own = platform::gpu::Device::makeHeadless();
    auto owned = std::make_shared<GpuView>(platform::gfx::Rect{0, 0, 10, 10}, own);
    ASSERT_TRUE(GpuTerminalRenderer::make(owned, std::make_shared<FakeHost>()));
    EXPECT_EQ(owned->device(), own);  // a view keeps its own device
}

// A frame clears to the view's background (its foreground under reverse video), is presented
// into the window's picture, and the host hears of it on the main loop.
TEST(GpuTerminalRenderer, FramesClearToTheNativeBackground) {
    GPU_TEST_DEVICE(device);
    Stage stage(device);
    ASSERT_TRUE(stage.renderer);
    platform::runtime::ScopedLogCapture log;
    stage.view->setNeedsDisplay();
    stage.frame();
    EXPECT_EQ(stage.view->presentedFrameCount(), 1u);
    EXPECT_EQ(stage.host->presented, 1);
    EXPECT_EQ(stage.window.pixel(40, 20), stage.host->background.premultipliedArgb());
    EXPECT_EQ(stage.view->drawableSize().width, 80);
    EXPECT_TRUE(stage.window.writePng(::testing::TempDir() + "gpu-frame-background.png"));

    stage.host->terminal.reverseColors = true;
    stage.view->setNeedsDisplay();
    stage.frame();
    EXPECT_EQ(stage.host->presented, 2);
    EXPECT_EQ(stage.window.pixel(5, 5), stage.host->foreground.premultipliedArgb());
    EXPECT_TRUE(log.messages(GpuRecoverySignpost::category).empty());  // VANTEL_PROFILE unset
    EXPECT_TRUE(stage.host->recoveries.empty());
}

TEST(GpuTerminalRenderer, TheDrawableFollowsTheScale) {
    GPU_TEST_DEVICE(device);
    Stage stage(device);
    struct Case {
        std::optional<double> override;
        double backing;
        double width;
    } cases[] = {
        {std::nullopt, 2, 160}, {3.0, 2, 240}, {0.5, 2, 80}, {std::nan(""), 2, 160}, {std::nullopt, 0.5, 80},
    };
    for (const auto& c : cases) {
        stage.host->scaleOverride = c.override;
        stage.host->backingScale = c.backing;
        stage.view->draw();
        stage.view->device()->finish();
        stage.loop.runPending();
        EXPECT_EQ(stage.view->drawableSize().width, c.width);
        EXPECT_EQ(stage.view->drawableSize().height, c.width / 2);
    }
}

// A frame asked for while one is in flight draws nothing; the coordinator asks again once the
// first completes.
TEST(GpuTerminalRenderer, OneFrameInFlight) {
    GPU_TEST_DEVICE(device);
    Stage stage(device);
    device->testHooks.holdCompletion = true;
    stage.view->draw();
    stage.view->draw();
    EXPECT_TRUE(stage.renderer->frameCoordinator().activeFrame()->pendingRedraw);
    device->testHooks.holdCompletion = false;
    device->finish();
    stage.loop.runPending();
    EXPECT_EQ(stage.view->presentedFrameCount(), 1u);
    EXPECT_TRUE(stage.view->frameRequested());  // the redraw the coordinator asked for
    stage.frame();
    EXPECT_EQ(stage.view->presentedFrameCount(), 2u);
}

// Each missing piece refuses the frame with its reason; refusals for a second become a recovery
// request carrying the last reason.
TEST(GpuTerminalRenderer, MissingPiecesRefuseTheFrame) {
    GPU_TEST_DEVICE(device);
    struct Case {
        const char* hook;
        GpuFrameRefusalReason reason;
    } cases[] = {
        {"drawable", GpuFrameRefusalReason::missingDrawable},
        {"pass", GpuFrameRefusalReason::missingRenderPassDescriptor},
        {"commandBuffer", GpuFrameRefusalReason::missingCommandBuffer},
        {"encoder", GpuFrameRefusalReason::missingRenderEncoder},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.hook);
        Stage stage(device);
        const std::string hook = c.hook;
        stage.view->testHooks.noDrawable = hook == "drawable";
        stage.view->testHooks.noRenderPassDescriptor = hook == "pass";
        device->testHooks.failCommandBuffer = hook == "commandBuffer";
        device->testHooks.failRenderEncoder = hook == "encoder";
        stage.view->draw();
        stage.loop.runPending();
        EXPECT_EQ(stage.host->idles, 1);
        EXPECT_FALSE(stage.view->frameRequested());
        stage.loop.advance(milliseconds(16));
        EXPECT_TRUE(stage.view->frameRequested());  // the first retry
        for (int i = 0; i < 100; ++i) {
            stage.window.displayIfNeeded();
            stage.loop.advance(milliseconds(10));
        }
        device->testHooks.failCommandBuffer = device->testHooks.failRenderEncoder = false;
        ASSERT_EQ(stage.host->recoveries.size(), 1u);
        EXPECT_EQ(stage.host->recoveries[0].reason, c.reason);
        EXPECT_EQ(stage.view->presentedFrameCount(), 0u);
    }
}

TEST(GpuTerminalRenderer, AFailedCommandBufferAsksForRecovery) {
    GPU_TEST_DEVICE(device);
    Stage stage(device);
    device->testHooks.failCommandBuffersWith = "simulated GPU fault";
    stage.view->draw();
    device->finish();
    device->testHooks.failCommandBuffersWith.reset();
    stage.loop.runPending();
    ASSERT_EQ(stage.host->recoveries.size(), 1u);
    EXPECT_EQ(stage.host->recoveries[0].commandBufferStatus, GpuTrackedCommandBufferStatus::error);
    EXPECT_EQ(stage.host->recoveries[0].commandBufferError, "simulated GPU fault");
    EXPECT_EQ(stage.view->presentedFrameCount(), 0u);  // a failed frame shows nothing
    EXPECT_EQ(stage.host->presented, 0);
}

TEST(GpuTerminalRenderer, TheCursorBlinksOnlyWhenItShould) {
    GPU_TEST_DEVICE(device);
    Stage stage(device);
    struct Case {
        CursorStyle style;
        bool hidden, tracksFocus, focus;
        bool blinks;
        bool held = false;
    } cases[] = {
        {CursorStyle::blinkBlock, false, true, true, true},     {CursorStyle::blinkBar, false, false, false, true},
        {CursorStyle::blinkUnderline, false, true, false, false}, {CursorStyle::steadyBlock, false, true, true, false},
        {CursorStyle::blinkBlock, true, true, true, false},      {CursorStyle::blinkBlock, false, true, true, false, true},
    };
    for (const auto& c : cases) {
        auto options = stage.host->terminal.options();
        options.cursorStyle = c.style;
        stage.host->terminal.setOptions(options);
        stage.host->terminal.cursorHidden = c.hidden;
        stage.host->tracksFocus = c.tracksFocus;
        stage.host->focus = c.focus;
        stage.host->held = c.held;
        stage.frame();
        stage.view->draw();
        EXPECT_EQ(stage.renderer->cursorBlinkTimerRunning(), c.blinks);
        EXPECT_TRUE(stage.renderer->cursorBlinkOn());
        device->finish();
        stage.loop.runPending();
    }
    stage.host->held = false;
    stage.renderer->updateCursorBlinkTimer(true);
    stage.loop.advance(milliseconds(700));
    EXPECT_FALSE(stage.renderer->cursorBlinkOn());
    // Held since (a key, the desktop's timeout): the next tick ends the blink, the cursor shown.
    stage.host->held = true;
    stage.loop.advance(milliseconds(700));
    EXPECT_TRUE(stage.renderer->cursorBlinkOn());
    EXPECT_FALSE(stage.renderer->cursorBlinkTimerRunning());
    stage.host->held = false;
    stage.renderer->updateCursorBlinkTimer(true);
    EXPECT_TRUE(stage.view->frameRequested());
    stage.renderer->updateCursorBlinkTimer(false);
    EXPECT_TRUE(stage.renderer->cursorBlinkOn());
    EXPECT_FALSE(stage.renderer->cursorBlinkTimerRunning());
}

// A renderer released with a frame in flight is not kept alive by it, and its late completion
// reaches nobody.
TEST(GpuTerminalRenderer, ALateCompletionOfAReleasedRendererIsDropped) {
    GPU_TEST_DEVICE(device);
    Stage stage(device);
    stage.view->draw();
    std::weak_ptr<GpuTerminalRenderer> weak = stage.renderer;
    stage.renderer.reset();
    EXPECT_TRUE(weak.expired());
    device->finish();
    stage.loop.runPending();
    EXPECT_EQ(stage.host->presented, 0);
    EXPECT_EQ(stage.view->presentedFrameCount(), 1u);  // the view still shows what was drawn
}
