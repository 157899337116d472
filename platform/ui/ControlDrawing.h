#pragma once

// What the headless stand-ins of the controls draw: plain likenesses, enough to see a layout.

#include "platform/gfx/Canvas.h"

namespace platform::ui::drawing {

// The stand-ins follow the palette the application draws in (DesktopAppearance), as the toolkit's
// own widgets do: light controls with dark text, or dark controls with light text.
bool dark();
// Text of a stand-in without a colour of its own.
gfx::Rgba text();

gfx::StrokeStyle line(double width);
// A border of `width` drawn inside the rectangle.
void strokeInside(gfx::Canvas& canvas, const gfx::Rect& rect, gfx::Rgba color, double width);
// The grey box of a bordered control.
void bezel(gfx::Canvas& canvas, const gfx::Rect& rect, double alpha = 1);
// A check box in `tint`: its border, and once it is on, its fill; the tick in checkMark(tint).
void checkBox(gfx::Canvas& canvas, const gfx::Rect& box, gfx::Rgba tint, bool on, bool flipped);
// Black or white, whichever stands out more from `fill`: never under 4.5:1 (the toolkit's check
// boxes draw their tick in it too).
gfx::Rgba checkMark(const gfx::Rgba& fill);
// The fill of a selected segment of a control without colours of its own.
gfx::Rgba selectedFill();
// The ring round a control (or a segment) that has the keyboard.
inline constexpr gfx::Rgba focusRing{0.21, 0.52, 0.89, 1};
void focusRingInside(gfx::Canvas& canvas, const gfx::Rect& rect);
// The ring on a ground it must stand out from by 3:1: the standard one where it does, else the
// same blue deeper or paler (a selected segment's fill).
gfx::Rgba focusRingOn(const gfx::Rgba& ground);
void focusRingInside(gfx::Canvas& canvas, const gfx::Rect& rect, const gfx::Rgba& ground);

}  // namespace platform::ui::drawing
