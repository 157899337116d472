#pragma once

#include "platform/gfx/Image.h"

namespace platform::gfx {

// Blurs a premultiplied image in place with `passes` box blurs of `radius` pixels each way,
// horizontally then vertically (three passes come close to a Gaussian of deviation ≈ radius).
// Pixels beyond the edges count as transparent, or as copies of the edge pixels (a picture whose
// surroundings are unknown). A radius below 1 or no pass changes nothing.
enum class BlurEdges { transparent, extended };
void boxBlur(Image& image, int radius, int passes, BlurEdges edges = BlurEdges::transparent);

// The image averaged over blocks of `factor` × `factor` pixels (the last blocks may be partial).
Image downsampled(const Image& image, int factor);

}  // namespace platform::gfx
