#include "vantel/view/ColorUtilities.h"

#include <algorithm>
#include <cmath>

namespace vantel {

namespace {

bool isNumber(const platform::gfx::Rgba& c) {
    return !std::isnan(c.red) && !std::isnan(c.green) && !std::isnan(c.blue) && !std::isnan(c.alpha);
}

uint16_t channel(double v) { return static_cast<uint16_t>(std::clamp(v, 0.0, 1.0) * 65535); }

}  // namespace

platform::gfx::Rgba dimmedColor(const platform::gfx::Rgba& color, const platform::gfx::Rgba& towards) {
    if (!isNumber(color) || !isNumber(towards)) return color;
    return platform::gfx::Rgba{(color.red + towards.red) / 2, (color.green + towards.green) / 2,
                               (color.blue + towards.blue) / 2, color.alpha};
}

Color getTerminalColor(const platform::gfx::Rgba& color) {
    if (!isNumber(color)) return Color::defaultForeground;
    return Color(channel(color.red), channel(color.green), channel(color.blue));
}

platform::gfx::Rgba makeRgba(const Color& color) {
    return platform::gfx::Rgba{color.red / 65535.0, color.green / 65535.0, color.blue / 65535.0, 1.0};
}

}  // namespace vantel
