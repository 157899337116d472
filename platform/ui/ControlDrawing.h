#pragma once

// What the headless stand-ins of the controls draw: plain likenesses, enough to see a layout.

#include "platform/gfx/Canvas.h"

namespace platform::ui::drawing {

// Text of a stand-in without a colour of its own.
inline constexpr gfx::Rgba text{0, 0, 0, 0.85};

gfx::StrokeStyle line(double width);
// A border of `width` drawn inside the rectangle.
void strokeInside(gfx::Canvas& canvas, const gfx::Rect& rect, gfx::Rgba color, double width);
// The grey box of a bordered control.
void bezel(gfx::Canvas& canvas, const gfx::Rect& rect, double alpha = 1);

}  // namespace platform::ui::drawing
