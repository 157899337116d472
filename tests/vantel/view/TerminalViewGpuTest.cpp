// The terminal view on the GPU path: what display scheduling hands the renderer, which changes
// ask for a GPU frame, frames cleared to the view's background, and recovery ending in the view's
// own picture.
#include <gtest/gtest.h>

#include "platform/gpu/Device.h"
#include "platform/runtime/SystemLog.h"
#include "platform/ui/GpuView.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/GpuTestSupport.h"
#include "support/ViewTestSupport.h"
#include "vantel/gpu/GpuTerminalRenderer.h"

using namespace vantel;
using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Rgba;
using platform::gfx::Size;
using platform::runtime::ScopedMainLoop;
using platform::runtime::VirtualMainLoop;
using platform::ui::headless::HeadlessWindow;
using State = GpuRendererStatus::State;
using vantel::testing::FixedCellView;
using vantel::testing::gridOptions;

namespace {

constexpr Size cell{8, 16};

// A 20 × 6 view on the GPU path in a headless window.
struct Screen {
    VirtualMainLoop loop;
    ScopedMainLoop scoped{loop};
    HeadlessWindow window{{20 * cell.width, 6 * cell.height}, 1};
    FixedCellView<> view{cell, Rect{0, 0, 20 * cell.width, 6 * cell.height}, nullptr, gridOptions(20, 6)};

    Screen() {
        GpuTerminalRenderer::install();
        view.scroller().setHidden(true);
        view.processSizeChange({20 * cell.width, 6 * cell.height});
        view.setNativeForegroundColor(Rgba::fromBytes(240, 200, 40));
        view.setNativeBackgroundColor(Rgba::fromBytes(20, 30, 110));
        window.setContentView(&view);
    }
    bool switchOn() { return !view.setUseGpu(true); }
    platform::ui::GpuView& gpuView() { return *view.gpuHosting().gpuView(); }
    // The coalesced pass, the frame it asks for, the GPU's work, and what follows on the loop.
    void settle() {
        loop.advance(20ms);
        window.displayIfNeeded();
        if (auto gpu = view.gpuHosting().gpuView()) gpu->device()->finish();
        loop.runPending();
        window.displayIfNeeded();
    }
    uint32_t pixelOfCell(int col, int row) const {
        return window.pixel(static_cast<int>(col * cell.width + 3), static_cast<int>(row * cell.height + 8));
    }
};

}  // namespace

// A cursor move without dirty rows asks for one GPU frame; the same cursor again asks for none.
TEST(TerminalViewGpu, TheCursorAloneAsksForAFrameOnce) {
    GPU_TEST_DEVICE(device);
    Screen s;
    ASSERT_TRUE(s.switchOn());
    s.settle();
    s.view.feed("\x1b[4;7H");
    s.view.getTerminal().clearUpdateRange();
    s.view.updateDisplay(false);
    EXPECT_TRUE(s.gpuView().frameRequested());
    EXPECT_EQ(s.view.lastRenderedCursor(), (GpuRendererHosting::RenderedCursor{6, 3, false}));
    s.window.displayIfNeeded();
    EXPECT_FALSE(s.gpuView().frameRequested());
    s.view.updateDisplay(false);
    EXPECT_FALSE(s.gpuView().frameRequested());
    EXPECT_FALSE(s.window.needsDisplay());  // the view itself is never invalidated on this path
}

TEST(TerminalViewGpu, DirtyRowsBecomeBufferLinesForTheRenderer) {
    GPU_TEST_DEVICE(device);
    Screen s;
    ASSERT_TRUE(s.switchOn());
    s.settle();
    s.view.feed("one\r\ntwo\r\nthree");
    s.view.updateDisplay(false);
    ASSERT_TRUE(s.view.gpuDirtyRange());
    EXPECT_EQ(s.view.gpuDirtyRange()->first, 0);
    EXPECT_EQ(s.view.gpuDirtyRange()->second, 2);
    // The selection redraws what is on screen.
    s.view.selectAll();
    EXPECT_EQ(s.view.gpuDirtyRange(), std::make_pair(0, 5));
    EXPECT_TRUE(s.view.gpuHosting().pendingGpuDisplay());
    // A buffer without lines has nothing to rebuild.
    s.view.getTerminal().buffer().clear();
    s.view.getTerminal().updateFullScreen();
    s.view.updateDisplay(false);
    EXPECT_FALSE(s.view.gpuDirtyRange());
}

