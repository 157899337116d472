#include "platform/ui/Scroller.h"

#include <algorithm>
#include <cmath>

namespace platform::ui {

namespace {

double unit(double v, double otherwise) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : otherwise; }

}  // namespace

Scroller::Scroller(const Rect& frame) : View(frame) {}

void Scroller::setEnabled(bool enabled) {
    if (enabled == enabled_) return;
    enabled_ = enabled;
    setNeedsDisplay();
}

void Scroller::setDoubleValue(double value) {
    value = unit(value, value_);
    if (value == value_) return;
    const Rect before = rectForPart(Part::knob);
    value_ = value;
    knobChanged(before);
}

void Scroller::setKnobProportion(double proportion) {
    proportion = unit(proportion, knobProportion_);
    if (proportion == knobProportion_) return;
    const Rect before = rectForPart(Part::knob);
    knobProportion_ = proportion;
    knobChanged(before);
}

void Scroller::knobChanged(const Rect& before) {
    if (!enabled_) return;
    setNeedsDisplay(before);
    setNeedsDisplay(rectForPart(Part::knob));
}

Scroller::Rect Scroller::paintedBounds() const {
    if (!enabled_) return Rect{};
    return style_ == Style::legacy ? bounds() : rectForPart(Part::knob);
}

void Scroller::setStyle(Style style) {
    if (style == style_) return;
    style_ = style;
    setNeedsDisplay();
}

double Scroller::knobLength() const {
    const double height = bounds().height;
    return std::min(height, std::max(minimumKnobLength, height * knobProportion_));
}

Scroller::Rect Scroller::rectForPart(Part part) const {
    const Rect b = bounds();
    // Measured from the top edge, since value 0 is the top.
    const double top = value_ * travel(), length = knobLength();
    switch (part) {
    case Part::knob: return Rect{0, b.height - top - length, b.width, length};
    case Part::decrementPage: return Rect{0, b.height - top, b.width, top};
    case Part::incrementPage: return Rect{0, 0, b.width, std::max(0.0, b.height - top - length)};
    case Part::knobSlot: return b;
    default: return Rect{};
    }
}

Scroller::Part Scroller::testPart(Point p) const {
    const Rect b = bounds();
    if (!enabled_ || p.x < 0 || p.x >= b.width || p.y < 0 || p.y >= b.height) return Part::noPart;
    const double fromTop = b.height - p.y, top = value_ * travel();
    if (fromTop < top) return Part::decrementPage;
    if (fromTop < top + knobLength()) return Part::knob;
    return Part::incrementPage;
}

void Scroller::fire(Part part) {
    hitPart_ = part;
    if (action) action(*this);
}

void Scroller::mouseDown(const MouseEvent& event) {
    if (event.button != MouseEvent::left) return;
    const Point p = convertFromWindow(event.locationInWindow);
    const Part part = testPart(p);
    if (part == Part::knob) {
        dragGrip_ = (bounds().height - p.y) - value_ * travel();
        hitPart_ = Part::knob;
    } else if (part != Part::noPart) {
        fire(part);
    }
}

void Scroller::mouseDragged(const MouseEvent& event) {
    if (!dragGrip_ || !(travel() > 0)) return;
    const Point p = convertFromWindow(event.locationInWindow);
    const double value = std::clamp((bounds().height - p.y - *dragGrip_) / travel(), 0.0, 1.0);
    if (value == value_) return;
    setDoubleValue(value);
    fire(Part::knob);
}

void Scroller::mouseUp(const MouseEvent&) { dragGrip_.reset(); }

void Scroller::draw(gfx::Canvas& canvas, const Rect&) {
    if (!enabled_) return;
    const Rect b = bounds();
    if (style_ == Style::legacy) canvas.fill(b, slotColor);
    Rect knob = rectForPart(Part::knob);
    // The overlay knob is a thin bar at the outer edge; the legacy one nearly fills the slot.
    const double width = style_ == Style::legacy ? b.width - 6 : 7;
    const double inset = style_ == Style::legacy ? 3 : 2;
    knob = Rect{b.width - inset - width, knob.y + 2, width, std::max(0.0, knob.height - 4)};
    gfx::Path path;
    path.addRoundedRect(knob, width / 2);
    canvas.fill(path, knobColor);
}

}  // namespace platform::ui
