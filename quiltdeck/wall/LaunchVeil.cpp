#include "quiltdeck/wall/LaunchVeil.h"

#include <cmath>

#include "quiltdeck/shell/Fonts.h"

namespace quiltdeck {

using platform::gfx::FontWeight;
using platform::gfx::Path;
using platform::gfx::Rgba;
using platform::ui::Animation;
using platform::ui::ShapeLayer;
using platform::ui::TimingFunction;

namespace {

Rgba withAlpha(Rgba color, double alpha) {
    color.alpha = alpha;
    return color;
}

// A circle drawn from its rightmost point, counter-clockwise on screen (the layers are y down).
Path circle(platform::gfx::Point centre, double radius) {
    Path path;
    path.arc(centre, radius, 0, -2 * M_PI, true);
    return path;
}

}  // namespace

Rgba LaunchVeil::ember() { return Rgba{0.85, 0.47, 0.34, 1}; }
Rgba LaunchVeil::flare() { return Rgba{1.0, 0.68, 0.45, 1}; }

LaunchVeil::LaunchVeil(const Rect& frame) : View(frame) {
    setLayerBackgroundColor(ground_);
    setClipsToBounds(true);

    glow_.setType(platform::ui::GradientLayer::Type::radial);
    glow_.setStops({{0, withAlpha(ember(), 0.22)}, {0.45, withAlpha(ember(), 0.05)}, {1, Rgba{0, 0, 0, 0}}});
    glow_.setPoints({0.5, 0.5}, {1, 1});
    addSubview(&glow_);

    core_.setPath(circle({coreMargin + 3, coreMargin + 3}, 3));
    core_.setFillColor(flare());
    core_.setShadow(ShapeLayer::Shadow{flare(), 0.9, 8});
    addSubview(&core_);

    const Path ring = circle({ringMargin + 22, ringMargin + 22}, 22 - 1.5);
    for (ShapeLayer* layer : {&trail_, &orbit_}) {
        layer->setPath(ring);
        layer->setLineCap(platform::gfx::StrokeStyle::Cap::round);
        addSubview(layer);
    }
    trail_.setStrokeColor(withAlpha(ember(), 0.18));
    trail_.setLineWidth(1.5);
    orbit_.setStrokeColor(flare());
    orbit_.setLineWidth(2.5);
    orbit_.setStrokeStart(0);
    orbit_.setStrokeEnd(restingStrokeEnd);
    orbit_.setShadow(ShapeLayer::Shadow{flare(), 0.7, 6});

    label_.setAlignment(platform::ui::TextAlignment::center);
    label_.setFont(Fonts::ui(12, FontWeight::medium));
    label_.setForegroundColor(Rgba{1, 1, 1, 0.5});
    addSubview(&label_);
    layout();
}

bool LaunchVeil::isOpaque() const { return ground_.alpha >= 1 && opacity() >= 1 && presentationOpacity() >= 1; }

void LaunchVeil::draw(platform::gfx::Canvas& canvas, const Rect& dirty) {
    // An opaque view paints its ground itself; otherwise the window did.
    if (isOpaque()) canvas.clear(dirty);
}

void LaunchVeil::setGround(Rgba ground) {
    ground_ = ground;
    setLayerBackgroundColor(ground);
}

void LaunchVeil::setCaption(std::string caption) {
    caption_ = std::move(caption);
    label_.setString(caption_);
}

platform::ui::View::Point LaunchVeil::centre() const { return {bounds().width / 2, bounds().height / 2 - 10}; }

void LaunchVeil::resizeSubviews(Size) { layout(); }

void LaunchVeil::layout() {
    const Point c = centre();
    glow_.setFrame({c.x - 180, c.y - 180, 360, 360});
    core_.setFrame({c.x - 3 - coreMargin, c.y - 3 - coreMargin, 6 + 2 * coreMargin, 6 + 2 * coreMargin});
    const Rect ring{c.x - 22 - ringMargin, c.y - 22 - ringMargin, 44 + 2 * ringMargin, 44 + 2 * ringMargin};
    trail_.setFrame(ring);
    orbit_.setFrame(ring);
    label_.setFrame({0, c.y + 40, bounds().width, 16});
}

void LaunchVeil::start() {
    if (running_) return;
    running_ = true;
    Animation spin = Animation::basic(0, 2 * M_PI, spinDuration);
    spin.keyPath = ShapeLayer::rotationKey;
    spin.repeatCount = Animation::infinite;
    spin.decorative = true;
    orbit_.addAnimation("spin", spin);

    Animation stretch = Animation::keyFrames({0.18, 0.42, 0.18}, {0, 0.5, 1}, stretchDuration);
    stretch.keyPath = ShapeLayer::strokeEndKey;
    stretch.timingFunctions = {TimingFunction::easeInEaseOut(), TimingFunction::easeInEaseOut()};
    stretch.repeatCount = Animation::infinite;
    stretch.decorative = true;
    orbit_.addAnimation("stretch", stretch);

    Animation breathe = Animation::basic(0.55, 1, breatheDuration);
    breathe.keyPath = "opacity";
    breathe.autoreverses = true;
    breathe.timing = TimingFunction::easeInEaseOut();
    breathe.repeatCount = Animation::infinite;
    breathe.decorative = true;
    core_.addAnimation("breathe", breathe);
    glow_.addAnimation("breathe", breathe);

    Animation arrive = Animation::basic(0, 1, arriveDuration);
    arrive.keyPath = "opacity";
    addAnimation("arrive", arrive);
    setOpacity(1);
}

void LaunchVeil::stop() {
    running_ = false;
    for (View* layer : {static_cast<View*>(&orbit_), static_cast<View*>(&core_), static_cast<View*>(&glow_),
                        static_cast<View*>(this)}) {
        layer->removeAllAnimations();
    }
}

}  // namespace quiltdeck
