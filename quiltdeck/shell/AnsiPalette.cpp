#include "quiltdeck/shell/AnsiPalette.h"

namespace quiltdeck {

std::vector<vantel::Color> AnsiPalette::current() {
    std::vector<vantel::Color> colors;
    colors.reserve(dark.size());
    for (const uint32_t c : dark) colors.push_back(vantel::Color::fromRgb8((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    return colors;
}

}  // namespace quiltdeck
