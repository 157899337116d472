#pragma once

#include <cstddef>
#include <cstdint>

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
// The same for pixels held elsewhere: `height` rows of `width` words, `stride` words apart.
Image downsampled(const uint32_t* pixels, ptrdiff_t stride, int width, int height, int factor);

// The image enlarged `factor` times with bilinear filtering, the edge pixels extended outwards
// (each of its pixels is sampled at its centre): writes the box [x0, x1) × [y0, y1) of the
// enlarged image to `out`, whose rows are `stride` words apart and begin at column x0. Nothing
// for an empty image, a factor below 1 or a box outside the enlarged image.
void enlargedInto(const Image& image, int factor, int x0, int y0, int x1, int y1, uint32_t* out, ptrdiff_t stride);

}  // namespace platform::gfx
