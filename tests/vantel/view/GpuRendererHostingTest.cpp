#include "vantel/view/GpuRendererHosting.h"

#include <gtest/gtest.h>

#include "platform/gpu/Device.h"
#include "platform/runtime/SystemLog.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/GpuView.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/GpuTestSupport.h"
#include "support/TerminalTestSupport.h"
#include "vantel/gpu/GpuTerminalRenderer.h"

using namespace vantel;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::runtime::NotificationCenter;
using platform::runtime::ScopedLogCapture;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::View;
using platform::ui::headless::HeadlessWindow;
using State = GpuRendererStatus::State;
using std::chrono::milliseconds;

namespace {

// A terminal view as far as hosting goes: it paints itself green on the CPU path.
class HostView : public View, public GpuRendererHosting::Owner {
public:
    HostView() : View(Rect{0, 0, 60, 30}), terminal(&delegate, TerminalOptions{}) {
        addSubview(&caret);
        addSubview(&scroller);
        hosting = GpuRendererHosting::make(*this);
    }
    ~HostView() override { hosting.reset(); }

    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override {
        if (hosting->gpuView()) canvas.clear(dirty);
        else canvas.fill(bounds(), cpuColor);
    }
    void viewDidMoveToWindow() override { hosting->viewDidMoveToWindow(); }

    View& hostingView() override { return *this; }
    std::any hostingNotificationObject() override { return static_cast<View*>(this); }
    const Terminal& hostingTerminal() const override { return terminal; }
    TerminalView* hostingTerminalView() override { return nullptr; }
    bool hostingFontSmoothing() const override { return true; }
    double hostingBackingScale() const override { return window() ? window()->backingScaleFactor() : 1; }
    bool hostingCaretTracksFocus() const override { return false; }
    bool hostingHasFocus() const override { return true; }
    Rgba hostingNativeForeground() const override { return foreground; }
    Rgba hostingNativeBackground() const override { return background; }
    View* hostingCaretView() override { return &caret; }
    View* hostingScroller() override { return &scroller; }
    void hostingHideCaret() override { caret.setHidden(true); }
    void hostingRestoreCaret() override { caret.setHidden(false); }

    vantel::testing::RecordingDelegate delegate;
    Terminal terminal;
    View caret{Rect{0, 0, 6, 10}};
    View scroller{Rect{55, 0, 5, 30}};
    Rgba foreground = Rgba::fromBytes(250, 250, 250);
    Rgba background = Rgba::fromBytes(10, 10, 90);
    Rgba cpuColor = Rgba::fromBytes(0, 160, 0);
    std::shared_ptr<GpuRendererHosting> hosting;
};

// A window whose device is missing, or comes later.
class DeviceWindow : public HeadlessWindow {
public:
    using HeadlessWindow::HeadlessWindow;
    std::shared_ptr<platform::gpu::Device> gpuDevice() override { return device; }
    bool gpuDeviceIsPending() const override { return pending; }
    std::shared_ptr<platform::gpu::Device> device;
    bool pending = false;
};

struct Stage {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    HeadlessWindow window{{60, 30}, 1};
    HostView view;
    std::vector<State> posted;
    NotificationCenter::Subscription observer;

    Stage() {
        GpuTerminalRenderer::install();
        window.setContentView(&view);
        observer = NotificationCenter::defaultCenter().subscribe(
            terminalViewGpuRendererStatusDidChange, [this](const platform::runtime::Notification& n) {
                if (std::any_cast<View*>(n.object) == &view) posted.push_back(view.hosting->gpuRendererStatus().state);
            });
    }
    GpuRendererHosting& hosting() { return *view.hosting; }
    // A display pass, the GPU's work, and what the loop runs afterwards.
    void frame() {
        window.displayIfNeeded();
        if (auto gpu = hosting().gpuView()) gpu->device()->finish();
        loop.runPending();
        window.displayIfNeeded();
    }
    // A recovery request; the new renderer's first frame is done before the test moves the clock.
    void recover() {
        hosting().gpuRendererRequiresRecovery(*hosting().gpuRenderer(),
                                              {GpuFrameRefusalReason::missingDrawable, 1.0, std::nullopt, std::nullopt});
        if (auto gpu = hosting().gpuView()) gpu->device()->finish();
        loop.runPending();
    }
};

}  // namespace

