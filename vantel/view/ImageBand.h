#pragma once

#include <cmath>

#include "platform/gfx/Image.h"
#include "vantel/graphics/KittyPlacementImage.h"

namespace vantel {

// One cell-high band of an inline image, attached to a buffer line so that it scrolls and reflows
// with the text. `width` and `height` are the band's size in points, whole device pixels of the
// backing scale it was made for (`pixelWidth` and `pixelHeight` round them up to whole points),
// `col` its first column; `image` holds its pixels at that scale. A band of a Kitty placement sets
// `kittyIsKitty` and the placement's fields.
class ImageBand : public KittyPlacementImage {
public:
    ImageBand(platform::gfx::Image picture, double pointWidth, double pointHeight, int onCol)
        : image(std::move(picture)), width(pointWidth), height(pointHeight) {
        kittyIsKitty = false;
        pixelWidth = static_cast<int>(std::ceil(pointWidth));
        pixelHeight = static_cast<int>(std::ceil(pointHeight));
        col = onCol;
    }

    platform::gfx::Image image;
    double width = 0;
    double height = 0;
};

}  // namespace vantel
