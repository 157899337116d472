#include "platform/ui/ControlDrawing.h"

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

void focusRingInside(gfx::Canvas& canvas, const gfx::Rect& rect) { strokeInside(canvas, rect, focusRing, 2); }

}  // namespace platform::ui::drawing
