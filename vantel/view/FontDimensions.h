#pragma once

#include "platform/gfx/Font.h"
#include "platform/gfx/Rect.h"

namespace vantel {

// Cells are at least 1 and at most this many points on a side.
inline constexpr double maxCellSide = 8192;

// The cell size, in points, for a font, a line-spacing factor and a backing scale: the width is
// the advance of "W" rounded to whole device pixels, the height the line height (ascent + descent
// + leading, times the spacing, rounded up to whole points) rounded up to whole device pixels. A
// spacing or scale that is not finite or not above 0 counts as 1.
platform::gfx::Size computeFontDimensions(const platform::gfx::Font& font, double lineSpacing, double scale);

}  // namespace vantel
