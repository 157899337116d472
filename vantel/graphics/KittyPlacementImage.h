#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "vantel/core/TerminalImage.h"
#include "vantel/graphics/KittyGraphicsPayload.h"
#include "vantel/graphics/KittyImageLedger.h"
#include "vantel/graphics/KittyImageStore.h"

namespace vantel {

// One row's slice of a Kitty placement, attached to a buffer line. Renderers draw
// row `sliceRow` of the image scaled to `pixelWidth` x `pixelHeight`, starting at
// cell `col` with the pixel offsets inside the first cell.
class KittyPlacementImage : public TerminalImage {
public:
    bool kittyIsKitty = true;
    std::optional<uint32_t> kittyImageId;
    std::optional<uint32_t> kittyImageNumber;
    std::optional<uint32_t> kittyPlacementId;
    int kittyZIndex = 0;
    int kittyCol = 0;
    int kittyRow = 0;  // absolute line index of the placement's top row
    int kittyCols = 0;
    int kittyRows = 0;
    int kittyPixelOffsetX = 0;
    int kittyPixelOffsetY = 0;

    int col = 0;
    int sliceRow = 0;
    int pixelWidth = 0;   // the whole placement as shown
    int pixelHeight = 0;
    // The pixels shown (already cropped); shared by every slice of the placement.
    std::shared_ptr<const KittyGraphicsPayload> source;
    // Keeps `kittyImageId` in use while any slice of the placement lives.
    std::shared_ptr<const KittyImageLedger::Use> use;

    std::optional<KittyPlacementKey> key() const {
        if (!kittyImageId || !kittyPlacementId) return std::nullopt;
        return KittyPlacementKey{*kittyImageId, *kittyPlacementId};
    }
};

// The Kitty slice behind a line's image, or null for any other kind of image.
inline KittyPlacementImage* asKittyImage(const std::shared_ptr<TerminalImage>& image) {
    auto* kitty = dynamic_cast<KittyPlacementImage*>(image.get());
    return kitty && kitty->kittyIsKitty ? kitty : nullptr;
}

}  // namespace vantel
