#include "platform/ui/GpuView.h"

#include <gtest/gtest.h>

#include "platform/gpu/CommandQueue.h"
#include "platform/gpu/Drawable.h"
#include "platform/gpu/Texture.h"
#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/GpuTestSupport.h"

using namespace platform::ui;
using platform::gfx::Rect;

namespace {

// Clears each frame to red, once per call; counts the calls.
class ClearingDelegate : public GpuViewDelegate {
public:
    void draw(GpuView& view) override {
        ++draws;
        auto drawable = view.currentDrawable();
        sameDrawable = drawable && drawable == view.currentDrawable();
        auto pass = view.currentRenderPassDescriptor();
        if (!drawable || !pass) return;
        pass->clearColor = {1, 0, 0, 1};
        auto commands = view.device()->makeCommandQueue()->commandBuffer();
        commands->renderCommandEncoder(*pass);
        commands->present(drawable);
        commands->commit();
    }
    int draws = 0;
    bool sameDrawable = false;
};

}  // namespace

// Only a frame request draws; a presented frame is read back into the window's picture.
TEST(GpuView, DrawsWhenAskedAndShowsWhatWasPresented) {
    GPU_TEST_DEVICE(device);
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped(loop);
    headless::HeadlessWindow window({40, 20}, 2);
    View root(Rect{0, 0, 40, 20});
    root.setLayerBackgroundColor(platform::gfx::Rgba{0, 0, 1, 1});
    window.setContentView(&root);
    auto view = std::make_shared<GpuView>(Rect{10, 5, 20, 10}, device);
    root.addSubview(view.get());
    auto delegate = std::make_shared<ClearingDelegate>();
    view->setDelegate(delegate);
    window.displayIfNeeded();
    EXPECT_EQ(delegate->draws, 0);  // added and displayed, but no frame asked for
    EXPECT_EQ(window.pixel(30, 20), 0xff0000ffu);  // what lies below shows

    view->setDrawableSize({40.4, 19.6});
    EXPECT_EQ(view->drawableSize().width, 40);
    EXPECT_EQ(view->drawableSize().height, 20);
    view->setNeedsDisplay();
    window.displayIfNeeded();
    EXPECT_EQ(delegate->draws, 1);
    EXPECT_TRUE(delegate->sameDrawable);
    EXPECT_FALSE(view->hasPresentedFrame());  // not before the GPU is done
    device->finish();
    EXPECT_EQ(view->presentedFrameCount(), 1u);
    window.displayIfNeeded();
    EXPECT_EQ(delegate->draws, 1);  // showing the frame asks for none
    EXPECT_EQ(window.pixel(30, 20), 0xffff0000u);
    EXPECT_EQ(window.pixel(19, 20), 0xff0000ffu);

    view->draw();
    EXPECT_EQ(delegate->draws, 2);
    view->testHooks.noDrawable = true;
    EXPECT_FALSE(view->currentDrawable());
    view->testHooks.noDrawable = false;
    view->testHooks.noRenderPassDescriptor = true;
    EXPECT_FALSE(view->currentRenderPassDescriptor());
    view->setDrawableSize({0, 10});
    view->testHooks.noRenderPassDescriptor = false;
    EXPECT_FALSE(view->currentDrawable());
    device->finish();
}
