#pragma once

#include "platform/gfx/Rgba.h"
#include "vantel/core/Color.h"

namespace vantel {

// The colour halfway towards another, keeping its own alpha; unchanged when either has a
// component that is not a number.
platform::gfx::Rgba dimmedColor(const platform::gfx::Rgba& color, const platform::gfx::Rgba& towards);

// The colour as a terminal Color: each channel clamped to 0...1, times 65535, truncated;
// Color::defaultForeground for a colour that is not a number.
Color getTerminalColor(const platform::gfx::Rgba& color);

// A terminal Color as an opaque sRGB colour.
platform::gfx::Rgba makeRgba(const Color& color);

}  // namespace vantel