// What changes the cursor's look or the focus queues one coalesced GPU frame.
TEST(TerminalViewGpu, CursorAndFocusChangesQueueAFrame) {
    GPU_TEST_DEVICE(device);
    Screen s;
    ASSERT_TRUE(s.switchOn());
    struct Case {
        const char* what;
        std::function<void(TerminalView&)> change;
    } cases[] = {
        {"hide", [](TerminalView& v) { v.feed("\x1b[?25l"); }},
        {"show", [](TerminalView& v) { v.feed("\x1b[?25h"); }},
        {"style", [](TerminalView& v) { v.feed("\x1b[6 q"); }},
        {"tracks focus", [](TerminalView& v) { v.setCaretViewTracksFocus(false); }},
        {"focus", [](TerminalView& v) { v.setHasFocus(true); }},
        {"cursor colour", [](TerminalView& v) { v.setCursorColor(v.getTerminal(), std::nullopt, std::nullopt); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        s.settle();
        EXPECT_FALSE(s.view.gpuHosting().pendingGpuDisplay());
        c.change(s.view);
        EXPECT_TRUE(s.view.gpuHosting().pendingGpuDisplay());
        s.loop.advance(17ms);
        EXPECT_TRUE(s.gpuView().frameRequested());
    }
}

// Frames clear to the background (to the foreground under reverse video) and count in the status;
// the renderer does not draw rows yet, so a block character shows only on the view's own path.
TEST(TerminalViewGpu, FramesClearToTheBackgroundAndFallBackToTheViewsPicture) {
    GPU_TEST_DEVICE(shared);
    platform::runtime::ScopedLogCapture log;
    Screen s;
    s.view.feed("\xe2\x96\x88\xe2\x96\x88");  // two full blocks at the top left
    ASSERT_TRUE(s.switchOn());
    s.settle();
    EXPECT_EQ(s.view.gpuRendererStatus().state, State::healthy);
    const uint64_t frames = s.view.gpuRendererStatus().presentedFrameCount;
    EXPECT_GE(frames, 1u);
    const uint32_t background = Rgba::fromBytes(20, 30, 110).premultipliedArgb();
    const uint32_t foreground = Rgba::fromBytes(240, 200, 40).premultipliedArgb();
    EXPECT_EQ(s.pixelOfCell(10, 3), background);
    EXPECT_EQ(s.pixelOfCell(0, 0), foreground);  // the blocks, drawn by the renderer
    EXPECT_TRUE(s.window.writePng(::testing::TempDir() + "terminal-view-gpu.png"));

    s.view.feed("\x1b[?5h");  // reverse video
    s.settle();
    EXPECT_EQ(s.pixelOfCell(10, 3), foreground);
    EXPECT_GT(s.view.gpuRendererStatus().presentedFrameCount, frames);
    s.view.feed("\x1b[?5l");
    s.settle();

    // Two resets within 30 s: a new renderer on a new device, then the view's own drawing.
    for (int reset = 0; reset < 2; ++reset) {
        auto device = s.gpuView().device();
        device->testHooks.holdCompletion = true;
        s.view.drawGpuFrameNow();
        device->loseContext("simulated reset");
        s.loop.runPending();
        if (reset == 0) {
            ASSERT_TRUE(s.view.isUsingGpuRenderer());
            s.settle();
            EXPECT_EQ(s.view.gpuRendererStatus().state, State::healthy);
        }
    }
    EXPECT_EQ(s.view.gpuRendererStatus().state, State::fellBackToCpu);
    EXPECT_EQ(s.view.layerBackgroundColor(), Rgba::fromBytes(20, 30, 110));
    s.settle();
    EXPECT_EQ(s.pixelOfCell(0, 0), foreground);  // the blocks, drawn by the view
    EXPECT_EQ(s.pixelOfCell(10, 3), background);
    EXPECT_TRUE(s.window.writePng(::testing::TempDir() + "terminal-view-gpu-fallback.png"));
}

TEST(TerminalViewGpu, ALiveResizeWaitsForTheCoalescedFrame) {
    GPU_TEST_DEVICE(device);
    Screen s;
    ASSERT_TRUE(s.switchOn());
    s.settle();
    s.window.setInLiveResize(true);
    s.window.setSize({18 * cell.width, 6 * cell.height});
    EXPECT_EQ(s.gpuView().frame().width, 18 * cell.width);
    EXPECT_FALSE(s.gpuView().frameRequested());
    s.loop.advance(17ms);
    EXPECT_TRUE(s.gpuView().frameRequested());
    s.settle();
    EXPECT_EQ(s.gpuView().drawableSize().width, 18 * cell.width);
}
