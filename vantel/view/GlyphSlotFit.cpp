#include "vantel/view/GlyphSlotFit.h"

#include <algorithm>
#include <cmath>

namespace vantel {

GlyphSlotFit glyphSlotFit(const platform::gfx::Font& font, uint32_t glyph, int columnWidth,
                          std::optional<platform::gfx::Size> cellDimension, const platform::gfx::Font& normalFont) {
    if (columnWidth < 2 || !cellDimension) return {};
    double slotWidth = columnWidth * cellDimension->width;
    double cellHeight = cellDimension->height;
    double advance = font.advance(glyph);
    if (!(advance > 0)) return {};
    platform::gfx::Rect ink = font.inkBounds(glyph);
    GlyphSlotFit centred{(slotWidth - advance) / 2, 0, 1};
    if (ink.width <= slotWidth && ink.height <= cellHeight) return centred;
    if (ink.width <= 0 || ink.height <= 0) return centred;
    double scale = std::max(0.1, std::min({1.0, cellHeight / ink.height, slotWidth / ink.width}));
    GlyphSlotFit fit{(slotWidth - advance * scale) / 2, 0, scale};
    if (scale < 1) {
        double baseline = std::ceil(normalFont.descent() + normalFont.leading());
        fit.dy = cellHeight / 2 - baseline - (ink.minY() + ink.height / 2) * scale;
    }
    return fit;
}

}  // namespace vantel
