#pragma once

#include <optional>

#include "platform/gfx/Canvas.h"
#include "platform/gfx/Path.h"
#include "platform/gfx/Rect.h"
#include "platform/gfx/Rgba.h"

namespace platform::ui {

// A rectangle with rounded corners, or the plain rectangle for a radius of 0.
gfx::Path roundedRectPath(const gfx::Rect& rect, double radius);

// The shadow of a rounded rectangle (canvas user space), blurred as a layer's shadow of `radius`
// is: nine pieces of one small blurred template, cached by corner, blur, colour and scale, so a
// shadow of any size costs nine image draws.
// With `within`, only the parts that meet it are drawn (the caller clips to it).
void drawShadow(gfx::Canvas& canvas, const gfx::Rect& shape, double cornerRadius, double radius, gfx::Rgba color,
                const std::optional<gfx::Rect>& within = std::nullopt);

}  // namespace platform::ui