TEST(GpuRendererHosting, SwitchingOnTwiceBuildsOneRendererUnderTheCaret) {
    GPU_TEST_DEVICE(device);
    Stage stage;
    EXPECT_FALSE(stage.hosting().setUseGpu(false));  // never on: nothing posted
    stage.loop.runPending();
    EXPECT_TRUE(stage.posted.empty());
    EXPECT_FALSE(stage.hosting().setUseGpu(true));
    auto* renderer = stage.hosting().gpuRenderer();
    EXPECT_FALSE(stage.hosting().setUseGpu(true));
    EXPECT_EQ(stage.hosting().gpuRenderer(), renderer);
    stage.loop.runPending();
    EXPECT_EQ(stage.posted, std::vector<State>{State::waitingForFirstFrame});
    // Subviews: the GPU view, the caret (hidden), the scroller.
    ASSERT_EQ(stage.view.subviews().size(), 3u);
    EXPECT_EQ(stage.view.subviews()[0], stage.hosting().gpuView().get());
    EXPECT_TRUE(stage.view.caret.isHidden());
    EXPECT_EQ(stage.view.subviews()[2], &stage.view.scroller);
    EXPECT_EQ(stage.view.layerBackgroundColor(), (Rgba{0, 0, 0, 0}));

    stage.frame();
    EXPECT_EQ(stage.hosting().gpuRendererStatus().state, State::healthy);
    EXPECT_EQ(stage.hosting().gpuRendererStatus().presentedFrameCount, 1u);
    EXPECT_EQ(stage.window.pixel(30, 15), stage.view.background.premultipliedArgb());

    EXPECT_FALSE(stage.hosting().setUseGpu(false));
    EXPECT_FALSE(stage.hosting().gpuView());
    EXPECT_FALSE(stage.view.caret.isHidden());
    EXPECT_EQ(stage.view.layerBackgroundColor(), stage.view.background);
    EXPECT_EQ(stage.hosting().gpuRendererStatus().state, State::disabled);
}

// Recoveries 29.9 s apart replace, then fall back; 30.0 s apart they replace twice. Turning the
// renderer on again forgets the last replacement.
TEST(GpuRendererHosting, RecoveriesReplaceThenFallBack) {
    GPU_TEST_DEVICE(device);
    for (int64_t apartMs : {29'900, 30'000}) {
        SCOPED_TRACE(apartMs);
        ScopedLogCapture log;
        Stage stage;
        ASSERT_FALSE(stage.hosting().setUseGpu(true));
        stage.frame();
        auto* first = stage.hosting().gpuRenderer();
        stage.recover();
        EXPECT_NE(stage.hosting().gpuRenderer(), first);
        EXPECT_EQ(stage.hosting().gpuRendererStatus().state, State::healthy);  // the new one's first frame
        stage.loop.advance(milliseconds(apartMs));
        stage.recover();
        const bool fellBack = apartMs < 30'000;
        EXPECT_EQ(stage.hosting().isUsingGpuRenderer(), !fellBack);
        EXPECT_EQ(stage.hosting().gpuRendererStatus().state, fellBack ? State::fellBackToCpu : State::healthy);
        const auto lines = log.messages("");
        ASSERT_EQ(lines.size(), fellBack ? 3u : 2u);
        EXPECT_EQ(lines[0], "Vantel GPU recovery reason=missingDrawable duration=1.000 status=none error=none "
                            "action=replace-gpu-renderer");
        if (!fellBack) continue;
        EXPECT_EQ(lines[1], "Vantel GPU recovery reason=missingDrawable duration=1.000 status=none error=none "
                            "action=cpu-renderer");
        EXPECT_EQ(lines[2], "Vantel: GPU renderer rebind failed; falling back to the CPU renderer: The OpenGL 3.3 "
                            "context keeps failing.");
        // The fallback paints the background again, and the CPU picture shows.
        EXPECT_EQ(stage.view.layerBackgroundColor(), stage.view.background);
        stage.window.displayIfNeeded();
        EXPECT_EQ(stage.window.pixel(30, 15), stage.view.cpuColor.premultipliedArgb());

        stage.posted.clear();
        EXPECT_FALSE(stage.hosting().setUseGpu(false));
        stage.loop.runPending();
        EXPECT_EQ(stage.posted, std::vector<State>{State::disabled});

        ASSERT_FALSE(stage.hosting().setUseGpu(true));  // forgets the last replacement
        stage.recover();
        EXPECT_TRUE(stage.hosting().isUsingGpuRenderer());
    }
}

