#include "platform/ui/ControlDrawing.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/DesktopAppearance.h"

namespace platform::ui::drawing {

bool dark() { return DesktopAppearance::applicationDark().value_or(false); }

gfx::Rgba text() { return dark() ? gfx::Rgba{0.93, 0.93, 0.92, 1} : gfx::Rgba{0, 0, 0, 0.85}; }

gfx::Rgba selectedFill() { return dark() ? gfx::Rgba{0.3, 0.35, 0.45, 1} : gfx::Rgba{0.75, 0.8, 0.9, 1}; }

gfx::StrokeStyle line(double width) {
    gfx::StrokeStyle style;
    style.width = width;
    return style;
}

void strokeInside(gfx::Canvas& canvas, const gfx::Rect& rect, gfx::Rgba color, double width) {
    if (width <= 0) return;
    gfx::Path edge;
    const double inset = width / 2;
    edge.addRect(gfx::Rect{rect.x + inset, rect.y + inset, rect.width - width, rect.height - width});
    canvas.stroke(edge, color, line(width));
}

void bezel(gfx::Canvas& canvas, const gfx::Rect& rect, double alpha) {
    const bool night = dark();
    canvas.fill(rect, night ? gfx::Rgba{0.21, 0.21, 0.22, alpha} : gfx::Rgba{0.94, 0.94, 0.94, alpha});
    strokeInside(canvas, rect, night ? gfx::Rgba{0.11, 0.11, 0.12, alpha} : gfx::Rgba{0.6, 0.6, 0.6, alpha}, 1);
}

namespace {

// WCAG 2's relative luminance and contrast.
double luminance(const gfx::Rgba& c) {
    auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * linear(c.red) + 0.7152 * linear(c.green) + 0.0722 * linear(c.blue);
}

double contrast(const gfx::Rgba& a, const gfx::Rgba& b) {
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

}  // namespace

gfx::Rgba checkMark(const gfx::Rgba& fill) {
    const double lum = luminance(fill);
    // Against black (luminance + 0.05) / 0.05, against white 1.05 / (luminance + 0.05).
    return (lum + 0.05) * (lum + 0.05) > 0.05 * 1.05 ? gfx::Rgba{0, 0, 0, 1} : gfx::Rgba{1, 1, 1, 1};
}

gfx::Rgba focusRingOn(const gfx::Rgba& ground) {
    if (contrast(focusRing, ground) >= 3) return focusRing;
    // The same blue, deeper or paler: whichever stands out more.
    constexpr gfx::Rgba deeper{0.09, 0.33, 0.68, 1}, paler{0.5, 0.72, 1, 1};
    return contrast(deeper, ground) >= contrast(paler, ground) ? deeper : paler;
}

void checkBox(gfx::Canvas& canvas, const gfx::Rect& box, gfx::Rgba tint, bool on, bool flipped) {
    if (!on) {
        strokeInside(canvas, box, tint, 1);
        return;
    }
    canvas.fill(box, tint);
    // The short stroke down to the foot, the long one up, whichever way the view is flipped.
    const double down = flipped ? 1 : -1, cx = box.x + box.width / 2, cy = box.y + box.height / 2, half = box.width * 0.3;
    gfx::Path tick;
    tick.moveTo({cx - half, cy});
    tick.lineTo({cx - half / 3, cy + down * half * 2 / 3});
    tick.lineTo({cx + half, cy - down * half * 2 / 3});
    canvas.stroke(tick, checkMark(tint), line(2));
}

void focusRingInside(gfx::Canvas& canvas, const gfx::Rect& rect) { strokeInside(canvas, rect, focusRing, 2); }

void focusRingInside(gfx::Canvas& canvas, const gfx::Rect& rect, const gfx::Rgba& ground) {
    strokeInside(canvas, rect, focusRingOn(ground), 2);
}

}  // namespace platform::ui::drawing
