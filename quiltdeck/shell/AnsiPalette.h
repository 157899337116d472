#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "vantel/core/Color.h"

namespace quiltdeck {

// The 16 colours of every tile's terminal, in ANSI order; the same in both themes.
class AnsiPalette {
public:
    AnsiPalette() = delete;

    static constexpr std::array<uint32_t, 16> dark = {0x1A1A1E, 0xD07A7A, 0x8FBF7F, 0xD4B172, 0x7AA2E0, 0xB48EAD,
                                                      0x7FC2C2, 0xD6D6DA, 0x4A4A52, 0xE39B9B, 0xA8D49A, 0xE6C88E,
                                                      0x9ABBEA, 0xC9A9C4, 0x9ED6D6, 0xF0F0F3};

    // A new list on every call, each 8-bit channel widened to 16 bits (c × 257).
    static std::vector<vantel::Color> current();
};

}  // namespace quiltdeck
