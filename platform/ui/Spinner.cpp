#include "platform/ui/Spinner.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/ControlDrawing.h"

namespace platform::ui {

void Spinner::startAnimation() {
    if (animating_) return;
    animating_ = true;
    changed();
}

void Spinner::stopAnimation() {
    if (!animating_) return;
    animating_ = false;
    changed();
}

void Spinner::setStyle(Style style) { setProperty(style_, style); }

void Spinner::setHidesWhenStopped(bool hides) { setProperty(hidesWhenStopped_, hides); }

View::Size Spinner::fittingSize() const { return style_ == Style::small ? Size{16, 16} : Size{32, 32}; }

void Spinner::draw(gfx::Canvas& canvas, const Rect&) {
    if (peer() || (!animating_ && hidesWhenStopped_)) return;
    const Rect box = bounds();
    const double radius = std::max(0.0, std::min(box.width, box.height) / 2 - 2);
    gfx::Path ring;
    ring.arc({box.width / 2, box.height / 2}, radius, 0, 1.5 * M_PI);
    gfx::StrokeStyle style = drawing::line(2);
    style.cap = gfx::StrokeStyle::Cap::round;
    canvas.stroke(ring, gfx::Rgba{0, 0, 0, 0.5}, style);
}

}  // namespace platform::ui
