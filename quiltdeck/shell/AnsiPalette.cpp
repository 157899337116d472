#include "quiltdeck/shell/AnsiPalette.h"

#include <array>
#include <cstdint>

namespace quiltdeck {

std::vector<vantel::Color> AnsiPalette::current() {
    static constexpr std::array<uint32_t, 16> rgb = {0x1A1A1E, 0xD07A7A, 0x8FBF7F, 0xD4B172, 0x7AA2E0, 0xB48EAD,
                                                     0x7FC2C2, 0xD6D6DA, 0x4A4A52, 0xE39B9B, 0xA8D49A, 0xE6C88E,
                                                     0x9ABBEA, 0xC9A9C4, 0x9ED6D6, 0xF0F0F3};
    std::vector<vantel::Color> colors;
    colors.reserve(rgb.size());
    for (const uint32_t c : rgb) colors.push_back(vantel::Color::fromRgb8((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    return colors;
}

}  // namespace quiltdeck
