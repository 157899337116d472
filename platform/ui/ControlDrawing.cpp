#include "platform/ui/ControlDrawing.h"

namespace platform::ui::drawing {

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
    canvas.fill(rect, gfx::Rgba{0.94, 0.94, 0.94, alpha});
    strokeInside(canvas, rect, gfx::Rgba{0.6, 0.6, 0.6, alpha}, 1);
}

}  // namespace platform::ui::drawing
