#include "vantel/view/FontDimensions.h"

#include <algorithm>
#include <cmath>

namespace vantel {

namespace {

double usableFactor(double value) { return std::isfinite(value) && value > 0 ? value : 1.0; }

double clampedSide(double value) { return std::isnan(value) ? 1.0 : std::clamp(value, 1.0, maxCellSide); }

}  // namespace

platform::gfx::Size computeFontDimensions(const platform::gfx::Font& font, double lineSpacing, double scale) {
    lineSpacing = usableFactor(lineSpacing);
    scale = usableFactor(scale);
    double lineHeight = std::ceil((font.ascent() + font.descent() + font.leading()) * lineSpacing);
    double advance = font.advance(font.glyphIndex('W'));
    // std::round rounds halves away from zero.
    double width = std::round(advance * scale) / scale;
    double height = std::ceil(lineHeight * scale) / scale;
    return platform::gfx::Size{clampedSide(width), clampedSide(height)};
}

}  // namespace vantel
