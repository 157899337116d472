#pragma once

#include "platform/gfx/Image.h"
#include "vantel/graphics/KittyPlacementImage.h"

namespace vantel {

// One cell-high band of an inline image, attached to a buffer line so that it scrolls and reflows
// with the text. `pixelWidth` and `pixelHeight` are the band's size in points (truncated), `col`
// its first column; `image` holds its pixels at the backing scale it was made for. A band of a
// Kitty placement sets `kittyIsKitty` and the placement's fields.
class ImageBand : public KittyPlacementImage {
public:
    ImageBand(platform::gfx::Image picture, int width, int height, int onCol) : image(std::move(picture)) {
        kittyIsKitty = false;
        pixelWidth = width;
        pixelHeight = height;
        col = onCol;
    }

    platform::gfx::Image image;
};

}  // namespace vantel