TEST(GpuRendererHosting, AnotherWindowRecoversUntilItsFirstFrame) {
    GPU_TEST_DEVICE(device);
    Stage stage;
    ASSERT_FALSE(stage.hosting().setUseGpu(true));
    stage.frame();
    auto* first = stage.hosting().gpuRenderer();
    View holder(Rect{0, 0, 60, 30});
    holder.addSubview(&stage.view);  // out of the window: nothing rebinds
    EXPECT_EQ(stage.hosting().gpuRenderer(), first);
    stage.window.setContentView(&holder);  // back into the same window
    EXPECT_EQ(stage.hosting().gpuRenderer(), first);
    EXPECT_TRUE(stage.hosting().gpuView()->frameRequested());

    HeadlessWindow other({60, 30}, 2);
    stage.window.setContentView(nullptr);
    other.setContentView(&holder);
    EXPECT_NE(stage.hosting().gpuRenderer(), first);
    EXPECT_EQ(stage.hosting().gpuRendererStatus().state, State::recovering);
    other.displayIfNeeded();
    device->finish();
    stage.loop.runPending();
    EXPECT_EQ(stage.hosting().gpuRendererStatus().state, State::healthy);
    EXPECT_EQ(stage.hosting().gpuView()->drawableSize().width, 120);  // the new window's scale
}

// A retired renderer with a frame in flight lives until its frame completes, also when its GPU
// view is gone first.
TEST(GpuRendererHosting, ARetiredRendererLivesUntilItsFrameCompletes) {
    GPU_TEST_DEVICE(device);
    Stage stage;
    ASSERT_FALSE(stage.hosting().setUseGpu(true));
    device->testHooks.holdCompletion = true;
    stage.window.displayIfNeeded();
    std::weak_ptr<platform::ui::GpuView> oldView;
    {
        auto* renderer = dynamic_cast<GpuTerminalRenderer*>(stage.hosting().gpuRenderer());
        ASSERT_TRUE(renderer);
        EXPECT_TRUE(renderer->frameCoordinator().activeFrame());
    }
    oldView = stage.hosting().gpuView();
    stage.recover();
    EXPECT_EQ(stage.hosting().retiredGpuRendererCount(), 1u);
    EXPECT_TRUE(oldView.expired());  // its GPU view went first
    stage.loop.advance(milliseconds(100));
    EXPECT_EQ(stage.hosting().retiredGpuRendererCount(), 1u);
    device->testHooks.holdCompletion = false;
    device->finish();
    stage.loop.runPending();
    EXPECT_EQ(stage.hosting().retiredGpuRendererCount(), 0u);
}

// A reset fails the frame in flight and replaces the renderer on a new device; a second within
// 30 s falls back to the view's own picture.
TEST(GpuRendererHosting, AResetReplacesThenFallsBack) {
    GPU_TEST_DEVICE(shared);
    ScopedLogCapture log;
    Stage stage;
    ASSERT_FALSE(stage.hosting().setUseGpu(true));
    stage.frame();
    for (int reset = 0; reset < 2; ++reset) {
        auto device = stage.hosting().gpuView()->device();
        device->testHooks.holdCompletion = true;
        stage.hosting().requestFrame();
        stage.window.displayIfNeeded();
        device->loseContext("simulated reset");
        stage.loop.runPending();
        if (reset == 0) {
            ASSERT_TRUE(stage.hosting().isUsingGpuRenderer());
            EXPECT_NE(stage.hosting().gpuView()->device(), device);
            stage.frame();
            EXPECT_EQ(stage.hosting().gpuRendererStatus().state, State::healthy);
            EXPECT_EQ(stage.window.pixel(30, 15), stage.view.background.premultipliedArgb());
        }
    }
    EXPECT_EQ(stage.hosting().gpuRendererStatus().state, State::fellBackToCpu);
    stage.window.displayIfNeeded();
    EXPECT_EQ(stage.window.pixel(30, 15), stage.view.cpuColor.premultipliedArgb());
    EXPECT_TRUE(stage.window.writePng(::testing::TempDir() + "gpu-fallback.png"));
}

