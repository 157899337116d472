#include "quiltdeck/wall/LaunchVeil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "platform/runtime/VirtualMainLoop.h"
#include "platform/ui/FlippedView.h"
#include "platform/ui/headless/HeadlessWindow.h"
#include "support/CanvasInk.h"

namespace quiltdeck {
namespace {

using namespace std::chrono_literals;
using platform::gfx::Rect;
using platform::gfx::Rgba;

class PressCounter : public platform::ui::View {
public:
    using View::View;
    void mouseDown(const platform::ui::MouseEvent&) override { ++presses; }
    int presses = 0;
};

class LaunchVeilTest : public ::testing::Test {
protected:
    LaunchVeilTest() {
        window.setContentView(&root);
        root.addSubview(&under);
        root.addSubview(&veil);
        veil.setGround(Rgba::fromBytes(17, 17, 19));
        veil.setCaption("starting Claude Code");
    }
    ~LaunchVeilTest() override { window.setContentView(nullptr); }

    // The window drawn after `time` more on the clock.
    void after(platform::runtime::Duration time) {
        loop.advance(time);
        window.displayIfNeeded();
    }
    // Where the bright arc starts, counter-clockwise on screen from the right, in degrees: the
    // angle after the widest gap between its pixels.
    double arcStart() const {
        const platform::gfx::Point c = veil.convertToWindow(veil.centre());
        const double cx = c.x * scale, cy = (window.size().height - c.y) * scale;
        std::vector<double> angles;
        for (int y = 0; y < int(window.size().height * scale); ++y) {
            for (int x = 0; x < int(window.size().width * scale); ++x) {
                if (((window.pixel(x, y) >> 16) & 0xFF) < 230) continue;
                const double dx = x + 0.5 - cx, dy = cy - (y + 0.5);
                const double r = std::hypot(dx, dy);
                if (r < 15 * scale || r > 26 * scale) continue;
                angles.push_back(std::atan2(dy, dx) * 180 / M_PI);
            }
        }
        if (angles.empty()) return NAN;
        std::sort(angles.begin(), angles.end());
        double widest = angles.front() + 360 - angles.back(), start = angles.front();
        for (size_t i = 1; i < angles.size(); ++i) {
            if (angles[i] - angles[i - 1] > widest) {
                widest = angles[i] - angles[i - 1];
                start = angles[i];
            }
        }
        return start;
    }

