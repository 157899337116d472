#pragma once

#include <cstdint>
#include <optional>

#include "platform/gfx/Font.h"
#include "platform/gfx/Rect.h"

namespace vantel {

// Where and how large one glyph is drawn in its cell slot, relative to its normal place: `dx` to
// the right, `dy` up from the baseline, `scale` applied to the font size.
struct GlyphSlotFit {
    double dx = 0;
    double dy = 0;
    double scale = 1;
    friend constexpr bool operator==(const GlyphSlotFit&, const GlyphSlotFit&) = default;
};

// Fits a glyph of `font` into a slot of `columnWidth` cells: centred at its own size when its ink
// fits, else shrunk (never below 0.1) and centred both ways on the cell, the baseline standing
// ceil(descent + leading) of the view's normal font above the cell's bottom. The identity for a
// single column, without a cell size, or for a glyph without advance. TerminalView::glyphSlotFit
// passes its cell dimension and normal font.
GlyphSlotFit glyphSlotFit(const platform::gfx::Font& font, uint32_t glyph, int columnWidth,
                          std::optional<platform::gfx::Size> cellDimension, const platform::gfx::Font& normalFont);

}  // namespace vantel