TEST(GpuRendererHosting, EligibleOnlyWhenItCanDraw) {
    GPU_TEST_DEVICE(device);
    Stage stage;
    EXPECT_FALSE(stage.hosting().isGpuRendererEligibleForRetry());  // off
    ASSERT_FALSE(stage.hosting().setUseGpu(true));
    EXPECT_TRUE(stage.hosting().isGpuRendererEligibleForRetry());
    struct Case {
        const char* what;
        std::function<void(Stage&, bool)> set;
    } cases[] = {
        {"unmapped", [](Stage& s, bool on) { s.window.setVisible(!on); }},
        {"iconified", [](Stage& s, bool on) { s.window.setMiniaturized(on); }},
        {"hidden", [](Stage& s, bool on) { s.view.setHidden(on); }},
        {"empty", [](Stage& s, bool on) { s.view.setFrameSize(on ? platform::gfx::Size{0, 30} : platform::gfx::Size{60, 30}); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        stage.frame();
        c.set(stage, true);
        EXPECT_FALSE(stage.hosting().isGpuRendererEligibleForRetry());
        c.set(stage, false);
        EXPECT_TRUE(stage.hosting().isGpuRendererEligibleForRetry());
    }
    // Mapping again and de-iconifying ask for a frame.
    stage.frame();
    stage.window.setVisible(false);
    stage.window.setVisible(true);
    EXPECT_FALSE(stage.hosting().gpuView()->frameRequested());
    stage.loop.runPending();
    EXPECT_TRUE(stage.hosting().gpuView()->frameRequested());
}

TEST(GpuRendererHosting, LiveResizeWaitsForTheCoalescedFrame) {
    GPU_TEST_DEVICE(device);
    Stage stage;
    ASSERT_FALSE(stage.hosting().setUseGpu(true));
    stage.frame();
    stage.window.setInLiveResize(true);
    stage.view.setFrameSize({50, 30});
    EXPECT_TRUE(stage.hosting().frameSizeChanged());
    EXPECT_EQ(stage.hosting().gpuView()->frame().width, 50);
    EXPECT_FALSE(stage.hosting().gpuView()->frameRequested());
    stage.loop.advance(milliseconds(17));
    EXPECT_TRUE(stage.hosting().gpuView()->frameRequested());
    stage.frame();
    stage.window.setInLiveResize(false);
    EXPECT_FALSE(stage.hosting().frameSizeChanged());
    EXPECT_TRUE(stage.hosting().gpuView()->frameRequested());
}

TEST(GpuRendererHosting, ScaleOverridesThatAreNotFiniteAreIgnored) {
    GPU_TEST_DEVICE(device);
    Stage stage;
    ASSERT_FALSE(stage.hosting().setUseGpu(true));
    stage.frame();
    stage.hosting().setGpuScaleFactorOverride(std::nan(""));
    stage.hosting().setGpuScaleFactorOverride(INFINITY);
    EXPECT_FALSE(stage.hosting().gpuScaleFactorOverride());
    EXPECT_FALSE(stage.hosting().gpuView()->frameRequested());
    stage.hosting().setGpuScaleFactorOverride(2.0);
    EXPECT_TRUE(stage.hosting().gpuView()->frameRequested());
    stage.frame();
    EXPECT_EQ(stage.hosting().gpuView()->drawableSize().width, 120);
    stage.hosting().setGpuScaleFactorOverride(2.0);  // the same value: no frame
    EXPECT_FALSE(stage.hosting().gpuView()->frameRequested());
}

// No device: the switch fails and changes nothing. A device that comes later builds the renderer
// then; one that never comes falls back.
TEST(GpuRendererHosting, DevicesMissingOrComingLater) {
    GPU_TEST_DEVICE(shared);
    VirtualMainLoop loop;
    ScopedMainLoop scoped(loop);
    GpuTerminalRenderer::install();
    DeviceWindow window({60, 30}, 1);
    HostView view;
    window.setContentView(&view);
    auto error = view.hosting->setUseGpu(true);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->description(), "No OpenGL 3.3 context is available.");
    EXPECT_FALSE(view.hosting->isUsingGpuRenderer());
    EXPECT_EQ(view.hosting->gpuRendererStatus().state, State::disabled);

    window.pending = true;
    EXPECT_FALSE(view.hosting->setUseGpu(true));
    EXPECT_TRUE(view.hosting->awaitingGpuDevice());
    EXPECT_EQ(view.hosting->gpuRendererStatus().state, State::waitingForFirstFrame);
    EXPECT_FALSE(view.hosting->gpuView());
    window.pending = false;
    window.device = shared;
    NotificationCenter::defaultCenter().post(platform::ui::Window::gpuDeviceDidChangeNotification,
                                             static_cast<platform::ui::Window*>(&window));
    loop.runPending();
    ASSERT_TRUE(view.hosting->gpuView());
    EXPECT_EQ(view.hosting->gpuView()->device(), shared);

    ScopedLogCapture log;
    EXPECT_FALSE(view.hosting->setUseGpu(false));
    window.pending = true;
    window.device = nullptr;
    EXPECT_FALSE(view.hosting->setUseGpu(true));
    window.pending = false;  // the context failed to come
    NotificationCenter::defaultCenter().post(platform::ui::Window::gpuDeviceDidChangeNotification,
                                             static_cast<platform::ui::Window*>(&window));
    loop.runPending();
    EXPECT_EQ(view.hosting->gpuRendererStatus().state, State::fellBackToCpu);
    EXPECT_EQ(log.messages(""), std::vector<std::string>{"Vantel: GPU renderer rebind failed; falling back to "
                                                         "the CPU renderer: No OpenGL 3.3 context is available."});
}
