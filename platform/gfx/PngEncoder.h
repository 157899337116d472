#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/gfx/Image.h"

namespace platform::gfx {

// PNG bytes of a decoded image (alpha kept); nothing for an empty image or when encoding fails.
std::optional<std::vector<uint8_t>> encodePng(const Image& image);

}  // namespace platform::gfx
