#pragma once

#include <string>

#include "platform/gfx/Rgba.h"
#include "platform/ui/Layers.h"
#include "platform/ui/View.h"

namespace quiltdeck {

// The cover of a tile's terminal while the assistant starts: an ember glow
// that breathes, a small pulsing core, a faint ring with a bright arc that
// spins and stretches around it, and a caption under the ring. Every motion
// is an endless animation of its parts on the window's frame clock, so the
// veil redraws only its ring, core and glow, and only while it runs; they
// only decorate, so frames that come late slow them down. Clicks pass
// through it. Flipped. Main thread.
class LaunchVeil : public platform::ui::View {
public:
    static constexpr double spinDuration = 0.9;
    static constexpr double stretchDuration = 1.8;
    static constexpr double breatheDuration = 1.1;
    static constexpr double arriveDuration = 0.25;
    static constexpr double restingStrokeEnd = 0.28;

    explicit LaunchVeil(const Rect& frame = {});

    bool isFlipped() const override { return true; }
    View* hitTest(Point) override { return nullptr; }
    // Its ground covers what lies under it while it is shown whole.
    bool isOpaque() const override;
    void draw(platform::gfx::Canvas& canvas, const Rect& dirty) override;

    const platform::gfx::Rgba& ground() const { return ground_; }
    void setGround(platform::gfx::Rgba ground);
    const std::string& caption() const { return caption_; }
    void setCaption(std::string caption);

    bool isRunning() const { return running_; }
    // Starts the animations, with a quarter second's fade in; nothing while running.
    void start();
    // Takes every animation away; the parts stay where they are.
    void stop();

    // The two colours every veil is drawn in.
    static platform::gfx::Rgba ember();
    static platform::gfx::Rgba flare();

    // The ring's centre, 10 points above the middle.
    Point centre() const;
    const platform::ui::GradientLayer& glow() const { return glow_; }
    const platform::ui::ShapeLayer& core() const { return core_; }
    const platform::ui::ShapeLayer& trail() const { return trail_; }
    const platform::ui::ShapeLayer& orbit() const { return orbit_; }
    const platform::ui::TextLayer& label() const { return label_; }
    // The shape layers are larger than the shapes they draw, by this much on each side, to hold
    // their shadows.
    static constexpr double coreMargin = 14;
    static constexpr double ringMargin = 10;

protected:
    void resizeSubviews(Size oldSize) override;

private:
    void layout();

    platform::ui::GradientLayer glow_;
    platform::ui::ShapeLayer core_;
    platform::ui::ShapeLayer orbit_;
    platform::ui::ShapeLayer trail_;
    platform::ui::TextLayer label_;
    bool running_ = false;
    platform::gfx::Rgba ground_{0, 0, 0, 1};
    std::string caption_;
};

}  // namespace quiltdeck
