#include <gtest/gtest.h>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/Animation.h"
#include "platform/ui/View.h"
#include "platform/ui/headless/HeadlessWindow.h"

using namespace platform::ui;
using namespace std::chrono_literals;
using platform::gfx::Rect;

namespace {

// Ticks when the test says so, as the toolkit's clock does once per frame.
class ManualFrameClock : public FrameClock {
public:
    explicit ManualFrameClock(int* starts) : starts_(starts) {}
    void start(std::function<void()> tick) override {
        tick_ = std::move(tick);
        ++*starts_;
    }
    void stop() override { tick_ = nullptr; }
    bool isRunning() const override { return static_cast<bool>(tick_); }
    void tick() {
        if (auto t = tick_) t();
    }

private:
    std::function<void()> tick_;
    int* starts_;
};

// Remembers every size it was given.
class SizedView : public View {
public:
    using View::View;
    void setFrameSize(Size size) override {
        View::setFrameSize(size);
        sizes.push_back(size);
    }
    std::vector<Size> sizes;
};

constexpr TimingFunction zoomCurve{0.2, 1.18, 0.3, 1.0};

class AnimationGroupTest : public ::testing::Test {
protected:
    AnimationGroupTest() {
        auto owned = std::make_unique<ManualFrameClock>(&clockStarts);
        clock = owned.get();
        window.setFrameClock(std::move(owned));
        window.setContentView(&root);
        root.addSubview(&view);
    }
    void run(double duration, TimingFunction timing, const std::function<void()>& changes, bool implicit = false,
             std::function<void()> completion = {}) {
        AnimationContext::runAnimationGroup(
            [&](AnimationContext& context) {
                context.duration = duration;
                context.timing = timing;
                context.allowsImplicitAnimation = implicit;
                changes();
            },
            std::move(completion));
    }
    // One frame: the clock moves on, then the tick.
    void frame(platform::runtime::Duration step = 16ms) {
        loop.advance(step);
        clock->tick();
    }

    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    int clockStarts = 0;
    ManualFrameClock* clock = nullptr;
    headless::HeadlessWindow window{{400, 300}, 1};
    View root;
    SizedView view{Rect{0, 0, 100, 50}};
};

TEST(AnimationCurve, TheZoomCurvePassesItsEndAndLandsOnIt) {
    double highest = 0;
    for (int i = 0; i <= 100; ++i) highest = std::max(highest, zoomCurve.apply(i / 100.0));
    EXPECT_GT(highest, 1.005);
    EXPECT_EQ(zoomCurve.apply(1), 1);
    EXPECT_EQ(zoomCurve.apply(0), 0);
}

TEST_F(AnimationGroupTest, OutsideAGroupFramesAreSetAtOnce) {
    view.animator().setFrame(Rect{10, 10, 200, 100});
    EXPECT_EQ(view.frame(), (Rect{10, 10, 200, 100}));
    EXPECT_FALSE(view.isAnimatingFrame());
    run(0, zoomCurve, [&] { view.animator().setFrame(Rect{0, 0, 50, 50}); });
    EXPECT_EQ(view.frame(), (Rect{0, 0, 50, 50}));
    EXPECT_EQ(clockStarts, 0);
}

TEST_F(AnimationGroupTest, EveryTickSetsTheFrameAndTheLastLandsOnTheTarget) {
    const Rect target{0, 0, 300, 150};
    run(0.22, zoomCurve, [&] { view.animator().setFrame(target); });
    EXPECT_EQ(view.frame().width, 100);  // nothing moves before the first tick
    EXPECT_EQ(clockStarts, 1);
    view.sizes.clear();
    double widest = 0;
    int ticks = 0;
    while (view.isAnimatingFrame() && ticks < 100) {
        frame();
        ++ticks;
        widest = std::max(widest, view.frame().width);
    }
    EXPECT_EQ(ticks, 14);  // 0.22 s at 16 ms a frame
    EXPECT_EQ(view.sizes.size(), 14u);
    EXPECT_GT(widest, 300);  // the curve overshoots
    EXPECT_EQ(view.frame(), target);
    EXPECT_FALSE(clock->isRunning());
}

TEST_F(AnimationGroupTest, ANewFrameStartsWhereTheOldOneStands) {
    run(0.2, TimingFunction::linear(), [&] { view.animator().setFrame(Rect{100, 0, 100, 50}); });
    frame(100ms);
    EXPECT_EQ(view.frame().x, 50);
    run(0.2, TimingFunction::linear(), [&] { view.animator().setFrame(Rect{0, 0, 100, 50}); });
    frame(0ms);
    EXPECT_EQ(view.frame().x, 50);
    frame(100ms);
    EXPECT_EQ(view.frame().x, 25);
    // The same destination again keeps the move as it is.
    run(0.2, TimingFunction::linear(), [&] { view.animator().setFrame(Rect{0, 0, 100, 50}); });
    frame(100ms);
    EXPECT_EQ(view.frame().x, 0);
    EXPECT_FALSE(view.isAnimatingFrame());
}

TEST_F(AnimationGroupTest, SettingAFrameEndsTheMove) {
    run(0.2, TimingFunction::linear(), [&] { view.animator().setFrame(Rect{100, 100, 100, 50}); });
    frame(50ms);
    view.setFrameOrigin({7, 7});
    EXPECT_FALSE(view.isAnimatingFrame());
    frame(50ms);
    EXPECT_EQ(view.frame(), (Rect{7, 7, 100, 50}));
}

TEST_F(AnimationGroupTest, ImplicitFramesMoveOnlyWhenTheGroupAllowsIt) {
    run(0.2, TimingFunction::linear(), [&] { view.setFrameImplicitly(Rect{40, 0, 100, 50}); });
    EXPECT_EQ(view.frame().x, 40);
    run(0.2, TimingFunction::linear(), [&] { view.setFrameImplicitly(Rect{80, 0, 100, 50}); }, true);
    EXPECT_EQ(view.frame().x, 40);
    frame(100ms);
    EXPECT_EQ(view.frame().x, 60);
}

TEST_F(AnimationGroupTest, CompletionRunsOnceTheLastMoveHasEnded) {
    SizedView other{Rect{0, 0, 10, 10}};
    root.addSubview(&other);
    int completions = 0;
    run(0.2, TimingFunction::linear(),
        [&] {
            view.animator().setFrame(Rect{0, 0, 200, 50});
            AnimationContext::runAnimationGroup([&](AnimationContext& inner) {
                inner.duration = 0.4;
                other.animator().setFrame(Rect{0, 0, 20, 20});
            });
        },
        false, [&] { ++completions; });
    frame(250ms);
    loop.runPending();
    EXPECT_EQ(completions, 1);  // the inner group's move is not the outer one's
    EXPECT_TRUE(other.isAnimatingFrame());
    // A group that starts nothing completes at the next turn.
    run(0.2, TimingFunction::linear(), [] {}, false, [&] { ++completions; });
    EXPECT_EQ(completions, 1);
    loop.runPending();
    EXPECT_EQ(completions, 2);
}

TEST_F(AnimationGroupTest, OutsideAWindowFramesAreSetAtOnce) {
    SizedView loose{Rect{0, 0, 10, 10}};
    run(0.2, TimingFunction::linear(), [&] { loose.animator().setFrame(Rect{5, 5, 20, 20}); });
    EXPECT_EQ(loose.frame(), (Rect{5, 5, 20, 20}));
    // A view that leaves its window mid-move lands on its target.
    run(0.2, TimingFunction::linear(), [&] { view.animator().setFrame(Rect{100, 0, 100, 50}); });
    frame(50ms);
    view.removeFromSuperview();
    EXPECT_EQ(view.frame(), (Rect{100, 0, 100, 50}));
}

}  // namespace
