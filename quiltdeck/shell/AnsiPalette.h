#pragma once

#include <vector>

#include "vantel/core/Color.h"

namespace quiltdeck {

// The 16 colours of every tile's terminal, in ANSI order.
class AnsiPalette {
public:
    AnsiPalette() = delete;
    static std::vector<vantel::Color> current();
};

}  // namespace quiltdeck