    static constexpr double scale = 1;
    platform::runtime::VirtualMainLoop loop;
    platform::runtime::ScopedMainLoop scoped{loop};
    platform::ui::headless::HeadlessWindow window{{400, 300}, scale};
    platform::ui::FlippedView root;
    PressCounter under{Rect{0, 0, 400, 300}};
    LaunchVeil veil{Rect{0, 0, 400, 300}};
};

TEST_F(LaunchVeilTest, PartsAroundTheCentreEvenWhenTiny) {
    struct Case {
        Rect frame;
        double cx, cy;
    } cases[] = {{{0, 0, 400, 300}, 200, 140}, {{0, 0, 20, 10}, 10, -5}};
    for (const Case& c : cases) {
        veil.setFrame(c.frame);
        EXPECT_EQ(veil.centre().x, c.cx);
        EXPECT_EQ(veil.centre().y, c.cy);
        EXPECT_EQ(veil.glow().frame(), (Rect{c.cx - 180, c.cy - 180, 360, 360}));
        const double ring = 22 + LaunchVeil::ringMargin, core = 3 + LaunchVeil::coreMargin;
        EXPECT_EQ(veil.orbit().frame(), (Rect{c.cx - ring, c.cy - ring, 2 * ring, 2 * ring}));
        EXPECT_EQ(veil.trail().frame(), veil.orbit().frame());
        EXPECT_EQ(veil.core().frame(), (Rect{c.cx - core, c.cy - core, 2 * core, 2 * core}));
        EXPECT_EQ(veil.label().frame(), (Rect{0, c.cy + 40, c.frame.width, 16}));
    }
    EXPECT_EQ(veil.orbit().strokeEnd(), LaunchVeil::restingStrokeEnd);
    EXPECT_EQ(veil.label().string(), "starting Claude Code");
}

TEST_F(LaunchVeilTest, StartsOnceStopsWhollyAndStartsAgain) {
    EXPECT_FALSE(veil.isRunning());
    veil.start();
    const auto begun = veil.orbit().animation("spin")->beginTime;
    after(100ms);
    veil.start();
    EXPECT_EQ(veil.orbit().animation("spin")->beginTime, begun);
    for (const char* key : {"spin", "stretch"}) EXPECT_TRUE(veil.orbit().animation(key)) << key;
    EXPECT_TRUE(veil.core().animation("breathe"));
    EXPECT_TRUE(veil.glow().animation("breathe"));
    EXPECT_TRUE(veil.animation("arrive"));
    // The endless motions only decorate, so late frames slow them down; the fade in does not.
    for (const char* key : {"spin", "stretch"}) EXPECT_TRUE(veil.orbit().animation(key)->decorative) << key;
    EXPECT_TRUE(veil.core().animation("breathe")->decorative);
    EXPECT_TRUE(veil.glow().animation("breathe")->decorative);
    EXPECT_FALSE(veil.animation("arrive")->decorative);
    after(300ms);
    EXPECT_FALSE(veil.animation("arrive"));  // the fade in is over

    veil.stop();
    EXPECT_FALSE(veil.isRunning());
    for (const platform::ui::View* part : {static_cast<const platform::ui::View*>(&veil.orbit()),
                                           static_cast<const platform::ui::View*>(&veil.core()),
                                           static_cast<const platform::ui::View*>(&veil.glow()),
                                           static_cast<const platform::ui::View*>(&veil)}) {
        EXPECT_FALSE(part->hasAnimations());
    }
    EXPECT_EQ(veil.orbit().presentationStrokeEnd(), LaunchVeil::restingStrokeEnd);
    // Stopped, it asks for no more frames.
    after(50ms);
    after(500ms);
    EXPECT_FALSE(window.needsDisplay());
    const int displays = window.displayCount();
    after(500ms);
    EXPECT_EQ(window.displayCount(), displays);

    veil.start();
    EXPECT_TRUE(veil.animation("arrive"));
    EXPECT_EQ(veil.presentationOpacity(), 0);
}

TEST_F(LaunchVeilTest, RedrawsOnlyTheRingAndGlowWhileRunning) {
    veil.start();
    after(1s);
    const platform::gfx::Image first = window.surface().image();
    platform::gfx::Canvas before({400, 300}, scale);
    before.drawImage(first, {0, 0, 400, 300});
    after(450ms);
    const Rect glow = veil.glow().convertToWindow(veil.glow().bounds());
    for (const Rect& r : window.lastDisplayedRects()) {
        EXPECT_TRUE(glow.contains(r)) << r.x << "," << r.y << " " << r.width << "x" << r.height;
    }
    const auto changed = platform::gfx::testing::inkBox(window.surface(), &before);
    ASSERT_FALSE(changed.isEmpty());
    // Device pixels from the top left; the glow's rectangle likewise.
    const Rect glowPixels{glow.x * scale, (300 - glow.maxY()) * scale, glow.width * scale, glow.height * scale};
    EXPECT_GE(changed.x0, glowPixels.x);
    EXPECT_LE(changed.x1, glowPixels.maxX());
    EXPECT_GE(changed.y0, std::max(0.0, glowPixels.y));
    EXPECT_LE(changed.y1, glowPixels.maxY());
}

TEST_F(LaunchVeilTest, TheArcTurnsAQuarterIn0225Seconds) {
    veil.start();
    after(900ms);  // a whole turn, and the fade in over
    const double start = arcStart();
    ASSERT_FALSE(std::isnan(start));
    EXPECT_NEAR(std::remainder(start, 360.0), -3.5, 3);  // the round cap reaches back past 0
    after(225ms);
    EXPECT_NEAR(std::remainder(arcStart() - start, 360.0), 90, 3);
}

TEST_F(LaunchVeilTest, GroundAndClicks) {
    window.display();
    EXPECT_EQ(window.pixel(2, 2), Rgba::fromBytes(17, 17, 19).premultipliedArgb());
    veil.setGround(Rgba::fromBytes(24, 24, 28));
    window.displayIfNeeded();
    EXPECT_EQ(window.pixel(2, 2), Rgba::fromBytes(24, 24, 28).premultipliedArgb());
    platform::ui::MouseEvent press;
    press.type = platform::ui::MouseEvent::Type::down;
    press.locationInWindow = {200, 160};
    window.sendMouseEvent(press);
    EXPECT_EQ(under.presses, 1);
}

TEST_F(LaunchVeilTest, CaptionIsDrawnAtTheWindowsScale) {
    // A sharp caption has pixels of its whole colour; one scaled up from half size hardly any.
    auto solid = [&](double factor) {
        window.setBackingScaleFactor(factor);
        window.display();
        const Rect label = veil.label().convertToWindow(veil.label().bounds());
        int count = 0;
        for (int y = int((300 - label.maxY()) * factor); y < int((300 - label.y) * factor); ++y) {
            for (int x = 0; x < int(400 * factor); ++x) count += ((window.pixel(x, y) >> 8) & 0xFF) > 125;
        }
        return count;
    };
    const int one = solid(1), two = solid(2);
    EXPECT_GT(one, 20);
    EXPECT_GT(two, 3 * one);
}

}  // namespace
}  // namespace quiltdeck
