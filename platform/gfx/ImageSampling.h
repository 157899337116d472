#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/gfx/Image.h"

struct _cairo_surface;

namespace platform::gfx {

// A Cairo image surface over the image's pixels (which it does not own); the caller destroys it.
_cairo_surface* imageSurface(const Image& image);

// How drawing lays an image's pixels on a surface: device pixel = image pixel × scale + offset,
// covering the device pixels [left, left + width) × [top, top + height).
struct ImageSampling {
    int imageWidth = 0;
    int imageHeight = 0;
    double scaleX = 1;
    double scaleY = 1;
    double offsetX = 0;
    double offsetY = 0;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    // Below this many pixels an image is drawn scaled as it is: that is quick enough.
    static constexpr int64_t smallestCopied = int64_t{1} << 20;

    // Whether drawing the image through a copy at this size pays: a large image made much smaller.
    bool worthACopy() const {
        const int64_t image = int64_t{imageWidth} * imageHeight, copy = int64_t{width} * height;
        return image >= smallestCopied && copy > 0 && copy * 4 <= image;
    }
    // The same sampling but for a move by whole device pixels: a copy made for one serves the other.
    // The offsets of one picture drawn row by row differ in their last bits, which changes nothing.
    bool sameCopyAs(const ImageSampling& o) const {
        const auto near = [](double a, double b) { return std::fabs(a - b) <= 1e-6 * std::max(1.0, std::fabs(a)); };
        return imageWidth == o.imageWidth && imageHeight == o.imageHeight && near(scaleX, o.scaleX) &&
               near(scaleY, o.scaleY) && near(offsetX - left, o.offsetX - o.left) && near(offsetY - top, o.offsetY - o.top) &&
               width == o.width && height == o.height;
    }
    // The `width` × `height` pixels drawing `image` this way samples, each as drawing it scaled
    // would (the edges' coverage aside); empty when the image is not of this size. Any thread.
    Image scaledCopy(const Image& image) const;
};

}  // namespace platform::gfx
